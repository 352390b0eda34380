#include "libs/rocket/sync_track_path.h"

// ASCII only: the C library's isalnum depends on the locale and is undefined for negative chars.
static bool kept_as_is(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '/' ||
         c == '_';
}

std::string encode_track_name(const std::string& name) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    const size_t needed = kept_as_is(c) ? 1 : 3;
    // An escape is never cut in half at the limit.
    if (encoded.size() + needed > max_encoded_track_name) break;
    if (needed == 1) {
      encoded += ch;
    } else {
      encoded += '-';
      encoded += hex[c >> 4];
      encoded += hex[c & 0xF];
    }
  }
  return encoded;
}

std::string sync_track_path(const std::string& base, const std::string& name) {
  return base + "_" + encode_track_name(name) + ".track";
}
