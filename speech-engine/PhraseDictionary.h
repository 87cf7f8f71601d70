#pragma once
// The phrase dictionary (VoiceWord): header, per-character index, phrase records and the lookup.
#include "VoiceFile.h"
#include "VoiceFormat.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace voxling {

struct PhraseRecord {
    std::u16string text;                     // at most 8 characters
    std::array<std::string, 8> pinyin{};     // "zho1ng": tone digit after the toned letter
    std::u16string reading;                  // one character per syllable
    std::array<int16_t, 8> a{}, b{}, c{};    // prosody values per syllable
    std::array<int32_t, 8> duration{};       // the first is also the phrase's divisor
    uint32_t flags = 0;
    uint32_t recordingOffset = 0;            // in VoiceWordData
    uint32_t recordingLength = 0;            // 0: built from units

    bool disabled() const { return (flags & format::kPhraseDisabled) != 0; }
    bool hasRecording() const { return recordingLength != 0; }
    bool operator==(const PhraseRecord&) const = default;
};

// Decodes one 372-byte record.
PhraseRecord parsePhraseRecord(const uint8_t* bytes);

struct IndexEntry {
    uint32_t value = 0;   // unused by the lookup
    uint32_t first = 0;
    uint32_t end = 0;     // exclusive
};

class PhraseDictionary {
public:
    // Takes the VoiceWord bytes; the file must outlive the dictionary's use.
    void attach(const WholeFile* voiceWord) { file_ = voiceWord; }
    void detach() { file_ = nullptr; }

    // The GUID text of the header, compared without regard to case.
    bool headerValid() const;
    // The header's peak level x 100 / 95 as the 16-bit reference the levelling divides by;
    // 32767 when that is below 1, and never above 32767.
    int16_t peakReference() const;
    int32_t fallbackFirst() const;
    uint32_t fallbackCount() const;

    // The index entry as stored (all zero for a character without one or past the file's end).
    IndexEntry indexEntry(uint32_t c) const;
    // Number of whole records the file holds.
    uint32_t recordCount() const;
    std::optional<PhraseRecord> record(uint32_t n) const;

    // Up to eight characters, ending at the first zero.
    int LookupPhraseChars(const char16_t* chars);
    // Number of characters covered by the matching record (its reading's length, at most 8), or
    // 1 when nothing matched; a match is copied into currentPhrase.
    int LookupPhrase(std::u16string_view text);

    // What the speak loop does before each lookup: the record holds c alone.
    void resetCurrentPhrase(char16_t c);
    void clearCurrentPhrase() { current_ = PhraseRecord{}; }
    const PhraseRecord& currentPhrase() const { return current_; }

private:
    const uint8_t* recordBytes(uint32_t n) const;
    bool matches(uint32_t n, std::u16string_view w, PhraseRecord& out) const;

    const WholeFile* file_ = nullptr;
    PhraseRecord current_;
};

} // namespace voxling
