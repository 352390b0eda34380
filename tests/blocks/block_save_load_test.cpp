// Saving and loading a block of every class: the production's own table of the class is loaded and
// saved, every value of the saved table is moved off its default, and that table loaded into a new
// block must save again key for key and value for value.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "common/content_engine_fixture.h"
#include "engine/block_base.h"
#include "engine/block_factory.h"
#include "support/systems.h"
#include "text/serial_reader.h"

namespace {

using serial::value_kind_t;
using serial::value_t;

int component_count(value_kind_t kind) {
  switch (kind) {
    case value_kind_t::bool_:
    case value_kind_t::int_:
    case value_kind_t::float_: return 1;
    case value_kind_t::int2:
    case value_kind_t::float2: return 2;
    case value_kind_t::int3:
    case value_kind_t::float3: return 3;
    case value_kind_t::int4:
    case value_kind_t::float4:
    case value_kind_t::color: return 4;
    default: return 0;
  }
}

bool is_float_kind(value_kind_t kind) {
  return kind == value_kind_t::float_ || kind == value_kind_t::float2 || kind == value_kind_t::float3 ||
         kind == value_kind_t::float4 || kind == value_kind_t::color;
}

// Every difference between two trees, by path.
void compare(const value_t& expected, const value_t& actual, const std::string& path, std::vector<std::string>& out) {
  if (expected.kind != actual.kind) {
    out.push_back(fmt::sprintf("%s: kind %d, saved as %d", path, int(expected.kind), int(actual.kind)));
    return;
  }
  const int n = component_count(expected.kind);
  for (int i = 0; i < n; ++i) {
    const bool same = is_float_kind(expected.kind)
                          ? std::abs(expected.payload.f[i] - actual.payload.f[i]) <= 1e-5f * (1 + std::abs(expected.payload.f[i]))
                          : expected.payload.i[i] == actual.payload.i[i];
    if (!same) {
      out.push_back(is_float_kind(expected.kind)
                        ? fmt::sprintf("%s[%d]: %g, saved as %g", path, i, expected.payload.f[i], actual.payload.f[i])
                        : fmt::sprintf("%s[%d]: %d, saved as %d", path, i, expected.payload.i[i], actual.payload.i[i]));
    }
  }
  if (expected.kind == value_kind_t::string && expected.text != actual.text)
    out.push_back(fmt::sprintf("%s: \"%s\", saved as \"%s\"", path, expected.text, actual.text));
  for (const auto& [name, child] : expected.children) {
    auto found = actual.children.find(name);
    if (found == actual.children.end()) {
      out.push_back(path + "." + name + ": not saved");
      continue;
    }
    compare(*child, *found->second, path + "." + name, out);
  }
  for (const auto& [name, child] : actual.children)
    if (!expected.children.count(name)) out.push_back(path + "." + name + ": saved but not given");
  if (expected.items.size() != actual.items.size()) {
    out.push_back(fmt::sprintf("%s: %d items, saved %d", path, int(expected.items.size()), int(actual.items.size())));
    return;
  }
  for (size_t i = 0; i < expected.items.size(); ++i)
    compare(*expected.items[i], *actual.items[i], fmt::sprintf("%s[%d]", path, int(i)), out);
}

bool is_variable_table(const value_t& node);

// Every key of the given table that the saved one lacks, at any depth. A variable without the
// range bits in its flags reads no "min" and "max", so it does not write them either.
void missing_keys(const value_t& given, const value_t& saved, const std::string& path, std::vector<std::string>& out) {
  const bool unranged = is_variable_table(given) && (given.get_int("flags", 0) & 6) != 6;
  for (const auto& [name, child] : given.children) {
    if (unranged && (name == "min" || name == "max")) continue;
    auto found = saved.children.find(name);
    if (found == saved.children.end()) {
      out.push_back(path + "." + name);
      continue;
    }
    missing_keys(*child, *found->second, path + "." + name, out);
  }
  if (given.items.size() == saved.items.size())
    for (size_t i = 0; i < given.items.size(); ++i)
      missing_keys(*given.items[i], *saved.items[i], fmt::sprintf("%s[%d]", path, int(i)), out);
}

bool is_variable_table(const value_t& node) {
  return node.kind == value_kind_t::table && node.get("name", value_kind_t::string).valid &&
         node.get("type", value_kind_t::int_).valid && node.get("default", value_kind_t::table).valid;
}

// A value of the variable's type that differs from its default and stays within its range.
void set_other_value(value_t& variable) {
  const int type = variable.get_int("type", 0);
  const value_t& def = variable.get("default", value_kind_t::table).get("value", value_kind_t(type));
  if (!def.valid || type == 11) return;
  const value_t& min = variable.get("min", value_kind_t::table).get("value", value_kind_t(type));
  const value_t& max = variable.get("max", value_kind_t::table).get("value", value_kind_t(type));
  variable.children.erase("value");
  value_t* table = variable.add("value", value_kind_t::table);
  table->add("type", value_kind_t::int_)->payload.i[0] = type;
  value_t* value = table->add("value", value_kind_t(type));
  value->payload = def.payload;
  const int n = component_count(value_kind_t(type));
  for (int i = 0; i < n; ++i) {
    if (type == 1) {
      value->payload.i[0] = def.payload.i[0] ? 0 : 1;
    } else if (is_float_kind(value_kind_t(type))) {
      float v = def.payload.f[i];
      if (min.valid && max.valid) {
        const float lo = min.payload.f[i], hi = max.payload.f[i];
        v = lo + 0.3f * (hi - lo);
        if (v == def.payload.f[i]) v = lo + 0.6f * (hi - lo);
      } else {
        v = type == 10 ? 0.1f * float(i + 1) : v + 0.25f;
      }
      value->payload.f[i] = v;
    } else {
      int v = def.payload.i[i] + 1;
      if (max.valid && v > max.payload.i[i]) v = def.payload.i[i] - 1;
      value->payload.i[i] = v;
    }
  }
}

// Moves every variable of the tree and every float and bool outside variables off its value.
void move_off_defaults(value_t& node, const std::string& key) {
  if (is_variable_table(node)) {
    set_other_value(node);
    return;
  }
  if (node.kind == value_kind_t::float_) node.payload.f[0] += 0.5f;
  // "selected" and "preview" are always saved false.
  if (node.kind == value_kind_t::bool_ && key != "selected" && key != "preview") node.payload.i[0] = node.payload.i[0] ? 0 : 1;
  for (auto& [name, child] : node.children) move_off_defaults(*child, name);
  for (auto& item : node.items) move_off_defaults(*item, key);
}

class BlockSaveLoadTest : public content_test::content_engine_fixture_t {
 protected:
  std::unique_ptr<value_t> save(const block_base_t& block) {
    auto table = std::make_unique<value_t>(value_kind_t::table);
    block.save(*table);
    return table;
  }
};

TEST_F(BlockSaveLoadTest, EveryClassSavesWhatItLoadsKeyForKey) {
  ASSERT_TRUE(start_blocks(""));
  std::string text;
  ASSERT_TRUE(S(filesystem)->read_text_file("projects/demo-final.proj.toml", text));
  auto project = serial::parse_text(text, "projects/demo-final.proj.toml");
  ASSERT_TRUE(project.has_value()) << project.error();
  std::set<std::string> seen;
  for (const value_t& given : (*project)->get_array("blocks")) {
    const std::string class_name = given.get_string("class-name", "");
    if (!seen.insert(class_name).second) continue;
    SCOPED_TRACE(class_name);
    block_ptr_t first = make_block_of_class(class_name);
    ASSERT_TRUE(first);
    first->load(given);
    std::unique_ptr<value_t> saved = save(*first);
    // Whatever the production says is saved again.
    std::vector<std::string> lost;
    missing_keys(given, *saved, class_name, lost);
    EXPECT_TRUE(lost.empty()) << "not saved: " << fmt::format("{}", fmt::join(lost, ", "));

    move_off_defaults(*saved, "");
    // What a block saves but does not load back: the text block's fixed font pass, and the cameras
    // and spans of a block whose camera scene supplies them anew.
    if (class_name == "sdf-text") saved->children.erase("rp-font");
    if (!saved->get_string("camera-scene", "").empty()) {
      saved->children.erase("cameras");
      saved->children.erase("camera-spans");
    }
    block_ptr_t second = make_block_of_class(class_name);
    second->load(*saved);
    std::unique_ptr<value_t> again = save(*second);
    if (class_name == "sdf-text") again->children.erase("rp-font");
    if (!saved->get_string("camera-scene", "").empty()) {
      again->children.erase("cameras");
      again->children.erase("camera-spans");
    }
    std::vector<std::string> differences;
    compare(*saved, *again, class_name, differences);
    EXPECT_TRUE(differences.empty()) << fmt::format("{}", fmt::join(differences, "\n"));
  }
  EXPECT_EQ(seen.size(), 14u) << "a production block of every class";
}

}  // namespace
