// The voice's properties dialog reached through the speech service, the pinyin strip and the
// damaged-library notice window.
#include "VoxlingTestSupport.h"

#include "platform/desktop/Cursor.h"
#include "platform/desktop/Dialog.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Paint.h"
#include "platform/forms/ShellExecute.h"
#include "platform/registry/Registry.h"
#include "platform/speech/SpeechThread.h"
#include "speech-engine/EngineDialog.h"
#include "speech-engine/EngineUI.h"

#include <thread>

using namespace win;
using namespace voxtest;

namespace {

const std::string kWords = "kind silent\nunits U+4E00-U+4E0F\nphrase 中国 pinyin=zhong1,guo2\nphrase 一七\n";

class DialogTest : public VoxlingTest {
public:
    void SetUp() override {
        VoxlingTest::SetUp();
        install(kWords);
        owner = CreateWindowEx(0, "#32770", "Pennant", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, 0);
        SetForegroundWindow(owner);
    }

    // Opens the voice's properties as a user of the voice would: through its token.
    HRESULT openProperties(std::function<void(HWND)> user) {
        queueModalScript(std::move(user));
        return token()->DisplayUI(owner, u"Properties", SPDUI_EngineProperties, nullptr, 0, nullptr);
    }

    static HWND page(HWND dialog, const std::string& resource) {
        return FindWindowEx(dialog, 0, "#32770", resource.c_str());
    }
    static HWND item(HWND dialog, const std::string& resource, int id) { return GetDlgItem(page(dialog, resource), id); }
    static void click(HWND button) { SendMessage(button, BM_CLICK, 0, 0); }

    uint32_t stored(const char* name) {
        return reg::getDword(HKEY_LOCAL_MACHINE, kSettingsKey, name).value_or(0xDEADBEEF);
    }

    HWND owner = 0;
};

const std::string kBasic = "IDD_ENGINEUI_BASICSET_CN";
const std::string kNumber = "IDD_ENGINEUI_NUMBERSET_CN";
const std::string kSurname = "IDD_ENGINEUI_NAMESET_CN";
const std::string kWord = "IDD_ENGINEUI_WORDSET_CN";

std::vector<std::string> shownTexts(HWND window) {
    std::vector<std::string> out;
    for (const auto& i : paintedItems(window))
        if (i.kind == PaintedItem::Text) out.push_back(i.text);
    return out;
}

} // namespace

TEST_F(DialogTest, OkSavesEverySettingAndTheRunningEngineSpeaksWithIt) {
    auto engine = boundEngine();
    RecordingSite before;
    FragmentChain frags({{SPVA_Speak, u"一，一"}});
    ASSERT_EQ(speak(engine.get(), frags, before), S_OK);

    ASSERT_EQ(openProperties([&](HWND dlg) {
                  EXPECT_EQ(windowText(dlg), "语音参数设置");
                  EXPECT_FALSE(IsWindowEnabled(owner));
                  EXPECT_EQ(dlgItemText(dlg, voxling::dlg::VoiceTitle), "中文女声语音库 Yeva");
                  const HWND shortPause = item(dlg, kBasic, voxling::dlg::ShortCombo);
                  EXPECT_EQ(comboItems(shortPause), (std::vector<std::string>{"1000", "2000", "5000", "10000", "15000",
                                                                              "20000", "25000", "30000"}));
                  EXPECT_EQ(windowText(shortPause), "5000");
                  EXPECT_EQ(windowText(item(dlg, kBasic, voxling::dlg::LongCombo)), "20000");
                  EXPECT_EQ(comboItems(item(dlg, kBasic, voxling::dlg::StyleCombo)),
                            (std::vector<std::string>{"-3", "-2", "-1", "0", "1"}));
                  EXPECT_EQ(SendMessage(item(dlg, kNumber, voxling::dlg::Digits), BM_GETCHECK, 0, 0), BST_CHECKED);

                  userTypeIntoCombo(shortPause, "12345");
                  userTypeIntoCombo(item(dlg, kBasic, voxling::dlg::StyleCombo), "-2");
                  click(item(dlg, kBasic, voxling::dlg::ReadSentence));
                  click(item(dlg, kNumber, voxling::dlg::Money));
                  click(item(dlg, kSurname, voxling::dlg::Surname));
                  click(GetDlgItem(dlg, voxling::dlg::OK));
              }),
              S_OK);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(stored("PunctuationShort"), 12345u);
    EXPECT_EQ(stored("PunctuationLong"), 20000u);
    EXPECT_EQ(stored("VoiceStyle"), 0xFFFFFFFEu);
    EXPECT_EQ(stored("ReadPunctuation"), 0u);
    EXPECT_EQ(stored("ReadSentence"), 1u);
    EXPECT_EQ(stored("ReadNumber"), 2u);
    EXPECT_EQ(stored("FirstName"), 1u);

    // The engine already speaking takes the new values at its next Speak: it speaks as an engine
    // built after the dialog, which reads them from the registry.
    RecordingSite after, fresh;
    ASSERT_EQ(speak(engine.get(), frags, after), S_OK);
    ASSERT_EQ(speak(boundEngine().get(), frags, fresh), S_OK);
    EXPECT_GT(after.audio.size(), before.audio.size());
    EXPECT_EQ(after.audio, fresh.audio);
    EXPECT_EQ(after.writes, fresh.writes);
    EXPECT_TRUE(after.ofKind(SPEI_WORD_BOUNDARY).empty());  // ReadSentence
}

