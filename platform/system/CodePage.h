#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace sys {

// Conversions between the program's UTF-8 and a code page (936 = GBK) or UTF-16.
// Characters the code page lacks become '?', as the target's "A" functions do.
std::string toAnsi(std::string_view utf8, int codePage = 936);
std::string fromAnsi(std::string_view ansi, int codePage = 936);
// Cuts ANSI bytes to at most maxBytes without splitting a double-byte character.
std::string truncateAnsi(std::string_view ansi, size_t maxBytes, int codePage = 936);
// Byte length of the text in the code page.
size_t ansiLength(std::string_view utf8, int codePage = 936);

std::u16string toUtf16(std::string_view utf8);
std::string fromUtf16(std::u16string_view utf16);
// Invalid UTF-8 sequences become U+FFFD, so outside text never breaks the converters.
std::u32string toUtf32(std::string_view utf8);
std::string fromUtf32(std::u32string_view text);
// Whether the bytes come back unchanged from toUtf32 and fromUtf32: no stray or missing
// continuation byte, no overlong form, no surrogate, nothing past U+10FFFF.
bool isWellFormedUtf8(std::string_view utf8);
// Appends one code point as UTF-8 (surrogates and values past U+10FFFF as U+FFFD).
void appendUtf8(std::string& out, char32_t cp);

} // namespace sys
