#pragma once
// The terminal's quotes: its symbols moving by a seeded random walk on the machine clock, the
// Market Watch columns and their texts, and the trade server's time.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace termsim {

struct SymbolSpec {
    std::string name;
    int digits = 5;            // 2 to 5
    double price = 1.0;        // starting bid
    int spreadPoints = 20;     // ask - bid, in points of the last digit
};

enum class Column { Symbol, Bid, Ask, Spread, High, Low, Time };

class QuoteBook {
public:
    static constexpr uint64_t kStepMs = 500;

    explicit QuoteBook(uint64_t seed = 1, std::vector<SymbolSpec> symbols = defaultSymbols());
    static std::vector<SymbolSpec> defaultSymbols();
    // The default ones, then further pairs and metals: count in all, at most sixteen.
    static std::vector<SymbolSpec> defaultSymbols(size_t count);

    // Live rows from symbols; throws std::invalid_argument for digits outside 2..5 or empty names.
    void setSymbols(std::vector<SymbolSpec> symbols);
    // 3: symbol, bid, ask; 4: + time; 5: + high, low; 6: + high, low, time;
    // 7: + spread, high, low, time. Throws std::invalid_argument outside 3..7.
    void setColumnCount(int count);
    // Exact texts (UTF-8), frozen until changed; each row is cut or padded to `columns` cells.
    void setRows(std::vector<std::vector<std::string>> rows, int columns);
    bool scripted() const { return scripted_; }

    // Moves the walk to the machine tick (one step per kStepMs); stamps changes with serverMs.
    void advanceTo(uint64_t tickMs, int64_t serverMs);
    // Stops or restarts the walk (a hung terminal, a test that wants still quotes).
    void setFrozen(bool frozen) { frozen_ = frozen; }

    int rowCount() const { return static_cast<int>(cells_.size()); }
    int columnCount() const { return static_cast<int>(columns_.size()); }
    const std::vector<Column>& columns() const { return columns_; }
    static std::string headerText(Column c);
    std::string headerText(int column) const;
    // UTF-8 text of a cell; empty outside the table.
    const std::string& cell(int row, int column) const;
    // The same in the machine's code page (936), as the list view hands it out.
    const std::string& cellAnsi(int row, int column) const;
    // Row index of a symbol (last when listed twice), -1 when absent.
    int rowOf(const std::string& symbol) const;
    std::string symbolAt(int row) const { return cell(row, 0); }
    // Current bid and ask texts of a row, whatever the columns.
    std::string bidText(int row) const;
    std::string askText(int row) const;

    static std::string formatPrice(int64_t points, int digits);
    static std::string formatTime(int64_t localMs);  // HH:MM:SS

private:
    struct Live {
        SymbolSpec spec;
        int64_t bid = 0, high = 0, low = 0;  // points
        int64_t timeMs = 0;
    };
    void rebuildCells();
    void rebuildRow(size_t row);

    std::mt19937_64 rng_;
    std::vector<Live> live_;
    std::vector<Column> columns_;
    std::vector<std::vector<std::string>> cells_;
    std::vector<std::vector<std::string>> ansi_;
    bool scripted_ = false;
    bool frozen_ = false;
    uint64_t stepsDone_ = 0;
    bool started_ = false;
};

} // namespace termsim
