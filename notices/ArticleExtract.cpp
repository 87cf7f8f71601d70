#include "ArticleExtract.h"
#include "platform/system/Machine.h"

#include "InertHtml.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace article {
namespace {

// Elements kept with their children; anything not named here or below loses its tag and keeps
// its children.
const std::set<std::string> kKept = {
    "a",     "abbr",  "b",     "big",   "blockquote", "br",   "caption", "center", "cite",  "code", "col",
    "colgroup", "dd", "del",   "div",   "dl",         "dt",   "em",      "font",   "h1",    "h2",   "h3",
    "h4",    "h5",    "h6",    "hr",    "i",          "img",  "ins",     "li",     "ol",    "p",    "pre",
    "q",     "s",     "small", "span",  "strike",     "strong", "sub",   "sup",    "table", "tbody", "td",
    "tfoot", "th",    "thead", "tr",    "tt",         "u",    "ul"};
// Elements dropped with everything inside them.
const std::set<std::string> kDropped = {
    "script", "style",  "iframe", "frame",    "frameset", "object",  "applet",   "noscript", "template",
    "svg",    "math",   "title",  "head",     "audio",    "video",   "canvas",   "select",   "textarea",
    "option", "optgroup", "xml",  "portal",   "dialog",   "noembed", "noframes", "plaintext", "xmp",
    "map",    "picture"};
// Empty elements dropped alone: a parser that does not know one as empty puts the elements after
// it inside it, and those stay.
const std::set<std::string> kDroppedTag = {"embed", "input", "source", "track", "param", "keygen", "link",
                                           "meta",  "base",  "area",   "wbr",   "form",  "button"};
const std::set<std::string> kVoid = {"br", "hr", "img", "col"};
// Attributes kept as they stand (links, images and styles are handled apart).
const std::set<std::string> kPlainAttributes = {
    "class", "title",   "alt",   "width", "height", "align", "valign", "border", "cellpadding",
    "cellspacing", "colspan", "rowspan", "color", "size", "face",  "bgcolor", "nowrap", "start",
    "dir",   "lang",    "span",  "noshade", "type"};

// A style that can fetch, run or lay itself over the window's own controls is left out.
bool harmlessStyle(const std::string& style) {
    const std::string s = sys::lowerAscii(style);
    for (const char* bad : {"url", "expression", "javascript", "behavior", "binding", "@import", "\\", "position",
                            "&#", "image"})
        if (s.find(bad) != std::string::npos) return false;
    return true;
}

std::string attrValue(xmlNode* n, xmlAttr* a) {
    xmlChar* v = xmlNodeListGetString(n->doc, a->children, 1);
    std::string s = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return s;
}

struct Walk {
    std::string base;
    const std::function<std::string(const std::string&)>& image;
};

void emit(xmlNode* n, const Walk& w, std::string& out);

void emitChildren(xmlNode* n, const Walk& w, std::string& out) {
    for (xmlNode* c = n->children; c; c = c->next) emit(c, w, out);
}

void emit(xmlNode* n, const Walk& w, std::string& out) {
    if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
        if (n->content) out += inert::escapeHtml(reinterpret_cast<const char*>(n->content));
        return;
    }
    if (n->type != XML_ELEMENT_NODE || !n->name) return;
    const std::string tag = sys::lowerAscii(reinterpret_cast<const char*>(n->name));
    if (kDropped.count(tag)) return;
    if (kDroppedTag.count(tag) || !kKept.count(tag)) {
        emitChildren(n, w, out);
        return;
    }
    std::string attributes;
    std::string link;
    for (xmlAttr* a = n->properties; a; a = a->next) {
        if (!a->name) continue;
        const std::string name = sys::lowerAscii(reinterpret_cast<const char*>(a->name));
        const std::string value = attrValue(n, a);
        if (name == "href" && tag == "a") link = inert::checkedLink(value, w.base);
        else if (name == "src" && tag == "img") link = inert::checkedLink(value, w.base);
        else if (name == "style" && harmlessStyle(value)) attributes += " style=\"" + inert::escapeHtml(value) + "\"";
        else if (kPlainAttributes.count(name)) attributes += " " + name + "=\"" + inert::escapeHtml(value) + "\"";
    }
    if (tag == "img") {
        // A picture from nowhere it may come from is left out.
        if (link.empty()) return;
        if (w.image) link = w.image(link);
        out += "<img" + (link.empty() ? std::string() : " src=\"" + inert::escapeHtml(link) + "\"") + attributes + ">";
        return;
    }
    if (tag == "a") {
        // A link to anything but a web page keeps its text only.
        if (link.empty()) {
            emitChildren(n, w, out);
            return;
        }
        attributes = " href=\"" + inert::escapeHtml(link) + "\" target=\"_blank\"" + attributes;
    }
    out += "<" + tag + attributes + ">";
    if (kVoid.count(tag)) return;
    emitChildren(n, w, out);
    out += "</" + tag + ">";
}

xmlNode* child(xmlNode* n, const char* tag) {
    for (xmlNode* c = n ? n->children : nullptr; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && c->name && xmlStrcasecmp(c->name, BAD_CAST tag) == 0) return c;
    return nullptr;
}

} // namespace

std::string hostOf(const std::string& base) {
    const size_t scheme = base.find("://");
    if (scheme == std::string::npos) return "";
    std::string authority = base.substr(scheme + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const size_t at = authority.rfind('@'); at != std::string::npos) authority = authority.substr(at + 1);
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

std::string Sanitise(const std::string& markup, const std::string& articleUrl,
                     const std::function<std::string(const std::string&)>& imageAddress) {
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
    const std::string text = "<html><body>" + markup + "</body></html>";
    htmlDocPtr doc = htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8", options);
    if (!doc) return "";
    std::string out;
    if (xmlNode* body = child(xmlDocGetRootElement(doc), "body")) emitChildren(body, Walk{articleUrl, imageAddress}, out);
    xmlFreeDoc(doc);
    return out;
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
