#include <gtest/gtest.h>

#include <cstring>

#include "shaders/cached_reflection.h"
#include "common/reflection_blob_builder.h"

using reflection_test::blob_builder_t;

namespace {

blob_builder_t full_blob() {
  blob_builder_t b;
  b.creator = "shaderc";
  b.inputs = {{"POSITION", 0, 0}, {"TEXCOORD", 1, 1}};
  b.outputs = {{"SV_Target", 0, 0}};
  b.bindings = {{"Params", 0, 2, 0}, {"tex", 2, 1, 0}, {"samp", 3, 0, 0}};
  b.buffers = {{"Params", 0, 32, {{"speed", 0, 4}, {"tint", 16, 16, 2, 1, 3, 1, 4, "float4"}}},
               {"Other", 0, 16, {{"x", 0, 4}}}};
  return b;
}

// A blob that is not whole still yields what it holds, and the load says so.
void load_into(cached_reflection_t& r, const std::vector<uint8_t>& bytes, bool whole = true) {
  EXPECT_EQ(r.load(bytes.data(), bytes.size()).has_value(), whole);
}

}  // namespace

TEST(CachedReflection, WellFormedBlobAnswersLikeTheReflection) {
  const auto bytes = full_blob().bytes();
  cached_reflection_t r;
  ASSERT_TRUE(r.load(bytes.data(), bytes.size()).has_value());
  D3D11_SHADER_DESC desc{};
  ASSERT_EQ(r.get_desc(&desc), S_OK);
  EXPECT_EQ(desc.Version, 0x50u);
  EXPECT_EQ(desc.ConstantBuffers, 2u);
  EXPECT_EQ(desc.BoundResources, 3u);
  EXPECT_EQ(desc.InputParameters, 2u);
  EXPECT_EQ(desc.OutputParameters, 1u);
  EXPECT_STREQ(desc.Creator, "shaderc");

  D3D11_SIGNATURE_PARAMETER_DESC in{};
  ASSERT_EQ(r.get_input_parameter_desc(1, &in), S_OK);
  EXPECT_STREQ(in.SemanticName, "TEXCOORD");
  EXPECT_EQ(in.SemanticIndex, 1u);
  EXPECT_EQ(in.Register, 1u);
  EXPECT_EQ(in.Mask, 0xF);

  D3D11_SHADER_INPUT_BIND_DESC bind{};
  ASSERT_EQ(r.get_resource_binding_desc(1, &bind), S_OK);
  EXPECT_STREQ(bind.Name, "tex");
  EXPECT_EQ(bind.Type, D3D_SIT_TEXTURE);
  EXPECT_EQ(bind.BindPoint, 1u);
  EXPECT_EQ(bind.Dimension, 4u);

  r.select_constant_buffer(0);
  D3D11_SHADER_BUFFER_DESC buffer{};
  ASSERT_EQ(r.get_constant_buffer_desc(&buffer), S_OK);
  EXPECT_STREQ(buffer.Name, "Params");
  EXPECT_EQ(buffer.Variables, 2u);
  EXPECT_EQ(buffer.Size, 32u);
  r.select_variable(1);
  D3D11_SHADER_VARIABLE_DESC variable{};
  D3D11_SHADER_TYPE_DESC type{};
  ASSERT_EQ(r.get_variable_desc(&variable), S_OK);
  ASSERT_EQ(r.get_variable_type_desc(&type), S_OK);
  EXPECT_STREQ(variable.Name, "tint");
  EXPECT_EQ(variable.StartOffset, 16u);
  EXPECT_EQ(variable.uFlags, D3D_SVF_USED);
  EXPECT_EQ(type.Class, D3D_SVC_VECTOR);
  EXPECT_EQ(type.Columns, 4u);
  EXPECT_STREQ(type.Name, "float4");
}

TEST(CachedReflection, ShortBlobHasZeroDescriptionAndReadsTheCreatorFromTheStart) {
  // 100 bytes: a creator of 96 bytes and nothing else.
  std::vector<uint8_t> bytes;
  blob_builder_t::string(bytes, std::string(96, 'c'));
  ASSERT_EQ(bytes.size(), 100u);
  cached_reflection_t r;
  load_into(r, bytes, false);
  D3D11_SHADER_DESC desc{};
  r.get_desc(&desc);
  EXPECT_EQ(desc.Version, 0u);
  EXPECT_EQ(desc.ConstantBuffers, 0u);
  EXPECT_EQ(r.creator, std::string(96, 'c'));
  EXPECT_STREQ(desc.Creator, r.creator.c_str());
  EXPECT_TRUE(r.input_parameters.empty());
}

