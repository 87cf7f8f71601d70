#pragma once
// How one character is spoken on its own: the unit it voices and the pause after it; and the
// pause arithmetic shared by the speak loop.
#include "EngineSettings.h"

#include <cstdint>

namespace voxling {

struct CharClass {
    uint32_t unit = 0;    // unit code to voice; 0 voices nothing
    uint32_t pause = 0;   // pause unit P in output bytes; 0 for none
    bool skip = false;    // the ideographic space: no unit, no pause, no word event
};

CharClass classifyChar(char16_t c, const EngineSettings& settings);

// Unit code of a character of a phrase reading or a number text: above U+00FF the ideograph's
// code, else the character itself.
uint32_t readingUnit(char16_t c);

// base scaled by the rate's pause factor (1.2 for rates -9..9, 0.2 at 10, 2.2 at -10), in
// integers and rounded down to whole 16-bit samples. Rates outside -10..10 count as the nearest end.
uint32_t scaledPause(int rate, uint32_t base);
// The pause after a single character of class P: f x P after a voiced unit, f x (P + 8000)
// when nothing was voiced, nothing when P is 0.
uint32_t pauseAfter(int rate, uint32_t pause, bool voiced);

constexpr uint32_t kNumberPause = 5000;    // after each ASCII unit of a number or "#c" text
constexpr uint32_t kItemEndPause = 10000;  // closing a Speak item
constexpr uint32_t kUnvoicedExtra = 8000;
constexpr uint32_t kStrangePause = 2000;   // a character the voice has nothing for

} // namespace voxling
