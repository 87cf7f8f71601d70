#pragma once
// What every page window does with its browser control: load the page, bind page events to
// its own members through forwarders, and report Busy until the page is complete.
#include "platform/browser/WebBrowser.h"
#include "platform/forms/CallByName.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class PageWindow {
public:
    virtual ~PageWindow();
    // True while the control is busy or the page has not been marked complete.
    bool Busy() const;

protected:
    // The load step: the control fills the window, navigates to the page's address (the page
    // base followed by the page's file name), accepts no dropped files and shows no dialogs.
    void loadPage(win::HWND window, const std::string& url);
    // Binds an element's event property ("onclick", ...) to a member of this window through
    // a new forwarder; false when the page has no such element.
    bool bindEvent(const std::string& elementId, const std::string& eventProperty, const std::string& member);
    bool bindEvent(const web::HTMLElement& element, const std::string& eventProperty, const std::string& member);
    // The box of an element in page pixels: its offsets summed up the offset parents below BODY
    // (an element that is not laid out ends the sum).
    struct ElementBox {
        int32_t left = 0, top = 0, width = 0, height = 0;
    };
    // The boxes of elements in one round trip, in order; a missing element raises ObjectRequired
    // with `source` as the error's source.
    std::vector<ElementBox> elementBoxes(const std::vector<std::string>& ids, const char* source) const;
    ElementBox elementBox(const std::string& id, const char* source) const { return elementBoxes({id}, source)[0]; }
    // The window's page set-up once its document is complete; forwarders bound here.
    virtual void pageComplete() {}
    // The window as the forwarders' target.
    virtual std::shared_ptr<forms::Dispatch> forwardTarget() = 0;
    // Lets go of the control, its page and its forwarders (the window unloads): the control
    // raises no more events to this window and goes once the messages in hand are handled.
    void unloadPage();

    std::unique_ptr<web::WebBrowser> WebBrowser1;
    web::HTMLDocument Document;
    bool PageComplete = false;

private:
    // Runs a step of the page's set-up; an error of the page going away ends it quietly.
    void unlessPageGoes(const std::function<void()>& step);
};
