#pragma once
// The web-browser control and its document model, as proxies over a page of the program's
// headless Chromium. Every property read and write is a synchronous round trip; page events
// are queued meanwhile and the machine's pump dispatches them.
#include "platform/system/WinTypes.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sys { class Machine; }

namespace web {

using json = nlohmann::json;
class Page;

// What a page event calls: the default member of the object assigned to an event property.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void Invoke() = 0;
};

// An event sink that calls a function (for C++ callers that need no forwarder object).
class FunctionSink : public EventSink {
public:
    explicit FunctionSink(std::function<void()> fn) : fn_(std::move(fn)) {}
    void Invoke() override { if (fn_) fn_(); }

private:
    std::function<void()> fn_;
};

// Run-time error numbers of the control.
constexpr long kErrObjectRequired = 424;
constexpr long kErrBrowserGone = -2147023174;   // 0x800706BA: the server process is unavailable
constexpr long kErrBrowserTimeout = -2147417848; // 0x80010108: the object has disconnected
constexpr long kErrScript = -2147352567;         // 0x80020009: exception in the page

class HTMLElement;

// An element's inline style.
class HTMLStyle {
public:
    HTMLStyle() = default;
    std::string get(const std::string& name) const;
    void set(const std::string& name, const std::string& value) const;
    std::string display() const { return get("display"); }
    void display(const std::string& v) const { set("display", v); }
    std::string visibility() const { return get("visibility"); }
    void visibility(const std::string& v) const { set("visibility", v); }
    std::string color() const { return get("color"); }
    void color(const std::string& v) const { set("color", v); }
    std::string backgroundColor() const { return get("backgroundColor"); }
    void backgroundColor(const std::string& v) const { set("backgroundColor", v); }

private:
    friend class HTMLElement;
    HTMLStyle(std::shared_ptr<Page> page, std::string token, int handle)
        : page_(std::move(page)), token_(std::move(token)), handle_(handle) {}
    std::shared_ptr<Page> page_;
    std::string token_;
    int handle_ = 0;
};

// An element (or the document node) of a page. A null element (not found) raises
// "object required" on use, as a missing element does for the old control's callers.
class HTMLElement {
public:
    HTMLElement() = default;
    bool isNull() const { return handle_ == 0; }
    explicit operator bool() const { return handle_ != 0; }
    bool operator==(const HTMLElement& o) const { return page_ == o.page_ && token_ == o.token_ && handle_ == o.handle_; }

    std::string innerHTML() const { return text("innerHTML"); }
    void innerHTML(const std::string& v) const { set("innerHTML", v); }
    std::string innerText() const { return text("innerText"); }
    void innerText(const std::string& v) const { set("innerText", v); }
    std::string outerHTML() const { return text("outerHTML"); }
    void outerHTML(const std::string& v) const { set("outerHTML", v); }
    std::string tagName() const { return text("tagName"); }
    std::string id() const { return text("id"); }
    std::string className() const { return text("className"); }
    void className(const std::string& v) const { set("className", v); }
    std::string value() const { return text("value"); }
    void value(const std::string& v) const { set("value", v); }
    bool disabled() const { return flag("disabled"); }
    void disabled(bool v) const { set("disabled", v); }
    bool checked() const { return flag("checked"); }
    void checked(bool v) const { set("checked", v); }
    std::string title() const { return text("title"); }
    void title(const std::string& v) const { set("title", v); }

    int offsetLeft() const { return number("offsetLeft"); }
    int offsetTop() const { return number("offsetTop"); }
    int offsetWidth() const { return number("offsetWidth"); }
    int offsetHeight() const { return number("offsetHeight"); }
    int clientWidth() const { return number("clientWidth"); }
    int clientHeight() const { return number("clientHeight"); }
    int scrollTop() const { return number("scrollTop"); }
    void scrollTop(int v) const { set("scrollTop", v); }
    HTMLElement offsetParent() const { return element("offsetParent"); }
    HTMLElement parentElement() const { return element("parentElement"); }

    HTMLStyle style() const;
    std::string getAttribute(const std::string& name) const;
    void setAttribute(const std::string& name, const std::string& value) const;
    void removeAttribute(const std::string& name) const;

    // Any property: read as JSON (elements come back as {"$e": handle}; use element()).
    json get(const std::string& prop) const;
    void set(const std::string& prop, const json& value) const;
    std::string text(const std::string& prop) const;  // a property as text ("" for null)
    int number(const std::string& prop) const;
    bool flag(const std::string& prop) const;
    HTMLElement element(const std::string& prop) const;
    std::vector<HTMLElement> elements(const std::string& prop) const;
    // A method of the element (insertRow, deleteCell, focus, click, ...).
    json call(const std::string& method, const json& args = json::array()) const;

    // Fires the named event ("onclick") at the element: its handlers run, nothing else.
    bool FireEvent(const std::string& name) const;
    void focus() const { call("focus"); }
    void click() const { call("click"); }

    std::vector<HTMLElement> getElementsByTagName(const std::string& tag) const;
    std::vector<HTMLElement> children() const { return elements("children"); }
    // Tables and rows.
    std::vector<HTMLElement> rows() const { return elements("rows"); }
    std::vector<HTMLElement> cells() const { return elements("cells"); }
    HTMLElement insertRow(int index = -1) const;
    void deleteRow(int index) const;
    HTMLElement insertCell(int index = -1) const;
    void deleteCell(int index) const;

