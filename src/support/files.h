#pragma once
// Local-disk queries and whole-file reads, plus a line reader over an owned byte buffer.
// Paths may mix '\' and '/'; both separate directories.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

bool file_exists(std::string_view path);
bool directory_exists(std::string_view path);
// False when the file cannot be opened or read; an empty file gives true with `out` untouched.
bool read_whole_file(std::string_view path, std::vector<uint8_t>& out);
bool read_whole_file(std::string_view path, std::vector<char>& out);

// Returns lines without their terminator ("\n" or "\r\n"; a lone '\r' is an ordinary byte).
// An empty line reads like the end, so callers loop until at_end().
class line_reader_t {
 public:
  line_reader_t(const void* bytes, size_t count);
  std::string read_line();
  bool at_end() const { return position_ >= buffer_.size(); }
  size_t position() const { return position_; }

 private:
  std::vector<char> buffer_;
  size_t position_ = 0;
};
