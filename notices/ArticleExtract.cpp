#include "ArticleExtract.h"

#include "InertHtml.h"

#include <algorithm>

namespace article {

std::string hostOf(const std::string& base) {
    const size_t scheme = base.find("://");
    if (scheme == std::string::npos) return "";
    std::string authority = base.substr(scheme + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const size_t at = authority.rfind('@'); at != std::string::npos) authority = authority.substr(at + 1);
    // A bracketed IPv6 address keeps its colons.
    if (!authority.empty() && authority[0] == '[') return authority.substr(0, authority.find(']') + 1);
    return authority.substr(0, authority.find(':'));
}

Rule ruleFor(const std::string& url, const Hosts& hosts) {
    auto holds = [&](const std::string& host) { return !host.empty() && url.find(host) != std::string::npos; };
    if (holds(hosts.fx168)) return Rule::FX168;
    if (holds(hosts.caixun)) return Rule::CaiXun;
    if (holds(hosts.service)) return Rule::Table;
    return Rule::None;
}

std::optional<std::string> FX168Rule(const std::string& page) {
    const size_t start = page.find("class=\"NewsTitle\"");
    if (start == std::string::npos) return std::nullopt;
    // Without the end of its table the cut would run to the end of the page: no article.
    const size_t end = page.find("</table", start);
    if (end == std::string::npos) return std::nullopt;
    return "<table border=0 cellpadding=0 cellspacing=0 width='100%' style='table-layout:fixed'><tr><td  " +
           page.substr(start, std::min(page.size(), end + 8) - start);
}

std::optional<std::string> CaiXunRule(const std::string& page) {
    std::string title;
    if (const size_t marker = page.find("id=\"artibodyTitle\""); marker != std::string::npos) {
        if (const size_t end = page.find("</h1>", marker); end != std::string::npos)
            title = inert::Fragment::parse("<h1 " + page.substr(marker, end - marker) + "</h1>").root().text();
    }
    // A page without its body is no article; the address serves the reader better.
    const size_t marker = page.find("id=\"artibody\"");
    if (marker == std::string::npos) return std::nullopt;
    int depth = 1;
    size_t pos = marker;
    size_t bodyEnd = page.size();
    // Stops at the matching end tag, or when no "div" is left: the body then runs to the end.
    while (true) {
        const size_t found = page.find("div", pos + 3);
        if (found == std::string::npos) break;
        pos = found;
        const char before = pos > 0 ? page[pos - 1] : '\0';
        if (before == '<') ++depth;
        else if (before == '/') --depth;
        if (depth == 0) {
            bodyEnd = pos >= 2 ? pos - 2 : 0;
            break;
        }
    }
    std::string body = page.substr(marker, std::max(bodyEnd, marker) - marker);
    if (const size_t script = body.find("<script"); script != std::string::npos) body.resize(script);
    return "<div class='NewsTitle'>" + inert::escapeHtml(title) +
           "</div><HR style='FILTER: alpha(opacity=100,finishopacity=0,style=3)' width='100%' color=#FF6600 SIZE=3> " +
           "<div " + body + "</div>";
}

std::optional<std::string> TableRule(const std::string& page) {
    const size_t start = page.find("<table");
    if (start == std::string::npos) return std::nullopt;
    const size_t end = page.find("</table", start);
    if (end == std::string::npos) return std::nullopt;
    return page.substr(start, std::min(page.size(), end + 8) - start);
}

std::optional<std::string> Extract(const std::string& page, const std::string& url, const Hosts& hosts) {
    switch (ruleFor(url, hosts)) {
    case Rule::FX168: return FX168Rule(page);
    case Rule::CaiXun: return CaiXunRule(page);
    case Rule::Table: return TableRule(page);
    case Rule::None: break;
    }
    return std::nullopt;
}

std::string FallbackLink(const std::string& url) {
    const std::string link = inert::checkedLink(url, url);
    if (link.empty()) return inert::escapeHtml(url);
    return "<a href=' " + inert::escapeHtml(link) + " 'target='_blank' >" + inert::escapeHtml(url) + "</a>";
}

std::string URLPath(const std::string& text) {
    const size_t slash = text.rfind('/');
    return slash == std::string::npos ? "" : text.substr(0, slash + 1);
}

} // namespace article
