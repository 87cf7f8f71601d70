#pragma once
// The main window: the small top-most icon that lives for the whole run. Its load step does the
// program's start-up; its one-second price timer is the program's heartbeat (terminal watch and
// restart, quote reading, the time-out alarm, the quote board, the floating panels and voice
// quotes); its public operations act on the terminal and on per-symbol settings.
#include "core/Program.h"
#include "core/frmSysTray.h"
#include "platform/com/ComBase.h"
#include "platform/forms/Form.h"
#include "platform/speech/SpeechApi.h"
#include "toolkit/CTimer.h"
#include "toolkit/PlayMediaCls.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FloatPanel;
class cls_Quote;
class cRegHotKey;
class LiveUpdateWindow;

class frmMain : public forms::Form {
public:
    frmMain();
    ~frmMain() override;

    // ---- Start-up ---------------------------------------------------------------------------
    // Reopens the saved floating panels and the quote and terminal windows whose Status is on.
    void LoadPara();

    // ---- Terminal control ---------------------------------------------------------------------
    // Pauses the price loop and closes the terminal; the loop stays paused until RERunMT4.
    void CloseMT4();
    // Starts the terminal again and waits (8 s at most) for its quotes; resumes the price loop.
    bool RERunMT4();
    // The account part of the terminal's caption.
    static std::string GetMT4Title(const std::string& caption);
    void ShowQuoteFrm();
    void StartFXNotify(bool& visible);
    void ShowTerminal(bool& flag);
    void HideMT4();

    // ---- Per-symbol settings ------------------------------------------------------------------
    // Opens a floating panel for a listed symbol with its settings; left/top in pixels, -1 keeps
    // the panel's own place; style -1 ask, 1 bid, 0 both with the spread.
    void LoadSymbolPara(const std::string& symbol, int32_t left, int32_t top, int32_t style, int16_t& border,
                        int16_t& voice, int16_t& quickOrder, int16_t& iconEvent);
    // Takes the confirmed voice-quote dialog into the symbol's record and, when it changed, the settings.
    void SaveVoice(const std::string& symbol);
    // The panel menu's "VoiceSet": the voice-quote dialog for a symbol with a record, filled from
    // the record and shown; it hands its values to SaveVoice when it closes.
    void openVoiceSet(const std::string& symbol);

    // ---- The floating panels' menu (frmMain_PopMenu.cpp) ---------------------------------------
    // With an empty action the whole context menu of the panel of key, shown at the cursor and
    // carried out; else the one entry the action key stands for ("Order", "OrderSet",
    // "QuoteOrder", "Terminal", "HideMT4", "Voice", "VoiceSet", "Float").
    void PopMenu(const std::string& key, const std::string& action);
    // The text of the price cell for a price: up to its small digit when it has a fractional pip.
    static std::string PriceCell(const std::string& price);

    // ---- Hot keys, balloons, panels -----------------------------------------------------------
    void defHotKey(bool forceAlert);
    void ChkLiveUpdate(bool tip);
    // The live-update window once a check was asked for (loaded or not).
    LiveUpdateWindow* LiveUpdateForm() const { return liveUpdate_.get(); }
    // A floating panel that unloads leaves FloatForms through here.
    void ClosePopupForm(const std::string& key);
    // The one dispatcher of the program's command keys.
    void m_frmSysTray_MenuClick(const std::string& key);

    // ---- Price loop -----------------------------------------------------------------------------
    void m_PriceTimer_ThatTime();
    // Splits a price for the big-digit display; an empty price leaves the outputs as they are.
    static void PriceDigits(const std::string& price, int32_t& headLength, int32_t& bigDigitPos, bool& fractionalPip);
    // "1时2分3秒" from seconds; nothing for 0 or less.
    static std::string StaleText(int32_t seconds);

    // Handshake with the price loop: 0 run, 1 pause requested, 2 stop requested, 100 acknowledged.
    static constexpr uint8_t kRun = 0, kPause = 1, kStop = 2, kAcknowledged = 100;
    uint8_t TimerState = kRun;
    // Sets a request and pumps until the tick acknowledges it (bounded); false when it never did.
    bool RequestTimerState(uint8_t request);

    // Objects and state the window keeps for the run.
    com::ComPtr<win::ISpeechVoice> m_Speech;
    std::shared_ptr<CTimer> m_PriceTimer;
    std::unique_ptr<cRegHotKey> cHotKey;
    std::shared_ptr<frmSysTray> m_FrmSysTray;
    std::string LastServerTime;
    bool TerminalLoading = false;
    bool TimeoutAlarm() const { return timeoutAlarm_; }
    int32_t StaleSeconds() const { return staleSeconds_; }
    PlayMediaCls* TimeoutPlayer() { return timeoutPlayer_.get(); }

    // What happened in a tick worth telling a person who watches (terminal found or closed, a
    // restart, the alarm, a quote spoken, the quotes read). Not used by the program itself.
    std::function<void(const std::string& event)> Trace;

