#include "TextFrontEnd.h"

#include <algorithm>

namespace voxling {

ItemReader::ItemReader(const Item& item, const EngineSettings& settings, PhraseLookup* lookup)
    : text_(item.text), sourceOffset_(item.sourceOffset), settings_(settings), lookup_(lookup) {}

WordEvent ItemReader::word(size_t pos, size_t length) const {
    return {sourceOffset_ + uint32_t(pos), uint32_t(length)};
}

void ItemReader::addUnits(Step& step, std::u16string_view text, int rate) const {
    for (char16_t c : text) {
        uint32_t unit = readingUnit(c);
        step.units.push_back({unit, unit <= 0xFF ? scaledPause(rate, kNumberPause) : 0});
    }
}

Step ItemReader::next(int rate) {
    Step step;
    if (done()) {
        step.kind = Step::Kind::Skip;
        step.consumed = 0;
        step.position = text_.size();
        return step;
    }
    const size_t a = pos_;
    const size_t left = text_.size() - a;
    const char16_t c = text_[a];
    step.position = a;

    if ((c >= 0x4E00 && c <= 0xE1D7) || c < 0x100) {
        if (lookup_) {
            int s = lookup_->sentenceAt(text_, a);
            if (s >= 0) {
                size_t len = std::clamp<size_t>(lookup_->sentenceLength(s), 1, left);
                step.kind = Step::Kind::Sentence;
                step.sentence = s;
                step.consumed = len;
                step.words.push_back(word(a, len));
                pos_ += len;
                return step;
            }
        }
        // The look-up stays inside the item: what follows it belongs to other items.
        int m = lookup_ ? lookup_->phraseAt(text_.substr(a, 8)) : 1;
        size_t phraseText = lookup_ ? lookup_->phraseTextLength() : 1;
        step.words.push_back(word(a, std::min(phraseText, left)));
        if (m >= 2) {
            size_t len = std::min<size_t>(size_t(m), left);
            step.kind = Step::Kind::Phrase;
            step.phraseLength = m;
            step.consumed = len;
            pos_ += len;
            return step;
        }
        if (isNumberStart(text_, a)) {
            NumberScan scan = scanNumber(text_, a, settings_.ReadNumber);
            NumberReading reading = readNumber(scan);
            step.kind = Step::Kind::Number;
            step.consumed = scan.consumed;
            step.numberTooLarge = reading.tooLarge;
            step.words.push_back(word(a, scan.consumed));
            addUnits(step, reading.text, rate);
            pos_ += scan.consumed;
            return step;
        }
        if (isMarkupStart(text_, a)) {
            Markup m = readMarkup(text_, a);
            step.kind = Step::Kind::Markup;
            step.consumed = m.consumed;
            step.silenceBytes = m.silenceBytes;
            step.numberTooLarge = m.reading.tooLarge;
            step.words.push_back(word(a, m.consumed));
            addUnits(step, m.reading.text, rate);
            pos_ += m.consumed;
            return step;
        }
    }

    CharClass cls = classifyChar(c, settings_);
    pos_ += 1;
    if (cls.skip) {
        step.kind = Step::Kind::Skip;
        return step;
    }
    step.kind = Step::Kind::Single;
    step.words.push_back(word(a, 1));
    step.units.push_back({cls.unit, pauseAfter(rate, cls.pause, cls.unit != 0)});
    return step;
}

} // namespace voxling
