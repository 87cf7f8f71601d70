#pragma once
// Characters read differently as surnames, and the character whose unit carries that reading.

namespace voxling {

// The replacement for a surname character, or the character itself when it has none.
char16_t SurnameReading(char16_t c);

} // namespace voxling
