#pragma once
// Read access to one ZIP archive: entries located by whole name ignoring ASCII
// case, their sizes, and whole-entry extraction with the CRC-32 checked.
// Not thread-safe: the reader's file position moves, so callers serialise.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct zip;

class zip_archive_t {
 public:
  zip_archive_t() = default;
  zip_archive_t(const zip_archive_t&) = delete;
  zip_archive_t& operator=(const zip_archive_t&) = delete;
  ~zip_archive_t();

  // Ends any open archive first; false when the file is no readable ZIP.
  bool open(const std::string& path);
  void close();
  bool is_open() const { return archive_ != nullptr; }

  std::optional<uint64_t> locate(const std::string& name) const;
  std::optional<uint64_t> uncompressed_size(uint64_t index) const;
  // Fills bytes (already sized to the entry) with the entry; false on any
  // read, inflate or CRC failure.
  bool extract(uint64_t index, std::vector<uint8_t>& bytes) const;

 private:
  zip* archive_ = nullptr;
};
