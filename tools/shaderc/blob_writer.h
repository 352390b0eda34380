#pragma once
// Little-endian byte output for the reflection blob: fixed-size records whose fields are written at
// their byte offsets, strings as a u32 length and the bytes, counts as i32.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

template <size_t size>
struct blob_record_t {
  std::array<uint8_t, size> bytes{};

  void set_u32(size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
  }
  void set_u8(size_t offset, uint8_t value) { bytes.at(offset) = value; }
};

class blob_writer_t {
 public:
  template <size_t size>
  void record(const blob_record_t<size>& r) {
    bytes_.insert(bytes_.end(), r.bytes.begin(), r.bytes.end());
  }
  void count(int32_t value) {
    blob_record_t<4> r;
    r.set_u32(0, static_cast<uint32_t>(value));
    record(r);
  }
  void string(const std::string& text) {
    count(static_cast<int32_t>(text.size()));
    bytes_.insert(bytes_.end(), text.begin(), text.end());
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};
