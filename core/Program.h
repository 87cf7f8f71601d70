#pragma once
// The program's shared state and wiring, in one place: every process-wide value, every window
// maker and hook, the entry routine Main, and EndProgram, which ends a run; used alike by the
// executable and the tests. The makers are installed by InstallWindows (app/ProgramWindows.h).
//
// The part of m_Main that the toolkit's own windows read (AppDir, ExePath, TempDir, PageBase,
// the captions, the tip's BalloonReturn hook, the console's Tell) and the shared helper routines
// stay in toolkit/m_Main.h, included here, because the toolkit cannot see the core. EndProgram
// resets those too.
//
// The windows' interfaces are in QuoteWindows.h (floating panel, quote board, order-confirmation
// fields), NeighbourWindows.h (notice window, clock, live update, voice-quote dialog, terminal
// panel) and CommandWindows.h (page dialogs, confirmation balloon).
#include "platform/forms/Collection.h"
#include "platform/system/WinTypes.h"
#include "toolkit/m_Main.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace forms {
class Form;
}
class frmMain;
class cls_Quote;
class FloatPanel;
class frmFloat;
class QuoteBoard;
class NoticeWindow;
class NewsViewerWindow;
class VoiceClockWindow;
class LiveUpdateWindow;
class VoiceQuoteDialog;
class TerminalPanelWindow;
class PageDialog;
class OrderConfirmBalloon;

