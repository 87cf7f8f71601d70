#pragma once
// Walks one Speak item position by position and says what to do at each: play a sentence
// recording, speak a phrase, voice a number or markup, or voice a single character, with the
// word events and pauses that go with it. The speak loop executes the steps against its site.
#include "CharClass.h"
#include "EngineSettings.h"
#include "NumberReader.h"
#include "TextSegmenter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace voxling {

// The voice library's look-ups, supplied by the speak loop (the bound voice's sentence table and
// phrase dictionary).
class PhraseLookup {
public:
    virtual ~PhraseLookup() = default;
    // Index of the first sentence recording whose text stands in text at pos, or -1.
    virtual int sentenceAt(std::u16string_view text, size_t pos) = 0;
    // Length of that recording's text.
    virtual size_t sentenceLength(int index) = 0;
    // Sets the current phrase to c alone (c = chars[0]), then looks up a phrase starting with
    // chars (at most eight characters). Returns the characters covered, 1 when nothing matched.
    virtual int phraseAt(std::u16string_view chars) = 0;
    // Length of the current phrase's text (1 after a failed look-up).
    virtual size_t phraseTextLength() = 0;
};

struct WordEvent {
    uint32_t sourceOffset = 0;
    uint32_t length = 0;
};

// A unit to voice (0: none) and the silence after it.
struct Utterance {
    uint32_t unit = 0;
    uint32_t pauseBytes = 0;
};

struct Step {
    enum class Kind {
        Sentence,   // play sentence recording `sentence`
        Phrase,     // the current phrase covers `phraseLength` characters: its recording or its syllables
        Number,     // voice `units` (empty and numberTooLarge when the user must be warned)
        Markup,     // "#w": `silenceBytes`; "#n", "#c": voice `units`
        Single,     // voice `units` (one)
        Skip,       // nothing at all
    };
    Kind kind = Kind::Single;
    size_t position = 0;          // in the item's text
    size_t consumed = 1;          // characters taken from position
    std::vector<WordEvent> words; // sent in order when ReadSentence is 0
    int sentence = -1;
    int phraseLength = 0;
    std::vector<Utterance> units;
    uint32_t silenceBytes = 0;
    bool numberTooLarge = false;
};

class ItemReader {
public:
    // item, settings and lookup must outlive the reader; lookup may be null (no voice library).
    ItemReader(const Item& item, const EngineSettings& settings, PhraseLookup* lookup);

    bool done() const { return pos_ >= text_.size(); }
    // The step at the current position, with pauses for the rate now in force (a Skip of
    // nothing once done).
    Step next(int rate);

private:
    WordEvent word(size_t pos, size_t length) const;
    void addUnits(Step& step, std::u16string_view text, int rate) const;

    std::u16string_view text_;
    uint32_t sourceOffset_;
    const EngineSettings& settings_;
    PhraseLookup* lookup_;
    size_t pos_ = 0;
};

// Silence closing a Speak item.
inline uint32_t itemEndPause(int rate) { return scaledPause(rate, kItemEndPause); }

} // namespace voxling
