#pragma once
// Character-level helpers shared by the run-time's text functions (not for outside use).
#include <string>
#include <string_view>
#include <vector>

namespace forms::detail {

// Byte length of the character at i (a stray or truncated sequence counts as one byte each).
size_t charLength(std::string_view s, size_t i);
// Byte offsets of every character, plus the end.
std::vector<size_t> charStarts(std::string_view s);
// Code point of the character at i; stray bytes map above U+10FFFF so they stay distinct.
char32_t decodeAt(std::string_view s, size_t i, size_t len);
std::string encode(char32_t cp);
char32_t upper(char32_t c);
char32_t lower(char32_t c);
// The form under which text comparison matches characters.
char32_t foldText(char32_t c);
// A text folded for case-insensitive keys.
std::string foldKey(std::string_view s);

// A text split into characters.
struct Chars {
    explicit Chars(std::string_view text);
    size_t size() const { return cp.size(); }
    // Bytes of characters [from, to).
    std::string_view sub(size_t from, size_t to) const { return s.substr(off[from], off[to] - off[from]); }
    std::string_view s;
    std::vector<size_t> off;
    std::vector<char32_t> cp;
};

} // namespace forms::detail
