#include "WebBrowser.h"
#include "BrowserHost.h"
#include "Page.h"

#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"

#include <cmath>

namespace web {

namespace {
[[noreturn]] void objectRequired() {
    throw forms::RuntimeError(kErrObjectRequired, "Object required", "WebBrowser");
}

std::string asText(const json& v) {
    if (v.is_null()) return "";
    if (v.is_string()) return v.get<std::string>();
    if (v.is_boolean()) return v.get<bool>() ? "True" : "False";
    if (v.is_number_integer()) return std::to_string(v.get<long long>());
    if (v.is_number()) {
        double d = v.get<double>();
        if (std::floor(d) == d && std::fabs(d) < 1e15) return std::to_string(static_cast<long long>(d));
        return v.dump();
    }
    return v.dump();
}
} // namespace

// ---- HTMLStyle ----

std::string HTMLStyle::get(const std::string& name) const {
    if (!page_ || !handle_) objectRequired();
    return asText(page_->run(token_, json::array({json::array({"sget", handle_, name})}))[0]);
}

void HTMLStyle::set(const std::string& name, const std::string& value) const {
    if (!page_ || !handle_) objectRequired();
    page_->write(token_, json::array({"sset", handle_, name, value}));
}

// ---- HTMLElement ----

json HTMLElement::run1(json op) const {
    if (!page_ || !handle_) objectRequired();
    return page_->run(token_, json::array({std::move(op)}))[0];
}

json HTMLElement::get(const std::string& prop) const { return run1(json::array({"get", handle_, prop})); }

void HTMLElement::set(const std::string& prop, const json& value) const {
    if (!page_ || !handle_) objectRequired();
    page_->write(token_, json::array({"set", handle_, prop, value}));
}

std::string HTMLElement::text(const std::string& prop) const { return asText(get(prop)); }

int HTMLElement::number(const std::string& prop) const {
    json v = get(prop);
    if (v.is_number()) return static_cast<int>(std::lround(v.get<double>()));
    if (v.is_boolean()) return v.get<bool>() ? -1 : 0;
    if (v.is_string()) {
        try {
            return std::stoi(v.get<std::string>());
        } catch (...) {
            return 0;
        }
    }
    return 0;
}

bool HTMLElement::flag(const std::string& prop) const {
    json v = get(prop);
    if (v.is_boolean()) return v.get<bool>();
    if (v.is_number()) return v.get<double>() != 0;
    if (v.is_string()) return !v.get<std::string>().empty();
    return false;
}

HTMLElement HTMLElement::element(const std::string& prop) const {
    json v = get(prop);
    if (v.is_object() && v.contains("$e")) return HTMLElement(page_, token_, v["$e"].get<int>());
    return HTMLElement();
}

std::vector<HTMLElement> HTMLElement::elements(const std::string& prop) const {
    json v = get(prop);
    std::vector<HTMLElement> out;
    if (v.is_object() && v.contains("$c"))
        for (auto& e : v["$c"])
            if (e.is_object() && e.contains("$e")) out.push_back(HTMLElement(page_, token_, e["$e"].get<int>()));
    return out;
}

json HTMLElement::call(const std::string& method, const json& args) const {
    json op = json::array({"call", handle_, method});
    for (auto& a : args) op.push_back(a);
    return run1(std::move(op));
}

HTMLStyle HTMLElement::style() const {
    if (!page_ || !handle_) objectRequired();
    return HTMLStyle(page_, token_, handle_);
}

std::string HTMLElement::getAttribute(const std::string& name) const {
    return asText(run1(json::array({"attr", handle_, name})));
}

void HTMLElement::setAttribute(const std::string& name, const std::string& value) const {
    if (!page_ || !handle_) objectRequired();
    page_->write(token_, json::array({"setAttr", handle_, name, value}));
}

void HTMLElement::removeAttribute(const std::string& name) const {
    if (!page_ || !handle_) objectRequired();
    page_->write(token_, json::array({"removeAttr", handle_, name}));
}

bool HTMLElement::FireEvent(const std::string& name) const {
    json v = run1(json::array({"fire", handle_, name}));
    return v.is_boolean() ? v.get<bool>() : true;
}

std::vector<HTMLElement> HTMLElement::getElementsByTagName(const std::string& tag) const {
    json v = call("getElementsByTagName", json::array({tag}));
    std::vector<HTMLElement> out;
    if (v.is_object() && v.contains("$c"))
        for (auto& e : v["$c"])
            if (e.is_object() && e.contains("$e")) out.push_back(HTMLElement(page_, token_, e["$e"].get<int>()));
    return out;
}

HTMLElement HTMLElement::insertRow(int index) const {
    json v = call("insertRow", json::array({index}));
    return v.is_object() && v.contains("$e") ? HTMLElement(page_, token_, v["$e"].get<int>()) : HTMLElement();
}

void HTMLElement::deleteRow(int index) const { call("deleteRow", json::array({index})); }

HTMLElement HTMLElement::insertCell(int index) const {
    json v = call("insertCell", json::array({index}));
    return v.is_object() && v.contains("$e") ? HTMLElement(page_, token_, v["$e"].get<int>()) : HTMLElement();
}

void HTMLElement::deleteCell(int index) const { call("deleteCell", json::array({index})); }

void HTMLElement::setEvent(const std::string& prop, std::shared_ptr<EventSink> sink) const {
    if (!page_ || !handle_) objectRequired();
    int id = sink ? page_->addSink(std::move(sink)) : 0;
    page_->write(token_, json::array({"bind", handle_, prop, id}));
}

// ---- HTMLDocument ----

HTMLElement HTMLDocument::all(const std::string& id) const { return all(std::vector<std::string>{id})[0]; }

std::vector<HTMLElement> HTMLDocument::all(const std::vector<std::string>& ids) const {
    if (!node_.page_ || !node_.handle_) objectRequired();
    json ops = json::array();
    for (const auto& id : ids) ops.push_back(json::array({"byId", id}));
    json found = node_.page_->run(node_.token_, std::move(ops));
    std::vector<HTMLElement> out;
    for (size_t i = 0; i < ids.size(); ++i) {
        const json& v = i < found.size() ? found[i] : json();
        if (v.is_object() && v.contains("$e")) out.push_back(HTMLElement(node_.page_, node_.token_, v["$e"].get<int>()));
        else out.emplace_back();
    }
    return out;
}

HTMLElement HTMLDocument::createElement(const std::string& tag) const {
    json v = node_.call("createElement", json::array({tag}));
    if (v.is_object() && v.contains("$e")) return HTMLElement(node_.page_, node_.token_, v["$e"].get<int>());
    return HTMLElement();
}

std::string HTMLDocument::location() const {
    if (!node_.page_) objectRequired();
    return node_.page_->toHostUrl(node_.run1(json::array({"exec", "location.href"})).get<std::string>());
}

json HTMLDocument::execScript(const std::string& code) const { return node_.run1(json::array({"exec", code})); }

json HTMLDocument::callFunction(const std::string& name, const json& args) const {
    return node_.run1(json::array({"fn", name, args}));
}

// ---- PageBatch ----

PageBatch::PageBatch(const HTMLDocument& doc) : page_(doc.node().page_) {
    if (!page_) objectRequired();
    page_->beginBatch();
}

PageBatch::~PageBatch() noexcept(false) {
    if (std::uncaught_exceptions() > 0) {
        try {
            page_->endBatch();
        } catch (...) {
        }
        return;
    }
    page_->endBatch();
}

void PageBatch::flush() { page_->flushBatch(); }

// ---- WebBrowser ----

WebBrowser::WebBrowser(int width, int height, sys::Machine* machine) {
    auto& m = machine ? *machine : sys::Machine::current();
    page_ = BrowserHost::of(m).openPage(width, height);
    page_->control = this;
}

WebBrowser::~WebBrowser() {
    if (!page_ || page_->orphan) return;
    page_->control = nullptr;
    page_->dropSinks();
    page_->destroyWindows();
    page_->host.closePage(*page_);
}

void WebBrowser::detachEvents() {
    NavigateComplete2 = nullptr;
    DocumentComplete = nullptr;
    NewWindow2 = nullptr;
    PopupChanged = nullptr;
    if (page_) page_->dropSinks();
}

void WebBrowser::Navigate(const std::string& url) { page_->navigate(url); }

bool WebBrowser::Busy() const { return page_->busy && !page_->dead; }

HTMLDocument WebBrowser::Document() const { return page_->document(); }

std::string WebBrowser::LocationURL() const { return page_->toHostUrl(page_->url); }

void WebBrowser::setViewport(int width, int height) {
    if (width == page_->width && height == page_->height) return;
    page_->setViewport(width, height);
}

int WebBrowser::viewportWidth() const { return page_->width; }
int WebBrowser::viewportHeight() const { return page_->height; }

std::string WebBrowser::capturePng(int popupId) const {
    if (!page_->alive()) return "";
    try {
        json r = page_->view(popupId).call("Page.captureScreenshot", {{"format", "png"}, {"fromSurface", true}});
        return unbase64(r.value("data", ""));
    } catch (const forms::RuntimeError&) {
        return "";
    }
}

void WebBrowser::clickAt(int x, int y, int clickCount, int popupId) {
    Page& target = page_->view(popupId);
    for (int i = 1; i <= clickCount; ++i) {
        target.call("Input.dispatchMouseEvent", {{"type", "mouseMoved"}, {"x", x}, {"y", y}});
        target.call("Input.dispatchMouseEvent",
                    {{"type", "mousePressed"}, {"x", x}, {"y", y}, {"button", "left"}, {"clickCount", i}});
        target.call("Input.dispatchMouseEvent",
                    {{"type", "mouseReleased"}, {"x", x}, {"y", y}, {"button", "left"}, {"clickCount", i}});
    }
}

bool WebBrowser::alive() const { return page_->alive(); }

} // namespace web
