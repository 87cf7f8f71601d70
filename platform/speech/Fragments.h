#pragma once
// The fragment list a speak request hands to the engine, built from the caller's text.
#include "platform/speech/SpeechApi.h"

#include <memory>
#include <string_view>
#include <vector>

namespace speech {

// One zero-terminated copy of the caller's text that every fragment points into (a fragment's
// text sits at its source offset), the fragments in text order and the phone strings of
// pronunciations. Built once and only read afterwards, by the speaking thread.
//
// With markup, text between tags becomes Speak fragments and these tags act (names without
// regard to case, attribute values in single or double quotes):
//   <silence msec="n"/>                  a Silence fragment (its text is the tag)
//   <bookmark mark="name"/>              a Bookmark fragment whose text is the name
//   <spell>...</spell>                   SpellOut fragments
//   <pron sym="..."/> or <pron sym="...">...</pron>   Pronounce fragments with pPhoneIds = sym
//   <rate absspeed="n"/> <rate speed="n">...</rate>   RateAdj set or changed (-10..10)
//   <volume level="n"/> <volume level="n">...</volume> Volume (0..100)
// An empty tag changes the state to the end of the enclosing element. Other tags (and end tags
// nothing opened) become ParseUnknownTag fragments whose text is the tag; comments and <?...?>
// are dropped; an entity (&amp; &lt; &gt; &quot; &apos; &#n; &#xn;) is decoded in place and
// spoken as a fragment of its own so offsets stay exact; a "<" without ">" is text.
class FragmentList {
public:
    static FragmentList build(std::u16string_view text, bool parseMarkup);

    // Null when there is nothing to speak.
    const win::SPVTEXTFRAG* head() const { return frags_.empty() ? nullptr : frags_.front().get(); }
    size_t size() const { return frags_.size(); }
    const win::SPVTEXTFRAG& operator[](size_t i) const { return *frags_[i]; }
    const char16_t* buffer() const { return buffer_.get(); }

private:
    std::unique_ptr<char16_t[]> buffer_;
    std::vector<std::unique_ptr<win::SPVTEXTFRAG>> frags_;
    std::vector<std::unique_ptr<char16_t[]>> phones_;

    friend class FragmentBuilder;
};

// Whether Speak parses markup for these flags and this text: SVSFIsXML yes, SVSFIsNotXML no,
// otherwise when the text starts (after white space) with "<".
bool speakParsesMarkup(std::u16string_view text, win::DWORD flags);

} // namespace speech
