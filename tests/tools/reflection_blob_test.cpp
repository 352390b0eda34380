// The shader tool's reflection blobs, read back byte by byte with a reader of the blob layout written
// here, so that the tool and the player's loader cannot drift apart unnoticed; and the tool's refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// ---- a reader of the blob layout ----

struct blob_reader_t {
  const std::vector<uint8_t>& bytes;
  size_t cursor = 0;

  uint32_t u32_at(size_t offset) const {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
  }
  std::vector<uint8_t> record(size_t size) {
    if (bytes.size() - cursor < size) {
      ADD_FAILURE() << "blob ends inside a record at " << cursor;
      return std::vector<uint8_t>(size, 0);
    }
    std::vector<uint8_t> out(bytes.begin() + long(cursor), bytes.begin() + long(cursor + size));
    cursor += size;
    return out;
  }
  int32_t count() {
    auto r = record(4);
    int32_t value = 0;
    std::memcpy(&value, r.data(), 4);
    return value;
  }
  std::string string() {
    const uint32_t length = static_cast<uint32_t>(count());
    if (bytes.size() - cursor < length) {
      ADD_FAILURE() << "string longer than the blob at " << cursor;
      return {};
    }
    std::string out(bytes.begin() + long(cursor), bytes.begin() + long(cursor + length));
    cursor += length;
    return out;
  }
};

uint32_t field(const std::vector<uint8_t>& record, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, record.data() + offset, 4);
  return value;
}

struct named_record_t {
  std::vector<uint8_t> record;
  std::string name;
  uint32_t at(size_t offset) const { return field(record, offset); }
};

struct variable_t {
  named_record_t desc;  // D3D11_SHADER_VARIABLE_DESC
  named_record_t type;  // D3D11_SHADER_TYPE_DESC
};

struct buffer_t {
  named_record_t desc;  // D3D11_SHADER_BUFFER_DESC
  std::vector<variable_t> variables;
  const variable_t* variable(const std::string& name) const {
    for (const auto& v : variables)
      if (v.desc.name == name) return &v;
    return nullptr;
  }
};

struct reflection_t {
  std::vector<uint8_t> description;  // D3D11_SHADER_DESC, 64-bit layout
  std::string creator;
  std::vector<named_record_t> inputs, outputs, bindings;
  std::vector<buffer_t> buffers;
  size_t end = 0;  // where the last buffer ended

  const named_record_t* binding(const std::string& name) const {
    for (const auto& b : bindings)
      if (b.name == name) return &b;
    return nullptr;
  }
  const buffer_t* buffer(const std::string& name, uint32_t type) const {
    for (const auto& b : buffers)
      if (b.desc.name == name && b.desc.at(8) == type) return &b;
    return nullptr;
  }
};

reflection_t read_reflection(const std::vector<uint8_t>& bytes) {
  reflection_t out;
  blob_reader_t reader{bytes};
  EXPECT_GE(bytes.size(), 160u);
  out.description = reader.record(160);
  out.creator = reader.string();
  for (auto* list : {&out.inputs, &out.outputs, &out.bindings}) {
    const int32_t n = reader.count();
    for (int32_t i = 0; i < n; ++i) {
      named_record_t r;
      r.record = reader.record(40);
      r.name = reader.string();
      list->push_back(r);
    }
  }
  const int32_t buffers = reader.count();
  for (int32_t i = 0; i < buffers; ++i) {
    buffer_t b;
    b.desc.record = reader.record(24);
    b.desc.name = reader.string();
    const int32_t variables = reader.count();
    for (int32_t j = 0; j < variables; ++j) {
      variable_t v;
      v.desc.record = reader.record(48);
      v.desc.name = reader.string();
      v.type.record = reader.record(40);
      v.type.name = reader.string();
      b.variables.push_back(v);
    }
    out.buffers.push_back(b);
  }
  out.end = reader.cursor;
  return out;
}