TEST(CachedReflection, StringLengthWithAllBitsSetIsEmptyAndReadingGoesOnAfterIt) {
  std::vector<uint8_t> bytes = {0xFF, 0xFF, 0xFF, 0xFF};
  blob_builder_t::count(bytes, 1);  // one input parameter, whose record does not fit
  cached_reflection_t::cursor_t cursor{bytes.data(), bytes.size(), 0};
  std::string text = "old";
  EXPECT_FALSE(cached_reflection_t::read_blob_string(cursor, text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(cursor.offset, 4u);

  cached_reflection_t r;
  load_into(r, bytes, false);
  EXPECT_EQ(r.creator, "");
  ASSERT_EQ(r.input_parameters.size(), 1u);
  EXPECT_EQ(r.input_parameters[0].record.SemanticIndex, 0u);
}

TEST(CachedReflection, StringReaderCases) {
  struct case_t {
    std::vector<uint8_t> bytes;
    bool result;
    std::string text;
    size_t offset;
  };
  const case_t cases[] = {
      {{}, false, "", 0},
      {{3, 0, 0}, false, "", 0},
      {{3, 0, 0, 0, 'a', 'b'}, false, "", 4},
      {{2, 0, 0, 0, 'a', 'b', 'c'}, true, "ab", 6},
      {{0, 0, 0, 0}, true, "", 4},
  };
  for (const case_t& c : cases) {
    cached_reflection_t::cursor_t cursor{c.bytes.data(), c.bytes.size(), 0};
    std::string text = "x";
    EXPECT_EQ(cached_reflection_t::read_blob_string(cursor, text), c.result);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(cursor.offset, c.offset);
  }
}

TEST(CachedReflection, BlobEndingAfterTheSecondOfFiveResourcesKeepsZeroRecords) {
  blob_builder_t b;
  b.bindings = {{"a", 2, 0}, {"b", 2, 1}, {"c", 2, 2}, {"d", 2, 3}, {"e", 2, 4}};
  auto bytes = b.bytes();
  // Cut after the second binding and its name: description, creator, two empty lists, the count.
  const size_t cut = 160 + (4 + 4) + 4 + 4 + 4 + 2 * (40 + 4 + 1);
  ASSERT_LT(cut, bytes.size());
  bytes.resize(cut);
  cached_reflection_t r;
  load_into(r, bytes, false);
  ASSERT_EQ(r.bound_resources.size(), 5u);
  EXPECT_EQ(r.bound_resources[1].name, "b");
  EXPECT_EQ(r.bound_resources[1].record.BindPoint, 1u);
  for (size_t i = 2; i < 5; ++i) {
    EXPECT_EQ(r.bound_resources[i].name, "");
    EXPECT_EQ(r.bound_resources[i].record.Type, 0u);
    EXPECT_EQ(r.bound_resources[i].record.BindPoint, 0u);
  }
  EXPECT_TRUE(r.constant_buffers.empty());
}

TEST(CachedReflection, QueriesPastTheListsFailAndLeaveTheOutputAlone) {
  cached_reflection_t r;
  load_into(r, full_blob().bytes());
  D3D11_SIGNATURE_PARAMETER_DESC out{};
  out.SemanticIndex = 77;
  EXPECT_EQ(r.get_output_parameter_desc(1, &out), E_FAIL);
  EXPECT_EQ(out.SemanticIndex, 77u);
  EXPECT_EQ(r.get_input_parameter_desc(2, &out), E_FAIL);
  D3D11_SHADER_INPUT_BIND_DESC bind{};
  EXPECT_EQ(r.get_resource_binding_desc(3, &bind), E_FAIL);
}

TEST(CachedReflection, SelectionsOutOfRangeKeepTheEarlierOnes) {
  cached_reflection_t r;
  load_into(r, full_blob().bytes());
  D3D11_SHADER_BUFFER_DESC buffer{};
  EXPECT_EQ(r.get_constant_buffer_desc(&buffer), E_FAIL);
  D3D11_SHADER_VARIABLE_DESC variable{};
  r.select_variable(0);  // no buffer yet
  EXPECT_EQ(r.get_variable_desc(&variable), E_FAIL);
  D3D11_SHADER_TYPE_DESC type{};
  EXPECT_EQ(r.get_variable_type_desc(&type), E_FAIL);

  r.select_constant_buffer(1);
  r.select_constant_buffer(7);
  ASSERT_EQ(r.get_constant_buffer_desc(&buffer), S_OK);
  EXPECT_STREQ(buffer.Name, "Other");
  r.select_variable(0);
  r.select_variable(5);
  ASSERT_EQ(r.get_variable_desc(&variable), S_OK);
  EXPECT_STREQ(variable.Name, "x");
  // A new buffer does not change the selected variable.
  r.select_constant_buffer(0);
  ASSERT_EQ(r.get_variable_desc(&variable), S_OK);
  EXPECT_STREQ(variable.Name, "x");
}

TEST(CachedReflection, NamesPointAtTheStoredStringsOnceAllListsAreComplete) {
  blob_builder_t b;
  for (int i = 0; i < 40; ++i) b.bindings.push_back({"binding" + std::to_string(i), 2, uint32_t(i % 8)});
  for (int i = 0; i < 20; ++i) b.outputs.push_back({"OUT" + std::to_string(i), uint32_t(i)});
  cached_reflection_t r;
  load_into(r, b.bytes());
  for (int i = 0; i < 40; ++i) {
    D3D11_SHADER_INPUT_BIND_DESC bind{};
    ASSERT_EQ(r.get_resource_binding_desc(uint32_t(i), &bind), S_OK);
    EXPECT_EQ(bind.Name, r.bound_resources[size_t(i)].name.c_str());
    EXPECT_STREQ(bind.Name, ("binding" + std::to_string(i)).c_str());
  }
  D3D11_SIGNATURE_PARAMETER_DESC out{};
  ASSERT_EQ(r.get_output_parameter_desc(19, &out), S_OK);
  EXPECT_STREQ(out.SemanticName, "OUT19");
}

TEST(CachedReflection, InconsistentCountsAreAnsweredFromTheLists) {
  blob_builder_t b = full_blob();
  b.desc_bindings = 9;
  b.desc_outputs = 4;
  cached_reflection_t r;
  load_into(r, b.bytes());
  D3D11_SHADER_DESC desc{};
  r.get_desc(&desc);
  EXPECT_EQ(desc.BoundResources, 9u);
  D3D11_SHADER_INPUT_BIND_DESC bind{};
  EXPECT_EQ(r.get_resource_binding_desc(2, &bind), S_OK);
  EXPECT_EQ(r.get_resource_binding_desc(3, &bind), E_FAIL);
}

TEST(CachedReflection, EmptyBlobGivesNothing) {
  cached_reflection_t r;
  ASSERT_TRUE(r.load(nullptr, 0).has_value());
  D3D11_SHADER_DESC desc{};
  r.get_desc(&desc);
  EXPECT_EQ(desc.ConstantBuffers + desc.BoundResources + desc.OutputParameters, 0u);
  EXPECT_TRUE(r.constant_buffers.empty());
}

TEST(CachedReflection, HostileCountsAreCappedInsteadOfExhaustingMemory) {
  std::vector<uint8_t> bytes;
  blob_builder_t::string(bytes, "");
  blob_builder_t::count(bytes, 0x7FFFFFFF);
  cached_reflection_t r;
  load_into(r, bytes, false);
  EXPECT_EQ(r.input_parameters.size(), size_t(cached_reflection_t::max_list_length));
  EXPECT_TRUE(r.output_parameters.empty());
}

// Where a blob stops being whole is the load's message; the content build's blobs are whole.
TEST(CachedReflection, BlobsThatAreNotWholeSayWhere) {
  const auto whole = full_blob().bytes();
  std::vector<uint8_t> hostile;
  blob_builder_t::string(hostile, "");
  blob_builder_t::count(hostile, 1000);
  blob_builder_t b;
  b.bindings = {{"a", 2, 0}, {"b", 2, 1}};
  auto cut = b.bytes();
  cut.resize(cut.size() - 6);  // the constant-buffer count and the end of the last name
  struct case_t {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;  // null: the load succeeds
  };
  const case_t cases[] = {
      {"whole", whole, nullptr},
      {"empty", {}, nullptr},
      {"a list longer than the blob", hostile, "claims 1000 input parameters at byte 4 where 0 bytes are left"},
      {"cut short", cut, "ends inside bound resources at byte "},
      {"the description alone", std::vector<uint8_t>(whole.begin(), whole.begin() + 160),
       "ends inside the creator at byte 160"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    cached_reflection_t r;
    auto loaded = r.load(c.bytes.data(), c.bytes.size());
    ASSERT_EQ(loaded.has_value(), c.message == nullptr) << (loaded ? "" : loaded.error());
    if (c.message) {
      EXPECT_EQ(loaded.error().rfind(c.message, 0), 0u) << loaded.error();
    }
  }
}
