#include "PageWindow.h"
#include "clsForward.h"

PageWindow::~PageWindow() = default;

bool PageWindow::Busy() const { return !WebBrowser1 || WebBrowser1->Busy() || !PageComplete; }

void PageWindow::loadPage(win::HWND window, const std::string& url) {
    PageComplete = false;
    WebBrowser1 = std::make_unique<web::WebBrowser>();
    WebBrowser1->attach(window, true);
    WebBrowser1->NavigateComplete2 = [this](const std::string&) { Document = WebBrowser1->Document(); };
    WebBrowser1->DocumentComplete = [this](const std::string&) {
        if (Document.isNull()) Document = WebBrowser1->Document();
        pageComplete();
        PageComplete = true;
    };
    WebBrowser1->Navigate(url);
    WebBrowser1->RegisterAsDropTarget = false;
    WebBrowser1->Silent = true;
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
    WebBrowser1.reset();
    PageComplete = false;
}
