#include "text/serial_value.h"

#include <algorithm>

namespace serial {

const array_view_t::items_t& array_view_t::empty() {
  static const items_t none;
  return none;
}

value_t::~value_t() = default;

null_value_t::null_value_t() : value_t(value_kind_t::null) { valid = false; }

const value_t& null_value() {
  static const null_value_t instance;
  return instance;
}

const value_t* value_t::find_child(std::string_view name) const {
  if (children.empty()) return nullptr;
  auto it = children.find(std::string(name));
  return it == children.end() ? nullptr : it->second.get();
}

const value_t& value_t::get(std::string_view name, value_kind_t wanted) const {
  const value_t* child = find_child(name);
  return child && child->kind == wanted ? *child : null_value();
}

const value_t& value_t::get_any(std::string_view name, std::initializer_list<value_kind_t> kinds) const {
  const value_t* child = find_child(name);
  if (child && std::find(kinds.begin(), kinds.end(), child->kind) != kinds.end()) return *child;
  return null_value();
}

bool value_t::get_bool(std::string_view name, bool fallback) const {
  const value_t& child = get(name, value_kind_t::bool_);
  return child.valid ? child.payload.i[0] == 1 : fallback;
}

int32_t value_t::get_int(std::string_view name, int32_t fallback) const {
  return get_any(name, {value_kind_t::int_, value_kind_t::float_}).as_int(fallback);
}

float value_t::get_float(std::string_view name, float fallback) const {
  const value_t& child = get_any(name, {value_kind_t::int_, value_kind_t::float_});
  if (!child.valid) return fallback;
  return child.kind == value_kind_t::float_ ? child.payload.f[0] : static_cast<float>(child.payload.i[0]);
}

std::string value_t::get_string(std::string_view name, const std::string& fallback) const {
  const value_t& child = get(name, value_kind_t::string);
  return child.valid ? child.text : fallback;
}

int32_t value_t::as_int(int32_t fallback) const {
  if (!valid) return fallback;
  if (kind == value_kind_t::int_) return payload.i[0];
  if (kind == value_kind_t::float_) {
    // Out-of-range floats would be undefined to convert; clamp them instead.
    float f = payload.f[0];
    if (!(f == f)) return fallback;
    if (f >= 2147483648.0f) return INT32_MAX;
    if (f <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(f);
  }
  return fallback;
}

std::string value_t::as_string() const { return valid ? text : std::string(); }

array_view_t value_t::get_array(std::string_view name) const {
  const value_t& child = get(name, value_kind_t::array);
  return child.valid ? array_view_t(&child.items) : array_view_t();
}

value_t* value_t::add(const std::string& name, value_kind_t new_kind) {
  auto node = std::make_unique<value_t>(new_kind);
  node->parent = this;
  value_t* raw = node.get();
  children[name] = std::move(node);
  return raw;
}

value_t* value_t::append(value_kind_t new_kind) {
  auto node = std::make_unique<value_t>(new_kind);
  node->parent = this;
  items.push_back(std::move(node));
  return items.back().get();
}

value_t* value_t::add_float(const std::string& name, float value) {
  value_t* node = add(name, value_kind_t::float_);
  node->payload.f[0] = value;
  return node;
}

value_t* value_t::add_string(const std::string& name, const std::string& value) {
  value_t* node = add(name, value_kind_t::string);
  node->text = value;
  return node;
}

}  // namespace serial
