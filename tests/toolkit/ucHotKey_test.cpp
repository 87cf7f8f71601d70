#include "toolkit/ucHotKey.h"

#include "platform/desktop/Win.h"
#include "platform/forms/RuntimeError.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace win;
using testing_support::TestMachine;

namespace {

class HotKeyControl : public ::testing::Test {
protected:
    void SetUp() override {
        form = CreateWindowEx(0, "#32770", "Settings", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, 0);
        SetForegroundWindow(form);
        ctl = std::make_unique<ucHotKey>(form);
        ctl->Move(150, 300, 1500, 300);
    }
    bool changed(const std::string& name) const {
        const auto& c = ctl->changedProperties();
        return std::find(c.begin(), c.end(), name) != c.end();
    }
    // A control loaded from saved properties, as the settings window loads it.
    void load(forms::PropertyBag bag = {}) {
        ctl->UserControl_ReadProperties(bag);
        ctl->clearChangedProperties();
    }

    TestMachine m;
    HWND form = 0;
    std::unique_ptr<ucHotKey> ctl;
};

} // namespace

TEST_F(HotKeyControl, LoadedWithoutSavedValuesShowsAltAndTheDefaultFont) {
    forms::PropertyBag empty;
    ctl->UserControl_ReadProperties(empty);
    const HWND hk = ctl->hotKeyWindow();
    ASSERT_NE(hk, 0);
    EXPECT_EQ(className(hk), "msctls_hotkey32");
    EXPECT_EQ(GetParent(hk), ctl->hWnd());
    RECT r;
    GetClientRect(hk, &r);
    EXPECT_EQ(r, (RECT{0, 0, 100, 20}));
    EXPECT_EQ(GetFocus(), hk);
    EXPECT_EQ(ctl->HotKey(), 0);
    EXPECT_EQ(ctl->HotKeyModifier(), HOTKEYF_ALT);
    EXPECT_FALSE(changed("HotKey"));
    EXPECT_TRUE(changed("HotKeyModifier"));

    ASSERT_TRUE(ctl->Font());
    EXPECT_EQ(ctl->Font()->Name, "MS Sans Serif");
    EXPECT_EQ(SendMessage(hk, WM_GETFONT, 0, 0), ctl->fontHandle());
    const LOGFONTA* lf = fontDescription(ctl->fontHandle());
    ASSERT_NE(lf, nullptr);
    EXPECT_STREQ(lf->lfFaceName, "MS Sans Serif");
    EXPECT_EQ(lf->lfHeight, -11);  // 8 points at 96 pixels per inch, rounded
    EXPECT_EQ(lf->lfWeight, FW_NORMAL);
}

TEST_F(HotKeyControl, KeyAndModifierSettersKeepTheOtherHalf) {
    load();
    ctl->HotKey(VK_F5);
    EXPECT_EQ(ctl->HotKeyAndModifier(), 0x0474);
    EXPECT_TRUE(changed("HotKey"));

    ctl->clearChangedProperties();
    ctl->HotKey(VK_F5);  // already shown
    ctl->HotKeyModifier(HOTKEYF_ALT);
    EXPECT_TRUE(ctl->changedProperties().empty());

    ctl->HotKeyModifier(HOTKEYF_CONTROL | HOTKEYF_ALT);
    EXPECT_EQ(ctl->HotKeyAndModifier(), 0x0674);
    EXPECT_EQ(ctl->HotKey(), VK_F5);
    EXPECT_EQ(ctl->HotKeyModifier(), 6);

    // A key number past a byte does not spill into the modifiers.
    ctl->HotKey(0x100 | 'Q');
    EXPECT_EQ(ctl->HotKeyAndModifier(), 0x0600 | 'Q');
}