// ---- running the tool ----

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ReflectionBlobTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "reflection_blob_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base = pattern;
  }
  void TearDown() override { fs::remove_all(base); }

  // Runs the tool over a content directory; its exit code, and what it printed in `output`.
  int run_tool(const fs::path& content) {
    const fs::path log = base / "tool.log";
    const std::string command = std::string(PUMBLECRISP_SHADERC) + " --jobs 2 --content '" +
                                content.string() + "' --out '" + (base / "out").string() + "' --state '" +
                                (base / "state").string() + "' > '" + log.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    output = slurp(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  reflection_t reflection_of(const std::string& cache_name) {
    const std::string text = slurp(base / "out/shaders/cache" / cache_name);
    return read_reflection(std::vector<uint8_t>(text.begin(), text.end()));
  }

  void write(const std::string& relative, const std::string& text) {
    const fs::path path = base / "content" / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }

  fs::path base;
  std::string output;
};

// D3D enumerations the records carry.
enum : uint32_t { sit_cbuffer = 0, sit_texture = 2, sit_sampler = 3, sit_structured = 5, sit_append = 9 };
enum : uint32_t { ct_cbuffer = 0, ct_resource_bind_info = 3 };
enum : uint32_t { svc_scalar = 0, svc_vector = 1, svc_matrix_columns = 3, svc_struct = 5 };
enum : uint32_t { svt_void = 0, svt_bool = 1, svt_float = 3 };

TEST_F(ReflectionBlobTest, PixelShaderRecordsAreTheDirect3DOnes) {
  ASSERT_EQ(run_tool(PUMBLECRISP_TEST_DATA), 0) << output;
  const std::string manifest = slurp(base / "out/shadermanager.toml");
  EXPECT_NE(manifest.find("key = \"shaders/reflection.hlsl:PsReflect\"\n"
                          "code_path = \"shaders/cache/shaders.reflection.hlsl.psreflect.spv\"\n"
                          "reflection_path = \"shaders/cache/shaders.reflection.hlsl.psreflect.refl\"\n"
                          "filename = \"shaders/reflection.hlsl\"\nentrypoint = \"PsReflect\"\n"),
            std::string::npos)
      << manifest;
  const reflection_t r = reflection_of("shaders.reflection.hlsl.psreflect.refl");
  EXPECT_EQ(r.end, slurp(base / "out/shaders/cache/shaders.reflection.hlsl.psreflect.refl").size());

  // The description: pixel shader 5.0 and the counts of the lists that follow.
  EXPECT_EQ(field(r.description, 0), 0x00000050u);
  EXPECT_EQ(field(r.description, 20), r.buffers.size());
  EXPECT_EQ(field(r.description, 24), r.bindings.size());
  EXPECT_EQ(field(r.description, 28), r.inputs.size());
  EXPECT_EQ(field(r.description, 32), r.outputs.size());
  EXPECT_FALSE(r.creator.empty());

  // Bound resources: {type, bind point, bind count, return type, dimension, samples or stride}.
  struct expected_binding_t {
    const char* name;
    uint32_t type, bind_point, return_type, dimension, samples;
  };
  const expected_binding_t bindings[] = {
      {"LinearWrapSampler", sit_sampler, 0, 0, 0, 0}, {"PointClampSampler", sit_sampler, 3, 0, 0, 0},
      {"albedo", sit_texture, 0, 5, 4, 0xFFFFFFFF},   {"depth", sit_texture, 1, 5, 4, 0xFFFFFFFF},
      {"particles", sit_structured, 2, 6, 1, 16},     {"spawned", sit_append, 2, 6, 1, 16},
      {"Material", sit_cbuffer, 2, 0, 0, 0},          {"Frame", sit_cbuffer, 0, 0, 0, 0},
  };
  EXPECT_EQ(r.bindings.size(), std::size(bindings));  // the append counter is not a resource of its own
  for (const auto& e : bindings) {
    SCOPED_TRACE(e.name);
    const named_record_t* b = r.binding(e.name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->at(8), e.type);
    EXPECT_EQ(b->at(12), e.bind_point);
    EXPECT_EQ(b->at(16), 1u);
    EXPECT_EQ(b->at(24), e.return_type);
    EXPECT_EQ(b->at(28), e.dimension);
    EXPECT_EQ(b->at(32), e.samples);
  }
  EXPECT_EQ(r.binding("albedo")->at(20), 0xCu);  // four components

  // Constant buffers: type, variable count, size.
  const buffer_t* material = r.buffer("Material", ct_cbuffer);
  const buffer_t* frame = r.buffer("Frame", ct_cbuffer);
  ASSERT_NE(material, nullptr);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(material->desc.at(12), 7u);
  EXPECT_EQ(material->desc.at(16), 112u);
  EXPECT_EQ(frame->desc.at(12), 5u);
  EXPECT_EQ(frame->desc.at(16), 80u);

  struct expected_variable_t {
    const buffer_t* buffer;
    const char* name;
    uint32_t offset, size, flags;
    uint32_t klass, type, rows, columns;
    const char* type_name;
  };
  const expected_variable_t variables[] = {
      {material, "base_color", 0, 16, 2, svc_vector, svt_float, 1, 4, "float4"},
      {material, "uv_scale", 16, 8, 2, svc_vector, svt_float, 1, 2, "float2"},
      {material, "roughness", 24, 4, 2, svc_scalar, svt_float, 1, 1, "float"},
      {material, "_pad0", 28, 4, 0, svc_scalar, svt_float, 1, 1, "float"},
      {material, "uv_transform", 32, 64, 2, svc_matrix_columns, svt_float, 4, 4, "float4x4"},
      {material, "flags", 96, 12, 2, svc_vector, svt_bool, 1, 3, "bool3"},
      {material, "unused_value", 108, 4, 0, svc_scalar, svt_float, 1, 1, "float"},
      {frame, "view_projection", 0, 64, 0, svc_matrix_columns, svt_float, 4, 4, "float4x4"},
      {frame, "time", 64, 4, 2, svc_scalar, svt_float, 1, 1, "float"},
      {frame, "_pad3", 76, 4, 0, svc_scalar, svt_float, 1, 1, "float"},
  };
  for (const auto& e : variables) {
    SCOPED_TRACE(e.name);
    const variable_t* v = e.buffer->variable(e.name);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->desc.at(8), e.offset);
    EXPECT_EQ(v->desc.at(12), e.size);
    EXPECT_EQ(v->desc.at(16), e.flags);
    EXPECT_EQ(v->desc.at(32), 0xFFFFFFFFu);  // no textures
    EXPECT_EQ(v->desc.at(40), 0xFFFFFFFFu);  // no samplers
    EXPECT_EQ(v->type.at(0), e.klass);
    EXPECT_EQ(v->type.at(4), e.type);
    EXPECT_EQ(v->type.at(8), e.rows);
    EXPECT_EQ(v->type.at(12), e.columns);
    EXPECT_EQ(v->type.at(16), 0u);  // not an array
    EXPECT_EQ(v->type.name, e.type_name);
  }

  // Structured buffers list their element as a buffer of resource-binding information.
  for (const char* name : {"particles", "spawned"}) {
    SCOPED_TRACE(name);
    const buffer_t* element = r.buffer(name, ct_resource_bind_info);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->desc.at(16), 16u);
    ASSERT_EQ(element->variables.size(), 1u);
    const variable_t& v = element->variables[0];
    EXPECT_EQ(v.desc.name, "$Element");
    EXPECT_EQ(v.desc.at(12), 16u);
    EXPECT_EQ(v.type.at(0), svc_struct);
    EXPECT_EQ(v.type.at(4), svt_void);
    EXPECT_EQ(v.type.at(20), 2u);  // position, life
    EXPECT_EQ(v.type.name, "particle_t");
  }

  // Output signature: SV_Target0 and SV_Target1, float4 each, in their registers.
  ASSERT_EQ(r.outputs.size(), 2u);
  for (uint32_t i = 0; i < 2; ++i) {
    const named_record_t& o = r.outputs[i];
    SCOPED_TRACE(i);
    EXPECT_STRCASEEQ(o.name.c_str(), "SV_Target");
    EXPECT_EQ(o.at(8), i);   // semantic index
    EXPECT_EQ(o.at(12), i);  // register
    EXPECT_EQ(o.at(16), 64u);
    EXPECT_EQ(o.at(20), 3u);  // float32
    EXPECT_EQ(o.record[24], 0xF);
  }

  // Input signature: {semantic index, system value, component type, mask}. The SPIR-V keeps only the
  // inputs the entry point reads, so the unread SV_Position is not listed.
  struct expected_input_t {
    const char* name;
    uint32_t index, system_value, component_type;
    uint8_t mask;
  };
  const expected_input_t inputs[] = {
      {"TEXCOORD", 0, 0, 3, 0x3},
      {"COLOR", 0, 0, 3, 0xF},
  };
  ASSERT_EQ(r.inputs.size(), std::size(inputs));
  for (const auto& e : inputs) {
    SCOPED_TRACE(e.name);
    const named_record_t* found = nullptr;
    for (const auto& i : r.inputs)
      if (strcasecmp(i.name.c_str(), e.name) == 0) found = &i;
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->at(8), e.index);
    EXPECT_EQ(found->at(16), e.system_value);
    EXPECT_EQ(found->at(20), e.component_type);
    EXPECT_EQ(found->record[24], e.mask);
  }
}

