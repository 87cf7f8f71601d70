// Cutting articles out of the fixture sites' article pages, and making what is cut safe.
#include "FixtureSites.h"
#include "notices/ArticleExtract.h"
#include "notices/InertHtml.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace {

const article::Hosts kHosts{"www.fx168.example", "forex.caixun.example", "bbs.kestrel.example"};

// A fixture page as the site keeps it (UTF-8).
std::string fixturePage(const std::string& rel) {
    std::ifstream in(fixtures::defaultPagesDir() / rel, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_FALSE(s.str().empty()) << rel;
    return s.str();
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + part.size())) ++n;
    return n;
}

// The attributes of every tag of a fragment, lower-cased names.
std::vector<std::string> attributeNames(const std::string& html) {
    std::vector<std::string> out;
    const std::regex tag("<[a-zA-Z][^>]*>");
    const std::regex attribute("\\s([a-zA-Z-]+)=");
    for (auto t = std::sregex_iterator(html.begin(), html.end(), tag); t != std::sregex_iterator(); ++t) {
        const std::string s = t->str();
        for (auto a = std::sregex_iterator(s.begin(), s.end(), attribute); a != std::sregex_iterator(); ++a)
            out.push_back((*a)[1]);
    }
    return out;
}

TEST(ArticleExtract, TheAddressPicksTheRule) {
    using article::Rule;
    const struct {
        const char* url;
        Rule rule;
    } cases[] = {
        {"http://www.fx168.example/fxnews/2026/1210/0912.htm", Rule::FX168},
        {"http://forex.caixun.example/fx_information/20261210/1.html", Rule::CaiXun},
        {"http://forex.caixun.example/go?to=www.fx168.example/a.htm", Rule::FX168},  // both: FX168 first
        {"http://bbs.kestrel.example/news/show.php?id=7", Rule::Table},
        {"http://www.elsewhere.example/news.htm", Rule::None},
    };
    for (const auto& c : cases) EXPECT_EQ(article::ruleFor(c.url, kHosts), c.rule) << c.url;
    // A site whose address names no host picks nothing, rather than every address.
    EXPECT_EQ(article::ruleFor("http://www.elsewhere.example/", article::Hosts{"", "", ""}), Rule::None);
    EXPECT_EQ(article::hostOf("http://user@www.fx168.example:8080/x"), "www.fx168.example");
    EXPECT_EQ(article::hostOf("not an address"), "");
    EXPECT_EQ(article::hostOf("http://[::1]:8080/x"), "[::1]");  // not "[": it would match any bracket
}

TEST(ArticleExtract, FX168RuleCutsTheTitleTable) {
    const std::string page = fixturePage("fx168/fxnews/2026/1210/0912.htm");
    const auto cut = article::FX168Rule(page);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->rfind("<table border=0 cellpadding=0 cellspacing=0 width='100%' style='table-layout:fixed'>"
                         "<tr><td  class=\"NewsTitle\"",
                         0),
              0u);
    EXPECT_EQ(cut->substr(cut->size() - 8), "</table>");
    EXPECT_NE(cut->find("美元指数早盘窄幅震荡 市场静待非农数据"), std::string::npos);
    EXPECT_NE(cut->find("img/dxy.gif"), std::string::npos);
    EXPECT_EQ(cut->find("版权所有"), std::string::npos) << "the page's footer is not part of it";

    // Without its marker, or without the end of its table, there is no article.
    EXPECT_FALSE(article::FX168Rule("<table><tr><td class=NewsTitle>x</td></tr></table>"));
    EXPECT_FALSE(article::FX168Rule("<td class=\"NewsTitle\">x</td><p>no end"));
}

TEST(ArticleExtract, CaiXunRuleMatchesItsOwnDivisionAndStopsAtTheScript) {
    const std::string page = fixturePage("caixun/fx_information/20261210/1.html");
    const auto cut = article::CaiXunRule(page);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->rfind("<div class='NewsTitle'>美元兑人民币中间价报7.0650</div><HR style='FILTER: "
                         "alpha(opacity=100,finishopacity=0,style=3)' width='100%' color=#FF6600 SIZE=3> "
                         "<div id=\"artibody\"",
                         0),
              0u);
    // The nested divisions are inside; the body is cut before its script and closed.
    EXPECT_NE(cut->find("近一月中间价走势"), std::string::npos);
    EXPECT_NE(cut->find("人民币短期或延续双向波动格局"), std::string::npos);
    EXPECT_EQ(cut->find("var hits"), std::string::npos);
    EXPECT_EQ(cut->find("分享到"), std::string::npos);
    EXPECT_EQ(cut->substr(cut->size() - 6), "</div>");

    // Nested divisions without a script: the body ends at the end tag matching its own.
    const auto nested = article::CaiXunRule(
        "<h1 id=\"artibodyTitle\">T &amp; <b>U</b></h1><div id=\"artibody\"><div>a<div>b</div></div>c</div>"
        "<div class=\"footer\">f</div>");
    ASSERT_TRUE(nested);
    EXPECT_NE(nested->find("<div class='NewsTitle'>T &amp; U</div>"), std::string::npos) << *nested;
    EXPECT_NE(nested->find("<div id=\"artibody\"><div>a<div>b</div></div>c</div>"), std::string::npos) << *nested;
    EXPECT_EQ(nested->find("footer"), std::string::npos);

    // Unbalanced divisions: the matching stops when no "div" is left; the body runs to the end.
    const auto open = article::CaiXunRule("<div id=\"artibody\"><div>one<div>two");
    ASSERT_TRUE(open);
    EXPECT_NE(open->find("<div id=\"artibody\"><div>one<div>two</div>"), std::string::npos) << *open;
    // No title marker: an empty title line; no body marker: no article.
    const auto untitled = article::CaiXunRule("<div id=\"artibody\">x</div>");
    ASSERT_TRUE(untitled);
    EXPECT_EQ(untitled->rfind("<div class='NewsTitle'></div>", 0), 0u);
    EXPECT_FALSE(article::CaiXunRule("<h1 id=\"artibodyTitle\">t</h1><div>x</div>"));
}

