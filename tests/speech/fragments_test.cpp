#include "platform/speech/Fragments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace win;
using speech::FragmentList;

namespace {

struct Expect {
    SPVACTIONS action;
    std::u16string text;
    LONG rate = 0;
    ULONG volume = 100;
};

std::string show(std::u16string_view s) { return std::string(s.begin(), s.end()); }

// Every fragment must point into the buffer at its own source offset and hold the source there
// (entities aside), and the list must be chained in order.
void checkList(const FragmentList& list, std::u16string_view source, const std::vector<Expect>& expect) {
    ASSERT_EQ(list.size(), expect.size()) << show(source);
    const SPVTEXTFRAG* f = list.head();
    for (size_t i = 0; i < expect.size(); ++i, f = f->pNext) {
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(f, &list[i]);
        const std::u16string text(f->pTextStart, f->ulTextLen);
        EXPECT_EQ(f->pTextStart, list.buffer() + f->ulTextSrcOffset) << i;
        EXPECT_EQ(f->State.eAction, expect[i].action) << i << " " << show(text);
        EXPECT_EQ(text, expect[i].text) << i;
        EXPECT_EQ(f->State.RateAdj, expect[i].rate) << i << " " << show(text);
        EXPECT_EQ(f->State.Volume, expect[i].volume) << i << " " << show(text);
    }
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(list.buffer()[source.size()], u'\0');
}

} // namespace

TEST(FragmentList, TextWithTags) {
    const std::u16string src =
        u"Hi <bookmark mark=\"b1\"/>there<silence msec=\"250\"/><spell>ab</spell> <rate speed=\"3\">x"
        u"<volume level='40'>y</volume></rate>z <pron sym=\"h eh\">w</pron><foo a='1'>q&amp;r</foo>";
    const auto list = FragmentList::build(src, true);
    checkList(list, src,
              {
                  {SPVA_Speak, u"Hi "},
                  {SPVA_Bookmark, u"b1"},
                  {SPVA_Speak, u"there"},
                  {SPVA_Silence, u"<silence msec=\"250\"/>"},
                  {SPVA_SpellOut, u"ab"},
                  {SPVA_Speak, u" "},
                  {SPVA_Speak, u"x", 3},
                  {SPVA_Speak, u"y", 3, 40},
                  {SPVA_Speak, u"z "},
                  {SPVA_Pronounce, u"w"},
                  {SPVA_ParseUnknownTag, u"<foo a='1'>"},
                  {SPVA_Speak, u"q"},
                  {SPVA_Speak, u"&"},
                  {SPVA_Speak, u"r"},
                  {SPVA_ParseUnknownTag, u"</foo>"},
              });
    EXPECT_EQ(list[1].ulTextSrcOffset, src.find(u"b1"));
    EXPECT_EQ(list[3].State.SilenceMSecs, 250u);
    EXPECT_EQ(list[3].ulTextSrcOffset, src.find(u"<silence"));
    ASSERT_NE(list[9].State.pPhoneIds, nullptr);
    EXPECT_EQ(std::u16string(list[9].State.pPhoneIds), u"h eh");
    EXPECT_EQ(list[2].State.pPhoneIds, nullptr);
    EXPECT_EQ(list[12].ulTextSrcOffset, src.find(u"&amp;"));
    EXPECT_EQ(list[13].ulTextSrcOffset, src.find(u"r</foo>"));
}

TEST(FragmentList, EdgeCases) {
    struct Case {
        std::u16string src;
        bool markup;
        std::vector<Expect> expect;
    };
    const std::vector<Case> cases = {
        {u"", true, {}},
        {u"a<b>c", false, {{SPVA_Speak, u"a<b>c"}}},
        {u"报价 <b>超时", false, {{SPVA_Speak, u"报价 <b>超时"}}},
        {u"a < b", true, {{SPVA_Speak, u"a < b"}}},
        {u"<!-- <silence msec='9'/> -->x<?xml version='1.0'?>", true, {{SPVA_Speak, u"x"}}},
        {u"<silence msec='abc'/>x<silence/>", true, {{SPVA_Speak, u"x"}}},
        {u"<SILENCE MSEC=\"5\"/>", true, {{SPVA_Silence, u"<SILENCE MSEC=\"5\"/>"}}},
        {u"</rate>x", true, {{SPVA_ParseUnknownTag, u"</rate>"}, {SPVA_Speak, u"x"}}},
        {u"<rate absspeed='20'/>a<rate speed='-30'>b</rate>c", true,
         {{SPVA_Speak, u"a", 10}, {SPVA_Speak, u"b", -10}, {SPVA_Speak, u"c", 10}}},
        {u"<volume level='150'>a</volume><volume level='x'/>b", true, {{SPVA_Speak, u"a", 0, 100}, {SPVA_Speak, u"b"}}},
        {u"&#x4F60;&#22909;&bogus;&#0;", true,
         {{SPVA_Speak, u"你"}, {SPVA_Speak, u"好"}, {SPVA_Speak, u"&bogus;&#0;"}}},
        {u"<spell/>x<pron sym='a'/>", true, {{SPVA_Speak, u"x"}, {SPVA_Pronounce, u""}}},
        {u"<bookmark mark=''/><bookmark/>x", true, {{SPVA_Bookmark, u""}, {SPVA_Speak, u"x"}}},
        {u"<spell>a<rate speed='2'>b</spell>c", true,
         {{SPVA_SpellOut, u"a"}, {SPVA_SpellOut, u"b", 2}, {SPVA_Speak, u"c"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(show(c.src));
        const auto list = FragmentList::build(c.src, c.markup);
        checkList(list, c.src, c.expect);
        if (c.expect.empty()) {
            EXPECT_EQ(list.head(), nullptr);
        }
    }
}

TEST(FragmentList, MarkupDetection) {
    struct Case {
        std::u16string text;
        DWORD flags;
        bool markup;
    };
    const Case cases[] = {
        {u"  <rate speed='1'/>x", SVSFDefault, true}, {u"x <silence msec='1'/>", SVSFDefault, false},
        {u"x <silence msec='1'/>", SVSFIsXML, true},   {u"<x/>", SVSFIsNotXML, false},
        {u"", SVSFDefault, false},
    };
    for (const auto& c : cases) EXPECT_EQ(speech::speakParsesMarkup(c.text, c.flags), c.markup) << show(c.text);
}
