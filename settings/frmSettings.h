#pragma once
// The settings window: every setting of the program on the page "Settings.htm", loaded from the
// settings file, the registry and the running program, and written back and applied at once by
// OK. The seven hot keys are edited in native hot-key boxes laid over the page's hot-key tab.
#include "core/CommandWindows.h"
#include "platform/forms/CallByName.h"
#include "toolkit/PageWindow.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class PlayMediaCls;
class ucHotKey;

class frmSettings : public PageDialog, public forms::Dispatch, public PageWindow,
                    public std::enable_shared_from_this<frmSettings> {
public:
    frmSettings();
    ~frmSettings() override;

    // ---- Members reached by name ----
    // Writes every setting, applies it and saves the file; then the window closes.
    void ClickOK();
    void ClickCancel();
    // Sound preview: the clicked play button plays its list's sound, or stops the one playing.
    void TestSound();
    void StopSound();
    void m_PlayMedia_EndPlay();
    // The terminal's program file: picked in the open-file dialog, or the running terminal's.
    void GetTerminal();
    void SpecifyMT4File();
    // The hot-key tab was chosen (boxes laid over its fields) or left (boxes hidden).
    void yHK();
    void nHK();
    // Writes or removes the start-with-the-system entry from the page's box; false when the
    // registry could not be brought to match it (it is then left as it was).
    bool SetAutoRun();
    bool Busy() override;

    const forms::MemberTable& memberTable() const override;

    // ---- Hot-key text ----
    // The seven hot keys, in the order of the boxes.
    static constexpr std::array<const char*, 7> kHotKeyNames = {"MT4", "Terminal", "Quote", "News",
                                                                "Float", "Settings", "Exit"};
    // Registration bits (Alt 1, Ctrl 2, Shift 4, Win 8) to the box's bits (Shift 1, Ctrl 2, Alt 4).
    static int32_t ModToHotKeyFlags(int32_t mod);
    // The box's bits to the display prefix ("Ctrl+Shift+Alt+" order) and the registration bits.
    static void HotKeyFlagsToText(int32_t flags, std::string& prefix, int32_t& mod);
    // What a key shows as: letters and digits themselves, other keys by name ("F1", "`").
    static std::string KeyName(int32_t key);
    // "Mod(m)Key(k)HotKey(text)"; the empty text for no key.
    static std::string HotKeyText(int32_t mod, int32_t key);
    // The modifier bits and key of a hot-key text; a missing part reads 0.
    struct HotKeyValue {
        int32_t mod = 0;
        int32_t key = 0;
    };
    static HotKeyValue ParseHotKeyText(const std::string& text);

    // ---- Start with the system ----
    static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kRunValue = "Pennant";
    // The entry names this copy of the program (letter case aside).
    static bool IsAutoRun();

    // The open-file dialog's file-name buffer holds this many characters.
    static constexpr size_t kFileBuffer = 256;

    // ---- What tests look at ----
    const web::HTMLDocument& PageDocument() const { return Document; }
    web::WebBrowser* Browser() const { return WebBrowser1.get(); }
    ucHotKey* HotKeyBox(int index) const;
    const std::string& PlayingButton() const { return PlayingButton_; }
    // How many times the loading pass ran.
    int LoadPasses() const { return loadPasses_; }
    // What the last OK could not do, one line each; empty when everything went through.
    const std::vector<std::string>& LastFailures() const { return failures_; }

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    // ---- Loading (frmSettings_Load.cpp) ----
    void loadPass();
    void loadSoundLists();
    void loadHotKeys();
    void loadTerminalLabel();
    void fitToPage();

    // ---- Saving (frmSettings_Save.cpp) ----
    // Refuses a hot key given to two actions; true when they are all different.
    bool checkHotKeys();
    void placeIconWindow();
    void applyVoiceClock(bool on);

    // A page element by id; raises "object required" when the page has none.
    web::HTMLElement el(const std::string& id) const;
    void createHotKeyBoxes();

    std::string PlayingButton_;
    std::unique_ptr<PlayMediaCls> m_PlayMedia;
    std::array<std::unique_ptr<ucHotKey>, 7> ucKey;
    // What each box showed after loading, and the registration bits it was loaded from: a box
    // left alone keeps bits it cannot show (Win).
    std::array<HotKeyValue, 7> loadedKeys_{};
    std::array<int32_t, 7> loadedMods_{};
    int loadPasses_ = 0;
    std::vector<std::string> failures_;
};
