#include "EngineSettings.h"

#include <algorithm>
#include <limits>

namespace voxling {
namespace {

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = char16_t(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z') y = char16_t(y - u'A' + u'a');
        if (x != y) return false;
    }
    return true;
}

int32_t* field(EngineSettings& s, std::u16string_view name) {
    int32_t* fields[] = {&s.PunctuationLong, &s.PunctuationShort, &s.ReadPunctuation, &s.ReadSentence,
                         &s.ReadNumber,      &s.FirstName,        &s.VoiceStyle};
    for (size_t i = 0; i < EngineSettings::kValueNames.size(); ++i)
        if (sameName(name, EngineSettings::kValueNames[i])) return fields[i];
    return nullptr;
}

} // namespace

bool EngineSettings::assign(std::u16string_view name, uint32_t dword) {
    int32_t* f = field(*this, name);
    if (!f) return false;
    // Pause units are byte counts: past the signed range a count is large, not negative, and
    // stops at the top as the same number typed into the dialog does. The others are signed
    // (VoiceStyle goes below zero).
    if (f == &PunctuationLong || f == &PunctuationShort)
        *f = static_cast<int32_t>(std::min<uint32_t>(dword, std::numeric_limits<int32_t>::max()));
    else
        *f = static_cast<int32_t>(dword);
    clamp();
    return true;
}

bool EngineSettings::assignDefault(std::u16string_view name) {
    int32_t* f = field(*this, name);
    if (!f) return false;
    EngineSettings defaults;
    *f = *field(defaults, name);
    return true;
}

int32_t EngineSettings::value(std::u16string_view name) const {
    int32_t* f = field(const_cast<EngineSettings&>(*this), name);
    return f ? *f : 0;
}

void EngineSettings::clamp() {
    PunctuationLong = std::clamp(PunctuationLong, 0, kMaxPauseUnit);
    PunctuationShort = std::clamp(PunctuationShort, 0, kMaxPauseUnit);
    ReadPunctuation = std::clamp(ReadPunctuation, 0, 1);
    ReadSentence = std::clamp(ReadSentence, 0, 1);
    ReadNumber = std::clamp(ReadNumber, 0, 2);
    FirstName = std::clamp(FirstName, 0, 1);
}

} // namespace voxling