TEST_F(DialogTest, TypedValuesAreBroughtIntoRangeAndCancelChangesNothing) {
    const struct {
        const char *shortText, *longText;
        uint32_t shortStored, longStored;
    } cases[] = {
        {"-5", "4000000000", 0u, 100000u},
        {"abc", "55000", 0u, 55000u},
        {" 30000ms", "99999999999999999999", 30000u, 100000u},
    };
    for (const auto& c : cases) {
        openProperties([&](HWND dlg) {
            userTypeIntoCombo(item(dlg, kBasic, voxling::dlg::ShortCombo), c.shortText);
            userTypeIntoCombo(item(dlg, kBasic, voxling::dlg::LongCombo), c.longText);
            click(GetDlgItem(dlg, voxling::dlg::OK));
        });
        EXPECT_EQ(stored("PunctuationShort"), c.shortStored) << c.shortText;
        EXPECT_EQ(stored("PunctuationLong"), c.longStored) << c.longText;
    }
    openProperties([&](HWND dlg) {
        userTypeIntoCombo(item(dlg, kBasic, voxling::dlg::ShortCombo), "1000");
        SendMessage(dlg, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(stored("PunctuationShort"), 30000u);
    EXPECT_EQ(voxling::TypedNumber("-2147483649"), INT32_MIN);
}

// A stored number reads as the same number typed: 4,000,000,000 is large, not negative.
TEST_F(DialogTest, StoredPausesReadAsTypedOnes) {
    ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "PunctuationLong", 4000000000u));
    ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "PunctuationShort", 0xFFFFFFFFu));
    ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "VoiceStyle", 0xFFFFFFFDu));
    openProperties([&](HWND dlg) {
        EXPECT_EQ(windowText(item(dlg, kBasic, voxling::dlg::LongCombo)), "100000");
        EXPECT_EQ(windowText(item(dlg, kBasic, voxling::dlg::ShortCombo)), "100000");
        EXPECT_EQ(windowText(item(dlg, kBasic, voxling::dlg::StyleCombo)), "-3");
        click(GetDlgItem(dlg, voxling::dlg::OK));
    });
    EXPECT_EQ(stored("PunctuationLong"), 100000u);
    EXPECT_EQ(stored("VoiceStyle"), 0xFFFFFFFDu);
}

