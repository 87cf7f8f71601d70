#include "notices/InertHtml.h"
#include "notices/frmFXNotify.h"
#include "platform/system/CodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(InertHtml, TextIsReadWithoutScriptsAndNormalised) {
    const auto page = inert::Fragment::parse(
        "<table id=\"DataList1\"><tr><td> 12/10\n 09:12 </td><td><a href=\"/a.htm\">美元&nbsp;走强<script>x=1</script>"
        "<style>b{}</style></a></td></tr><tr><td>only</td></tr></table>");
    const auto tables = page.byTag("TABLE");
    ASSERT_EQ(tables.size(), 1u);
    const auto rows = tables[0].rows();
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_EQ(rows[0].cells().size(), 2u);
    EXPECT_EQ(rows[0].cells()[0].text(), "12/10 09:12");
    const auto a = rows[0].cells()[1].descendants("a");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].text(), "美元 走强");
    EXPECT_EQ(a[0].attr("HREF"), "/a.htm");
    EXPECT_TRUE(rows[1].cells()[0].descendants("a").empty());
    EXPECT_TRUE(inert::Fragment::parse("").byTag("table").empty());
}

TEST(InertHtml, OnlyHttpLinksPass) {
    const std::string page = "http://www.fx168.example/fxnews/news_now_html.htm?0";
    const struct {
        const char* href;
        const char* want;
    } cases[] = {
        {"/fxnews/a.htm", "http://www.fx168.example/fxnews/a.htm"},
        {"b.htm", "http://www.fx168.example/fxnews/b.htm"},
        {"HTTPS://x.example/c", "HTTPS://x.example/c"},
        {"javascript:alert(1)", ""},
        {" JavaScript:alert(1)", ""},
        {"data:text/html,<b>", ""},
        {"mailto:a@b.example", ""},
        {"file:///etc/passwd", ""},
        {"http://x.example/a'onmouseover='y", ""},
        {"http:///nohost", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(inert::checkedLink(c.href, page), c.want) << c.href;
}

TEST(InertHtml, EscapingAndNormalising) {
    EXPECT_EQ(inert::escapeHtml("<img src=x onerror='a'>&\""), "&lt;img src=x onerror=&#39;a&#39;&gt;&amp;&quot;");
    EXPECT_EQ(inert::normaliseText("\t a \xC2\xA0\xC2\xA0 b\r\n"), "a b");
}

TEST(InertHtml, Utf8PagesDecodeWithReplacementAndNeverAsNuls) {
    EXPECT_EQ(frmFXNotify::Utf8ToUnicode(""), "");
    EXPECT_EQ(frmFXNotify::Utf8ToUnicode("日报"), "日报");
    EXPECT_EQ(frmFXNotify::Utf8ToUnicode(std::string("a\xFF" "b")), "a\xEF\xBF\xBD" "b");
    // Sound text passes as it is; anything else as the platform's conversion reads it.
    for (const std::string bytes : {"\xF0\x9F\x98\x80", "\xC2\xA0", "\xEF\xBF\xBF", "\xC0\x80x", "\xC1\xBF", "\xE0\x80\x80",
                                    "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF0\x8F\xBF\xBF", "\xE6\x97", "\xE6x\x97\xA5",
                                    "\x80", "\xF8\x88\x80\x80\x80"})
        EXPECT_EQ(frmFXNotify::Utf8ToUnicode(bytes), sys::fromUtf32(sys::toUtf32(bytes))) << testing::PrintToString(bytes);
}

} // namespace
