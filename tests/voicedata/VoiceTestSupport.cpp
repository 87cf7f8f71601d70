#include "VoiceTestSupport.h"

#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mpg123.h>

namespace voicetest {

bool decodeMp3(const std::vector<uint8_t>& mp3, std::vector<int16_t>& out, long& rate) {
    out.clear();
    rate = 0;
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    if (!h) return false;
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    bool ok = mpg123_open_feed(h) == MPG123_OK && mpg123_feed(h, mp3.data(), mp3.size()) == MPG123_OK;
    unsigned char buf[8192];
    while (ok) {
        size_t done = 0;
        int rc = mpg123_read(h, buf, sizeof buf, &done);
        out.insert(out.end(), reinterpret_cast<int16_t*>(buf), reinterpret_cast<int16_t*>(buf + done));
        if (rc == MPG123_NEW_FORMAT) {
            int channels = 0, enc = 0;
            mpg123_getformat(h, &rate, &channels, &enc);
            ok = channels == 1 && enc == MPG123_ENC_SIGNED_16;
            continue;
        }
        if (rc == MPG123_NEED_MORE || rc == MPG123_DONE) break;
        if (rc != MPG123_OK) ok = false;
    }
    mpg123_delete(h);
    return ok && rate != 0;
}

double zeroCrossingHz(const std::vector<int16_t>& pcm, long rate) {
    size_t crossings = 0;
    for (size_t i = 1; i < pcm.size(); ++i)
        if ((pcm[i - 1] < 0) != (pcm[i] < 0)) ++crossings;
    return pcm.empty() ? 0 : double(crossings) / 2.0 * double(rate) / double(pcm.size());
}

void buildVoice(const std::string& manifestText, const std::string& winDir) {
    voicegen::Manifest manifest;
    std::string error;
    ASSERT_TRUE(voicegen::parseManifest(manifestText, manifest, error)) << error;
    auto dir = sys::Machine::current().hostPath(winDir);
    std::filesystem::remove_all(dir);
    voicegen::BuildReport report;
    voicegen::BuildOptions options;
    options.jobs = 2;
    ASSERT_TRUE(voicegen::buildLibrary(manifest, dir, options, report, error)) << error;
}

uint32_t openVoice(voxling::VoiceLibrary& lib, const std::string& winDir) {
    auto path = [&](const char* name) { return sys::toUtf16(winDir + "\\" + name); };
    for (auto step : {&voxling::VoiceLibrary::openVoiceDef, &voxling::VoiceLibrary::openVoiceData,
                      &voxling::VoiceLibrary::openVoiceWord}) {
        const char* name = step == &voxling::VoiceLibrary::openVoiceDef    ? voicegen::kVoiceDefFile
                           : step == &voxling::VoiceLibrary::openVoiceData ? voicegen::kVoiceDataFile
                                                                           : voicegen::kVoiceWordFile;
        if (uint32_t e = (lib.*step)(path(name))) return e;
    }
    if (uint32_t e = lib.openVoiceWordData(path(voicegen::kVoiceWordDataFile))) return e;
    lib.LoadSentenceTable(path(voicegen::kVoiceSenDataFile));
    lib.copyUnitTable();
    return 0;
}

std::vector<uint8_t> readHostFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeHostFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace voicetest
