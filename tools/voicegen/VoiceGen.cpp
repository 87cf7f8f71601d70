#include "VoiceGen.h"

#include "Audio.h"
#include "Pinyin.h"
#include "Speech.h"
#include "platform/system/CodePage.h"
#include "speech-engine/VoiceFormat.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace voicegen {

using voxling::format::kUnitCount;
using voxling::format::unitCodeOf;

namespace {

constexpr const char* kPinyinVoice = "cmn-latn-pinyin";
constexpr const char* kLetterVoice = "en";
constexpr int kUnitPeak = 20000;                 // leaves headroom for the engine's levelling
constexpr size_t kRecordingSamples = 20000;      // phrase recordings: what one decode holds
constexpr size_t kSentenceSamples = 10 * kSampleRate;

// Names of the marks and digits that have units of their own.
const std::map<uint32_t, const char*>& markNames() {
    static const std::map<uint32_t, const char*> names = {
        {'0', "ling2"}, {'1', "yi1"}, {'2', "er4"}, {'3', "san1"}, {'4', "si4"},
        {'5', "wu3"}, {'6', "liu4"}, {'7', "qi1"}, {'8', "ba1"}, {'9', "jiu3"},
        {'.', "dian3"}, {',', "dou4 hao4"}, {'!', "gan3 tan4 hao4"}, {'?', "wen4 hao4"},
        {':', "mao4 hao4"}, {';', "fen1 hao4"}, {'-', "fu4"}, {'+', "jia1"}, {'=', "deng3 yu2"},
        {'*', "cheng2"}, {'/', "xie2 gang4"}, {'%', "bai3 fen1 hao4"}, {'"', "yin3 hao4"},
        {'\'', "yin3 hao4"}, {'(', "kuo4 hao4"}, {')', "kuo4 hao4"}, {'[', "kuo4 hao4"},
        {']', "kuo4 hao4"}, {'#', "jing3 hao4"}, {'&', "he2"}, {'$', "mei3 yuan2"},
        {0x3001, "dun4 hao4"}, {0x3002, "ju4 hao4"}, {0x300A, "shu1 ming2 hao4"}, {0x300B, "shu1 ming2 hao4"},
    };
    return names;
}

// One character for every unit code that characters reach (its lowest such character).
std::vector<uint32_t> unitCharacters() {
    std::vector<uint32_t> chars(kUnitCount, 0);
    std::vector<bool> set(kUnitCount, false);
    auto note = [&](uint32_t c) {
        int32_t code = unitCodeOf(c);
        if (code >= 0 && uint32_t(code) < kUnitCount && !set[size_t(code)]) {
            chars[size_t(code)] = c;
            set[size_t(code)] = true;
        }
    };
    for (uint32_t c = 0x21; c <= 0x7E; ++c) note(c);
    for (uint32_t c = 0xA1; c <= 0xFF; ++c) note(c);
    for (uint32_t c = 0x3001; c <= 0x303F; ++c) note(c);
    for (uint32_t c = 0x4E00; c <= 0x9FA5; ++c) note(c);
    return chars;
}

bool wanted(const Manifest& m, uint32_t c) {
    if (m.unitRanges.empty()) return true;
    for (auto [lo, hi] : m.unitRanges)
        if (c >= lo && c <= hi) return true;
    // A lowercase letter's unit is its capital's.
    if (c >= 'A' && c <= 'Z') return wanted(m, c - 'A' + 'a');
    return false;
}

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream ss(line);
    std::string w;
    while (ss >> w) words.push_back(w);
    return words;
}

bool parseCodePoint(const std::string& s, uint32_t& out) {
    if (s.size() < 3 || (s[0] != 'U' && s[0] != 'u') || s[1] != '+') return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(s.c_str() + 2, &end, 16);
    if (*end != 0 || v > 0xFFFF) return false;
    out = uint32_t(v);
    return true;
}

