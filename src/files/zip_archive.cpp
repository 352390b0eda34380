#include "files/zip_archive.h"

#include <zip.h>

zip_archive_t::~zip_archive_t() { close(); }

bool zip_archive_t::open(const std::string& path) {
  close();
  int error = 0;
  archive_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
  return archive_ != nullptr;
}

void zip_archive_t::close() {
  if (archive_) {
    zip_discard(archive_);
    archive_ = nullptr;
  }
}

std::optional<uint64_t> zip_archive_t::locate(const std::string& name) const {
  if (!archive_) return std::nullopt;
  zip_int64_t index = zip_name_locate(archive_, name.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
  if (index < 0) return std::nullopt;
  return static_cast<uint64_t>(index);
}

std::optional<uint64_t> zip_archive_t::uncompressed_size(uint64_t index) const {
  zip_stat_t st;
  zip_stat_init(&st);
  if (!archive_ || zip_stat_index(archive_, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
    return std::nullopt;
  return static_cast<uint64_t>(st.size);
}

bool zip_archive_t::extract(uint64_t index, std::vector<uint8_t>& bytes) const {
  if (!archive_) return false;
  zip_file_t* file = zip_fopen_index(archive_, index, 0);
  if (!file) return false;
  size_t total = 0;
  bool ok = true;
  while (total < bytes.size()) {
    zip_int64_t n = zip_fread(file, bytes.data() + total, bytes.size() - total);
    if (n <= 0) {
      ok = false;
      break;
    }
    total += static_cast<size_t>(n);
  }
  // The CRC is checked when the data runs out, so read once more to its end.
  uint8_t extra = 0;
  if (ok && zip_fread(file, &extra, 1) != 0) ok = false;
  if (zip_fclose(file) != 0) ok = false;
  return ok;
}
