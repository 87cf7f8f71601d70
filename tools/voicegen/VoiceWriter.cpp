#include "VoiceWriter.h"

#include "speech-engine/VoiceFormat.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>

namespace voicegen {

using namespace voxling::format;

namespace {

bool writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::filesystem::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            error = "cannot write " + tmp.string();
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        error = "cannot write " + path.string() + ": " + ec.message();
        return false;
    }
    return true;
}

void putText(uint8_t* p, const std::u16string& s, size_t maxUnits) {
    for (size_t i = 0; i < s.size() && i + 1 < maxUnits; ++i) writeU16(p + 2 * i, uint16_t(s[i]));
}

void appendUtf16(std::vector<uint8_t>& out, std::u16string_view s) {
    for (char16_t c : s) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
}

void putPhrase(uint8_t* p, const PhraseSpec& ph, uint32_t recOffset) {
    putText(p + kPhraseTextOffset, ph.text, kPhraseTextUnits);
    for (size_t k = 0; k < 8; ++k) {
        const std::string& py = ph.pinyin[k];
        std::memcpy(p + kPhrasePinyinOffset + kPinyinSlot * k, py.data(), std::min(py.size(), kPinyinSlot - 1));
        writeU16(p + kPhraseAOffset + 2 * k, uint16_t(ph.a[k]));
        writeU16(p + kPhraseBOffset + 2 * k, uint16_t(ph.b[k]));
        writeU16(p + kPhraseCOffset + 2 * k, uint16_t(ph.c[k]));
        writeU32(p + kPhraseDurationOffset + 4 * k, uint32_t(ph.duration[k]));
    }
    putText(p + kPhraseReadingOffset, ph.reading, kPhraseReadingUnits);
    writeU32(p + kPhraseFlagsOffset, ph.flags);
    writeU32(p + kPhraseRecOffsetOffset, ph.recording.empty() ? 0 : recOffset);
    writeU32(p + kPhraseRecLengthOffset, uint32_t(ph.recording.size()));
}

} // namespace

LibraryContent::LibraryContent() : unitClip(kUnitCount, -1) {}

bool writeLibrary(const LibraryContent& content, const std::filesystem::path& dir, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = "cannot create " + dir.string() + ": " + ec.message();
        return false;
    }
    if (content.unitClip.size() != kUnitCount) {
        error = "unit table of the wrong size";
        return false;
    }

    // VoiceData and VoiceDef: each clip stored once, units with the same clip share it.
    std::vector<uint8_t> data;
    std::vector<std::pair<uint32_t, uint32_t>> placed;
    for (const auto& clip : content.clips) {
        placed.emplace_back(uint32_t(data.size()), uint32_t(clip.size()));
        data.insert(data.end(), clip.begin(), clip.end());
    }
    std::vector<uint8_t> def(kVoiceDefSize, 0);
    writeU32(def.data(), uint32_t(kVoiceDefVersion));
    for (size_t i = 0; i < kGuidChars; ++i)
        writeU16(def.data() + kVoiceDefGuidOffset + 2 * i, uint16_t(kVoiceDefGuid[i]));
    for (uint32_t code = 0; code < kUnitCount; ++code) {
        int32_t clip = content.unitClip[code];
        if (clip < 0 || size_t(clip) >= placed.size() || placed[size_t(clip)].second == 0) continue;
        uint8_t* r = def.data() + kUnitTableOffset + size_t(code) * kUnitRecordSize;
        writeU32(r + kUnitOffsetField, placed[size_t(clip)].first);
        writeU32(r + kUnitLengthField, placed[size_t(clip)].second);
    }

    // VoiceWord: records grouped by first character, longest first within a group so the
    // lookup finds the longest phrase; then the fallback range.
    std::map<uint32_t, std::vector<const PhraseSpec*>> groups;
    std::vector<const PhraseSpec*> fallback;
    for (const auto& ph : content.phrases) {
        if (ph.text.empty()) continue;
        if (ph.fallback || indexEntryOffset(ph.text[0]) == 0) fallback.push_back(&ph);
        else groups[ph.text[0]].push_back(&ph);
    }
    std::vector<const PhraseSpec*> order;
    std::vector<uint8_t> word(kPhraseRecordsOffset, 0);
    for (auto& [c, list] : groups) {
        std::stable_sort(list.begin(), list.end(),
                         [](const PhraseSpec* x, const PhraseSpec* y) { return x->text.size() > y->text.size(); });
        uint8_t* e = word.data() + indexEntryOffset(c);
        writeU32(e + 4, uint32_t(order.size()));
        order.insert(order.end(), list.begin(), list.end());
        writeU32(e + 8, uint32_t(order.size()));
    }
    const uint32_t fallbackFirst = uint32_t(order.size());
    order.insert(order.end(), fallback.begin(), fallback.end());
    std::memcpy(word.data() + kVoiceWordGuidOffset, kVoiceWordGuid, std::strlen(kVoiceWordGuid));
    writeU32(word.data() + kFallbackFirstOffset, fallback.empty() ? uint32_t(-1) : fallbackFirst);
    writeU32(word.data() + kFallbackCountOffset, uint32_t(fallback.size()));
    writeU32(word.data() + kPeakOffset, uint32_t(content.peak));

    std::vector<uint8_t> wordData;
    word.resize(kPhraseRecordsOffset + order.size() * kPhraseRecordSize, 0);
    for (size_t n = 0; n < order.size(); ++n) {
        const PhraseSpec& ph = *order[n];
        putPhrase(word.data() + kPhraseRecordsOffset + n * kPhraseRecordSize, ph, uint32_t(wordData.size()));
        wordData.insert(wordData.end(), ph.recording.begin(), ph.recording.end());
    }

    // VoiceSenData and the recordings it names.
    std::vector<uint8_t> sen;
    for (const auto& s : content.sentences) {
        appendUtf16(sen, u"<SentenceWord>");
        appendUtf16(sen, s.text);
        appendUtf16(sen, u"</SentenceWord><SentenceVoice>[INIFOLDER]");
        for (unsigned char ch : s.fileName) appendUtf16(sen, std::u16string(1, char16_t(ch)));
        appendUtf16(sen, u"</SentenceVoice>\r\n");
        if (!writeFile(dir / s.fileName, s.bytes, error)) return false;
    }

    return writeFile(dir / kVoiceDefFile, def, error) && writeFile(dir / kVoiceDataFile, data, error) &&
           writeFile(dir / kVoiceWordFile, word, error) && writeFile(dir / kVoiceWordDataFile, wordData, error) &&
           writeFile(dir / kVoiceSenDataFile, sen, error);
}

} // namespace voicegen
