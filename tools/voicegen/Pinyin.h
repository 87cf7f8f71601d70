#pragma once
// Mandarin readings: the Unihan kMandarin field and tone-marked pinyin turned into numbered forms.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace voicegen {

struct Syllable {
    std::string letters;  // ASCII, "v" for u-umlaut, no tone
    int tone = 5;         // 1..4, 5 neutral
    size_t toneLetter = 0;  // index in letters of the letter that carries the mark

    // "zhong1": what the speech synthesiser reads ("5" for the neutral tone).
    std::string numbered() const;
    // "zho1ng": the digit right after the toned letter, none for the neutral tone.
    std::string marked() const;
};

// One tone-marked syllable ("zhōng", "lǜ", "ḿ"), or nothing when it is not pinyin.
std::optional<Syllable> parseToneMarked(const std::string& utf8);
// One numbered syllable ("zhong1", "lv4", "ma5", "ma").
std::optional<Syllable> parseNumbered(const std::string& ascii);

// The first kMandarin reading of every ideograph U+4E00..U+9FA5 in a Unihan readings file
// (plain or bzip2-compressed text).
std::map<uint32_t, Syllable> loadMandarinReadings(const std::filesystem::path& file, std::string& error);
// Where Debian's unicode-data keeps it.
std::filesystem::path defaultUnihanPath();

} // namespace voicegen
