#include "Pinyin.h"

#include "platform/system/CodePage.h"

#include <bzlib.h>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace voicegen {

namespace {

struct Mark {
    char32_t c;
    char base;
    int tone;
};

constexpr Mark kMarks[] = {
    {U'ā', 'a', 1}, {U'á', 'a', 2}, {U'ǎ', 'a', 3}, {U'à', 'a', 4},
    {U'ē', 'e', 1}, {U'é', 'e', 2}, {U'ě', 'e', 3}, {U'è', 'e', 4}, {U'ê', 'e', 5},
    {U'ī', 'i', 1}, {U'í', 'i', 2}, {U'ǐ', 'i', 3}, {U'ì', 'i', 4},
    {U'ō', 'o', 1}, {U'ó', 'o', 2}, {U'ǒ', 'o', 3}, {U'ò', 'o', 4},
    {U'ū', 'u', 1}, {U'ú', 'u', 2}, {U'ǔ', 'u', 3}, {U'ù', 'u', 4},
    {U'ǖ', 'v', 1}, {U'ǘ', 'v', 2}, {U'ǚ', 'v', 3}, {U'ǜ', 'v', 4}, {U'ü', 'v', 5},
    {U'ń', 'n', 2}, {U'ň', 'n', 3}, {U'ǹ', 'n', 4}, {U'ḿ', 'm', 2},
};

int combiningTone(char32_t c) {
    switch (c) {
    case 0x0304: return 1;
    case 0x0301: return 2;
    case 0x030C: return 3;
    case 0x0300: return 4;
    default: return 0;
    }
}

bool readAll(const std::filesystem::path& file, std::string& out, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot open " + file.string();
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    std::string raw = ss.str();
    if (raw.size() < 3 || raw.compare(0, 3, "BZh") != 0) {
        out = std::move(raw);
        return true;
    }
    bz_stream bz{};
    if (BZ2_bzDecompressInit(&bz, 0, 0) != BZ_OK) {
        error = "bzip2 failed";
        return false;
    }
    bz.next_in = raw.data();
    bz.avail_in = unsigned(raw.size());
    std::string chunk(1 << 20, '\0');
    int rc = BZ_OK;
    while (rc == BZ_OK) {
        bz.next_out = chunk.data();
        bz.avail_out = unsigned(chunk.size());
        rc = BZ2_bzDecompress(&bz);
        out.append(chunk.data(), chunk.size() - bz.avail_out);
        if (rc == BZ_OK && bz.avail_in == 0 && bz.avail_out != 0) break;  // truncated input
    }
    BZ2_bzDecompressEnd(&bz);
    if (rc != BZ_STREAM_END) {
        error = "damaged bzip2 data in " + file.string();
        return false;
    }
    return true;
}

} // namespace

std::string Syllable::numbered() const { return letters + char('0' + tone); }

std::string Syllable::marked() const {
    if (tone < 1 || tone > 4 || toneLetter >= letters.size()) return letters;
    std::string s = letters;
    s.insert(s.begin() + long(toneLetter) + 1, char('0' + tone));
    return s;
}

std::optional<Syllable> parseToneMarked(const std::string& utf8) {
    Syllable s;
    for (char32_t c : sys::toUtf32(utf8)) {
        if (c >= U'a' && c <= U'z') {
            s.letters.push_back(char(c));
            continue;
        }
        if (c >= U'A' && c <= U'Z') {
            s.letters.push_back(char(c - U'A' + U'a'));
            continue;
        }
        if (int t = combiningTone(c); t != 0 && !s.letters.empty()) {
            s.tone = t;
            s.toneLetter = s.letters.size() - 1;
            continue;
        }
        bool known = false;
        for (const Mark& m : kMarks) {
            if (m.c != c) continue;
            if (m.tone != 5) {
                s.tone = m.tone;
                s.toneLetter = s.letters.size();
            }
            s.letters.push_back(m.base);
            known = true;
            break;
        }
        if (!known) return std::nullopt;
    }
    if (s.letters.empty()) return std::nullopt;
    return s;
}

std::optional<Syllable> parseNumbered(const std::string& ascii) {
    Syllable s;
    std::string body = ascii;
    if (!body.empty() && body.back() >= '1' && body.back() <= '5') {
        s.tone = body.back() - '0';
        body.pop_back();
    }
    for (char c : body) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c < 'a' || c > 'z') return std::nullopt;
        s.letters.push_back(c);
    }
    if (s.letters.empty()) return std::nullopt;
    // The mark goes on a or e, on the o of "ou", else on the last vowel (the usual rule).
    size_t at = s.letters.find_first_of("ae");
    if (at == std::string::npos) {
        at = s.letters.find("ou");
        if (at == std::string::npos) at = s.letters.find_last_of("iouv");
        if (at == std::string::npos) at = s.letters.find_last_of("mn");
    }
    s.toneLetter = at == std::string::npos ? 0 : at;
    return s;
}

std::map<uint32_t, Syllable> loadMandarinReadings(const std::filesystem::path& file, std::string& error) {
    std::map<uint32_t, Syllable> readings;
    std::string text;
    if (!readAll(file, text, error)) return readings;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 8 || line.compare(0, 2, "U+") != 0) continue;
        size_t tab1 = line.find('\t');
        if (tab1 == std::string::npos) continue;
        size_t tab2 = line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos || line.compare(tab1 + 1, tab2 - tab1 - 1, "kMandarin") != 0) continue;
        uint32_t cp = uint32_t(std::strtoul(line.c_str() + 2, nullptr, 16));
        if (cp < 0x4E00 || cp > 0x9FA5) continue;
        std::string value = line.substr(tab2 + 1);
        if (!value.empty() && value.back() == '\r') value.pop_back();
        std::string first = value.substr(0, value.find(' '));
        if (auto s = parseToneMarked(first)) readings[cp] = *s;
    }
    if (readings.empty() && error.empty()) error = "no kMandarin readings in " + file.string();
    return readings;
}

std::filesystem::path defaultUnihanPath() {
    for (const char* p : {"/usr/share/unicode/Unihan_Readings.txt.bz2", "/usr/share/unicode/Unihan_Readings.txt"})
        if (std::filesystem::exists(p)) return p;
    return "/usr/share/unicode/Unihan_Readings.txt.bz2";
}

} // namespace voicegen
