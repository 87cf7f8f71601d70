#pragma once
// The run-time's string and conversion functions. Text is UTF-8; every count and position is in
// characters and 1-based, as the forms run-time counts them. Invalid arguments raise the
// run-time's errors (RuntimeError 5, 6 or 13).
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace forms {

enum CompareMethod { vbBinaryCompare = 0, vbTextCompare = 1 };

// Characters of a UTF-8 text (a stray byte counts as one character).
long Len(std::string_view s);

std::string Mid(std::string_view s, long start);
std::string Mid(std::string_view s, long start, long length);
std::string Left(std::string_view s, long length);
std::string Right(std::string_view s, long length);

// Position of find in s from start (1-based), 0 when absent; an empty find gives start.
long InStr(std::string_view s, std::string_view find, CompareMethod compare = vbBinaryCompare);
long InStr(long start, std::string_view s, std::string_view find, CompareMethod compare = vbBinaryCompare);
// Last position of find in s ending at or before start (-1: the end of s).
long InStrRev(std::string_view s, std::string_view find, long start = -1,
              CompareMethod compare = vbBinaryCompare);
// As the run-time does, the result begins at start: the part before it is dropped.
std::string Replace(std::string_view s, std::string_view find, std::string_view replacement, long start = 1,
                    long count = -1, CompareMethod compare = vbBinaryCompare);

// Blanks (U+0020) only, as the run-time trims.
std::string Trim(std::string_view s);
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);
// Case mapping of ASCII, Latin-1 and full-width Latin letters.
std::string UCase(std::string_view s);
std::string LCase(std::string_view s);

std::string Space(long count);
// count copies of the first character of ch.
std::string String(long count, std::string_view ch);
// count copies of the character with that code (as Chr).
std::string String(long count, long charCode);
std::string StrReverse(std::string_view s);

// An empty text gives no elements; an empty delimiter gives the whole text as one element.
std::vector<std::string> Split(std::string_view s, std::string_view delimiter = " ", long limit = -1,
                               CompareMethod compare = vbBinaryCompare);
std::string Join(const std::vector<std::string>& parts, std::string_view delimiter = " ");

// Equal texts under the given comparison.
bool StrEqual(std::string_view a, std::string_view b, CompareMethod compare = vbBinaryCompare);
// -1, 0 or 1 (binary: by code point; text: by case-folded code point).
int StrComp(std::string_view a, std::string_view b, CompareMethod compare = vbBinaryCompare);

// ---- Numbers ----------------------------------------------------------------------------
// Leading number of a text: blanks, tabs and line breaks are skipped everywhere; "&H"/"&O"
// prefixes read hexadecimal/octal; reading stops at the first character that cannot continue it.
double Val(std::string_view s);

// Number to text with up to 15 significant digits and no trailing zeros ("0.5", "1E+15", "1E-05").
std::string CStr(double v);
std::string CStr(bool v); // "True" / "False"
template <class I>
    requires(std::is_integral_v<I> && !std::is_same_v<I, bool>)
std::string CStr(I v) {
    return std::to_string(v);
}
inline std::string CStr(std::string_view s) { return std::string(s); }
inline std::string CStr(const std::string& s) { return s; }
inline std::string CStr(const char* s) { return std::string(s); }

// Conversions round half to even; out of range raises 6, a text that is not a number raises 13.
int32_t CLng(double v);
int32_t CLng(std::string_view s);
int16_t CInt(double v);
int16_t CInt(std::string_view s);
double CDbl(std::string_view s);
// A text that CDbl accepts (surrounding blanks, sign, decimals, exponent, "," grouping, &H).
bool IsNumeric(std::string_view s);
// Whole part toward zero / toward minus infinity, as Fix and Int do.
double Fix(double v);
double Int(double v);
// Rounds to `digits` decimals, halves to the even neighbour; negative digits raise 5.
double Round(double v, int digits = 0);

// Code of the first character in the machine's code page (double-byte codes come out
// negative, as a signed 16-bit value); an empty text raises 5.
int Asc(std::string_view s);
// Character of a code page code (0-255 or a double-byte code); out of range raises 5.
std::string Chr(long code);
// UTF-16 code of the first character as a signed 16-bit value, as AscW gives it.
int AscW(std::string_view s);
// Character of a UTF-16 code (-32768 to 65535); out of range raises 5.
std::string ChrW(long code);
// Upper-case hexadecimal of a 32-bit value (negatives in two's complement).
std::string Hex(long long v);

} // namespace forms
