#pragma once
// The five files of a bound voice: unit definitions and audio, phrase dictionary and recordings,
// and the sentence table. One per engine object, so bound engines never share state.
#include "PhraseDictionary.h"
#include "SentenceTable.h"
#include "VoiceFile.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace voxling {

struct UnitRecord {
    int16_t value0 = 0;
    int16_t value2 = 0;
    int32_t value4 = 0;
    uint32_t offset = 0;  // of the unit's audio in VoiceData
    uint32_t length = 0;  // 0 with offset 0: no audio
    int32_t value16 = 0;
    int32_t value20 = 0;
    int32_t value24 = 0;
    int16_t value28 = 0;
    int16_t value30 = 0;
    bool operator==(const UnitRecord&) const = default;
};

class VoiceLibrary {
public:
    VoiceLibrary();
    VoiceLibrary(const VoiceLibrary&) = delete;
    VoiceLibrary& operator=(const VoiceLibrary&) = delete;

    // Binding steps, in the order the engine takes them. Paths are Windows paths of the current
    // machine; each returns 0 or a Win32 error code.
    uint32_t openVoiceDef(std::u16string_view winPath);
    uint32_t openVoiceData(std::u16string_view winPath);
    uint32_t openVoiceWord(std::u16string_view winPath);
    uint32_t openVoiceWordData(std::u16string_view winPath);
    void LoadSentenceTable(std::u16string_view winPath) { sentences.LoadSentenceTable(winPath); }

    // Version 2 and the GUID text (any letter case).
    bool voiceDefValid() const;
    // Takes the unit records as VoiceDef held them when it was read; those past the file's end
    // have no audio.
    void copyUnitTable();
    bool voiceWordValid() const { return phrases.headerValid(); }
    int16_t peakReference() const { return phrases.peakReference(); }

    // The unit table (after copyUnitTable); a code past it gives an empty record.
    UnitRecord unit(uint32_t code) const;
    // A unit's audio, or empty when it has none or its bytes lie outside VoiceData. Valid until
    // the next call.
    std::span<const uint8_t> unitAudio(uint32_t code);
    // A phrase recording, or empty when it lies outside VoiceWordData.
    std::vector<uint8_t> phraseRecording(uint32_t offset, uint32_t length) const;

    void close();

    PhraseDictionary phrases;
    SentenceTable sentences;

private:
    // VoiceDef's bytes are the unit records as the file held them when the engine was bound (one
    // read-only copy for all engines bound to the unchanged file).
    // Unit audio is read from VoiceData as it is used: a sentence takes a few dozen of its
    // thousands of units, and an engine made to say one sentence would otherwise read them all.
    WholeFile voiceDef_, voiceWord_;
    OpenFile voiceData_, voiceWordData_;
    uint32_t unitCount_ = 0;
    std::vector<uint8_t> unitBytes_;
};

// Reads one 32-byte unit record.
UnitRecord parseUnitRecord(const uint8_t* bytes);

} // namespace voxling
