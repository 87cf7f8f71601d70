#include "WindowShape.h"

#include "platform/system/Machine.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace win {

namespace {

// A region as a mask over its bounding box; an empty region has an empty box.
struct Region {
    RECT box;
    std::vector<uint8_t> mask;  // row-major over box, 1 inside

    int width() const { return box.right - box.left; }
    int height() const { return box.bottom - box.top; }
    bool empty() const { return mask.empty(); }
    bool at(int x, int y) const {
        if (x < box.left || y < box.top || x >= box.right || y >= box.bottom) return false;
        return mask[static_cast<size_t>(y - box.top) * width() + (x - box.left)] != 0;
    }
};

constexpr long long kMaxPixels = 64LL * 1024 * 1024;

struct Shapes {
    std::mutex mutex;
    std::map<HRGN, Region> regions;
    HRGN next = 0x00040001;
    std::map<HWND, Region> windowRegions;

    // Entries of windows that are gone (handles are never reused).
    void purge() {
        std::erase_if(windowRegions, [](const auto& e) { return !IsWindow(e.first); });
    }
};

Shapes& shapes() { return sys::Machine::current().service<Shapes>(); }

// Shrinks the box to the pixels set; an all-clear mask becomes the empty region.
Region tight(const Region& r) {
    int l = r.box.right, t = r.box.bottom, ri = r.box.left, b = r.box.top;
    for (int y = r.box.top; y < r.box.bottom; ++y)
        for (int x = r.box.left; x < r.box.right; ++x)
            if (r.at(x, y)) {
                l = std::min(l, x), t = std::min(t, y), ri = std::max(ri, x + 1), b = std::max(b, y + 1);
            }
    Region out;
    if (ri <= l || b <= t) return out;
    if (l == r.box.left && t == r.box.top && ri == r.box.right && b == r.box.bottom) return r;
    out.box = RECT{l, t, ri, b};
    out.mask.resize(static_cast<size_t>(ri - l) * (b - t));
    for (int y = t; y < b; ++y)
        for (int x = l; x < ri; ++x) out.mask[static_cast<size_t>(y - t) * (ri - l) + (x - l)] = r.at(x, y);
    return out;
}

int complexity(const Region& r) {
    if (r.empty()) return NULLREGION;
    return std::all_of(r.mask.begin(), r.mask.end(), [](uint8_t v) { return v != 0; }) ? SIMPLEREGION : COMPLEXREGION;
}

bool combine(const Region& a, const Region& b, int mode, Region& out) {
    RECT box{};
    auto unite = [](const Region& p, const Region& q) {
        if (p.empty()) return q.box;
        if (q.empty()) return p.box;
        return RECT{std::min(p.box.left, q.box.left), std::min(p.box.top, q.box.top),
                    std::max(p.box.right, q.box.right), std::max(p.box.bottom, q.box.bottom)};
    };
    switch (mode) {
    case RGN_COPY: out = a; return true;
    case RGN_OR:
    case RGN_XOR: box = unite(a, b); break;
    case RGN_AND:
        box = RECT{std::max(a.box.left, b.box.left), std::max(a.box.top, b.box.top),
                   std::min(a.box.right, b.box.right), std::min(a.box.bottom, b.box.bottom)};
        break;
    case RGN_DIFF: box = a.box; break;
    default: return false;
    }
    Region r;
    if (box.right > box.left && box.bottom > box.top) {
        r.box = box;
        r.mask.resize(static_cast<size_t>(r.width()) * r.height());
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x) {
                const bool p = a.at(x, y), q = b.at(x, y);
                bool v = false;
                switch (mode) {
                case RGN_OR: v = p || q; break;
                case RGN_XOR: v = p != q; break;
                case RGN_AND: v = p && q; break;
                case RGN_DIFF: v = p && !q; break;
                }
                r.mask[static_cast<size_t>(y - box.top) * r.width() + (x - box.left)] = v;
            }
    }
    out = tight(r);
    return true;
}

} // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (static_cast<long long>(right - left) * (bottom - top) > kMaxPixels) return 0;
    Region r;
    if (right > left && bottom > top) {
        r.box = RECT{left, top, right, bottom};
        r.mask.assign(static_cast<size_t>(right - left) * (bottom - top), 1);
    }
    auto& s = shapes();
    std::lock_guard lock(s.mutex);
    const HRGN h = s.next++;
    s.regions.emplace(h, std::move(r));
    return h;
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
    auto& s = shapes();
    std::lock_guard lock(s.mutex);
    auto d = s.regions.find(dest), a = s.regions.find(src1);
    if (d == s.regions.end() || a == s.regions.end()) return RGN_ERROR;
    static const Region none;
    const Region* b = &none;
    if (mode != RGN_COPY) {
        auto it = s.regions.find(src2);
        if (it == s.regions.end()) return RGN_ERROR;
        b = &it->second;
    }
    // Taking pieces out of a region in place, as a shape built run by run does.
    if (dest == src1 && (mode == RGN_XOR || mode == RGN_DIFF) && !b->empty() && !a->second.empty() &&
        b->box.left >= a->second.box.left && b->box.top >= a->second.box.top &&
        b->box.right <= a->second.box.right && b->box.bottom <= a->second.box.bottom) {
        Region& r = d->second;
        for (int y = b->box.top; y < b->box.bottom; ++y)
            for (int x = b->box.left; x < b->box.right; ++x) {
                if (!b->at(x, y)) continue;
                uint8_t& v = r.mask[static_cast<size_t>(y - r.box.top) * r.width() + (x - r.box.left)];
                v = mode == RGN_XOR ? !v : 0;
            }
        return complexity(r);
    }
    Region out;
    if (!combine(a->second, *b, mode, out)) return RGN_ERROR;
    d->second = std::move(out);
    return complexity(d->second);
}