TEST_F(ReflectionBlobTest, VertexAndComputeShadersDescribeTheirStage) {
  ASSERT_EQ(run_tool(PUMBLECRISP_TEST_DATA), 0) << output;
  const reflection_t vs = reflection_of("shaders.reflection.hlsl.vsreflect.refl");
  EXPECT_EQ(field(vs.description, 0), 0x00010050u);
  ASSERT_EQ(vs.inputs.size(), 3u);
  for (const char* semantic : {"POSITION", "TEXCOORD", "COLOR"}) {
    bool found = false;
    for (const auto& i : vs.inputs) found = found || strcasecmp(i.name.c_str(), semantic) == 0;
    EXPECT_TRUE(found) << semantic;
  }
  const named_record_t* frame = vs.binding("Frame");
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->at(12), 0u);
  const variable_t* view_projection = vs.buffer("Frame", ct_cbuffer)->variable("view_projection");
  ASSERT_NE(view_projection, nullptr);
  EXPECT_EQ(view_projection->desc.at(16), 2u);  // the vertex shader reads it

  const reflection_t cs = reflection_of("shaders.reflection.hlsl.csreflect.refl");
  EXPECT_EQ(field(cs.description, 0), 0x00050050u);
  EXPECT_TRUE(cs.inputs.empty());
  const named_record_t* alive = cs.binding("alive");
  ASSERT_NE(alive, nullptr);
  EXPECT_EQ(alive->at(8), 11u);  // read-write structured with counter
  EXPECT_EQ(alive->at(12), 0u);
  EXPECT_EQ(alive->at(32), 16u);
}

