#include "QuoteBook.h"

#include "platform/system/CodePage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace termsim {

namespace {
const std::string kEmpty;

std::vector<Column> layoutFor(int count) {
    using C = Column;
    switch (count) {
    case 3: return {C::Symbol, C::Bid, C::Ask};
    case 4: return {C::Symbol, C::Bid, C::Ask, C::Time};
    case 5: return {C::Symbol, C::Bid, C::Ask, C::High, C::Low};
    case 6: return {C::Symbol, C::Bid, C::Ask, C::High, C::Low, C::Time};
    case 7: return {C::Symbol, C::Bid, C::Ask, C::Spread, C::High, C::Low, C::Time};
    default: throw std::invalid_argument("the Market Watch has 3 to 7 columns");
    }
}

int64_t pow10(int digits) {
    int64_t m = 1;
    while (digits-- > 0) m *= 10;
    return m;
}
} // namespace

std::vector<SymbolSpec> QuoteBook::defaultSymbols() {
    return {
        {"EURUSD", 5, 1.08453, 12}, {"GBPUSD", 5, 1.26712, 18}, {"USDJPY", 3, 151.286, 15},
        {"AUDUSD", 5, 0.65841, 14}, {"USDCHF", 5, 0.88127, 17}, {"XAUUSD", 2, 2031.45, 35},
    };
}

std::vector<SymbolSpec> QuoteBook::defaultSymbols(size_t count) {
    std::vector<SymbolSpec> all = defaultSymbols();
    const SymbolSpec more[] = {
        {"USDCAD", 5, 1.35476, 16}, {"NZDUSD", 5, 0.61035, 19}, {"EURJPY", 3, 164.356, 22},
        {"GBPJPY", 3, 190.722, 30}, {"EURGBP", 5, 0.85612, 15}, {"XAGUSD", 3, 23.184, 30},
        {"EURCHF", 5, 0.95581, 20}, {"AUDJPY", 3, 99.634, 21}, {"EURAUD", 5, 1.64721, 25},
        {"USDCNH", 4, 7.1935, 30},
    };
    all.insert(all.end(), std::begin(more), std::end(more));
    all.resize(std::min(count, all.size()));
    return all;
}

QuoteBook::QuoteBook(uint64_t seed, std::vector<SymbolSpec> symbols) : rng_(seed), columns_(layoutFor(6)) {
    setSymbols(std::move(symbols));
}

void QuoteBook::setSymbols(std::vector<SymbolSpec> symbols) {
    std::vector<Live> live;
    for (auto& s : symbols) {
        if (s.name.empty() || s.digits < 2 || s.digits > 5 || !(s.price > 0) || s.spreadPoints < 0)
            throw std::invalid_argument("bad symbol: " + s.name);
        Live l;
        l.bid = std::llround(s.price * static_cast<double>(pow10(s.digits)));
        l.high = l.low = l.bid;
        l.spec = std::move(s);
        live.push_back(std::move(l));
    }
    live_ = std::move(live);
    scripted_ = false;
    rebuildCells();
}

void QuoteBook::setColumnCount(int count) {
    columns_ = layoutFor(count);
    if (scripted_) {
        for (auto& row : cells_) row.resize(columns_.size());
        for (auto& row : ansi_) row.resize(columns_.size());
    } else {
        rebuildCells();
    }
}

void QuoteBook::setRows(std::vector<std::vector<std::string>> rows, int columns) {
    columns_ = layoutFor(columns);
    scripted_ = true;
    cells_ = std::move(rows);
    ansi_.clear();
    for (auto& row : cells_) {
        row.resize(columns_.size());
        std::vector<std::string> a;
        for (const auto& c : row) a.push_back(sys::toAnsi(c));
        ansi_.push_back(std::move(a));
    }
}

