#include "VoiceLookup.h"

namespace voxling {

int VoiceLookup::sentenceAt(std::u16string_view text, size_t pos) {
    int index = sentences_.LookupSentence(text, pos);
    // An entry without text would match everywhere and cover nothing.
    if (index >= 0 && sentences_.entry(size_t(index)).text.empty()) return -1;
    return index;
}

size_t VoiceLookup::sentenceLength(int index) {
    if (index < 0 || size_t(index) >= sentences_.size()) return 0;
    return sentences_.entry(size_t(index)).text.size();
}

int VoiceLookup::phraseAt(std::u16string_view chars) {
    if (chars.empty()) return 1;
    phrases_.resetCurrentPhrase(chars[0]);
    return phrases_.LookupPhrase(chars.substr(0, format::kPhraseMaxChars));
}

size_t VoiceLookup::phraseTextLength() { return phrases_.currentPhrase().text.size(); }

} // namespace voxling
