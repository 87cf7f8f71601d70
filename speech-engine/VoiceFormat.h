#pragma once
// Byte layouts of the five voice library files. The engine reads them; tools/voicegen writes them.
// All integers little-endian, texts UTF-16LE unless noted.
#include <cstddef>
#include <cstdint>

namespace voxling::format {

// Unit codes 0..21,901: characters below U+0100 (a-z as A-Z), CJK U+4E00..U+9FA5 as c - 18,968,
// CJK symbols U+3001..U+303F as c - 11,788.
constexpr uint32_t kUnitCount = 21902;
constexpr uint32_t kCjkFirst = 0x4E00;
constexpr uint32_t kCjkLast = 0x9FA5;
constexpr uint32_t kCjkCodeShift = 18968;
constexpr uint32_t kSymbolFirst = 0x3001;
constexpr uint32_t kSymbolLast = 0x303F;
constexpr uint32_t kSymbolCodeShift = 11788;

// VoiceDef
constexpr int32_t kVoiceDefVersion = 2;
constexpr const char* kVoiceDefGuid = "{AFDC4D72-BDDA-48AE-88BB-645B56F4517A}";
constexpr size_t kVoiceDefGuidOffset = 4;
constexpr size_t kGuidChars = 38;
constexpr size_t kUnitTableOffset = 1110;
constexpr size_t kUnitRecordSize = 32;
constexpr size_t kVoiceDefSize = kUnitTableOffset + kUnitCount * kUnitRecordSize;  // 701,974
// Unit record fields used by the engine.
constexpr size_t kUnitOffsetField = 8;
constexpr size_t kUnitLengthField = 12;

// VoiceWord
constexpr const char* kVoiceWordGuid = "{F90A50F6-A092-482A-9F0B-E0F0CBD13E0B}";
constexpr size_t kVoiceWordGuidOffset = 12;
constexpr size_t kVoiceWordGuidEnd = 144;  // the text and its terminator end before this
constexpr size_t kFallbackFirstOffset = 144;
constexpr size_t kFallbackCountOffset = 148;
constexpr size_t kPeakOffset = 156;
constexpr size_t kVoiceWordHeaderSize = 160;
constexpr size_t kIndexEntrySize = 12;
constexpr size_t kLatinIndexOffset = 160;      // U+0000..U+00FF
constexpr size_t kCjkIndexOffset = 3232;       // U+4E00..U+9FA5
constexpr size_t kPhraseRecordsOffset = 254056;
constexpr size_t kPhraseRecordSize = 372;

// Phrase record fields
constexpr size_t kPhraseMaxChars = 8;
constexpr size_t kPhraseTextOffset = 0;
constexpr size_t kPhraseTextUnits = 9;        // 8 characters and the terminator
constexpr size_t kPhrasePinyinOffset = 18;
constexpr size_t kPinyinSlot = 8;
constexpr size_t kPhraseReadingOffset = 82;
constexpr size_t kPhraseReadingUnits = 91;
constexpr size_t kPhraseAOffset = 264;
constexpr size_t kPhraseBOffset = 280;
constexpr size_t kPhraseCOffset = 296;
constexpr size_t kPhraseDurationOffset = 312;
constexpr size_t kPhraseFlagsOffset = 360;
constexpr size_t kPhraseRecOffsetOffset = 364;
constexpr size_t kPhraseRecLengthOffset = 368;
constexpr uint32_t kPhraseDisabled = 1;

// VoiceSenData
constexpr size_t kSentenceFieldChars = 255;

// Byte offset in VoiceWord of a character's index entry; 0 for characters that have none.
constexpr size_t indexEntryOffset(uint32_t c) {
    if (c <= 0xFF) return kLatinIndexOffset + kIndexEntrySize * c;
    if (c >= kCjkFirst && c <= kCjkLast) return kCjkIndexOffset + kIndexEntrySize * (c - kCjkFirst);
    return 0;
}

// Unit code of a character, or -1 when no unit belongs to it.
constexpr int32_t unitCodeOf(uint32_t c) {
    if (c >= 'a' && c <= 'z') return int32_t(c - 'a' + 'A');
    if (c <= 0xFF) return int32_t(c);
    if (c >= kCjkFirst && c <= kCjkLast) return int32_t(c - kCjkCodeShift);
    if (c >= kSymbolFirst && c <= kSymbolLast) return int32_t(c - kSymbolCodeShift);
    if (c >= 0xFF01 && c <= 0xFF5E) return unitCodeOf(c - 0xFF01 + 0x21);
    return -1;
}

// Little-endian access to raw bytes.
inline uint16_t readU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void writeU16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void writeU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

} // namespace voxling::format
