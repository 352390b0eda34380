#pragma once
// The value tree: typed nodes read from the text format. Lookups never fail;
// a missing or mistyped entry yields the shared null node, so lookups chain.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace serial {

// Codes 1 to 11 equal those of the variable types.
enum class value_kind_t : int32_t {
  bool_ = 1,
  int_ = 2,
  int2 = 3,
  int3 = 4,
  int4 = 5,
  float_ = 6,
  float2 = 7,
  float3 = 8,
  float4 = 9,
  color = 10,
  string = 11,
  array = 14,
  table = 15,
  null = 16,
};

// Scalar, vector or colour of a node; bool is an int, 1 true, 0 false.
union payload_t {
  int32_t i[4];
  float f[4];
};
static_assert(sizeof(payload_t) == 16);

class value_t;

// Read-only range over the items of an array node.
class array_view_t {
 public:
  using items_t = std::vector<std::unique_ptr<value_t>>;
  class iterator_t {
   public:
    explicit iterator_t(items_t::const_iterator it) : it_(it) {}
    const value_t& operator*() const { return **it_; }
    const value_t* operator->() const { return it_->get(); }
    iterator_t& operator++() {
      ++it_;
      return *this;
    }
    bool operator==(const iterator_t& other) const = default;

   private:
    items_t::const_iterator it_;
  };

  array_view_t() = default;
  explicit array_view_t(const items_t* items) : items_(items) {}
  iterator_t begin() const { return iterator_t(items_ ? items_->begin() : empty().begin()); }
  iterator_t end() const { return iterator_t(items_ ? items_->end() : empty().end()); }
  size_t size() const { return items_ ? items_->size() : 0; }
  bool empty_range() const { return size() == 0; }
  const value_t& operator[](size_t index) const { return *(*items_)[index]; }

 private:
  static const items_t& empty();
  const items_t* items_ = nullptr;
};

// One node of a tree; owns its whole subtree.
class value_t {
 public:
  value_t() = default;
  explicit value_t(value_kind_t kind) : kind(kind) {}
  value_t(const value_t&) = delete;
  value_t& operator=(const value_t&) = delete;
  virtual ~value_t();

  // Lookups, also valid on the null node.
  const value_t& get(std::string_view name, value_kind_t kind) const;
  const value_t& get_any(std::string_view name, std::initializer_list<value_kind_t> kinds) const;
  bool get_bool(std::string_view name, bool fallback) const;
  int32_t get_int(std::string_view name, int32_t fallback) const;
  float get_float(std::string_view name, float fallback) const;
  std::string get_string(std::string_view name, const std::string& fallback) const;
  int32_t as_int(int32_t fallback) const;
  std::string as_string() const;
  array_view_t get_array(std::string_view name) const;

  // Builders; the new node starts zeroed and valid, with this node as parent.
  value_t* add(const std::string& name, value_kind_t kind);
  value_t* append(value_kind_t kind);
  value_t* add_float(const std::string& name, float value);
  value_t* add_string(const std::string& name, const std::string& value);

  value_t* parent = nullptr;
  value_kind_t kind = value_kind_t::table;
  payload_t payload{};
  std::string text;
  std::unordered_map<std::string, std::unique_ptr<value_t>> children;
  std::vector<std::unique_ptr<value_t>> items;
  bool valid = true;

 private:
  const value_t* find_child(std::string_view name) const;
};

// The shared invalid node: kind null, never valid, never changed.
class null_value_t : public value_t {
 public:
  null_value_t();
};

// The single process-wide null node.
const value_t& null_value();

}  // namespace serial