TEST_F(HotKeyControl, RulesAreAddedAndClearedAndReachTheBox) {
    load();
    ctl->InvalidHotKeyOperation(static_cast<uint8_t>(HKCOMB_NONE), HOTKEYF_CONTROL, true);
    ctl->InvalidHotKeyOperation(static_cast<uint8_t>(HKCOMB_S), HOTKEYF_ALT, true);
    EXPECT_EQ(ctl->invalidCombinations(), static_cast<int32_t>(HKCOMB_NONE | HKCOMB_S));
    EXPECT_EQ(ctl->defaultModifiers(), HOTKEYF_CONTROL | HOTKEYF_ALT);
    pressKey('P');  // the box has the focus
    EXPECT_EQ(ctl->HotKeyAndModifier(), ((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8) | 'P');

    ctl->InvalidHotKeyOperation(static_cast<uint8_t>(HKCOMB_NONE | HKCOMB_S), HOTKEYF_CONTROL | HOTKEYF_ALT, false);
    EXPECT_EQ(ctl->invalidCombinations(), 0);
    EXPECT_EQ(ctl->defaultModifiers(), 0);
    pressKey('P');
    EXPECT_EQ(ctl->HotKeyAndModifier(), 'P');
}

TEST_F(HotKeyControl, FontDescriptionHandleAndReplacement) {
    load();
    const HFONT first = ctl->fontHandle();
    auto font = forms::newFont(std::string(40, 'T'), 12);
    font->Bold = true;
    font->Italic = true;
    font->Strikethrough = true;
    ctl->Font(font);
    const HFONT second = ctl->fontHandle();
    EXPECT_NE(second, first);
    EXPECT_EQ(fontDescription(first), nullptr);  // the replaced handle is freed
    EXPECT_EQ(SendMessage(ctl->hotKeyWindow(), WM_GETFONT, 0, 0), second);
    const LOGFONTA* lf = fontDescription(second);
    ASSERT_NE(lf, nullptr);
    EXPECT_EQ(std::string(lf->lfFaceName), std::string(31, 'T'));
    EXPECT_EQ(lf->lfHeight, -16);
    EXPECT_EQ(lf->lfWeight, FW_BOLD);
    EXPECT_EQ(lf->lfItalic, 1);
    EXPECT_EQ(lf->lfUnderline, 0);
    EXPECT_EQ(lf->lfStrikeOut, 1);
    EXPECT_TRUE(changed("Font"));

    ctl->clearChangedProperties();
    ctl->Font(font);  // the same object: nothing
    EXPECT_EQ(ctl->fontHandle(), second);
    EXPECT_TRUE(ctl->changedProperties().empty());

    // A Chinese face name is cut on a character boundary of the code page.
    ctl->Font(forms::newFont("宋体宋体宋体宋体宋体宋体宋体宋体宋体", 9));
    EXPECT_EQ(std::string(fontDescription(ctl->fontHandle())->lfFaceName).size(), 30u);

    ctl.reset();
    EXPECT_EQ(liveFontCount(), 0u);
}

TEST_F(HotKeyControl, SetApplicationHotKeyReportsEachRefusal) {
    load();
    ctl->HotKey('Q');
    ctl->HotKeyModifier(HOTKEYF_CONTROL | HOTKEYF_ALT);
    ctl->SetApplicationHotKey(form);
    EXPECT_EQ(SendMessage(form, WM_GETHOTKEY, 0, 0), 0x0651);

    const HWND other = CreateWindowEx(0, "#32770", "Other", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0);
    struct Case {
        HWND target;
        int32_t value;
        long number;
        const char* text;
    } cases[] = {
        {other, 0x0651, ucHotKey::kErrInvalidWindow, "Hot key previously assigned"},
        {ctl->hotKeyWindow(), 0x0651, ucHotKey::kErrInvalidWindow, "Invalid window for Hot key"},
        {0x4242, 0x0651, ucHotKey::kErrInvalidWindow, "Invalid window for Hot key"},
        {other, VK_ESCAPE, ucHotKey::kErrInvalidHotKey, "Invalid Hot key"},
    };
    for (const auto& c : cases) {
        SendMessage(ctl->hotKeyWindow(), HKM_SETHOTKEY, static_cast<WPARAM>(c.value), 0);
        try {
            ctl->SetApplicationHotKey(c.target);
            ADD_FAILURE() << c.text;
        } catch (const forms::RuntimeError& e) {
            EXPECT_EQ(e.Number, c.number) << c.text;
            EXPECT_EQ(e.Description, c.text);
            EXPECT_EQ(e.Source, "Pennant.cHotKey");
        }
    }
    EXPECT_EQ(static_cast<uint32_t>(ucHotKey::kErrSetFailed), 0x80040443u);
}

TEST_F(HotKeyControl, SavedPropertiesRoundTripIntoANewControl) {
    load();
    ctl->HotKey(VK_F9);
    ctl->HotKeyModifier(HOTKEYF_SHIFT | HOTKEYF_CONTROL);
    ctl->Font(forms::newFont("Tahoma", 9));
    forms::PropertyBag bag;
    ctl->UserControl_WriteProperties(bag);
    EXPECT_EQ(bag.ReadProperty("HotKey").toLong(), VK_F9);
    EXPECT_EQ(bag.ReadProperty("hotkeymodifier").toLong(), 3);

    ucHotKey again(form);
    again.UserControl_ReadProperties(bag);
    EXPECT_EQ(again.HotKeyAndModifier(), 0x0300 | VK_F9);
    EXPECT_EQ(again.Font()->Name, "Tahoma");
    EXPECT_NE(again.Font(), ctl->Font());  // a copy, not the same object
}

TEST_F(HotKeyControl, NewControlTakesTheAmbientFontFocusAndSize) {
    auto font = forms::newFont("Tahoma", 8);
    ctl->ambient.Font = font;
    ctl->UserControl_InitProperties();
    EXPECT_EQ(ctl->Font(), font);
    ASSERT_NE(ctl->hotKeyWindow(), 0);
    // The ambient font was set before the box existed: it reaches it only with the next set.
    EXPECT_EQ(SendMessage(ctl->hotKeyWindow(), WM_GETFONT, 0, 0), 0);
    EXPECT_EQ(ctl->HotKeyAndModifier(), 0);

    ctl->Move(0, 0, 3000, 450);
    RECT r;
    GetClientRect(ctl->hotKeyWindow(), &r);
    EXPECT_EQ(r, (RECT{0, 0, 200, 30}));

    SetFocus(form);
    SetFocus(ctl->hWnd());
    EXPECT_EQ(GetFocus(), ctl->hotKeyWindow());
}