TEST_F(DialogTest, TreeFollowsTheLocaleShowsOnePageAndKeepsItsRootOpen) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"2052", {"基本信息", "基本设置", "数字设置", "姓氏设置", "词组设置"}},
        {"1033", {"Information", "Basic Setting", "Number Setting", "LastName Setting", "Word Setting"}},
        {"4100", {"基本資訊", "基本設置", "數字設置", "姓氏設置", "片語設置"}},
    };
    for (const auto& c : cases) {
        const char* const locale = c.first;
        const std::vector<std::string>& texts = c.second;
        m->setSetting("user.locale", locale);
        openProperties([&](HWND dlg) {
            const HWND tree = GetDlgItem(dlg, voxling::dlg::Tree);
            auto items = treeItems(tree);
            ASSERT_EQ(items.size(), 5u);
            for (size_t i = 0; i < 5; ++i) {
                EXPECT_EQ(items[i].text, texts[i]) << locale;
                EXPECT_EQ(items[i].depth, i ? 1 : 0);
            }
            EXPECT_TRUE(items[0].expanded);
            EXPECT_TRUE(items[1].selected);
            RECT r;
            GetWindowRect(tree, &r);
            POINT o{0, 0};
            ClientToScreen(dlg, &o);
            EXPECT_EQ((std::vector<LONG>{r.left - o.x, r.top - o.y, r.right - r.left, r.bottom - r.top}),
                      (std::vector<LONG>{18, 10, 140, 180}));

            auto visiblePages = [&] {
                std::vector<std::string> shown;
                for (HWND k = GetWindow(dlg, GW_CHILD); k; k = GetWindow(k, GW_HWNDNEXT))
                    if (className(k) == "#32770" && IsWindowVisible(k)) shown.push_back(windowText(k));
                return shown;
            };
            const std::string suffix = std::string(locale) == "2052" ? "_CN" : std::string(locale) == "1033" ? "_ENG" : "_TW";
            EXPECT_EQ(visiblePages(), std::vector<std::string>{"IDD_ENGINEUI_BASICSET" + suffix});
            userSelectTreeItem(tree, items[2].item);
            EXPECT_EQ(visiblePages(), std::vector<std::string>{"IDD_ENGINEUI_NUMBERSET" + suffix});
            userSelectTreeItem(tree, items[0].item);
            EXPECT_EQ(visiblePages(), std::vector<std::string>{"IDD_ENGINEUI_INFO" + suffix});

            userToggleTreeItem(tree, items[0].item);
            EXPECT_TRUE(treeItems(tree)[0].expanded);
            SendMessage(dlg, WM_CLOSE, 0, 0);
        });
    }
}

TEST_F(DialogTest, WordPageLooksPhrasesUpAndPaintsTheirPinyin) {
    struct Case {
        const char* typed;
        const char* found;
        const char* reading;
        std::vector<std::string> painted;
    };
    const Case cases[] = {
        {"中国", "中国", "中国", {"zhōng guó "}},
        {"中国人民银行中国人", "中国", "中国", {"zhōng guó "}},
        {"中", "还没有收录此词组", "", {}},
        {"一", "还没有收录此词组", "", {}},
        {"美元", "还没有收录此词组", "", {}},
    };
    openProperties([&](HWND dlg) {
        const HWND word = page(dlg, kWord);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(word, voxling::dlg::WordSettings)));
        for (const Case& c : cases) {
            const HWND edit = GetDlgItem(word, voxling::dlg::WordEdit);
            SetWindowText(edit, c.typed);
            click(GetDlgItem(word, voxling::dlg::Search));
            DoEvents();
            EXPECT_EQ(windowText(edit), "");
            EXPECT_EQ(dlgItemText(word, voxling::dlg::FoundText), c.found) << c.typed;
            EXPECT_EQ(dlgItemText(word, voxling::dlg::Reading), c.reading) << c.typed;
            EXPECT_EQ(shownTexts(word), c.painted) << c.typed;
        }
        SendMessage(dlg, WM_CLOSE, 0, 0);
    });
}

TEST_F(DialogTest, LinksAreBlueShowAHandAndOpenThroughTheShell) {
    m->setSetting("voxling.web", "http://localhost/web/");
    openProperties([&](HWND dlg) {
        auto pointAt = [](HWND h) {
            RECT r;
            GetWindowRect(h, &r);
            mouseMove((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        };
        for (int id : {voxling::dlg::WebLink, voxling::dlg::SupportLink}) {
            const StaticColors c = staticColors(GetDlgItem(dlg, id));
            EXPECT_EQ(c.text, RGB(0, 0, 255));
            EXPECT_TRUE(c.transparent);
            pointAt(GetDlgItem(dlg, id));
            EXPECT_EQ(GetCursor(), LoadCursor(0, IDC_HAND)) << id;
            pointAt(GetDlgItem(dlg, voxling::dlg::HelpText));
            EXPECT_EQ(GetCursor(), LoadCursor(0, IDC_ARROW)) << id;
        }
        EXPECT_TRUE(staticColors(GetDlgItem(dlg, voxling::dlg::VoiceTitle)).transparent);
        EXPECT_EQ(staticColors(GetDlgItem(dlg, voxling::dlg::VoiceTitle)).text, RGB(0, 0, 0));
        SendMessage(GetDlgItem(dlg, voxling::dlg::WebLink), WM_LBUTTONUP, 0, 0);
        SendMessage(GetDlgItem(dlg, voxling::dlg::SupportLink), WM_LBUTTONUP, 0, 0);
        SendMessage(dlg, WM_CLOSE, 0, 0);
    });
    const auto opened = shellOpened();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].operation, "open");
    EXPECT_EQ(opened[0].file, "http://localhost/web/");
    EXPECT_EQ(opened[1].file, "http://localhost/voxling/support/");
}

