#include "Program.h"

#include "core/CommandWindows.h"
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Window.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/InstanceLock.h"
#include "platform/system/Machine.h"
#include "platform/system/Process.h"
#include "toolkit/cRegistry.h"
#include "toolkit/cls_Config.h"
#include "toolkit/frmSplash.h"
#include "toolkit/frmToolTip.h"

#include <vector>

namespace m_Main {

namespace {

std::vector<std::function<void()>>& endResets() {
    static std::vector<std::function<void()>> resets;
    return resets;
}

// Every value of the program starts empty and is emptied again by EndProgram. Defining a value
// as `T name = atEnd(name);` registers it where it is defined, so that no value can be missed.
template <class T>
T atEnd(T& value) {
    endResets().push_back([&value] { value = T{}; });
    return T{};
}

} // namespace

// In the order EndProgram forgets them: the main window first, the makers and hooks last.
std::shared_ptr<frmMain> MainForm = atEnd(MainForm);

bool VoiceSwitched = atEnd(VoiceSwitched);
std::string PrevDefaultVoice = atEnd(PrevDefaultVoice);
bool PrevDefaultVoiceMissing = atEnd(PrevDefaultVoiceMissing);
// A fault has been shown and the exit it calls for is on its way.
bool g_faulted = atEnd(g_faulted);
win::POINT TrayCursorPoint = atEnd(TrayCursorPoint);

bool SpeechFailed = atEnd(SpeechFailed);
bool OldBrowser = atEnd(OldBrowser);
int16_t TimeoutSeconds = atEnd(TimeoutSeconds);
bool TimeoutSound = atEnd(TimeoutSound);
bool TimeoutVoice = atEnd(TimeoutVoice);
uint32_t TerminalPid = atEnd(TerminalPid);
std::string TerminalExe = atEnd(TerminalExe);
bool TerminalReady = atEnd(TerminalReady);
std::string TerminalTitle = atEnd(TerminalTitle);
win::HWND LastMt4Hwnd = atEnd(LastMt4Hwnd);
bool WindowTopMost = atEnd(WindowTopMost);
bool PanelsLoaded = atEnd(PanelsLoaded);

forms::Collection<std::shared_ptr<FloatPanel>> FloatForms = atEnd(FloatForms);
forms::Collection<std::shared_ptr<cls_Quote>> Quotes = atEnd(Quotes);
std::vector<std::string> SymbolList = atEnd(SymbolList);
bool HasHighLow = atEnd(HasHighLow);

bool QuoteBoardOpen = atEnd(QuoteBoardOpen);
bool TerminalWindowOpen = atEnd(TerminalWindowOpen);
bool LiveUpdateOpen = atEnd(LiveUpdateOpen);
bool OrderConfirmOpen = atEnd(OrderConfirmOpen);
bool OrderRunning = atEnd(OrderRunning);
VoiceQuoteDialog* VoiceQuoteForm = atEnd(VoiceQuoteForm);
std::shared_ptr<NewsViewerWindow> FXNewsForm = atEnd(FXNewsForm);
std::function<std::shared_ptr<NewsViewerWindow>()> NewFXNews = atEnd(NewFXNews);
OrderConfirmBalloon* OrderConfirmForm = atEnd(OrderConfirmForm);

namespace {
// The one instance of each window that has one, made on first use.
std::shared_ptr<QuoteBoard> g_board = atEnd(g_board);
std::shared_ptr<NoticeWindow> g_notify = atEnd(g_notify);
std::shared_ptr<TerminalPanelWindow> g_terminal = atEnd(g_terminal);
std::shared_ptr<VoiceQuoteDialog> g_voiceQuote = atEnd(g_voiceQuote);
std::shared_ptr<VoiceClockWindow> g_voiceClock = atEnd(g_voiceClock);
std::shared_ptr<PageDialog> g_settings = atEnd(g_settings);
std::shared_ptr<PageDialog> g_about = atEnd(g_about);
std::shared_ptr<PageDialog> g_insScript = atEnd(g_insScript);
// Where the program was started from (setProgram).
std::string g_folder = atEnd(g_folder);
const char* const kExeName = "Pennant";
std::string g_exeName = kExeName;
} // namespace

std::function<void()> ShowSplash = atEnd(ShowSplash);
std::function<void()> LoadMainWindow = atEnd(LoadMainWindow);
std::function<void()> ShowQuoteFrm = atEnd(ShowQuoteFrm);
std::function<std::shared_ptr<FloatPanel>()> NewFloatPanel = atEnd(NewFloatPanel);
std::function<void(const std::string&, const std::string&)> PopMenu = atEnd(PopMenu);
std::function<std::shared_ptr<QuoteBoard>()> NewQuoteBoard = atEnd(NewQuoteBoard);
std::function<std::shared_ptr<NoticeWindow>()> NewFXNotify = atEnd(NewFXNotify);
std::function<std::shared_ptr<VoiceClockWindow>()> NewVoiceClock = atEnd(NewVoiceClock);
std::function<std::shared_ptr<VoiceQuoteDialog>()> NewVoiceQuote = atEnd(NewVoiceQuote);
std::function<std::shared_ptr<LiveUpdateWindow>()> NewLiveUpdate = atEnd(NewLiveUpdate);
std::function<std::shared_ptr<TerminalPanelWindow>()> NewTerminalWindow = atEnd(NewTerminalWindow);
std::function<std::shared_ptr<PageDialog>()> NewSettingsWindow = atEnd(NewSettingsWindow);
std::function<std::shared_ptr<PageDialog>()> NewAboutWindow = atEnd(NewAboutWindow);
std::function<std::shared_ptr<PageDialog>()> NewInsScriptWindow = atEnd(NewInsScriptWindow);

// ---- Start-up ----------------------------------------------------------------------------------

void setProgram(const std::string& folder, const std::string& exeName) {
    g_folder = folder;
    g_exeName = exeName;
}

bool Main() {
    // Common controls need no start-up here.
    AppDir = g_folder;
    if (AppDir.empty() || AppDir.back() != '\\') AppDir += "\\";

    // The window tells of a copy on this desktop; the lock also of one in another host process
    // on the same machine, and it is taken before anything is written.
    if (win::FindWindow(nullptr, kMainCaption.c_str()) || !sys::holdMachineLock(sys::Machine::current(), "pennant")) {
        win::MessageBox(0, "检测到一个正在运行的Pennant程序实例!", kTitle, win::MB_ICONEXCLAMATION);
        return false;
    }
    ExePath = AppDir + g_exeName + ".exe";
    // The machine's record of the running program file: what its modules and resources go by.
    auto& machine = sys::Machine::current();
    if (auto self = sys::ProcessTable::of(machine).find(machine.currentProcessId())) self->setExePath(ExePath);
    TempDir = GetTempDir();
    if (!TempDir.empty() && TempDir.back() != '\\') TempDir += "\\";
    if (TempDir.empty()) TempDir = AppDir;

    cls_Config& config = Config();
    config.XmlFile(AppDir + "Pennant.xml");
    if (!FileExists(AppDir + "Pennant.xml")) {
        win::MessageBox(0, "Pennant.xml 文件不存在!", kTitle, win::MB_ICONEXCLAMATION);
        return false;
    }
    PageBase = "res://" + AppDir + g_exeName + ".exe/";
    config.XmlFile(AppDir + "Pennant.xml");
    if (!config.Initialize()) return false;

    SelectVoice();
    // From here on the run has something to put back at its end, however it ends.
    machine.setPumpErrorHandler(FaultAtPump);
    if (ShowSplash) ShowSplash();
    if (LoadMainWindow) LoadMainWindow();
    return true;
}

namespace {

const char* const kVoicesKey = "SOFTWARE\\Microsoft\\Speech\\Voices";
// The user's own default voice waits here while ours is switched in: written before the switch
// and removed after the restore, so a run that dies in between leaves it for the next start.
const char* const kSavedVoiceKey = "Software\\Pennant\\SavedVoice";

cRegistry defaultTokenId(const char* section) {
    cRegistry r;
    r.ClassKey(win::HKEY_CURRENT_USER);
    r.SectionKey(section);
    r.ValueKey("DefaultTokenId");
    r.ValueType(win::REG_SZ);
    // An absent value must read as absent, not as the read's fallback text.
    r.Default(cRegistry::Variant{});
    return r;
}

} // namespace

void SelectVoice() {
    cRegistry reg;
    reg.ClassKey(win::HKEY_LOCAL_MACHINE);
    reg.SectionKey(kVoiceTokenKey);
    if (!reg.KeyExists()) return;

    cRegistry user = defaultTokenId(kVoicesKey);
    cRegistry saved = defaultTokenId(kSavedVoiceKey);
    cRegistry::Variant previous = user.Value();
    const bool ours = std::holds_alternative<std::string>(previous) && std::get<std::string>(previous) == kVoiceTokenId;
    try {
        if (saved.KeyExists() && ours) {
            // The last run ended without giving the voice back: the user's is the one it saved.
            previous = saved.Value();
        } else {
            if (saved.KeyExists()) saved.DeleteKey();
            saved.CreateKey();
            if (std::holds_alternative<std::string>(previous)) saved.Value(previous);
        }
    } catch (const forms::RuntimeError&) {
        // Without a safe copy of the user's voice, switching could lose it for good.
        return;
    }
    VoiceSwitched = true;
    PrevDefaultVoiceMissing = !std::holds_alternative<std::string>(previous);
    PrevDefaultVoice = PrevDefaultVoiceMissing ? "" : std::get<std::string>(previous);
    user.Value(kVoiceTokenId);
}

void RestoreVoice() {
    cRegistry user = defaultTokenId(kVoicesKey);
    if (PrevDefaultVoiceMissing)
        user.DeleteValue();
    else
        user.Value(PrevDefaultVoice);
    defaultTokenId(kSavedVoiceKey).DeleteKey();
}

// ---- Window instances --------------------------------------------------------------------------

namespace {

template <class W>
W* instance(std::shared_ptr<W>& slot, const std::function<std::shared_ptr<W>()>& make) {
    if (!slot && make) slot = make();
    return slot.get();
}

} // namespace

QuoteBoard* QuoteBoardForm() { return instance(g_board, NewQuoteBoard); }
NoticeWindow* FXNotifyForm() { return instance(g_notify, NewFXNotify); }
TerminalPanelWindow* TerminalForm() { return instance(g_terminal, NewTerminalWindow); }
PageDialog* SettingsForm() { return instance(g_settings, NewSettingsWindow); }
PageDialog* AboutForm() { return instance(g_about, NewAboutWindow); }
PageDialog* InsScriptForm() { return instance(g_insScript, NewInsScriptWindow); }

void ReleaseQuoteBoard() { g_board.reset(); }

void ReleaseSettingsForm(const PageDialog* window) {
    if (g_settings.get() == window) g_settings.reset();
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
    if (!g_voiceQuote) return;
    // Called from the dialog's own unload: the last reference goes once that is over.
    std::shared_ptr<VoiceQuoteDialog> keep = std::move(g_voiceQuote);
    if (auto* machine = sys::Machine::currentOrNull()) machine->post([keep] {});
}

VoiceClockWindow* VoiceClockForm() { return g_voiceClock.get(); }

void StartVoiceClock() {
    if (g_voiceClock || !NewVoiceClock) return;
    std::shared_ptr<VoiceClockWindow> clock = NewVoiceClock();
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
    std::shared_ptr<VoiceClockWindow> clock = std::move(g_voiceClock);
    clock->Unload();
}

void ReleaseNeighbourWindows() {
    g_notify.reset();
    g_terminal.reset();
    StopVoiceClock();
    // An open dialog closes as the user would close it, handing its values back.
    if (g_voiceQuote && g_voiceQuote->IsLoaded()) g_voiceQuote->Unload();
    g_voiceQuote.reset();
    VoiceQuoteForm = nullptr;
}

void ReleaseCommandWindows() {
    g_settings.reset();
    g_about.reset();
    g_insScript.reset();
    FXNewsForm.reset();
    OrderConfirmForm = nullptr;
}

// ---- The end of a run --------------------------------------------------------------------------

void FaultAtPump(std::exception_ptr error) {
    std::string text;
    try {
        std::rethrow_exception(error);
    } catch (const win::UnansweredModalError&) {
        throw;  // a test that did not script its user
    } catch (const forms::RuntimeError& e) {
        text = "#" + std::to_string(e.Number) + " - " + e.Description + (e.Source.empty() ? "" : " (" + e.Source + ")");
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "?";
    }
    tell("error: " + text);
    // One box: errors while the exit is under way are only told.
    if (g_faulted) return;
    g_faulted = true;
    forms::MsgBox("Pennant 运行时产生一个错误, 将退出:\r\n\r\n" + text, forms::vbCritical, kTitle);
    // Not inside whatever failed: the exit comes as the user's would, from the message queue.
    sys::Machine::current().post([] {
        if (MainForm && MainForm->IsLoaded()) MainForm->m_frmSysTray_MenuClick("Exit");
    });
}

void EndProgram() {
    // The clock's timer runs until its window unloads.
    StopVoiceClock();
    if (MainForm) {
        MainForm->TimerState = frmMain::kStop;
        if (MainForm->m_PriceTimer) MainForm->m_PriceTimer->Interval(0);
        MainForm->Unload();
    }
    // A splash still fading goes before the machine does.
    if (auto& splash = frmSplash::Instance()) {
        splash->Unload();
        splash.reset();
    }
    frmToolTip::ReleaseShared();
    for (const auto& reset : endResets()) reset();
    if (auto* machine = sys::Machine::currentOrNull()) machine->setPumpErrorHandler(nullptr);
    g_exeName = kExeName;
    AppDir.clear();
    ExePath.clear();
    TempDir.clear();
    PageBase.clear();
    BalloonReturn = nullptr;
    Tell = nullptr;
}

} // namespace m_Main
