#include "support/strings.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "platform/win32/text_conversion.h"

namespace {

// UTF-16 to UTF-8 through the platform, in at most `limit` bytes; false when more are needed.
bool convert_to_utf8(const char16_t* text, size_t count, size_t limit, std::string& out) {
  out.clear();
  if (count == 0) return true;
  out.resize(limit);
  const int written = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), out.data(),
                                          static_cast<int>(limit), nullptr, nullptr);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return written > 0;
}

}  // namespace

std::string to_utf8(const char16_t* text) {
  if (!text) return {};
  size_t length = 0;
  while (text[length]) ++length;
  // The output buffer holds twice the input length plus one byte, the terminator included.
  std::string out;
  if (!convert_to_utf8(text, length, length * 2, out)) return {};
  return out;
}

bool to_utf8_n(const char16_t* text, size_t count, std::string& out) {
  if (!text) return false;
  std::string converted;
  if (!convert_to_utf8(text, count, count * 2 + 1, converted)) return false;
  out = std::move(converted);
  return true;
}

std::u16string to_utf16(std::string_view text) { return win32::widen_utf8(text); }

bool split_first_dot(std::string_view text, std::string& head, std::string& tail) {
  size_t dot = text.find('.');
  if (dot == std::string_view::npos) {
    head = std::string(text);
    tail.clear();
    return false;
  }
  // Copy tail first: `text` may view `head`.
  std::string rest(text.substr(dot + 1));
  head = std::string(text.substr(0, dot));
  tail = std::move(rest);
  return true;
}

std::vector<std::string> split_string(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) pieces.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

std::string join_strings(const std::vector<std::string>& pieces, std::string_view separator, bool trailing) {
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i) out += separator;
    out += pieces[i];
  }
  if (trailing && !out.empty()) out += separator;
  return out;
}

std::string to_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string replace_char(std::string_view text, char from, char to) {
  std::string out(text);
  for (char& c : out)
    if (c == from) c = to;
  return out;
}

std::string format_string(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(out.data(), out.size() + 1, format, args);
  va_end(args);
  return out;
}
