#pragma once
// The front end's look-ups answered by a bound voice library.
#include "PhraseDictionary.h"
#include "SentenceTable.h"
#include "TextFrontEnd.h"

namespace voxling {

class VoiceLookup : public PhraseLookup {
public:
    // Both must outlive the lookup; the dictionary's current phrase is what the speak loop then
    // plays or voices.
    VoiceLookup(PhraseDictionary& phrases, const SentenceTable& sentences) : phrases_(phrases), sentences_(sentences) {}

    int sentenceAt(std::u16string_view text, size_t pos) override;
    size_t sentenceLength(int index) override;
    int phraseAt(std::u16string_view chars) override;
    size_t phraseTextLength() override;

private:
    PhraseDictionary& phrases_;
    const SentenceTable& sentences_;
};

} // namespace voxling