BOOL PtInRegion(HRGN rgn, int x, int y) {
    auto& s = shapes();
    std::lock_guard lock(s.mutex);
    auto it = s.regions.find(rgn);
    return it != s.regions.end() && it->second.at(x, y) ? TRUE : FALSE;
}

int GetRgnBox(HRGN rgn, RECT* box) {
    auto& s = shapes();
    std::lock_guard lock(s.mutex);
    auto it = s.regions.find(rgn);
    if (it == s.regions.end() || !box) return RGN_ERROR;
    const Region t = tight(it->second);
    *box = t.box;
    return complexity(t);
}

BOOL DeleteRgn(HRGN rgn) {
    auto& s = shapes();
    std::lock_guard lock(s.mutex);
    return s.regions.erase(rgn) ? TRUE : FALSE;
}

int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL) {
    if (!IsWindow(hwnd)) return 0;
    auto& s = shapes();
    std::lock_guard lock(s.mutex);
    s.purge();
    if (rgn == 0) {
        s.windowRegions.erase(hwnd);
        return 1;
    }
    auto it = s.regions.find(rgn);
    if (it == s.regions.end()) return 0;
    s.windowRegions[hwnd] = std::move(it->second);
    s.regions.erase(it);
    return 1;
}

int GetWindowRgn(HWND hwnd, HRGN dest) {
    auto& s = shapes();
    std::lock_guard lock(s.mutex);
    auto w = s.windowRegions.find(hwnd);
    auto d = s.regions.find(dest);
    if (w == s.windowRegions.end() || d == s.regions.end() || !IsWindow(hwnd)) return RGN_ERROR;
    d->second = w->second;
    return complexity(d->second);
}

bool inWindowRegion(HWND hwnd, int x, int y) {
    auto* machine = sys::Machine::currentOrNull();
    if (!machine) return true;
    auto& s = machine->service<Shapes>();
    std::lock_guard lock(s.mutex);
    auto it = s.windowRegions.find(hwnd);
    return it == s.windowRegions.end() || it->second.at(x, y);
}

} // namespace win
