#pragma once
// The state layers a quote window lays over its prices: quotes timed out, terminal closed,
// terminal loading. The window keeps the three reports as flags and shows what follows from
// them, so no order of reports can leave a layer over an unveiled price, or a veil over nothing.
#include <utility>

struct QuoteOverlays {
    bool timedOut = false, closed = false, loading = false;

    struct Layers {
        bool veil = false, timeOut = false, closedPicture = false, loadingPicture = false;
        bool operator==(const Layers&) const = default;
    };

    // While the terminal loads, the other two reports leave their flags as they were: the
    // loading layer is all that shows.
    void TimeOut(bool on) {
        if (!loading) timedOut = on;
    }
    void MT4Close(bool on) {
        if (!loading) closed = on;
    }
    void MT4Loading(bool on) { loading = on; }

    // Hands each page layer whose visibility differs from what is shown to show(id, visible),
    // and records it as shown. Both quote pages name their layers alike.
    template <class Show>
    void apply(Layers& shown, Show&& show) const {
        const Layers want = layers();
        const std::pair<const char*, bool Layers::*> ids[] = {
            {"iOverlay", &Layers::veil},
            {"iTimeOut", &Layers::timeOut},
            {"iClose", &Layers::closedPicture},
            {"iLoad", &Layers::loadingPicture},
        };
        for (const auto& [id, member] : ids)
            if (want.*member != shown.*member) show(id, want.*member);
        shown = want;
    }

    // Loading covers everything; a closed terminal covers stale quotes.
    Layers layers() const {
        Layers l;
        l.loadingPicture = loading;
        l.closedPicture = !loading && closed;
        l.timeOut = !loading && !closed && timedOut;
        l.veil = l.loadingPicture || l.closedPicture || l.timeOut;
        return l;
    }
};