void QuoteBook::advanceTo(uint64_t tickMs, int64_t serverMs) {
    const uint64_t target = tickMs / kStepMs;
    if (!started_) {
        started_ = true;
        stepsDone_ = target;
        for (auto& l : live_) l.timeMs = serverMs;
        if (!scripted_) rebuildCells();
        return;
    }
    if (target <= stepsDone_) return;
    uint64_t steps = target - stepsDone_;
    stepsDone_ = target;
    if (frozen_ || scripted_) return;
    // After a long jump of a virtual clock only the last stretch matters.
    steps = std::min<uint64_t>(steps, 2000);
    std::vector<bool> changed(live_.size(), false);
    for (uint64_t s = 0; s < steps; ++s) {
        for (size_t i = 0; i < live_.size(); ++i) {
            auto& l = live_[i];
            const uint64_t r = rng_();
            if (r % 3 == 0) continue;  // a third of the symbols stay put each step
            const int64_t move = static_cast<int64_t>((r >> 8) % 7) - 3;
            if (move == 0) continue;
            l.bid = std::max<int64_t>(1, l.bid + move);
            l.high = std::max(l.high, l.bid);
            l.low = std::min(l.low, l.bid);
            changed[i] = true;
        }
    }
    for (size_t i = 0; i < live_.size(); ++i) {
        if (!changed[i]) continue;
        live_[i].timeMs = serverMs;
        rebuildRow(i);
    }
}

void QuoteBook::rebuildCells() {
    if (scripted_) return;
    cells_.assign(live_.size(), {});
    ansi_.assign(live_.size(), {});
    for (size_t i = 0; i < live_.size(); ++i) rebuildRow(i);
}

void QuoteBook::rebuildRow(size_t row) {
    const Live& l = live_[row];
    auto& cells = cells_[row];
    cells.clear();
    for (Column c : columns_) {
        switch (c) {
        case Column::Symbol: cells.push_back(l.spec.name); break;
        case Column::Bid: cells.push_back(formatPrice(l.bid, l.spec.digits)); break;
        case Column::Ask: cells.push_back(formatPrice(l.bid + l.spec.spreadPoints, l.spec.digits)); break;
        case Column::Spread: cells.push_back(std::to_string(l.spec.spreadPoints)); break;
        case Column::High: cells.push_back(formatPrice(l.high, l.spec.digits)); break;
        case Column::Low: cells.push_back(formatPrice(l.low, l.spec.digits)); break;
        case Column::Time: cells.push_back(formatTime(l.timeMs)); break;
        }
    }
    ansi_[row] = cells;  // these texts are ASCII
}

std::string QuoteBook::headerText(Column c) {
    switch (c) {
    case Column::Symbol: return "交易品种";
    case Column::Bid: return "卖价";
    case Column::Ask: return "买价";
    case Column::Spread: return "点差";
    case Column::High: return "最高价";
    case Column::Low: return "最低价";
    case Column::Time: return "时间";
    }
    return "";
}

std::string QuoteBook::headerText(int column) const {
    return column >= 0 && column < columnCount() ? headerText(columns_[column]) : "";
}

const std::string& QuoteBook::cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= static_cast<int>(cells_[row].size())) return kEmpty;
    return cells_[row][column];
}

const std::string& QuoteBook::cellAnsi(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= static_cast<int>(ansi_[row].size())) return kEmpty;
    return ansi_[row][column];
}

int QuoteBook::rowOf(const std::string& symbol) const {
    for (int r = rowCount() - 1; r >= 0; --r)
        if (cell(r, 0) == symbol) return r;
    return -1;
}

std::string QuoteBook::bidText(int row) const {
    if (!scripted_ && row >= 0 && row < static_cast<int>(live_.size()))
        return formatPrice(live_[row].bid, live_[row].spec.digits);
    return cell(row, 1);
}

std::string QuoteBook::askText(int row) const {
    if (!scripted_ && row >= 0 && row < static_cast<int>(live_.size()))
        return formatPrice(live_[row].bid + live_[row].spec.spreadPoints, live_[row].spec.digits);
    return cell(row, 2);
}

std::string QuoteBook::formatPrice(int64_t points, int digits) {
    const int64_t m = pow10(digits);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%lld.%0*lld", static_cast<long long>(points / m), digits,
                  static_cast<long long>(points % m));
    return buf;
}

std::string QuoteBook::formatTime(int64_t localMs) {
    const int64_t day = 86400000;
    int64_t ms = ((localMs % day) + day) % day;
    const int64_t s = ms / 1000;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                  static_cast<int>(s % 60));
    return buf;
}

} // namespace termsim
