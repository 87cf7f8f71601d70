#include "InertHtml.h"
#include "platform/system/Machine.h"

#include <libxml/HTMLparser.h>
#include <libxml/uri.h>

#include <algorithm>
#include <cctype>
#include <functional>

namespace inert {
namespace {

xmlNode* asNode(void* p) { return static_cast<xmlNode*>(p); }

bool isElement(const xmlNode* n, const char* tag) {
    return n && n->type == XML_ELEMENT_NODE && n->name && xmlStrcasecmp(n->name, BAD_CAST tag) == 0;
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
    for (xmlAttr* a = asNode(node_)->properties; a; a = a->next) {
        if (!a->name || xmlStrcasecmp(a->name, BAD_CAST name.c_str()) != 0) continue;
        xmlChar* v = xmlNodeListGetString(asNode(node_)->doc, a->children, 1);
        std::string s = v ? reinterpret_cast<const char*>(v) : "";
        xmlFree(v);
        return s;
    }
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
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
    // An empty buffer gives no document; parse a blank instead so callers always get a root.
    const std::string text = html.empty() ? std::string(" ") : html;
    htmlDocPtr doc = htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8", options);
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

} // namespace inert
