#pragma once
// The sentence table (VoiceSenData): fixed texts that have their own recording.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace voxling {

struct SentenceEntry {
    std::u16string text;  // at most 255 characters
    std::u16string path;  // the recording, "[INIFOLDER]" already replaced
};

class SentenceTable {
public:
    // Reads the table file (a Windows path of the current machine) whole. A file that cannot be
    // read leaves the table empty.
    void LoadSentenceTable(std::u16string_view winPath);
    // Builds the table from the file's bytes; folder is the file's folder with its backslash.
    void loadFromBytes(std::span<const uint8_t> bytes, std::u16string_view folder);
    void clear() { entries_.clear(); }

    // Index of the first entry whose text stands in text at pos, or -1.
    int LookupSentence(std::u16string_view text, size_t pos) const;

    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    const SentenceEntry& entry(size_t i) const { return entries_.at(i); }

private:
    std::vector<SentenceEntry> entries_;
};

// 2 for a path ending in ".mp3", 1 for ".wav" (any letter case), else 0.
int SoundFileKind(std::u16string_view path);
// path with every "[INIFOLDER]" replaced by folder, cut to 255 characters.
std::u16string ExpandIniFolder(std::u16string_view path, std::u16string_view folder);

} // namespace voxling
