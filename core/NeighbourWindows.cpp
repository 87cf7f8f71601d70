#include "NeighbourWindows.h"

#include "QuoteWindows.h"

#include "platform/system/Machine.h"

namespace m_Main {

std::function<std::shared_ptr<FloatPanel>()> NewFloatPanel;
std::function<std::shared_ptr<NoticeWindow>()> NewFXNotify;
std::function<std::shared_ptr<VoiceClockWindow>()> NewVoiceClock;
std::function<std::shared_ptr<VoiceQuoteDialog>()> NewVoiceQuote;
std::function<std::shared_ptr<LiveUpdateWindow>()> NewLiveUpdate;
std::function<std::shared_ptr<TerminalPanelWindow>()> NewTerminalWindow;
VoiceQuoteDialog* VoiceQuoteForm = nullptr;
bool TerminalWindowOpen = false;
bool LiveUpdateOpen = false;
bool OrderConfirmOpen = false;

namespace {
std::shared_ptr<NoticeWindow> g_notify;
std::shared_ptr<TerminalPanelWindow> g_terminal;
std::shared_ptr<VoiceQuoteDialog> g_voiceQuote;
std::shared_ptr<VoiceClockWindow> g_voiceClock;

// A window that lets go of its reference from its own unload is still on the stack: the last
// reference goes once the unload is over.
template <class T>
void releaseLater(std::shared_ptr<T>& window) {
    if (!window) return;
    std::shared_ptr<T> keep = std::move(window);
    if (auto* machine = sys::Machine::currentOrNull()) machine->post([keep] {});
}
} // namespace

NoticeWindow* FXNotifyForm() {
    if (!g_notify && NewFXNotify) g_notify = NewFXNotify();
    return g_notify.get();
}

TerminalPanelWindow* TerminalForm() {
    if (!g_terminal && NewTerminalWindow) g_terminal = NewTerminalWindow();
    return g_terminal.get();
}

VoiceQuoteDialog* VoiceQuoteWindow() {
    if (!g_voiceQuote && NewVoiceQuote) {
        g_voiceQuote = NewVoiceQuote();
        VoiceQuoteForm = g_voiceQuote.get();
    }
    return g_voiceQuote.get();
}

void ReleaseVoiceQuote() {
    VoiceQuoteForm = nullptr;
    releaseLater(g_voiceQuote);
}

VoiceClockWindow* VoiceClockForm() { return g_voiceClock.get(); }

void StartVoiceClock() {
    if (g_voiceClock || !NewVoiceClock) return;
    auto clock = NewVoiceClock();
    if (!clock) return;
    clock->Load();
    if (!clock->Initialize()) {
        clock->Unload();
        return;
    }
    g_voiceClock = std::move(clock);
}

void StopVoiceClock() {
    if (!g_voiceClock) return;
    auto clock = std::move(g_voiceClock);
    clock->Unload();
}

void ReleaseNeighbourWindows() {
    g_notify.reset();
    g_terminal.reset();
    StopVoiceClock();
    if (g_voiceQuote && g_voiceQuote->IsLoaded()) g_voiceQuote->Unload();
    g_voiceQuote.reset();
    VoiceQuoteForm = nullptr;
}

} // namespace m_Main
