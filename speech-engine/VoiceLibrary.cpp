#include "VoiceLibrary.h"

#include "VoiceFormat.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <algorithm>

namespace voxling {

using namespace format;

namespace {

std::filesystem::path hostPathOf(std::u16string_view winPath) {
    sys::Machine* machine = sys::Machine::currentOrNull();
    if (!machine) return {};
    return machine->hostPath(sys::fromUtf16(winPath));
}

uint32_t openWhole(WholeFile& file, std::u16string_view winPath) {
    if (winPath.empty()) return kErrorPathNotFound;
    return file.openShared(hostPathOf(winPath));
}

char16_t upper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }

} // namespace

UnitRecord parseUnitRecord(const uint8_t* p) {
    UnitRecord r;
    r.value0 = int16_t(readU16(p));
    r.value2 = int16_t(readU16(p + 2));
    r.value4 = int32_t(readU32(p + 4));
    r.offset = readU32(p + kUnitOffsetField);
    r.length = readU32(p + kUnitLengthField);
    r.value16 = int32_t(readU32(p + 16));
    r.value20 = int32_t(readU32(p + 20));
    r.value24 = int32_t(readU32(p + 24));
    r.value28 = int16_t(readU16(p + 28));
    r.value30 = int16_t(readU16(p + 30));
    return r;
}

VoiceLibrary::VoiceLibrary() { phrases.attach(&voiceWord_); }

uint32_t VoiceLibrary::openVoiceDef(std::u16string_view winPath) { return openWhole(voiceDef_, winPath); }
uint32_t VoiceLibrary::openVoiceData(std::u16string_view winPath) {
    if (winPath.empty()) return kErrorPathNotFound;
    return voiceData_.open(hostPathOf(winPath));
}
uint32_t VoiceLibrary::openVoiceWord(std::u16string_view winPath) { return openWhole(voiceWord_, winPath); }

uint32_t VoiceLibrary::openVoiceWordData(std::u16string_view winPath) {
    if (winPath.empty()) return kErrorPathNotFound;
    return voiceWordData_.open(hostPathOf(winPath));
}

bool VoiceLibrary::voiceDefValid() const {
    if (voiceDef_.size() < kVoiceDefGuidOffset + 2 * kGuidChars) return false;
    const uint8_t* p = voiceDef_.data();
    if (int32_t(readU32(p)) != kVoiceDefVersion) return false;
    for (size_t i = 0; i < kGuidChars; ++i) {
        char16_t c = char16_t(readU16(p + kVoiceDefGuidOffset + 2 * i));
        if (upper(c) != upper(char16_t(kVoiceDefGuid[i]))) return false;
    }
    return true;
}

void VoiceLibrary::copyUnitTable() {
    const size_t size = voiceDef_.size();
    const size_t whole = size > kUnitTableOffset ? (size - kUnitTableOffset) / kUnitRecordSize : 0;
    unitCount_ = uint32_t(std::min<size_t>(whole, kUnitCount));
}

UnitRecord VoiceLibrary::unit(uint32_t code) const {
    if (code >= unitCount_) return {};
    return parseUnitRecord(voiceDef_.data() + kUnitTableOffset + size_t(code) * kUnitRecordSize);
}

std::span<const uint8_t> VoiceLibrary::unitAudio(uint32_t code) {
    const UnitRecord r = unit(code);
    if (r.length == 0 || !voiceData_.read(r.offset, r.length, unitBytes_)) return {};
    return unitBytes_;
}

std::vector<uint8_t> VoiceLibrary::phraseRecording(uint32_t offset, uint32_t length) const {
    return voiceWordData_.read(offset, length);
}

void VoiceLibrary::close() {
    voiceDef_.close();
    voiceData_.close();
    voiceWord_.close();
    voiceWordData_.close();
    unitCount_ = 0;
    unitBytes_ = {};
    sentences.clear();
    phrases.clearCurrentPhrase();
}

} // namespace voxling
