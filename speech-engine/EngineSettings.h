#pragma once
// The engine settings the speak loop and the text front end read. One copy per engine object, so
// two engines never see each other's values.
#include <array>
#include <cstdint>
#include <string_view>

namespace voxling {

struct EngineSettings {
    int32_t PunctuationLong = 20000;   // pause unit of the long pause class, in output bytes
    int32_t PunctuationShort = 5000;   // pause unit of the short pause class, in output bytes
    int32_t ReadPunctuation = 0;       // 1: marks are voiced before their pause
    int32_t ReadSentence = 0;          // 1: a sentence is gathered and written at once
    int32_t ReadNumber = 0;            // 0 digit by digit, 1 value, 2 money
    int32_t FirstName = 0;             // 1: lone characters take their surname reading
    int32_t VoiceStyle = 0;            // declared output rate; unlisted values mean 16 kHz

    static constexpr int32_t kMaxPauseUnit = 100000;

    // The registry value names, in the order they are read.
    static constexpr std::array<std::u16string_view, 7> kValueNames{
        u"PunctuationLong", u"PunctuationShort", u"ReadPunctuation", u"ReadSentence",
        u"ReadNumber",      u"FirstName",        u"VoiceStyle"};

    // Stores a REG_DWORD read under its value name (names compare without regard to case),
    // brought into range first: a pause unit reads as an unsigned count, clamped as a typed one.
    // False for a name that is not a setting.
    bool assign(std::u16string_view name, uint32_t dword);
    // Resets the named value to its default (a value whose query failed). False for an unknown name.
    bool assignDefault(std::u16string_view name);
    // The value held under a name, for writing back; 0 for an unknown name.
    int32_t value(std::u16string_view name) const;

    // Brings every value into its range: pause units 0..100,000 bytes, flags 0 or 1,
    // ReadNumber 0..2. Values typed into the settings dialog go through here too.
    void clamp();

    bool operator==(const EngineSettings&) const = default;
};

} // namespace voxling
