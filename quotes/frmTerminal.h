#pragma once
// The window that holds the trading terminal's own Terminal panel: it takes the panel out of
// the terminal into a holder of its own (across processes, with the window calls only), keeps
// it as an always-on-top window that berths at a screen edge, and gives it back to the terminal
// when it closes, visible or hidden as it was.
#include "core/NeighbourWindows.h"
#include "toolkit/CTimer.h"
#include "toolkit/ScreenBerth.h"

#include <memory>

class frmTerminal : public TerminalPanelWindow {
public:
    frmTerminal();
    ~frmTerminal() override;

    // Starts hiding at the berth edge.
    void BerthLeave();
    // Brings the berthed window in without a leave watch and focuses it.
    void ReVisible() override;
    bool BerthOn() override;

    // Test side.
    win::HWND PanelHwnd() const { return PanelHwnd_; }
    win::HWND PanelParent() const { return PanelParent_; }
    win::HWND Layout() const { return Layout_; }
    ScreenBerth* Berth() { return berth_.get(); }
    CTimer* Check() { return m_Check.get(); }

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Resize() override;
    void Form_QueryUnload(int& Cancel, int UnloadMode) override;
    void Form_Unload(int& Cancel) override;

private:
    void m_Check_ThatTime();
    // The panel at (-6, -6) in the holder, 12 pixels larger than it: its own border lies outside.
    void placePanel();
    void giveBack();
    void stopCheck();

    win::HWND PanelHwnd_ = 0;
    win::HWND PanelParent_ = 0;
    bool PanelWasHidden_ = false;
    // The panel is a child of the holder and owed back.
    bool held_ = false;
    win::HWND Layout_ = 0;
    std::shared_ptr<CTimer> m_Check;
    std::unique_ptr<ScreenBerth> berth_;
};
