#include "InertHtml.h"
#include "platform/system/Machine.h"

#include <libxml/HTMLparser.h>
#include <libxml/uri.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>

namespace inert {
namespace {

xmlNode* asNode(void* p) { return static_cast<xmlNode*>(p); }

bool isElement(const xmlNode* n, const char* tag) {
    return n && n->type == XML_ELEMENT_NODE && n->name && xmlStrcasecmp(n->name, BAD_CAST tag) == 0;
}

// Recovered from whatever the markup is, fetching nothing; null only when libxml2 gives up.
htmlDocPtr readHtml(const std::string& text) {
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
    return htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8", options);
}

std::string attrText(const xmlNode* n, const xmlAttr* a) {
    xmlChar* v = xmlNodeListGetString(n->doc, a->children, 1);
    std::string s = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return s;
}

bool hidden(const xmlNode* n) {
    return isElement(n, "script") || isElement(n, "style") || isElement(n, "noscript") || isElement(n, "template");
}

void collectText(const xmlNode* n, std::string& out) {
    for (const xmlNode* c = n->children; c; c = c->next) {
        if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
            if (c->content) out += reinterpret_cast<const char*>(c->content);
        } else if (c->type == XML_ELEMENT_NODE && !hidden(c)) {
            if (isElement(c, "br")) out += ' ';
            collectText(c, out);
            out += ' ';  // block and cell boundaries read as a blank; the normaliser folds them
        }
    }
}

void collect(const std::shared_ptr<void>& doc, xmlNode* n, const std::string& tag, std::vector<Element>& out,
             const std::function<Element(xmlNode*)>& make) {
    for (xmlNode* c = n->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE) continue;
        if (tag == "*" || isElement(c, tag.c_str())) out.push_back(make(c));
        collect(doc, c, tag, out, make);
    }
    (void)doc;
}

} // namespace

std::string Element::tag() const {
    return node_ && asNode(node_)->name ? sys::lowerAscii(reinterpret_cast<const char*>(asNode(node_)->name)) : "";
}

std::string Element::text() const {
    if (!node_) return "";
    std::string raw;
    collectText(asNode(node_), raw);
    return normaliseText(raw);
}

std::string Element::attr(const std::string& name) const {
    if (!node_) return "";
    for (xmlAttr* a = asNode(node_)->properties; a; a = a->next)
        if (a->name && xmlStrcasecmp(a->name, BAD_CAST name.c_str()) == 0) return attrText(asNode(node_), a);
    return "";
}

std::vector<Element> Element::descendants(const std::string& tag) const {
    std::vector<Element> out;
    if (!node_) return out;
    auto doc = doc_;
    collect(doc, asNode(node_), sys::lowerAscii(tag), out, [doc](xmlNode* n) { return Element(doc, n); });
    return out;
}

std::vector<Element> Element::rows() const {
    std::vector<Element> out;
    if (!node_) return out;
    for (xmlNode* c = asNode(node_)->children; c; c = c->next) {
        if (isElement(c, "tr")) out.push_back(Element(doc_, c));
        else if (isElement(c, "thead") || isElement(c, "tbody") || isElement(c, "tfoot"))
            for (xmlNode* r = c->children; r; r = r->next)
                if (isElement(r, "tr")) out.push_back(Element(doc_, r));
    }
    return out;
}

std::vector<Element> Element::cells() const {
    std::vector<Element> out;
    if (!node_) return out;
    for (xmlNode* c = asNode(node_)->children; c; c = c->next)
        if (isElement(c, "td") || isElement(c, "th")) out.push_back(Element(doc_, c));
    return out;
}

Fragment Fragment::parse(const std::string& html) {
    Fragment f;
    // An empty buffer gives no document; parse a blank instead so callers always get a root.
    htmlDocPtr doc = readHtml(html.empty() ? std::string(" ") : html);
    if (doc) f.doc_ = std::shared_ptr<void>(doc, [](void* d) { xmlFreeDoc(static_cast<xmlDocPtr>(d)); });
    return f;
}

Element Fragment::root() const {
    if (!doc_) return {};
    xmlNode* r = xmlDocGetRootElement(static_cast<xmlDocPtr>(doc_.get()));
    return r ? Element(doc_, r) : Element();
}

std::string normaliseText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool blank = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            space = true;
            ++i;
        }
        if (space) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += static_cast<char>(c);
    }
    return out;
}

std::string checkedLink(const std::string& href, const std::string& pageUrl) {
    const std::string h = normaliseText(href);
    if (h.empty()) return "";
    xmlChar* built = xmlBuildURI(BAD_CAST h.c_str(), BAD_CAST pageUrl.c_str());
    if (!built) return "";
    std::string abs = reinterpret_cast<const char*>(built);
    xmlFree(built);
    for (unsigned char c : abs)
        if (c <= 0x20 || c == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' || c == '\\' || c == '`')
            return "";
    xmlURIPtr uri = xmlParseURI(abs.c_str());
    if (!uri) return "";
    const std::string scheme = uri->scheme ? sys::lowerAscii(uri->scheme) : "";
    const bool hasHost = uri->server && *uri->server;
    xmlFreeURI(uri);
    if ((scheme != "http" && scheme != "https") || !hasHost) return "";
    return abs;
}

std::string escapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

// ---- Rebuilding markup from an allow-list ----

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
        const std::string value = attrText(n, a);
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
        if (isElement(c, tag)) return c;
    return nullptr;
}

} // namespace

std::string rebuild(const std::string& markup, const std::string& pageUrl,
                    const std::function<std::string(const std::string&)>& imageAddress) {
    htmlDocPtr doc = readHtml("<html><body>" + markup + "</body></html>");
    if (!doc) return "";
    std::string out;
    if (xmlNode* body = child(xmlDocGetRootElement(doc), "body")) emitChildren(body, Walk{pageUrl, imageAddress}, out);
    xmlFreeDoc(doc);
    return out;
}

} // namespace inert
