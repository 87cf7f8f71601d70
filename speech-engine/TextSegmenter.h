#pragma once
// Cuts the speech service's fragment list into sentences made of items.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace voxling {

// The fragment actions, in the speech service's numbering.
enum class FragmentAction : int32_t { Speak = 0, Silence, Pronounce, Bookmark, SpellOut, Section, ParseUnknownTag };

// One fragment as the speak loop hands it over. The text is only read, never written.
struct Fragment {
    FragmentAction action = FragmentAction::Speak;
    const char16_t* text = nullptr;
    uint32_t length = 0;         // characters
    uint32_t sourceOffset = 0;   // of the text in the caller's source text
    uint32_t silenceMs = 0;      // Silence fragments
    // The caller's text ends (terminating zero) right after this fragment. The service's fragments
    // point into one zero-terminated copy, so this is pTextStart[ulTextLen] == 0.
    bool endsText = false;
    const void* state = nullptr; // the caller's own fragment record, handed back on its items
};

// One piece of a sentence. Its text is a copy, so rewriting it never touches the caller's text.
struct Item {
    FragmentAction action = FragmentAction::Speak;
    const Fragment* fragment = nullptr;
    std::u16string text;
    uint32_t sourceOffset = 0;
    uint32_t sourceLength = 0;
};

class TextSegmenter {
public:
    // The fragments must outlive the segmenter.
    explicit TextSegmenter(std::span<const Fragment> fragments);

    // Fills items with the next sentence; false (items empty) when no text is left.
    bool nextSentence(std::vector<Item>& items);

    static bool isWhitespace(char16_t c);
    static bool isLeadingPunctuation(char16_t c);
    static bool isSentenceEnd(char16_t c);
    static bool isTrailingPunctuation(char16_t c);

private:
    void enterFragment();
    // Appends the next item(s) of the current Speak fragment; true when they end the sentence.
    bool nextSpeakItem(std::vector<Item>& items);
    Item pieceAt(uint32_t pos, uint32_t len) const;

    std::span<const Fragment> fragments_;
    size_t current_ = 0;
    uint32_t pos_ = 0;
    uint32_t end_ = 0;        // where the current fragment's text stops
    bool endsText_ = false;   // a terminating zero follows end_
};

} // namespace voxling
