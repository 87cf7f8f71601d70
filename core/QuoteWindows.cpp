#include "QuoteWindows.h"

namespace m_Main {

forms::Collection<std::shared_ptr<FloatPanel>> FloatForms;
bool QuoteBoardOpen = false;
bool OrderRunning = false;
std::function<std::shared_ptr<QuoteBoard>()> NewQuoteBoard;
std::function<void()> ShowQuoteFrm;

namespace {
std::shared_ptr<QuoteBoard> g_board;
}

QuoteBoard* QuoteBoardForm() {
    if (!g_board && NewQuoteBoard) g_board = NewQuoteBoard();
    return g_board.get();
}

void ReleaseQuoteBoard() { g_board.reset(); }

} // namespace m_Main
