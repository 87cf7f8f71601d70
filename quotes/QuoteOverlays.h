#pragma once
// The state layers a quote window lays over its prices: quotes timed out, terminal closed,
// terminal loading. The window keeps the three reports as flags and shows what follows from
// them, so no order of reports can leave a layer over an unveiled price, or a veil over nothing.
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
