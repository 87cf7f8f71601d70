#include "TextSegmenter.h"

#include <algorithm>

namespace voxling {

TextSegmenter::TextSegmenter(std::span<const Fragment> fragments) : fragments_(fragments) { enterFragment(); }

bool TextSegmenter::isWhitespace(char16_t c) { return c == u'\t' || c == u'\n' || c == u'\r' || c == u' '; }

bool TextSegmenter::isLeadingPunctuation(char16_t c) {
    return c == u'(' || c == u'{' || c == u'[' || c == u'"' || c == u'\'';
}

bool TextSegmenter::isSentenceEnd(char16_t c) { return c == u'.' || c == u'!' || c == u'?'; }

bool TextSegmenter::isTrailingPunctuation(char16_t c) {
    return c == u',' || c == u';' || c == u':' || c == u')' || c == u'}' || c == u']' || c == u'"' || c == u'\'';
}

void TextSegmenter::enterFragment() {
    pos_ = 0;
    end_ = 0;
    endsText_ = false;
    if (current_ >= fragments_.size()) return;
    const Fragment& f = fragments_[current_];
    if (!f.text) return;
    // A zero inside the fragment ends the text there; reading on past it would find no token
    // and never move the reader.
    const char16_t* zero = std::find(f.text, f.text + f.length, u'\0');
    end_ = uint32_t(zero - f.text);
    endsText_ = f.endsText || end_ < f.length;
}

Item TextSegmenter::pieceAt(uint32_t pos, uint32_t len) const {
    const Fragment& f = fragments_[current_];
    Item item;
    item.action = FragmentAction::Speak;
    item.fragment = &f;
    item.text.assign(f.text + pos, len);
    item.sourceOffset = f.sourceOffset + pos;
    item.sourceLength = len;
    return item;
}

bool TextSegmenter::nextSentence(std::vector<Item>& items) {
    items.clear();
    bool ended = false;
    while (current_ < fragments_.size() && !ended) {
        const Fragment& f = fragments_[current_];
        if (f.action != FragmentAction::Speak) {
            Item item;
            item.action = f.action;
            item.fragment = &f;
            if (f.text) item.text.assign(f.text, f.length);
            item.sourceOffset = f.sourceOffset;
            item.sourceLength = f.length;
            items.push_back(std::move(item));
            ++current_;
            enterFragment();
            continue;
        }
        ended = nextSpeakItem(items);
        if (pos_ >= end_) {
            ++current_;
            enterFragment();
        }
    }
    return !items.empty();
}

bool TextSegmenter::nextSpeakItem(std::vector<Item>& items) {
    const char16_t* t = fragments_[current_].text;
    while (pos_ < end_ && isWhitespace(t[pos_])) ++pos_;
    if (pos_ >= end_) return false;
    uint32_t begin = pos_;
    uint32_t stop = begin;
    while (stop < end_ && !isWhitespace(t[stop])) ++stop;
    pos_ = stop;

    bool ended = false;
    uint32_t tb = begin, te = stop;
    while (te - tb > 1 && isLeadingPunctuation(t[tb])) {
        items.push_back(pieceAt(tb, 1));
        ++tb;
    }
    size_t mainIndex = items.size();
    items.emplace_back();

    std::vector<Item> trailing;
    while (te - tb > 1) {
        char16_t c = t[te - 1];
        if (isSentenceEnd(c)) ended = true;
        else if (!isTrailingPunctuation(c)) break;
        trailing.push_back(pieceAt(te - 1, 1));
        --te;
    }
    for (auto it = trailing.rbegin(); it != trailing.rend(); ++it) items.push_back(std::move(*it));

    if (stop == end_ && endsText_) {
        if (!isSentenceEnd(t[stop - 1])) {
            Item period = pieceAt(stop - 1, 1);
            period.text = u".";
            items.push_back(std::move(period));
        }
        ended = true;
    }

    Item main = pieceAt(tb, te - tb);
    std::replace(main.text.begin(), main.text.end(), u'\'', u'_');
    items[mainIndex] = std::move(main);
    return ended;
}

} // namespace voxling
