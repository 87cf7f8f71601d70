#pragma once
// The start-up's splash window: a borderless layered window whose face is the per-pixel-alpha
// picture "Splash.png" of the program folder, shown while the main window loads and faded out
// once it has.
#include "CTimer.h"

#include "platform/forms/Form.h"

#include <cstdint>
#include <memory>

class frmSplash : public forms::Form {
public:
    frmSplash();
    ~frmSplash() override;

    // Starts the fade-out; the window unloads itself at its end.
    void CloseSplash();
    void m_tmr_ThatTime();

    // The program's one splash window: made by the first ShowSplash, cleared when it has faded.
    static std::shared_ptr<frmSplash>& Instance();
    // Shows the splash without waiting (the start-up's step).
    static void ShowSplash();

    uint8_t Opacity() const { return m_opacity; }
    bool Fading() const { return m_tmr != nullptr; }

    static constexpr int kFadeIntervalMs = 25;
    static constexpr int kFadeStep = 15;

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private:
    void stopFade();

    std::shared_ptr<CTimer> m_tmr;
    uint8_t m_opacity = 255;
};
