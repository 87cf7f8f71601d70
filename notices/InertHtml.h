#pragma once
// Downloaded pages are read here, never in a live page: libxml2's HTML parser builds a tree that
// nothing runs or loads from, and callers take only text and checked links out of it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace inert {

class Element {
public:
    Element() = default;
    bool isNull() const { return node_ == nullptr; }
    explicit operator bool() const { return node_ != nullptr; }
    // Lower-case tag name.
    std::string tag() const;
    // The visible text, scripts and styles left out, normalised (see normaliseText).
    std::string text() const;
    std::string attr(const std::string& name) const;
    // Elements of the tag below this one, at any depth, in document order ("*" for all).
    std::vector<Element> descendants(const std::string& tag) const;
    // A table's own rows (not those of nested tables); a row's own cells.
    std::vector<Element> rows() const;
    std::vector<Element> cells() const;

private:
    friend class Fragment;
    Element(std::shared_ptr<void> doc, void* node) : doc_(std::move(doc)), node_(node) {}
    std::shared_ptr<void> doc_;
    void* node_ = nullptr;
};

class Fragment {
public:
    // UTF-8 HTML; never fails (broken markup is recovered, nothing is fetched).
    static Fragment parse(const std::string& html);
    Element root() const;
    std::vector<Element> byTag(const std::string& tag) const { return root().descendants(tag); }

private:
    std::shared_ptr<void> doc_;
};

// One normaliser for every text the window compares: runs of white space (no-break spaces
// included) become one blank, and the ends are trimmed.
std::string normaliseText(const std::string& text);
// The link as an absolute http or https address resolved against the page's address, or ""
// for anything else (scripts, data, mail, malformed or carrying quotes or control characters).
std::string checkedLink(const std::string& href, const std::string& pageUrl);
// Text made safe as HTML text and as a quoted attribute value.
std::string escapeHtml(const std::string& text);
// The markup rebuilt from a parse of it with only known harmless elements and attributes: no
// script, style sheet, frame, object, form control or event attribute; links and images only as
// http(s) addresses resolved against the page's address, links opening a new window; no ids or
// names that could stand for the reader's own elements. imageAddress, when given, turns each
// picture's resolved address into the source the markup is given ("": none).
std::string rebuild(const std::string& markup, const std::string& pageUrl,
                    const std::function<std::string(const std::string&)>& imageAddress = {});

} // namespace inert