    // Assigns a sink to an event property ("onclick", "onfocusin", ...); null clears it.
    void setEvent(const std::string& prop, std::shared_ptr<EventSink> sink) const;

private:
    friend class HTMLDocument;
    friend class Page;
    friend class PageBatch;
    HTMLElement(std::shared_ptr<Page> page, std::string token, int handle)
        : page_(std::move(page)), token_(std::move(token)), handle_(handle) {}
    json run1(json op) const;
    std::shared_ptr<Page> page_;
    std::string token_;
    int handle_ = 0;
};

// The document of a page.
class HTMLDocument {
public:
    HTMLDocument() = default;
    bool isNull() const { return node_.isNull(); }
    explicit operator bool() const { return !node_.isNull(); }

    // The element collection by id (or name), without regard to case; null when missing.
    HTMLElement all(const std::string& id) const;
    // Several at once, in one round trip; a null element for each id that is missing.
    std::vector<HTMLElement> all(const std::vector<std::string>& ids) const;
    HTMLElement getElementById(const std::string& id) const { return all(id); }
    std::vector<HTMLElement> all() const { return getElementsByTagName("*"); }
    std::vector<HTMLElement> getElementsByTagName(const std::string& tag) const { return node_.getElementsByTagName(tag); }
    HTMLElement activeElement() const { return node_.element("activeElement"); }
    HTMLElement body() const { return node_.element("body"); }
    HTMLElement documentElement() const { return node_.element("documentElement"); }
    HTMLElement createElement(const std::string& tag) const;
    std::string title() const { return node_.text("title"); }
    // The page's address, with the program's resources under the "res://" base it was opened by.
    std::string location() const;
    // The document's own events: "onclick", "oncontextmenu".
    void setEvent(const std::string& prop, std::shared_ptr<EventSink> sink) const { node_.setEvent(prop, sink); }
    // Runs page script in the page's global scope; the result as JSON.
    json execScript(const std::string& code) const;
    // Calls a global function of the page's script.
    json callFunction(const std::string& name, const json& args = json::array()) const;
    // The node itself, for generic property access.
    const HTMLElement& node() const { return node_; }

private:
    friend class WebBrowser;
    friend class Page;
    explicit HTMLDocument(HTMLElement node) : node_(std::move(node)) {}
    HTMLElement node_;
};

// Collects property writes of a scope into one round trip; a read inside the scope sends
// what was collected first. Write failures surface when the batch is sent.
class PageBatch {
public:
    explicit PageBatch(const HTMLDocument& doc);
    ~PageBatch() noexcept(false);
    void flush();
    PageBatch(const PageBatch&) = delete;
    PageBatch& operator=(const PageBatch&) = delete;

private:
    std::shared_ptr<Page> page_;
};

// The web-browser control: one page window's browser, a window target of the headless
// Chromium whose viewport is the control's size.
class WebBrowser {
public:
    // Opens the page target (starting the browser on first use).
    explicit WebBrowser(int width = 300, int height = 150, sys::Machine* machine = nullptr);
    ~WebBrowser();
    WebBrowser(const WebBrowser&) = delete;
    WebBrowser& operator=(const WebBrowser&) = delete;

    // A "res://<program>/<page>" address shows the page from the program's resources.
    void Navigate(const std::string& url);
    // True from Navigate until the document is complete.
    bool Busy() const;
    bool Silent = false;                 // no dialog boxes of its own (script errors, alerts)
    bool RegisterAsDropTarget = true;    // accepts dropped files (nothing is dropped here)
    HTMLDocument Document() const;
    std::string LocationURL() const;

    // Events, raised by the pump.
    std::function<void(const std::string& url)> NavigateComplete2;
    std::function<void(const std::string& url)> DocumentComplete;
    // A window the page opens (a link to a new window, window.open): set cancel to refuse it.
    std::function<void(const std::string& url, bool& cancel)> NewWindow2;
    // The page's createPopup window shows (rect in screen pixels relative to the page's
    // viewport origin is given as x, y, w, h) or hides.
    struct PopupRequest {
        int id;
        bool show;
        int x, y, w, h;  // viewport pixels
    };
    std::function<void(const PopupRequest&)> PopupChanged;
    // Raises no more events, neither its own nor the page's bound ones: the window it served
    // has let it go, and events in hand may still be delivered before it is destroyed.
    void detachEvents();

    // Places the control in a window: a child window of class "Shell Embedding" that fills the
    // parent's client area and follows it (fillParent), or is placed by Move. The page's inner
    // window, of class "Internet Explorer_Server", exists once a page has loaded; the viewport
    // is its client area, and mouse input to it reaches the page.
    void attach(win::HWND parent, bool fillParent = true);
    // Pixels, in the parent's client area.
    void Move(int left, int top, int width, int height);
    win::HWND hWnd() const;
    win::HWND serverHwnd() const;

    // The viewport (set by the window when attached).
    void setViewport(int width, int height);
    int viewportWidth() const;
    int viewportHeight() const;
    // The page (or one of its pop-ups) as a PNG of the viewport ("" when it cannot be captured).
    std::string capturePng(int popupId = 0) const;
    // Input as the user gives it: a mouse click at viewport coordinates of the page or pop-up.
    void clickAt(int x, int y, int clickCount = 1, int popupId = 0);
    // True while the page's browser is alive.
    bool alive() const;

    std::shared_ptr<Page> page() const { return page_; }

private:
    std::shared_ptr<Page> page_;
};

} // namespace web
