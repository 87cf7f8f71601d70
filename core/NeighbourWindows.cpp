#include "NeighbourWindows.h"

#include "QuoteWindows.h"

namespace m_Main {

std::function<std::shared_ptr<FloatPanel>()> NewFloatPanel;
std::function<std::shared_ptr<NoticeWindow>()> NewFXNotify;
std::function<std::shared_ptr<VoiceClockWindow>()> NewVoiceClock;
std::function<std::shared_ptr<LiveUpdateWindow>()> NewLiveUpdate;
std::function<std::shared_ptr<TerminalPanelWindow>()> NewTerminalWindow;
VoiceQuoteDialog* VoiceQuoteForm = nullptr;
bool TerminalWindowOpen = false;
bool LiveUpdateOpen = false;
bool OrderConfirmOpen = false;

namespace {
std::shared_ptr<NoticeWindow> g_notify;
std::shared_ptr<TerminalPanelWindow> g_terminal;
} // namespace

NoticeWindow* FXNotifyForm() {
    if (!g_notify && NewFXNotify) g_notify = NewFXNotify();
    return g_notify.get();
}

TerminalPanelWindow* TerminalForm() {
    if (!g_terminal && NewTerminalWindow) g_terminal = NewTerminalWindow();
    return g_terminal.get();
}

void ReleaseNeighbourWindows() {
    g_notify.reset();
    g_terminal.reset();
    VoiceQuoteForm = nullptr;
}

} // namespace m_Main