bool plainFileName(const std::string& name) {
    if (name.empty() || name.size() > 100) return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-')) return false;
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = name.substr(dot + 1);
    for (auto& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == "wav" || ext == "mp3";
}

bool isWav(const std::string& name) {
    std::string ext = name.substr(name.rfind('.') + 1);
    for (auto& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == "wav";
}

// Numbered pinyin of a text's characters, from the readings; marks and digits by their names.
std::vector<std::string> pinyinOf(std::u16string_view text, const std::map<uint32_t, Syllable>& readings) {
    std::vector<std::string> out;
    for (char16_t c : text) {
        if (auto it = readings.find(c); it != readings.end()) out.push_back(it->second.numbered());
        else if (auto n = markNames().find(c); n != markNames().end()) out.push_back(n->second);
    }
    return out;
}

std::string joined(const std::vector<std::string>& words) {
    std::string s;
    for (const auto& w : words) s += (s.empty() ? "" : " ") + w;
    return s;
}

} // namespace

double toneFrequency(uint32_t unitCode) { return 200.0 + 20.0 * double(unitCode % 40); }

bool parseManifest(const std::string& text, Manifest& out, std::string& error) {
    out = Manifest{};
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(lines, line)) {
        ++number;
        if (size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        auto words = splitWords(line);
        if (words.empty()) continue;
        const std::string& key = words[0];
        if (key == "kind" && words.size() == 2) {
            if (words[1] == "silent") out.kind = Kind::Silent;
            else if (words[1] == "tone") out.kind = Kind::Tone;
            else if (words[1] == "mandarin") out.kind = Kind::Mandarin;
            else return fail("unknown kind " + words[1]);
        } else if (key == "units" && words.size() >= 2) {
            out.unitRanges.clear();
            if (words.size() == 2 && words[1] == "all") continue;
            for (size_t i = 1; i < words.size(); ++i) {
                std::string w = words[i];
                size_t dash = w.find('-', 2);
                uint32_t lo = 0, hi = 0;
                if (!parseCodePoint(w.substr(0, dash), lo) ||
                    (dash != std::string::npos && !parseCodePoint(w.substr(dash + 1), hi)))
                    return fail("bad unit range " + w);
                if (dash == std::string::npos) hi = lo;
                if (hi < lo) return fail("bad unit range " + w);
                out.unitRanges.emplace_back(lo, hi);
            }
        } else if (key == "peak" && words.size() == 2) {
            try {
                long v = std::stol(words[1]);
                if (v < 0 || v > 32767) return fail("peak out of range");
                out.peak = int32_t(v);
            } catch (...) {
                return fail("bad peak");
            }
        } else if (key == "bitrate" && words.size() == 2) {
            try {
                out.bitrate = std::stoi(words[1]);
            } catch (...) {
                return fail("bad bitrate");
            }
            if (out.bitrate < kMinBitrate || out.bitrate > 160) return fail("bitrate must be 40..160");
        } else if (key == "phrase" && words.size() >= 2) {
            PhraseLine p;
            p.text = sys::toUtf16(words[1]);
            if (p.text.size() < 2 || p.text.size() > 8) return fail("a phrase has 2 to 8 characters");
            for (size_t i = 2; i < words.size(); ++i) {
                const std::string& w = words[i];
                if (w == "disabled") p.disabled = true;
                else if (w == "recorded") p.recorded = true;
                else if (w == "fallback") p.fallback = true;
                else if (w.rfind("reading=", 0) == 0) p.reading = sys::toUtf16(w.substr(8));
                else if (w.rfind("pinyin=", 0) == 0) {
                    std::string list = w.substr(7);
                    for (size_t at = 0; at <= list.size();) {
                        size_t comma = list.find(',', at);
                        if (comma == std::string::npos) comma = list.size();
                        if (!parseNumbered(list.substr(at, comma - at))) return fail("bad pinyin in " + w);
                        p.pinyin.push_back(list.substr(at, comma - at));
                        at = comma + 1;
                    }
                } else
                    return fail("unknown phrase option " + w);
            }
            if (!p.reading.empty() && (p.reading.size() < 2 || p.reading.size() > 8))
                return fail("a reading has 2 to 8 characters");
            if (p.pinyin.size() > 8) return fail("at most 8 syllables");
            out.phrases.push_back(std::move(p));
        } else if (key == "sentence" && words.size() == 3) {
            SentenceLine s;
            s.text = sys::toUtf16(words[1]);
            if (s.text.empty() || s.text.size() > 255) return fail("a sentence has 1 to 255 characters");
            if (!plainFileName(words[2])) return fail("a recording is a plain .wav or .mp3 name");
            s.fileName = words[2];
            out.sentences.push_back(std::move(s));
        } else {
            return fail("cannot read: " + line);
        }
    }
    return true;
}

bool loadManifest(const std::filesystem::path& file, Manifest& out, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot open " + file.string();
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (!parseManifest(ss.str(), out, error)) {
        error = file.string() + ": " + error;
        return false;
    }
    return true;
}

bool buildContent(const Manifest& m, const BuildOptions& options, LibraryContent& content, BuildReport& report,
                  std::string& error) {
    content = LibraryContent{};
    report = BuildReport{};
    const int jobs = options.jobs > 0 ? options.jobs : int(std::max(1u, std::thread::hardware_concurrency()));
    const std::vector<uint32_t> chars = unitCharacters();

    std::map<uint32_t, Syllable> readings;
    bool needReadings = m.kind == Kind::Mandarin;
    for (const auto& p : m.phrases) needReadings = needReadings || p.pinyin.empty();
    if (needReadings) {
        readings = loadMandarinReadings(options.unihan.empty() ? defaultUnihanPath() : options.unihan, error);
        if (readings.empty()) return false;
    }

    // What every unit says, as a speech item (mandarin) or a clip number (tone).
    std::vector<SpeechItem> items;
    std::map<std::string, int32_t> itemOf;
    auto itemFor = [&](const std::string& voice, const std::string& text) {
        auto [it, added] = itemOf.emplace(voice + '\n' + text, int32_t(items.size()));
        if (added) items.push_back({voice, text});
        return it->second;
    };

    std::vector<int32_t> unitItem(kUnitCount, -1);
    for (uint32_t code = 0; code < kUnitCount; ++code) {
        uint32_t c = chars[code];
        if (c == 0 || !wanted(m, c)) continue;
        if (m.kind == Kind::Tone) {
            unitItem[code] = int32_t(code % 40);
        } else if (m.kind == Kind::Mandarin) {
            if (auto r = readings.find(c); r != readings.end()) unitItem[code] = itemFor(kPinyinVoice, r->second.numbered());
            else if (auto n = markNames().find(c); n != markNames().end()) unitItem[code] = itemFor(kPinyinVoice, n->second);
            else if (c >= 'A' && c <= 'Z') unitItem[code] = itemFor(kLetterVoice, std::string(1, char(c)));
            else if (c >= 0x4E00 && c <= 0x9FA5) report.noReading.push_back(c);
        }
    }

    // Phrase and sentence recordings are spoken in the same batch.
    std::vector<int32_t> phraseItem(m.phrases.size(), -1), sentenceItem(m.sentences.size(), -1);
    if (m.kind == Kind::Mandarin) {
        for (size_t i = 0; i < m.phrases.size(); ++i) {
            if (!m.phrases[i].recorded) continue;
            const auto& p = m.phrases[i];
            auto py = p.pinyin.empty() ? pinyinOf(p.reading.empty() ? p.text : p.reading, readings) : p.pinyin;
            phraseItem[i] = itemFor(kPinyinVoice, joined(py));
        }
        for (size_t i = 0; i < m.sentences.size(); ++i)
            sentenceItem[i] = itemFor(kPinyinVoice, joined(pinyinOf(m.sentences[i].text, readings)));
    }

    std::vector<std::vector<int16_t>> spoken;
    if (!items.empty()) {
        Speaker speaker;
        if (!speaker.start(kPinyinVoice, error)) return false;
        std::function<void(size_t)> done;
        if (options.progress) done = [&](size_t n) { options.progress("speaking", n, items.size()); };
        spoken = speaker.speak(items, jobs, done);
    }

    // Unit clips.
    int peak = 0;
    if (m.kind == Kind::Tone) {
        for (uint32_t k = 0; k < 40; ++k)
            content.clips.push_back(encodeMp3(makeTone(toneFrequency(k), kToneSamples, kToneAmplitude), m.bitrate));
        peak = kToneAmplitude;
        content.unitClip = unitItem;
    } else if (m.kind == Kind::Mandarin) {
        std::map<int32_t, int32_t> clipOfItem;
        size_t toEncode = 0;
        if (options.progress) {
            std::vector<bool> used(items.size());
            for (int32_t item : unitItem)
                if (item >= 0 && !used[size_t(item)]) used[size_t(item)] = true, ++toEncode;
        }
        for (uint32_t code = 0; code < kUnitCount; ++code) {
            int32_t item = unitItem[code];
            if (item < 0) continue;
            auto it = clipOfItem.find(item);
            if (it == clipOfItem.end()) {
                if (options.progress) options.progress("encoding", clipOfItem.size() + 1, toEncode);
                auto pcm = tidyUnit(spoken[size_t(item)], kUnitPeak, kMaxUnitSamples);
                peak = std::max(peak, peakOf(pcm));
                int32_t clip = -1;
                if (!pcm.empty()) {
                    auto mp3 = encodeMp3(pcm, m.bitrate);
                    if (!mp3.empty()) {
                        clip = int32_t(content.clips.size());
                        content.clips.push_back(std::move(mp3));
                    }
                }
                it = clipOfItem.emplace(item, clip).first;
            }
            content.unitClip[code] = it->second;
        }
    }
    for (uint32_t code = 0; code < kUnitCount; ++code)
        if (content.unitClip[code] >= 0 && !content.clips[size_t(content.unitClip[code])].empty()) ++report.unitsWithAudio;
    report.clips = content.clips.size();
    content.peak = m.peak >= 0 ? m.peak : peak;

    // Phrase records.
    for (size_t i = 0; i < m.phrases.size(); ++i) {
        const auto& line = m.phrases[i];
        PhraseSpec p;
        p.text = line.text;
        p.reading = line.reading.empty() ? line.text : line.reading;
        std::vector<std::string> py = line.pinyin;
        if (py.empty()) py = pinyinOf(p.reading, readings);
        for (size_t k = 0; k < py.size() && k < 8; ++k)
            if (auto s = parseNumbered(py[k])) p.pinyin[k] = s->marked();
        for (size_t k = 0; k < p.reading.size() && k < 8; ++k) p.duration[k] = 100;
        p.flags = line.disabled ? voxling::format::kPhraseDisabled : 0;
        p.fallback = line.fallback;
        if (line.recorded) {
            std::vector<int16_t> pcm;
            if (m.kind == Kind::Tone) pcm = makeTone(880.0, 6400, kToneAmplitude);
            else if (m.kind == Kind::Mandarin && phraseItem[i] >= 0)
                pcm = tidyUnit(spoken[size_t(phraseItem[i])], kUnitPeak, kRecordingSamples);
            if (!pcm.empty()) p.recording = encodeMp3(pcm, m.bitrate);
        }
        content.phrases.push_back(std::move(p));
    }

    // Sentence recordings.
    for (size_t i = 0; i < m.sentences.size(); ++i) {
        const auto& line = m.sentences[i];
        std::vector<int16_t> pcm;
        if (m.kind == Kind::Tone) pcm = makeTone(660.0, 8000, kToneAmplitude);
        else if (m.kind == Kind::Mandarin && sentenceItem[i] >= 0)
            pcm = tidyUnit(spoken[size_t(sentenceItem[i])], kUnitPeak, kSentenceSamples);
        if (pcm.empty()) pcm.assign(8000, 0);
        SentenceSpec s;
        s.text = line.text;
        s.fileName = line.fileName;
        s.bytes = isWav(line.fileName) ? makeWav(pcm) : encodeMp3(pcm, m.bitrate);
        content.sentences.push_back(std::move(s));
    }
    return true;
}

bool buildLibrary(const Manifest& manifest, const std::filesystem::path& dir, const BuildOptions& options,
                  BuildReport& report, std::string& error) {
    LibraryContent content;
    if (!buildContent(manifest, options, content, report, error)) return false;
    if (!writeLibrary(content, dir, error)) return false;
    report.totalBytes = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file()) report.totalBytes += e.file_size();
    return true;
}

} // namespace voicegen