// Shaders the build must refuse, each with the file and line of the fault in the message.
TEST_F(ReflectionBlobTest, RefusalsNameTheFileAndLine) {
  struct case_t {
    const char* what;
    const char* source;
    const char* expected;  // in the output, after the file name
  };
  const case_t cases[] = {
      {"a float3 that std140 would move",
       "// a constant buffer GL cannot lay out\n"
       "cbuffer Packed : register(b0) {\n"
       "  float weight;\n"
       "  float3 direction;\n"
       "};\n"
       "float4 PsMain() : SV_Target { return float4(direction, weight); }\n",
       "bad.hlsl:4: error: cbuffer Packed, member direction"},
      {"a syntax error",
       "float4 PsMain() : SV_Target {\n"
       "  float4 c = float4(1, 1, 1, 1);\n"
       "  return c +;\n"
       "}\n",
       "bad.hlsl:3:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(base / "content");
    fs::remove_all(base / "out");
    write("shaders/bad.hlsl", c.source);
    write("shaders/entrypoints.txt", "pixel shaders/bad.hlsl PsMain\n");
    EXPECT_EQ(run_tool(base / "content"), 1);
    EXPECT_NE(output.find(c.expected), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(base / "out/shaders/cache/shaders.bad.hlsl.psmain.spv"));
    EXPECT_FALSE(fs::exists(base / "out/shadermanager.toml"));
  }
}

}  // namespace
