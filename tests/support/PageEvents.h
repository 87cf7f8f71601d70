#pragma once
// Waits on a page for what it has done rather than for time to pass. Only for tests that link
// platform_browser.
#include "platform/browser/BrowserHost.h"
#include "platform/browser/Chromium.h"
#include "platform/browser/Page.h"
#include "platform/browser/WebBrowser.h"
#include "support/TestMachine.h"

namespace testing_support {

// Pumps until the page's events so far have been handled: a round trip to the page puts every
// event it raised before it in the browser's queue, and the pump empties the queue.
inline bool settlePage(TestMachine& m, const web::HTMLDocument& page) {
    page.execScript("0");
    return m.runUntilReal([&] {
        const auto browser = web::BrowserHost::of(*m).browserIfRunning();
        return !browser || !browser->hasEvents();
    });
}

// A page expression, "true" once every image of the document has loaded or failed. A test that
// hands a page hostile markup waits for it: what the markup would have fetched has been asked
// for by then, and its error handlers would have run.
inline const char* const kImagesDone =
    "String(Array.prototype.every.call(document.images, function (i) { return i.complete; }))";

// What the page's JavaScript heap holds live, in bytes, after a full collection (before it the
// figure is mostly garbage the collector has not come to). Throws as a page call does.
inline long long liveHeapBytes(web::Page& page) {
    page.call("HeapProfiler.collectGarbage");
    return page.call("Runtime.getHeapUsage").value("usedSize", -1LL);
}

} // namespace testing_support
