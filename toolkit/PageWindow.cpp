#include "PageWindow.h"
#include "clsForward.h"
#include "frmBalloon.h"

#include "platform/forms/RuntimeError.h"

#include <nlohmann/json.hpp>

#include <cstdio>

PageWindow::~PageWindow() = default;

bool PageWindow::Busy() const { return !WebBrowser1 || WebBrowser1->Busy() || !PageComplete; }

void PageWindow::loadPage(win::HWND window, const std::string& url) {
    PageComplete = false;
    WebBrowser1 = std::make_unique<web::WebBrowser>();
    WebBrowser1->attach(window, true);
    WebBrowser1->NavigateComplete2 = [this](const std::string&) {
        // A new document (a reload too): the window's page is not complete until this one is.
        PageComplete = false;
        Document = web::HTMLDocument();
        unlessPageGoes([&] { Document = WebBrowser1->Document(); });
    };
    WebBrowser1->DocumentComplete = [this](const std::string&) {
        unlessPageGoes([&] {
            if (Document.isNull()) Document = WebBrowser1->Document();
            pageComplete();
            // The set-up may have unloaded the window.
            if (WebBrowser1) PageComplete = true;
        });
    };
    WebBrowser1->Navigate(url);
    WebBrowser1->RegisterAsDropTarget = false;
    WebBrowser1->Silent = true;
}

void PageWindow::unlessPageGoes(const std::function<void()>& step) {
    try {
        step();
    } catch (const forms::RuntimeError& e) {
        // The browser ended or the document was replaced under the set-up: the page comes back
        // with a new document, whose completion sets the window up again. Any other error is
        // the window's own.
        const bool gone = !WebBrowser1 || !WebBrowser1->alive() || e.Number == web::kErrBrowserGone ||
                          e.Number == web::kErrBrowserTimeout ||
                          e.Description.find("has been replaced") != std::string::npos;
        if (!gone) throw;
        std::fprintf(stderr, "pennant: a page went away while its window set it up: %s\n", e.Description.c_str());
    }
}

bool PageWindow::bindEvent(const std::string& elementId, const std::string& eventProperty, const std::string& member) {
    return bindEvent(Document.all(elementId), eventProperty, member);
}

bool PageWindow::bindEvent(const web::HTMLElement& element, const std::string& eventProperty, const std::string& member) {
    if (!element) return false;
    auto forward = std::make_shared<clsForward>();
    forward->Set_Destination(forwardTarget(), member);
    element.setEvent(eventProperty, forward);
    return true;
}

void PageWindow::unloadPage() {
    Document = web::HTMLDocument();
    PageComplete = false;
    if (!WebBrowser1) return;
    // The unload may run inside one of the control's events, and events already received for
    // the page are still delivered this round: the control outlives them, telling no one.
    WebBrowser1->detachEvents();
    KeepUntilIdle(std::shared_ptr<web::WebBrowser>(std::move(WebBrowser1)));
}

std::vector<PageWindow::ElementBox> PageWindow::elementBoxes(const std::vector<std::string>& ids,
                                                             const char* source) const {
    const std::string script =
        "(function (ids) { return JSON.stringify(ids.map(function (id) {"
        " var e = document.getElementById(id); if (!e) return null;"
        " var r = [0, 0, e.offsetWidth, e.offsetHeight];"
        " while (e && e.tagName != 'BODY') { r[0] += e.offsetLeft; r[1] += e.offsetTop; e = e.offsetParent; }"
        " return r; })); })(" + nlohmann::json(ids).dump() + ")";
    const nlohmann::json text = Document.execScript(script);
    const nlohmann::json rects =
        text.is_string() ? nlohmann::json::parse(text.get<std::string>(), nullptr, false) : nlohmann::json();
    if (!rects.is_array() || rects.size() != ids.size()) forms::raise(forms::err::ObjectRequired, source);
    std::vector<ElementBox> boxes;
    for (const auto& r : rects) {
        if (!r.is_array() || r.size() != 4) forms::raise(forms::err::ObjectRequired, source);
        boxes.push_back({r[0].get<int32_t>(), r[1].get<int32_t>(), r[2].get<int32_t>(), r[3].get<int32_t>()});
    }
    return boxes;
}