namespace m_Main {

// ---- Start-up --------------------------------------------------------------------------------
// Where the program was started from: the folder and the file name without extension
// (the runtime's App.Path and App.EXEName).
void setProgram(const std::string& folder, const std::string& exeName);
// The start-up entry. False when it ended early (second copy, no or broken settings).
bool Main();
// What Main shows and loads after the settings are read (InstallWindows sets them).
extern std::function<void()> ShowSplash;
extern std::function<void()> LoadMainWindow;
// The default voice switched to ours by Main, and what exit puts back.
inline const std::string kVoiceTokenKey = "SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\QXFemaleChinese";
inline const std::string kVoiceTokenId =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\QXFemaleChinese";
void SelectVoice();
void RestoreVoice();
extern bool VoiceSwitched;
extern std::string PrevDefaultVoice;
// The user had no default voice before it was switched; exit then removes ours again.
extern bool PrevDefaultVoiceMissing;
// The screen point of the last right click on the tray icon.
extern win::POINT TrayCursorPoint;

// ---- The main window and the price loop -------------------------------------------------------
// The main window of the run (cleared by its unload).
extern std::shared_ptr<frmMain> MainForm;
extern bool SpeechFailed;
extern bool OldBrowser;
extern int16_t TimeoutSeconds;
extern bool TimeoutSound;
extern bool TimeoutVoice;
extern uint32_t TerminalPid;
extern std::string TerminalExe;
extern bool TerminalReady;
extern std::string TerminalTitle;
extern win::HWND LastMt4Hwnd;
extern bool WindowTopMost;
extern bool PanelsLoaded;

// ---- Quotes ------------------------------------------------------------------------------------
// The quote records keyed by symbol (without regard to case), in Market Watch order after a read.
extern forms::Collection<std::shared_ptr<cls_Quote>> Quotes;
// The Market Watch symbols in row order: row r (0-based) is SymbolList[r]. Its size is the row
// count of the last read.
extern std::vector<std::string> SymbolList;
// The Market Watch list has high and low columns.
extern bool HasHighLow;

// ---- Floating panels ---------------------------------------------------------------------------
// Open floating panels keyed by symbol; a panel removes itself when it unloads.
extern forms::Collection<std::shared_ptr<FloatPanel>> FloatForms;
extern std::function<std::shared_ptr<FloatPanel>()> NewFloatPanel;
// What a panel calls of windows built elsewhere; each does nothing while unset.
// The main window's panel actions: symbol and action key ("" shows the whole panel menu).
extern std::function<void(const std::string& symbol, const std::string& key)> PopMenu;
// A quick order is driving the terminal's order dialog or watching its result: one at a time in
// the program, and nothing else touches the dialog meanwhile.
extern bool OrderRunning;

// ---- The quote board ---------------------------------------------------------------------------
// Set by the board's load, cleared by its unload.
extern bool QuoteBoardOpen;
extern std::function<std::shared_ptr<QuoteBoard>()> NewQuoteBoard;
// The board's one instance, made on first use; nullptr while no maker is installed.
QuoteBoard* QuoteBoardForm();
// Forgets the instance (after exit's unload).
void ReleaseQuoteBoard();
// Loads and shows the board when the terminal's list is readable and no board is open;
// installed by the main window.
extern std::function<void()> ShowQuoteFrm;

// ---- Notice window, clock, live update, voice-quote dialog, terminal panel ----------------------
extern std::function<std::shared_ptr<NoticeWindow>()> NewFXNotify;
extern std::function<std::shared_ptr<VoiceClockWindow>()> NewVoiceClock;
extern std::function<std::shared_ptr<LiveUpdateWindow>()> NewLiveUpdate;
extern std::function<std::shared_ptr<TerminalPanelWindow>()> NewTerminalWindow;
// The one instance of each, made on first use; nullptr while no maker is installed.
NoticeWindow* FXNotifyForm();
TerminalPanelWindow* TerminalForm();
extern std::function<std::shared_ptr<VoiceQuoteDialog>()> NewVoiceQuote;
// The voice-quote dialog while it exists: made by VoiceQuoteWindow, forgotten by its unload
// (ReleaseVoiceQuote), so each opening gets a fresh one.
extern VoiceQuoteDialog* VoiceQuoteForm;
VoiceQuoteDialog* VoiceQuoteWindow();
void ReleaseVoiceQuote();
// The talking clock while it runs. Starting loads it hidden and initialises it (a clock that
// cannot speak is unloaded again); stopping unloads it. Both do nothing when already so.
VoiceClockWindow* VoiceClockForm();
void StartVoiceClock();
void StopVoiceClock();
// Forgets the instances (exit).
void ReleaseNeighbourWindows();
// Set while the window holding the Terminal panel is loaded, by its load and unload.
extern bool TerminalWindowOpen;
extern bool LiveUpdateOpen;
extern bool OrderConfirmOpen;

// ---- Windows the commands open -----------------------------------------------------------------
extern std::function<std::shared_ptr<PageDialog>()> NewSettingsWindow;
extern std::function<std::shared_ptr<PageDialog>()> NewAboutWindow;
extern std::function<std::shared_ptr<PageDialog>()> NewInsScriptWindow;
// The one instance of each, made on first use; nullptr while no maker is installed.
PageDialog* SettingsForm();
PageDialog* AboutForm();
PageDialog* InsScriptForm();
// Forgets the settings window when it is the one held (its unload), so the next opening makes
// a fresh one.
void ReleaseSettingsForm(const PageDialog* window);
// The news viewer while it exists: the opener makes it through NewFXNews when empty, its unload
// empties it.
extern std::shared_ptr<NewsViewerWindow> FXNewsForm;
extern std::function<std::shared_ptr<NewsViewerWindow>()> NewFXNews;
// The confirmation balloon while it is open (OrderConfirmOpen); set by the balloon.
extern OrderConfirmBalloon* OrderConfirmForm;
// Forgets the instances (exit).
void ReleaseCommandWindows();

// ---- Starting and ending a run -----------------------------------------------------------------
// An error that reached the message pump, which nothing of the program handled: it is told on
// the console and in an error box, and the program leaves the way Exit does (panels, settings
// and the user's voice put back) rather than aborting. Main makes it the pump's handler.
void FaultAtPump(std::exception_ptr error);
// Ends the run: stops the price loop, unloads the main window and the splash, lets go of every
// window instance and puts every value above (and the toolkit's part) back to its start.
void EndProgram();

} // namespace m_Main
