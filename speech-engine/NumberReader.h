#pragma once
// Digit runs read as digit strings, values with place words, percentages or money amounts, and
// the "#w", "#n" and "#c" markup forms.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace voxling {

enum class NumberMode { Digits, Value, Percent, Money };

struct NumberScan {
    std::u16string integer;    // digits, with a leading "-" when the number has one; "0" for ".5"
    std::u16string decimals;   // possibly empty
    NumberMode mode = NumberMode::Digits;
    size_t consumed = 0;       // text characters taken, a "%" or "元" that set the mode included
};

// What to voice for a number: each character by its own unit, in order.
struct NumberReading {
    std::u16string text;
    bool tooLarge = false;   // more than 13 integer digits: the user is warned and nothing is voiced
};

constexpr size_t kMaxDigitString = 255;  // a longer run continues as a new number
constexpr size_t kMaxIntegerDigits = 13; // up to the ten-thousands of yi

// A digit, or "-" or "." followed by a digit, starts a number at a.
bool isNumberStart(std::u16string_view text, size_t a);
// Scans the number at a (nothing consumed when none starts there). readNumber is the ReadNumber
// setting, which decides the mode when the character after the number does not.
NumberScan scanNumber(std::u16string_view text, size_t a, int readNumber);

// The text of a value, percent or money reading.
NumberReading ReadNumberText(const NumberScan& scan);
// Any mode: digits mode gives the digits as written, with "点" for the decimal point.
NumberReading readNumber(const NumberScan& scan);

enum class MarkupKind { Wait, Number, Chars };

struct Markup {
    MarkupKind kind = MarkupKind::Wait;
    size_t consumed = 0;        // "#" and the letter always, then the digits
    uint32_t silenceBytes = 0;  // "#w": whole samples, at most kMaxMarkupSilence
    NumberReading reading;      // "#n" and "#c"
};

constexpr uint32_t kMaxMarkupSilence = 1920000;  // one minute of 16 kHz 16-bit audio

// "#w", "#n" or "#c" at a.
bool isMarkupStart(std::u16string_view text, size_t a);
// Nothing consumed when no markup starts at a.
Markup readMarkup(std::u16string_view text, size_t a);

} // namespace voxling
