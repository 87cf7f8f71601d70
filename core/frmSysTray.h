#pragma once
// The hidden window that owns the program's icon in the notification area: the icon and its
// tool tip, balloons withdrawn after the time their caller asked for, the icon's mouse events
// and the tray menu, whose items raise MenuClick with their command key.
#include "platform/forms/Form.h"
#include "toolkit/CTimer.h"
#include "toolkit/ISubclass.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class frmSysTray : public forms::Form {
public:
    frmSysTray();
    ~frmSysTray() override;

    // flags: 1 info, 2 warning, 3 error icon.
    void ShowBalloonTip(const std::string& text, const std::string& title, int32_t flags, int32_t timeoutMs);
    void ShellTrayIconRemove();
    void CloseBalloonTip();
    void TaskToolTip(const std::string& text);
    void IconHandle(int32_t icon);
    void AddFloat(const std::string& caption, const std::string& tag, bool checked);
    void AddMultiMt4(const std::string& caption, const std::string& tag, bool checked);
    void AddScript(const std::string& caption, const std::string& tag);
    void ShowMenu();

    // Events, raised synchronously on the pumping thread. Button: 1 left, 2 right.
    std::function<void(int32_t button)> SysTrayMouseDown;
    std::function<void(int32_t button)> SysTrayMouseUp;
    std::function<void(int32_t button)> SysTrayDoubleClick;
    std::function<void(const std::string& key)> MenuClick;
    std::function<void()> BalloonShow;
    std::function<void()> BalloonHide;
    std::function<void()> BalloonTimeOut;
    std::function<void()> BalloonClicked;
    std::function<void()> SysTrayMouseMove;

    static constexpr win::UINT kCallbackMessage = 0x8015;
    static constexpr win::UINT kIconId = 999;
    // The icon shown at load.
    static constexpr int32_t kProgramIcon = 0x00A10001;

    // The notification record's size for this shell: 504, 488 or 88 (chosen on first use).
    int32_t recordSize();
    // Test side: the balloon timer (null until the shell first reports a balloon shown).
    const std::shared_ptr<CTimer>& balloonTimer() const { return mBalloonTimer; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private:
    // The window's subclassing client. A separate object: the form's own WindowProc has the
    // same signature and must stay the form's.
    struct Sink : ISubclass {
        explicit Sink(frmSysTray& o) : owner(o) {}
        int32_t MsgResponse() override { return owner.msgResponse_; }
        void MsgResponse(int32_t) override {}
        win::LRESULT WindowProc(win::HWND h, win::UINT m, win::WPARAM w, win::LPARAM l) override {
            return owner.ISubclass_WindowProc(h, m, w, l);
        }
        frmSysTray& owner;
    };

    win::LRESULT ISubclass_WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);
    void mBalloonTimer_ThatTime();
    void stopBalloonTimer();
    void unhook();
    void buildMenus();
    void appendElement(const std::string& arrayName, const std::string& caption, const std::string& tag,
                       const bool* checked);
    void raiseMenuClick(const std::string& key);

    Sink sink_{*this};
    int32_t recordSize_ = 0;
    bool balloonExpired_ = false;
    int32_t balloonTimeout_ = 0;
    int32_t msgResponse_ = 0;
    bool hooked_ = false;
    win::HWND hookedWindow_ = 0;
    std::shared_ptr<CTimer> mBalloonTimer;
};
