#pragma once
// A hot-key edit box: the user presses a combination and the box shows and keeps it. The value
// lives in the system's hot-key control (key code low byte, HOTKEYF_ bits high byte).
#include "platform/desktop/CommonControls.h"
#include "platform/forms/UserControl.h"

#include <cstdint>
#include <memory>

class ucHotKey : public forms::UserControl {
public:
    explicit ucHotKey(win::HWND container);
    ~ucHotKey() override;

    // The window is activated when the combination is pressed. Raises kErrInvalidHotKey,
    // kErrInvalidWindow or kErrSetFailed when the window refuses it.
    void SetApplicationHotKey(win::HWND hwnd);
    // Adds or clears HKCOMB_ combinations the user may not type and the modifiers that replace them.
    void InvalidHotKeyOperation(uint8_t combinations, uint8_t modifiers, bool add);
    int32_t HotKey();
    void HotKey(int32_t key);
    int32_t HotKeyModifier();
    void HotKeyModifier(uint8_t modifiers);
    int32_t HotKeyAndModifier();
    std::shared_ptr<forms::StdFont> Font() const { return font_; }
    void Font(const std::shared_ptr<forms::StdFont>& font);

    // Control events, called by the container.
    void UserControl_InitProperties();
    void UserControl_ReadProperties(forms::PropertyBag& bag);
    void UserControl_WriteProperties(forms::PropertyBag& bag);
    void UserControl_Resize() override;
    void UserControl_GotFocus() override;

    win::HWND hotKeyWindow() const { return hotKeyHwnd_; }
    int32_t invalidCombinations() const { return invalid_; }
    int32_t defaultModifiers() const { return defaultMods_; }
    win::HFONT fontHandle() const { return fontHandle_; }

    static const long kErrInvalidWindow;   // also "Hot key previously assigned"
    static const long kErrInvalidHotKey;
    static const long kErrSetFailed;

private:
    void createHotKeyWindow();

    win::HWND hotKeyHwnd_ = 0;
    int32_t invalid_ = 0;
    int32_t defaultMods_ = 0;
    std::shared_ptr<forms::StdFont> font_;
    win::LOGFONTA logFont_;
    win::HFONT fontHandle_ = 0;
    bool commonControlsReady_ = false;
};