    // The longest a pumping wait for the tick's acknowledgement lasts.
    static constexpr uint32_t kHandshakeWaitMs = 15000;
    // Passes of the watchdog within one tick before a terminal that can be neither read nor
    // closed counts as closed for that tick.
    static constexpr int kWatchdogPasses = 3;

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private:
    enum class StartOutcome { Ready, NotInstalled, NotRunning, RegistryDamaged };
    StartOutcome findOrStartTerminal();
    void createSpeech();
    void loadTimeoutSettings();
    void placeWindow();
    // The restart of a terminal whose list cannot be read; true when quotes came back.
    bool restartTerminal();
    // Pumps up to ms, each pass searching for the terminal and trying to read it.
    bool waitForQuotes(uint32_t ms);
    void timeoutStep(std::string& serverTime);
    void updatePanels(bool terminalClosed, const std::string& staleText, const std::string& displayTime);
    // Writes a record's price into a panel (opening: the first write of a new panel); whether the
    // price shows a fractional pip.
    bool writePrice(FloatPanel& panel, cls_Quote& record, bool opening);
    void trace(const std::string& event);
    void speakAsync(const std::string& text);
    void showFace();
    int32_t face_ = 0;  // the face's bitmap (HBITMAP)
    // The panel menu's entries (frmMain_PopMenu.cpp).
    void popMenuCommand(int32_t id, const std::string& key, const std::vector<std::string>& freeSymbols);
    void popDisplayMode(int32_t id, const std::string& key);
    void popOrderDialog(const std::string& key, bool notify);
    void popVoiceSet(const std::string& key);
    void popSwitchSymbol(const std::string& key, const std::string& symbol);

    bool timeoutAlarm_ = false;
    int32_t staleSeconds_ = 0;
    bool inTick_ = false;
    std::unique_ptr<PlayMediaCls> timeoutPlayer_;
    std::shared_ptr<LiveUpdateWindow> liveUpdate_;

    // ==== Commands, tray menu, hot keys, balloons and the icon window (frmMain_Commands.cpp) ====
public:
    // Tray icon events: a click (1 left: the configured action; 2 right: the menu brought up to
    // date and shown), a click on the balloon, the balloon timed out.
    void m_frmSysTray_SysTrayMouseDown(int32_t button);
    void m_FrmSysTray_BalloonClicked();
    void m_frmSysTray_BalloonTimeOut();
    void delHotKey();
    // A balloon through the tray icon for 50 s; key decides what a click on it does.
    void ShowBalloonTip(const std::string& text, const std::string& title, int32_t icon, const std::string& key);
    // Runs the exit command.
    void UnloadFrm();
    // A registered global hot key was pressed (its name under Settings/HotKey).
    void cHotKey_HotKeyPress(const std::string& name);
    // The icon window's mouse. Button: 1 left, 2 right, 4 middle.
    void Form_MouseDown(int16_t button, int16_t shift, float x, float y);
    void Form_MouseUp(int16_t button, int16_t shift, float x, float y);
    void Form_DblClick();

    std::string BalloonKey;

    // A "<scripts>" entry of the terminal's hot-key file.
    struct ScriptEntry {
        std::string name, hotKey;
    };
    // The entries between the "<scripts>" and "</scripts>" lines of the file's text (UTF-8).
    static std::vector<ScriptEntry> ScriptSection(const std::string& text);
    // The keystrokes of a script's hot key ("Ctrl+1" gives "^{1}", "alt + F5" "%{F5}"); empty for
    // a text that is no hot key of the terminal's (Ctrl or Alt with a letter, digit or F1-F12).
    static std::string ScriptKeys(const std::string& hotKey);

    // The machine setting holding the address of the maker's service page.
    static constexpr const char* kServiceSiteSetting = "site.service";
    static constexpr const char* kServiceSiteDefault = "http://www.corvel.com.cn/service/";
    // The longest a command waits for a window's page.
    static constexpr uint32_t kWindowWaitMs = 30000;

protected:
    win::LRESULT WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) override;

private:
    // Wires the tray window's events to the handlers above; called by the load step.
    void connectCommands();
    // Runs the key once no tick is on the stack below us.
    void deferCommand(const std::string& key);
    void cmdHideFloat();
    void cmdFXNews();
    void cmdTerminal();
    void cmdFXQuote();
    void cmdOpenWindow(forms::Form* window, const std::function<bool()>& busy);
    void cmdScript(const std::string& key);
    void cmdSymbol(const std::string& key);
    void cmdSwitchTerminal(const std::string& key);
    void cmdExit();
    void exitSteps();
    void trayLeftClick();
    void trayRightClick();
    void refreshScriptMenu(const std::string& terminalFolder);
    void clearMenuArray(const std::string& name);

    // The hot-key file the script submenu was built from, and its time then.
    std::string scriptFile_;
    std::optional<std::filesystem::file_time_type> scriptStamp_;
    bool exiting_ = false;
    // An exit has written the panel list (and closed those panels) but then failed.
    bool panelsSaved_ = false;
    // Saved panels whose symbol the terminal does not list this run: kept in the file at exit.
    std::vector<std::vector<std::pair<std::string, std::string>>> unopenedPanels_;
    // Panels whose pages LoadPara started together, until each is set up.
    std::map<std::string, std::shared_ptr<FloatPanel>> preloaded_;
};
