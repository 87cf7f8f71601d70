#include "SentenceTable.h"

#include "VoiceFile.h"
#include "VoiceFormat.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

namespace voxling {

namespace {

constexpr std::u16string_view kWordOpen = u"<SentenceWord>";
constexpr std::u16string_view kWordClose = u"</SentenceWord>";
constexpr std::u16string_view kVoiceOpen = u"<SentenceVoice>";
constexpr std::u16string_view kVoiceClose = u"</SentenceVoice>";
constexpr std::u16string_view kIniFolder = u"[INIFOLDER]";

char16_t lowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; }

} // namespace

void SentenceTable::LoadSentenceTable(std::u16string_view winPath) {
    entries_.clear();
    sys::Machine* machine = sys::Machine::currentOrNull();
    if (!machine) return;
    WholeFile file;
    if (file.open(machine->hostPath(sys::fromUtf16(winPath))) != 0) return;
    size_t slash = winPath.rfind(u'\\');
    std::u16string_view folder = slash == std::u16string_view::npos ? std::u16string_view{}
                                                                     : winPath.substr(0, slash + 1);
    loadFromBytes({file.data(), file.size()}, folder);
}

void SentenceTable::loadFromBytes(std::span<const uint8_t> bytes, std::u16string_view folder) {
    entries_.clear();
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(format::readU16(&bytes[2 * i]));

    const size_t limit = format::kSentenceFieldChars;
    size_t at = 0;
    for (;;) {
        size_t wordOpen = text.find(kWordOpen, at);
        if (wordOpen == std::u16string::npos) break;
        size_t wordStart = wordOpen + kWordOpen.size();
        size_t wordClose = text.find(kWordClose, wordStart);
        if (wordClose == std::u16string::npos) break;
        size_t voiceOpen = text.find(kVoiceOpen, wordClose + kWordClose.size());
        if (voiceOpen == std::u16string::npos) break;
        size_t voiceStart = voiceOpen + kVoiceOpen.size();
        size_t voiceClose = text.find(kVoiceClose, voiceStart);
        if (voiceClose == std::u16string::npos) break;
        // A closing tag that belongs to a later entry: this one is incomplete.
        if (text.find(kWordOpen, wordStart) < voiceClose) break;
        at = voiceClose + kVoiceClose.size();

        SentenceEntry e;
        e.text = text.substr(wordStart, std::min(wordClose - wordStart, limit));
        e.path = ExpandIniFolder(std::u16string_view(text).substr(voiceStart, std::min(voiceClose - voiceStart, limit)),
                                 folder);
        // An empty text would match everywhere and cover nothing: the speaker would never move on.
        if (e.text.empty()) continue;
        entries_.push_back(std::move(e));
    }
}

int SentenceTable::LookupSentence(std::u16string_view text, size_t pos) const {
    if (entries_.empty() || pos >= text.size()) return -1;
    std::u16string_view rest = text.substr(pos);
    for (size_t i = 0; i < entries_.size(); ++i)
        if (rest.starts_with(entries_[i].text)) return int(i);
    return -1;
}

int SoundFileKind(std::u16string_view path) {
    size_t dot = path.rfind(u'.');
    if (dot == std::u16string_view::npos || path.size() - dot - 1 < 3) return 0;
    std::u16string ext;
    for (size_t i = 1; i <= 3; ++i) ext.push_back(lowerAscii(path[dot + i]));
    if (ext == u"mp3") return 2;
    if (ext == u"wav") return 1;
    return 0;
}

std::u16string ExpandIniFolder(std::u16string_view path, std::u16string_view folder) {
    std::u16string out;
    size_t at = 0;
    for (;;) {
        size_t hit = path.find(kIniFolder, at);
        if (hit == std::u16string_view::npos) break;
        out.append(path.substr(at, hit - at));
        out.append(folder);
        at = hit + kIniFolder.size();
    }
    out.append(path.substr(at));
    if (out.size() > format::kSentenceFieldChars) out.resize(format::kSentenceFieldChars);
    return out;
}

} // namespace voxling
