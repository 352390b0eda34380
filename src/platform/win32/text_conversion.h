#pragma once
// The platform's text conversions between UTF-8 and UTF-16, as the kernel offers them: only the
// UTF-8 code page. A count of -1 takes the text up to and with its terminator; an output size of 0
// asks for the size needed. Both answer 0 on failure, including an output that is too small.
// Reading UTF-8, each byte that starts no valid sequence, and each truncated, overlong, surrogate or
// out-of-range sequence, becomes one U+FFFD; writing it, an unpaired surrogate becomes U+FFFD.

#include <string>
#include <string_view>

#include "platform/win32/types.h"

constexpr UINT CP_UTF8 = 65001;

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int count, char16_t* out, int out_count);
int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* text, int count, char* out, int out_size,
                        const char* default_char, BOOL* used_default_char);

namespace win32 {

// The whole text converted with MultiByteToWideChar.
inline std::u16string widen_utf8(std::string_view text) {
  if (text.empty()) return {};
  const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(count), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), count);
  return out;
}

}  // namespace win32
