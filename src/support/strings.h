#pragma once
// Byte-string helpers shared by every module: UTF-16 and UTF-8 conversions, splitting, joining,
// ASCII case and printf-style formatting. Case operations are ASCII only.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// NUL-terminated UTF-16 text to UTF-8; the empty string when the text is missing or needs more
// than twice its length plus one byte. Unpaired surrogates become U+FFFD.
std::string to_utf8(const char16_t* text);
// The same for `count` UTF-16 units; false with `out` unchanged on failure or a missing text.
bool to_utf8_n(const char16_t* text, size_t count, std::string& out);
// UTF-8 to UTF-16, characters beyond U+FFFF as surrogate pairs. Each byte that starts no valid
// sequence, and each truncated, overlong, surrogate or out-of-range sequence, becomes one U+FFFD;
// decoding goes on at the first byte that did not fit.
std::u16string to_utf16(std::string_view text);

// head = text before the first '.', tail = text after it. Without '.', head = text, tail = ""
// and the result is false.
bool split_first_dot(std::string_view text, std::string& head, std::string& tail);
// The pieces between separators, empty pieces dropped.
std::vector<std::string> split_string(std::string_view text, char separator);
// The pieces with the separator between them; `trailing` adds one more separator at the end
// when the result is not empty.
std::string join_strings(const std::vector<std::string>& pieces, std::string_view separator,
                         bool trailing = false);
std::string to_lower(std::string_view text);
std::string replace_char(std::string_view text, char from, char to);
// printf formatting into a string of exactly the formatted length.
std::string format_string(const char* format, ...) __attribute__((format(printf, 1, 2)));
