#include "VoiceFilesFuzz.h"

#include "speech-engine/UnitDecoder.h"
#include "speech-engine/VoiceLibrary.h"
#include "tools/voicegen/VoiceGen.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace voicefuzz {

namespace {
constexpr const char* kFolder = "C:\\FuzzVoice";
const char* const kNames[] = {voicegen::kVoiceDefFile, voicegen::kVoiceDataFile, voicegen::kVoiceWordFile,
                              voicegen::kVoiceWordDataFile, voicegen::kVoiceSenDataFile};
} // namespace

std::vector<uint8_t> pack(const std::vector<std::vector<uint8_t>>& files) {
    std::vector<uint8_t> out;
    for (const auto& f : files) {
        const auto n = static_cast<uint32_t>(f.size());
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

void runOne(const uint8_t* data, size_t size) {
    const std::filesystem::path dir = sys::Machine::current().hostPath(kFolder);
    std::filesystem::create_directories(dir);
    size_t at = 0;
    for (const char* name : kNames) {
        uint32_t n = 0;
        for (int i = 0; i < 4 && at < size; ++i) n |= uint32_t(data[at++]) << (8 * i);
        const size_t take = std::min<size_t>(n, size - at);
        std::ofstream(dir / name, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data + at), static_cast<std::streamsize>(take));
        at += take;
    }

    voxling::VoiceLibrary lib;
    auto path = [](const char* name) { return sys::toUtf16(std::string(kFolder) + "\\" + name); };
    if (lib.openVoiceDef(path(kNames[0])) || lib.openVoiceData(path(kNames[1])) ||
        lib.openVoiceWord(path(kNames[2])) || lib.openVoiceWordData(path(kNames[3])))
        return;
    lib.LoadSentenceTable(path(kNames[4]));
    (void)lib.voiceDefValid();
    lib.copyUnitTable();
    (void)lib.voiceWordValid();
    (void)lib.peakReference();

    voxling::UnitDecoder decoder;
    std::vector<int16_t> pcm;
    for (uint32_t code = 0; code < 0x10000; ++code) {
        const auto audio = lib.unitAudio(code);
        if (audio.empty()) continue;
        pcm.clear();
        decoder.Decode(audio, pcm, 1 << 16);
    }
    const uint32_t records = std::min<uint32_t>(lib.phrases.recordCount(), 64);
    for (uint32_t r = 0; r < records; ++r)
        if (const auto rec = lib.phrases.record(r); rec && rec->hasRecording()) {
            const auto bytes = lib.phraseRecording(rec->recordingOffset, rec->recordingLength);
            pcm.clear();
            decoder.Decode(bytes, pcm, 1 << 16);
        }
    for (const char16_t* text : {u"一二三", u"你好世界", u"欧元兑美元", u"ab"}) {
        (void)lib.phrases.LookupPhrase(text);
        (void)lib.sentences.LookupSentence(text, 0);
    }
    lib.close();
}

} // namespace voicefuzz
