#include <gtest/gtest.h>

#include "text/serial_reader.h"

using serial::value_kind_t;
using serial::value_t;

namespace {

std::unique_ptr<value_t> parse(const char* text) {
  auto result = serial::parse_text(text, "");
  EXPECT_TRUE(result.has_value()) << (result ? "" : result.error());
  return result ? std::move(*result) : std::make_unique<value_t>();
}

TEST(SerialValueTest, MissingAndMistypedLookupsChainToTheNullNode) {
  auto root = parse("i = 3\nf = -2.7\nb = true\ns = \"x\"\n[t]\nk = 1\n");
  const value_t& null = serial::null_value();
  EXPECT_EQ(&root->get("missing", value_kind_t::int_), &null);
  EXPECT_EQ(&root->get("i", value_kind_t::float_), &null);
  EXPECT_EQ(&root->get("missing", value_kind_t::table).get("k", value_kind_t::int_), &null);
  EXPECT_FALSE(null.valid);
  EXPECT_EQ(null.kind, value_kind_t::null);
  EXPECT_EQ(null.payload.i[0], 0);
  EXPECT_EQ(&root->get_any("i", {}), &null);
  EXPECT_EQ(&root->get_any("i", {value_kind_t::int_, value_kind_t::float_}), root->children.at("i").get());
  EXPECT_EQ(root->get("t", value_kind_t::table).get_int("k", 0), 1);
}

struct typed_read_case_t {
  const char* name;
  int32_t as_int;
  float as_float;
  bool as_bool;
};

TEST(SerialValueTest, TypedReadsConvertNumbersAndTakeDefaults) {
  auto root = parse("i = 3\nf = -2.7\nb = true\nz = false\ns = \"x\"\n");
  const typed_read_case_t cases[] = {
      {"i", 3, 3.0f, false},      // an int is no bool
      {"f", -2, -2.7f, false},    // truncated toward zero
      {"b", 99, 0.5f, true},      // a bool is no number
      {"z", 99, 0.5f, false},     // false stays false
      {"s", 99, 0.5f, false},     // a string is neither
      {"none", 99, 0.5f, false},  // missing
  };
  for (const auto& c : cases) {
    EXPECT_EQ(root->get_int(c.name, 99), c.as_int) << c.name;
    EXPECT_FLOAT_EQ(root->get_float(c.name, 0.5f), c.as_float) << c.name;
    EXPECT_EQ(root->get_bool(c.name, false), c.as_bool) << c.name;
  }
  EXPECT_EQ(root->get_string("s", "d"), "x");
  EXPECT_EQ(root->get_string("i", "d"), "d");
  EXPECT_EQ(root->get("f", value_kind_t::float_).as_int(7), -2);
  EXPECT_EQ(root->get("s", value_kind_t::string).as_int(7), 7);
  EXPECT_EQ(serial::null_value().as_int(7), 7);
  EXPECT_EQ(serial::null_value().as_string(), "");
}

TEST(SerialValueTest, GetArrayOfTableOrMissingIsEmpty) {
  auto root = parse("a = [1, 2]\n[t]\n");
  EXPECT_EQ(root->get_array("a").size(), 2u);
  EXPECT_EQ(root->get_array("t").size(), 0u);
  EXPECT_EQ(root->get_array("none").size(), 0u);
  int count = 0;
  for (const value_t& item : root->get_array("none")) {
    (void)item;
    ++count;
  }
  EXPECT_EQ(count, 0);
}

TEST(SerialValueTest, BuildersSetParentsAndReplaceByName) {
  value_t root;
  value_t* first = root.add("x", value_kind_t::int2);
  first->payload.i[1] = 5;
  value_t* second = root.add_float("x", 1.5f);
  EXPECT_EQ(root.children.size(), 1u);
  EXPECT_EQ(root.get("x", value_kind_t::float_).payload.f[0], 1.5f);
  EXPECT_EQ(second->parent, &root);
  value_t* list = root.add("list", value_kind_t::array);
  value_t* item = list->append(value_kind_t::string);
  item->text = "a";
  EXPECT_EQ(item->parent, list);
  EXPECT_TRUE(item->valid);
  EXPECT_EQ(root.get_array("list")[0].as_string(), "a");
  EXPECT_EQ(root.add_string("s", "t")->text, "t");
}

}  // namespace
