#include "support/strings.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace {

// Appends the UTF-8 form of `count` UTF-16 units; false when more than `limit` bytes are needed.
bool append_utf8(const char16_t* text, size_t count, size_t limit, std::string& out) {
  out.reserve(count * 2);
  auto put = [&](uint32_t code) {
    char bytes[4];
    size_t n = 0;
    if (code < 0x80) {
      bytes[n++] = static_cast<char>(code);
    } else if (code < 0x800) {
      bytes[n++] = static_cast<char>(0xC0 | (code >> 6));
      bytes[n++] = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      bytes[n++] = static_cast<char>(0xE0 | (code >> 12));
      bytes[n++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      bytes[n++] = static_cast<char>(0x80 | (code & 0x3F));
    } else {
      bytes[n++] = static_cast<char>(0xF0 | (code >> 18));
      bytes[n++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      bytes[n++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      bytes[n++] = static_cast<char>(0x80 | (code & 0x3F));
    }
    if (out.size() + n > limit) return false;
    out.append(bytes, n);
    return true;
  };
  for (size_t i = 0; i < count; ++i) {
    uint32_t unit = text[i];
    uint32_t code = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (!put(code)) return false;
  }
  return true;
}

}  // namespace

std::string to_utf8(const char16_t* text) {
  if (!text) return {};
  size_t length = 0;
  while (text[length]) ++length;
  // The output buffer holds twice the input length plus one byte, the terminator included.
  std::string out;
  if (!append_utf8(text, length, length * 2, out)) return {};
  return out;
}

bool to_utf8_n(const char16_t* text, size_t count, std::string& out) {
  if (!text) return false;
  std::string converted;
  if (!append_utf8(text, count, count * 2 + 1, converted)) return false;
  out = std::move(converted);
  return true;
}

std::u16string to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i++]);
    if (lead < 0x80) {
      out.push_back(lead);
      continue;
    }
    // The continuation count and the range of the first continuation byte, which rules out
    // overlong forms, surrogates and code points above U+10FFFF.
    int extra = 0;
    uint32_t code = 0;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, code = lead & 0x0Fu;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, code = lead & 0x07u;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out.push_back(u'\uFFFD');
      continue;
    }
    for (; extra > 0 && i < text.size(); --extra, low = 0x80, high = 0xBF) {
      const auto next = static_cast<uint8_t>(text[i]);
      if (next < low || next > high) break;
      code = code << 6 | (next & 0x3Fu);
      ++i;
    }
    if (extra > 0) {
      out.push_back(u'\uFFFD');
    } else if (code >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

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
