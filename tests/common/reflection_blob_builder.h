#pragma once
// Test-only: builds reflection blobs field by field at the record offsets of the blob format,
// independently of the records' C++ declarations.

#include <cstdint>
#include <string>
#include <vector>

namespace reflection_test {

class blob_builder_t {
 public:
  struct variable_t {
    std::string name;
    uint32_t offset = 0;
    uint32_t size = 4;
    uint32_t flags = 2;  // used
    uint32_t type_class = 0;
    uint32_t component = 3;  // float
    uint32_t rows = 1;
    uint32_t columns = 1;
    std::string type_name = "float";
  };
  struct buffer_t {
    std::string name;
    uint32_t type = 0;
    uint32_t size = 16;
    std::vector<variable_t> variables;
  };
  struct binding_t {
    std::string name;
    uint32_t type = 2;
    uint32_t bind_point = 0;
    uint32_t flags = 0;
  };
  struct parameter_t {
    std::string name;
    uint32_t semantic_index = 0;
    uint32_t reg = 0;
  };

  std::vector<parameter_t> inputs;
  std::vector<parameter_t> outputs;
  std::vector<binding_t> bindings;
  std::vector<buffer_t> buffers;
  std::string creator = "test";
  bool with_description = true;
  // Counts written into the description; -1 takes the list's size.
  int32_t desc_buffers = -1, desc_bindings = -1, desc_inputs = -1, desc_outputs = -1;

  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out;
    if (with_description) {
      std::vector<uint8_t> desc(160, 0);
      put(desc, 0, 0x50);  // version
      put(desc, 20, count_or(desc_buffers, buffers.size()));
      put(desc, 24, count_or(desc_bindings, bindings.size()));
      put(desc, 28, count_or(desc_inputs, inputs.size()));
      put(desc, 32, count_or(desc_outputs, outputs.size()));
      append(out, desc);
    }
    string(out, creator);
    for (const auto* list : {&inputs, &outputs}) {
      count(out, list->size());
      for (const parameter_t& p : *list) {
        std::vector<uint8_t> r(40, 0xCD);  // pointer slots and padding hold garbage
        put(r, 8, p.semantic_index);
        put(r, 12, p.reg);
        put(r, 16, 0), put(r, 20, 3), r[24] = 0xF, r[25] = 0xF, put(r, 28, 0), put(r, 32, 0);
        append(out, r);
        string(out, p.name);
      }
    }
    count(out, bindings.size());
    for (const binding_t& b : bindings) {
      std::vector<uint8_t> r(40, 0xCD);
      put(r, 8, b.type), put(r, 12, b.bind_point), put(r, 16, 1), put(r, 20, b.flags);
      put(r, 24, 5), put(r, 28, 4), put(r, 32, 0);
      append(out, r);
      string(out, b.name);
    }
    count(out, buffers.size());
    for (const buffer_t& b : buffers) {
      std::vector<uint8_t> r(24, 0xCD);
      put(r, 8, b.type), put(r, 12, uint32_t(b.variables.size())), put(r, 16, b.size), put(r, 20, 0);
      append(out, r);
      string(out, b.name);
      count(out, b.variables.size());
      for (const variable_t& v : b.variables) {
        std::vector<uint8_t> vr(48, 0xCD);
        put(vr, 8, v.offset), put(vr, 12, v.size), put(vr, 16, v.flags);
        put(vr, 32, 0), put(vr, 36, 0), put(vr, 40, 0), put(vr, 44, 0);
        append(out, vr);
        string(out, v.name);
        std::vector<uint8_t> t(40, 0xCD);
        put(t, 0, v.type_class), put(t, 4, v.component), put(t, 8, v.rows), put(t, 12, v.columns);
        put(t, 16, 0), put(t, 20, 0), put(t, 24, 0);
        append(out, t);
        string(out, v.type_name);
      }
    }
    return out;
  }

  static void put(std::vector<uint8_t>& r, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) r[offset + i] = uint8_t(value >> (8 * i));
  }
  static void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& r) { out.insert(out.end(), r.begin(), r.end()); }
  static void count(std::vector<uint8_t>& out, size_t n) {
    std::vector<uint8_t> r(4);
    put(r, 0, uint32_t(n));
    append(out, r);
  }
  static void string(std::vector<uint8_t>& out, const std::string& text) {
    count(out, text.size());
    out.insert(out.end(), text.begin(), text.end());
  }

 private:
  static uint32_t count_or(int32_t value, size_t size) { return value < 0 ? uint32_t(size) : uint32_t(value); }
};

}  // namespace reflection_test