TEST(ArticleExtract, TableRuleCutsTheFirstTable) {
    const auto cut = article::TableRule(fixturePage("service/news/show.php@id=7"));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->rfind("<table width=\"100%\" class=\"notice\"", 0), 0u);
    EXPECT_EQ(cut->substr(cut->size() - 8), "</table>");
    EXPECT_EQ(cut->find("Kestrel 工作室"), std::string::npos) << "the second table is left";
    EXPECT_FALSE(article::TableRule("<div>no table</div>"));
    EXPECT_FALSE(article::TableRule("<table><tr><td>never closed"));
    // Extract dispatches on the address; an unknown site gives nothing.
    EXPECT_TRUE(article::Extract("<table></table>", "http://bbs.kestrel.example/a", kHosts));
    EXPECT_FALSE(article::Extract("<table></table>", "http://other.example/a", kHosts));
}

TEST(ArticleExtract, PicturesAndLinksResolveAgainstTheArticle) {
    const std::string url = "http://forex.caixun.example/fx_information/20261210/1.html";
    const std::string html = inert::rebuild(
        "<p><img src=\"../images/cny.gif\" alt=\"a\"><img src=\"/images/logo.gif\">"
        "<img src=\"http://cdn.example/x.gif\"><img src=\"pic.gif\">"
        "<a href=\"3.html\" target=\"_self\">next</a><a href=\"http://other.example/\">out</a></p>",
        url);
    EXPECT_EQ(html,
              "<p><img src=\"http://forex.caixun.example/fx_information/images/cny.gif\" alt=\"a\">"
              "<img src=\"http://forex.caixun.example/images/logo.gif\">"
              "<img src=\"http://cdn.example/x.gif\">"
              "<img src=\"http://forex.caixun.example/fx_information/20261210/pic.gif\">"
              "<a href=\"http://forex.caixun.example/fx_information/20261210/3.html\" target=\"_blank\">next</a>"
              "<a href=\"http://other.example/\" target=\"_blank\">out</a></p>");
    // The page may load pictures from elsewhere than their address says.
    EXPECT_EQ(inert::rebuild("<img src=\"a.gif\">", url,
                                [](const std::string& a) { return "http://127.0.0.1:1/" + a.substr(7); }),
              "<img src=\"http://127.0.0.1:1/forex.caixun.example/fx_information/20261210/a.gif\">");
}

TEST(ArticleExtract, AHostileArticleComesOutInert) {
    const std::string url = "http://bbs.kestrel.example/news/show.php?id=666";
    const auto cut = article::TableRule(fixturePage("service/news/show.php@id=666"));
    ASSERT_TRUE(cut);
    const std::string html = inert::rebuild(*cut, url);
    std::string lower = html;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* gone : {"<script", "<iframe", "<object", "<embed", "<svg", "<form", "<input", "<button",
                             "<style", "<meta", "<base", "javascript", "data:", "position", "url(", "__pwned"})
        EXPECT_EQ(lower.find(gone), std::string::npos) << gone << " in " << html;
    for (const auto& name : attributeNames(html)) {
        EXPECT_NE(name.rfind("on", 0), 0u) << name;
        EXPECT_NE(name, "id");
        EXPECT_NE(name, "name");
    }
    // What is harmless stays: the text, the plain link (to a new window), the title.
    EXPECT_NE(html.find("正文仍然可读。"), std::string::npos);
    EXPECT_NE(html.find("<a href=\"http://bbs.kestrel.example/ok.htm\" target=\"_blank\">正常链接</a>"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"NewsTitle\">一篇不怀好意的文章</td>"), std::string::npos);
    EXPECT_EQ(count(html, "<img "), 1u) << "only the picture with a web address";
    // Script links keep their text only.
    EXPECT_NE(html.find("点这里"), std::string::npos);
    // Text that looks like markup stays text.
    EXPECT_EQ(inert::rebuild("<p>a &lt;script&gt; b</p>", url), "<p>a &lt;script&gt; b</p>");
}

TEST(ArticleExtract, FallbackLinkIsBuiltFromText) {
    EXPECT_EQ(article::FallbackLink("http://www.fx168.example/a.htm"),
              "<a href=' http://www.fx168.example/a.htm 'target='_blank' >http://www.fx168.example/a.htm</a>");
    EXPECT_EQ(article::FallbackLink("http://x.example/a?b=1&c=2"),
              "<a href=' http://x.example/a?b=1&amp;c=2 'target='_blank' >http://x.example/a?b=1&amp;c=2</a>");
    // An address that would break out of the link, or runs script, is shown as text.
    EXPECT_EQ(article::FallbackLink("http://x.example/' onmouseover='alert(1)"),
              "http://x.example/&#39; onmouseover=&#39;alert(1)");
    EXPECT_EQ(article::FallbackLink("javascript:alert(1)<b>"), "javascript:alert(1)&lt;b&gt;");
    EXPECT_EQ(article::URLPath("http://a.example/b/c.htm"), "http://a.example/b/");
    EXPECT_EQ(article::URLPath("none"), "");
}

} // namespace
