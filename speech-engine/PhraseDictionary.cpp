#include "PhraseDictionary.h"

#include <algorithm>
#include <cstring>

namespace voxling {

using namespace format;

namespace {

std::u16string readText(const uint8_t* p, size_t units) {
    std::u16string s;
    for (size_t i = 0; i < units; ++i) {
        char16_t ch = char16_t(readU16(p + 2 * i));
        if (ch == 0) break;
        s.push_back(ch);
    }
    return s;
}

char asciiUpper(char ch) { return (ch >= 'a' && ch <= 'z') ? char(ch - 'a' + 'A') : ch; }

} // namespace

PhraseRecord parsePhraseRecord(const uint8_t* p) {
    PhraseRecord r;
    r.text = readText(p + kPhraseTextOffset, kPhraseTextUnits);
    if (r.text.size() > kPhraseMaxChars) r.text.resize(kPhraseMaxChars);
    for (size_t k = 0; k < 8; ++k) {
        const uint8_t* s = p + kPhrasePinyinOffset + kPinyinSlot * k;
        size_t n = 0;
        while (n < kPinyinSlot && s[n] != 0) ++n;
        r.pinyin[k].assign(reinterpret_cast<const char*>(s), n);
        r.a[k] = int16_t(readU16(p + kPhraseAOffset + 2 * k));
        r.b[k] = int16_t(readU16(p + kPhraseBOffset + 2 * k));
        r.c[k] = int16_t(readU16(p + kPhraseCOffset + 2 * k));
        r.duration[k] = int32_t(readU32(p + kPhraseDurationOffset + 4 * k));
    }
    r.reading = readText(p + kPhraseReadingOffset, kPhraseReadingUnits);
    r.flags = readU32(p + kPhraseFlagsOffset);
    r.recordingOffset = readU32(p + kPhraseRecOffsetOffset);
    r.recordingLength = readU32(p + kPhraseRecLengthOffset);
    return r;
}

bool PhraseDictionary::headerValid() const {
    if (!file_ || file_->size() < kVoiceWordHeaderSize) return false;
    const uint8_t* p = file_->data() + kVoiceWordGuidOffset;
    size_t n = 0;
    while (kVoiceWordGuidOffset + n < kVoiceWordGuidEnd && p[n] != 0) ++n;
    if (n != std::strlen(kVoiceWordGuid)) return false;
    for (size_t i = 0; i < n; ++i)
        if (asciiUpper(char(p[i])) != asciiUpper(kVoiceWordGuid[i])) return false;
    return true;
}

int16_t PhraseDictionary::peakReference() const {
    if (!file_ || file_->size() < kVoiceWordHeaderSize) return 32767;
    int64_t peak = int32_t(readU32(file_->data() + kPeakOffset));
    int64_t ref = peak * 100 / 95;
    // A reference outside 1..32767 would turn the gain index negative or past its table.
    if (ref < 1 || ref > 32767) return 32767;
    return int16_t(ref);
}

int32_t PhraseDictionary::fallbackFirst() const {
    if (!file_ || file_->size() < kVoiceWordHeaderSize) return -1;
    return int32_t(readU32(file_->data() + kFallbackFirstOffset));
}

uint32_t PhraseDictionary::fallbackCount() const {
    if (!file_ || file_->size() < kVoiceWordHeaderSize) return 0;
    return readU32(file_->data() + kFallbackCountOffset);
}

IndexEntry PhraseDictionary::indexEntry(uint32_t c) const {
    size_t at = indexEntryOffset(c);
    if (!file_ || at == 0 || at + kIndexEntrySize > file_->size()) return {};
    const uint8_t* p = file_->data() + at;
    return {readU32(p), readU32(p + 4), readU32(p + 8)};
}

uint32_t PhraseDictionary::recordCount() const {
    if (!file_ || file_->size() <= kPhraseRecordsOffset) return 0;
    size_t n = (file_->size() - kPhraseRecordsOffset) / kPhraseRecordSize;
    return uint32_t(std::min<size_t>(n, UINT32_MAX));
}

const uint8_t* PhraseDictionary::recordBytes(uint32_t n) const {
    if (n >= recordCount()) return nullptr;
    return file_->data() + kPhraseRecordsOffset + size_t(n) * kPhraseRecordSize;
}

std::optional<PhraseRecord> PhraseDictionary::record(uint32_t n) const {
    const uint8_t* p = recordBytes(n);
    if (!p) return std::nullopt;
    return parsePhraseRecord(p);
}

bool PhraseDictionary::matches(uint32_t n, std::u16string_view w, PhraseRecord& out) const {
    const uint8_t* p = recordBytes(n);
    if (!p) return false;
    out = parsePhraseRecord(p);
    return out.text == w && !out.disabled();
}

void PhraseDictionary::resetCurrentPhrase(char16_t c) {
    current_ = PhraseRecord{};
    current_.text.assign(1, c);
    current_.reading.assign(1, c);
}

int PhraseDictionary::LookupPhraseChars(const char16_t* chars) {
    std::u16string text;
    for (size_t i = 0; i < kPhraseMaxChars && chars[i] != 0; ++i) text.push_back(chars[i]);
    return LookupPhrase(text);
}

int PhraseDictionary::LookupPhrase(std::u16string_view text) {
    if (!file_ || text.empty()) return 1;
    if (text.size() > kPhraseMaxChars) text = text.substr(0, kPhraseMaxChars);
    const uint32_t count = recordCount();
    PhraseRecord found;
    bool matched = false;

    // Records of the first character, in file order. w stays cut to the shortest record tried.
    IndexEntry entry = indexEntry(text[0]);
    uint32_t end = std::min(entry.end, count);
    if (entry.first < end) {
        std::u16string_view w = text;
        PhraseRecord r;
        for (uint32_t n = entry.first; n < end && !matched; ++n) {
            const uint8_t* p = recordBytes(n);
            r = parsePhraseRecord(p);
            if (r.text.size() < 2) continue;
            if (w.size() > r.text.size()) w = w.substr(0, r.text.size());
            if (w == r.text && !r.disabled()) {
                found = std::move(r);
                matched = true;
            }
        }
    }

    // The fallback range, longest prefix first.
    int32_t first = fallbackFirst();
    uint32_t fallbackN = fallbackCount();
    if (!matched && first >= 0 && fallbackN != 0 && uint32_t(first) < count) {
        uint32_t last = uint32_t(std::min<uint64_t>(uint64_t(first) + fallbackN, count));
        for (size_t j = text.size(); j >= 2 && !matched; --j) {
            std::u16string_view w = text.substr(0, j);
            for (uint32_t n = uint32_t(first); n < last && !matched; ++n)
                matched = matches(n, w, found);
        }
    }

    if (!matched) return 1;
    current_ = std::move(found);
    size_t m = std::min(current_.reading.size(), kPhraseMaxChars);
    return m < 1 ? 1 : int(m);
}

} // namespace voxling