TEST_F(DialogTest, OnlyTheEnginePropertiesAreSupported) {
    com::ComPtr<ISpTokenUI> ui;
    ASSERT_EQ(com::createInstance(*m, kVoxlingUI, IID_ISpTokenUI, ui.putVoid()), S_OK);
    const std::pair<const char16_t*, BOOL> cases[] = {
        {SPDUI_EngineProperties, TRUE}, {u"AddRemoveWord", FALSE}, {u"UserTraining", FALSE}, {u"", FALSE}};
    for (const auto& [type, supported] : cases) {
        BOOL answer = -1;
        EXPECT_EQ(ui->IsUISupported(type, nullptr, 0, nullptr, &answer), S_OK);
        EXPECT_EQ(answer, supported);
    }
    EXPECT_EQ(ui->DisplayUI(owner, u"", u"AddRemoveWord", nullptr, 0, token().get(), nullptr), S_OK);
    EXPECT_TRUE(modalWindows().empty());
    BOOL viaToken = FALSE;
    EXPECT_EQ(token()->IsUISupported(SPDUI_EngineProperties, nullptr, 0, nullptr, &viaToken), S_OK);
    EXPECT_TRUE(viaToken);
}

TEST_F(DialogTest, DamagedLibraryRaisesItsOwnNoticeWindow) {
    {
        auto bytes = m->readFile(kVoiceFolder + "\\VoiceDef.dat");
        ASSERT_TRUE(bytes);
        std::string b = *bytes;
        b[0] = 3;
        ASSERT_TRUE(m->writeFileAtomic(kVoiceFolder + "\\VoiceDef.dat", b));
    }
    queueModalScript([&](HWND notice) {
        EXPECT_EQ(className(notice), voxling::kNoticeClass);
        EXPECT_EQ(windowText(notice), "重新安装");
        EXPECT_EQ(GetWindow(notice, GW_OWNER), owner);
        EXPECT_FALSE(IsWindowEnabled(owner));
        const auto big = iconImage(static_cast<HICON>(GetClassLong(notice, GCL_HICON)));
        const auto small = iconImage(static_cast<HICON>(GetClassLong(notice, GCL_HICONSM)));
        ASSERT_TRUE(big && small);
        EXPECT_EQ(std::make_pair(big->width, big->height), std::make_pair(32, 32));
        EXPECT_EQ(std::make_pair(small->width, small->height), std::make_pair(16, 16));
        EXPECT_EQ(static_cast<HCURSOR>(GetClassLong(notice, GCL_HCURSOR)), LoadCursor(0, IDC_ARROW));
        RECT r;
        GetWindowRect(notice, &r);
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                  (std::vector<LONG>{(1280 - 480) / 2, (800 - 96) / 2, 480, 96}));
        const HWND text = GetWindow(notice, GW_CHILD);
        ASSERT_TRUE(text);
        const HWND button = GetDlgItem(notice, 1);
        ASSERT_TRUE(button);
        EXPECT_EQ(className(text), "Static");
        EXPECT_EQ(windowText(text), "你目前使用的中文女声语音库[Yeva]已经损坏,请重新安装后再使用,谢谢.");
        EXPECT_EQ(className(button), "Button");
        EXPECT_EQ(windowText(button), "确定");
        EXPECT_EQ(GetWindowLong(button, GWL_STYLE) & 0xF, static_cast<LONG>(BS_DEFPUSHBUTTON));
        POINT o{0, 0};
        ClientToScreen(notice, &o);
        GetWindowRect(button, &r);
        EXPECT_EQ((std::vector<LONG>{r.left - o.x, r.top - o.y, r.right - r.left, r.bottom - r.top}),
                  (std::vector<LONG>{224, 32, 64, 22}));
        click(button);
    });
    HRESULT hr = S_OK;
    boundEngine(&hr);
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_EQ(queuedModalScripts(), 0u);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(FindWindow(voxling::kNoticeClass, nullptr));
    EXPECT_TRUE(speech::speechThreadMessageBoxes(*m).empty());

    // Bound on a speech worker, the binding fails at once; the notice comes up from the pump.
    SetForegroundWindow(owner);
    auto engine = newEngine();
    com::ComPtr<ISpObjectWithToken> withToken;
    ASSERT_EQ(engine.as(IID_ISpObjectWithToken, withToken), S_OK);
    auto t = token();
    std::thread worker([&] {
        speech::SpeechThreadScope scope(*m);
        hr = withToken->SetObjectToken(t.get());
    });
    worker.join();
    EXPECT_EQ(hr, E_INVALIDARG);
    m->runUntil([] { return FindWindow(voxling::kNoticeClass, nullptr) != 0; }, 1000);
    const HWND notice = FindWindow(voxling::kNoticeClass, nullptr);
    ASSERT_TRUE(notice);
    EXPECT_FALSE(IsWindowEnabled(owner));
    click(GetDlgItem(notice, 1));
    EXPECT_FALSE(IsWindow(notice));
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(DialogTest, PinyinStripShowsTheMatchedPhraseInItsHost) {
    WNDCLASS wc;
    wc.lpszClassName = "TallisVoiceShowByOstrel";
    ASSERT_TRUE(RegisterClass(wc));
    const HWND panel = CreateWindowEx(0, "Static", "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 100, owner, 5);
    const HWND host = CreateWindowEx(0, "TallisVoiceShowByOstrel", "", WS_CHILD | WS_VISIBLE, 10, 10, 280, 60, panel, 7);
    auto engine = boundEngine();
    const HWND strip = FindWindowEx(host, 0, "Static", nullptr);
    ASSERT_TRUE(strip);
    EXPECT_EQ(GetWindowLong(strip, GWL_ID), 99997);
    RECT r;
    GetClientRect(strip, &r);
    EXPECT_EQ(r.right, 280);
    EXPECT_EQ(r.bottom, 60);

    RecordingSite site;
    FragmentChain frags({{SPVA_Speak, u"中国"}});
    ASSERT_EQ(speak(engine.get(), frags, site), S_OK);
    m->runFor(10);
    const auto items = paintedItems(strip);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].text, "中国");
    EXPECT_EQ(items[0].color, RGB(128, 0, 0));
    EXPECT_EQ(items[0].fontWeight, FW_BOLD);
    EXPECT_EQ(items[0].fontHeight, 17);
    EXPECT_EQ(items[1].text, "zhōng guó ");
    EXPECT_EQ(items[1].font, "Kingsoft Phonetic Plain");
    EXPECT_EQ(items[1].color, RGB(128, 0, 128));
    EXPECT_EQ(items[2].text, "中国");
    EXPECT_EQ(items[2].rect.top, 40);

    engine = {};
    EXPECT_FALSE(IsWindow(strip));
    // Without a host there is no strip, and speaking works the same.
    DestroyWindow(panel);
    auto plain = boundEngine();
    RecordingSite again;
    ASSERT_EQ(speak(plain.get(), frags, again), S_OK);
    EXPECT_EQ(again.audio.size(), site.audio.size());
}

TEST(EngineTypeLibrary, IsRegisteredWithTheClasses) {
    testing_support::TestMachine m;
    ASSERT_EQ(com::registerServer(*m, VOXLING_LIBRARY), S_OK);
    for (const char* clsid : {"{7F5297E5-0462-4730-86A9-076A57C05C17}", "{BA729B8B-A6B3-4DBC-9A0C-31F2763F5D2D}"}) {
        const auto lib = reg::getString(HKEY_CLASSES_ROOT, std::string("CLSID\\") + clsid + "\\TypeLib", "");
        ASSERT_TRUE(lib) << clsid;
        EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, "TypeLib\\" + *lib + "\\1.0", ""), "VOXLINGLib");
        EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, "TypeLib\\" + *lib + "\\1.0\\0\\win32", ""), VOXLING_LIBRARY);
    }
}
