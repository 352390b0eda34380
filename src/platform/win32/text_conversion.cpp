#include "platform/win32/text_conversion.h"

#include <cstdint>
#include <string>

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

// UTF-8 to UTF-16, characters beyond U+FFFF as surrogate pairs; each byte that starts no valid
// sequence, and each truncated, overlong, surrogate or out-of-range sequence, becomes one U+FFFD.
std::u16string decode_utf8(std::string_view text) {
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

}  // namespace

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int count, char16_t* out, int out_count) {
  if (code_page != CP_UTF8 || !text || count == 0 || out_count < 0) return 0;
  const size_t length = count < 0 ? std::char_traits<char>::length(text) + 1 : static_cast<size_t>(count);
  const std::u16string wide = decode_utf8(std::string_view(text, length));
  if (out_count == 0) return static_cast<int>(wide.size());
  if (!out || wide.size() > static_cast<size_t>(out_count)) return 0;
  wide.copy(out, wide.size());
  return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* text, int count, char* out, int out_size,
                        const char* default_char, BOOL* used_default_char) {
  if (code_page != CP_UTF8 || !text || count == 0 || out_size < 0) return 0;
  const size_t length = count < 0 ? std::char_traits<char16_t>::length(text) + 1 : static_cast<size_t>(count);
  std::string bytes;
  const size_t limit = out_size == 0 ? length * 4 : static_cast<size_t>(out_size);
  if (!append_utf8(text, length, limit, bytes)) return 0;
  if (out_size == 0) return static_cast<int>(bytes.size());
  bytes.copy(out, bytes.size());
  return static_cast<int>(bytes.size());
}
