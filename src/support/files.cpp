#include "support/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/paths.h"

namespace {

bool stat_mode(std::string_view path, mode_t type) {
  std::string local = to_forward_slashes(path);
  if (access(local.c_str(), F_OK) != 0) return false;
  struct stat info {};
  if (stat(local.c_str(), &info) != 0) return false;
  return (info.st_mode & S_IFMT) == type;
}

template <typename byte_t>
bool read_file_bytes(std::string_view path, std::vector<byte_t>& out) {
  // Callers build paths like "dir\/name"; both separators mean a directory here.
  std::string local = to_forward_slashes(path);
  int fd = open(local.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = false;
  struct stat info {};
  if (fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode)) {
    size_t size = static_cast<size_t>(info.st_size);
    if (size == 0) {
      ok = true;
    } else {
      out.resize(size);
      size_t done = 0;
      ok = true;
      while (done < size) {
        ssize_t n = read(fd, out.data() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          ok = false;
          break;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
      }
      // A file that shrank while being read keeps only the bytes that exist.
      if (ok) out.resize(done);
    }
  }
  close(fd);
  return ok;
}

}  // namespace

bool file_exists(std::string_view path) { return stat_mode(path, S_IFREG); }

bool directory_exists(std::string_view path) { return stat_mode(path, S_IFDIR); }

bool read_whole_file(std::string_view path, std::vector<uint8_t>& out) { return read_file_bytes(path, out); }

bool read_whole_file(std::string_view path, std::vector<char>& out) { return read_file_bytes(path, out); }

line_reader_t::line_reader_t(const void* bytes, size_t count) {
  if (bytes && count) {
    const char* begin = static_cast<const char*>(bytes);
    buffer_.assign(begin, begin + count);
  }
}

std::string line_reader_t::read_line() {
  if (position_ >= buffer_.size()) return {};
  for (size_t i = position_; i < buffer_.size(); ++i) {
    size_t terminator = 0;
    if (buffer_[i] == '\n')
      terminator = 1;
    else if (buffer_[i] == '\r' && i + 1 < buffer_.size() && buffer_[i + 1] == '\n')
      terminator = 2;
    if (terminator) {
      std::string line(buffer_.data() + position_, i - position_);
      position_ = i + terminator;
      return line;
    }
  }
  std::string line(buffer_.data() + position_, buffer_.size() - position_);
  position_ = buffer_.size();
  return line;
}
