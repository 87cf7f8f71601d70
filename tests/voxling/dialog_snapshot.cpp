// What a person sees of the voice's properties dialog, the pinyin strip and the notice window.
#include "VoxlingTestSupport.h"

#include "platform/desktop/Dialog.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Paint.h"
#include "speech-engine/EngineDialog.h"
#include "support/Snapshot.h"

using namespace win;
using namespace voxtest;

namespace {
const std::string kWords = "kind silent\nunits U+4E00-U+4E0F\nphrase 中国 pinyin=zhong1,guo2\n";
}

TEST_F(VoxlingTest, SnapshotOfTheSettingsDialogAndThePinyinStrip) {
    install(kWords);
    WNDCLASS wc;
    wc.lpszClassName = "TallisVoiceShowByOstrel";
    ASSERT_TRUE(RegisterClass(wc));
    const HWND owner = CreateWindowEx(0, "#32770", "Pennant", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 360, 140, 0);
    CreateWindowEx(0, "TallisVoiceShowByOstrel", "", WS_CHILD | WS_VISIBLE, 10, 10, 320, 70, owner, 7);
    SetForegroundWindow(owner);
    auto engine = boundEngine();
    RecordingSite site;
    FragmentChain frags({{SPVA_Speak, u"中国"}});
    ASSERT_EQ(speak(engine.get(), frags, site), S_OK);
    m->runFor(10);

    queueModalScript([&](HWND dlg) {
        RECT link;
        GetWindowRect(GetDlgItem(dlg, voxling::dlg::WebLink), &link);
        mouseMove(link.left + 20, (link.top + link.bottom) / 2);  // the hand over the link
        EXPECT_FALSE(testing_support::writeSnapshot("voxling_settings_basic").empty());
        const HWND tree = GetDlgItem(dlg, voxling::dlg::Tree);
        userSelectTreeItem(tree, treeItems(tree)[4].item);
        const HWND word = FindWindowEx(dlg, 0, "#32770", "IDD_ENGINEUI_WORDSET_CN");
        SetWindowText(GetDlgItem(word, voxling::dlg::WordEdit), "中国");
        SendMessage(GetDlgItem(word, voxling::dlg::Search), BM_CLICK, 0, 0);
        DoEvents();
        EXPECT_FALSE(testing_support::writeSnapshot("voxling_settings_word").empty());
        SendMessage(GetDlgItem(dlg, voxling::dlg::Cancel), BM_CLICK, 0, 0);
    });
    ASSERT_EQ(token()->DisplayUI(owner, u"", SPDUI_EngineProperties, nullptr, 0, nullptr), S_OK);
    EXPECT_EQ(queuedModalScripts(), 0u);
}

// The damaged-library notice shows its class's small icon in its caption.
TEST_F(VoxlingTest, SnapshotOfTheDamagedLibraryNotice) {
    install(kWords);
    {
        auto bytes = m->readFile(kVoiceFolder + "\\VoiceDef.dat");
        ASSERT_TRUE(bytes);
        std::string b = *bytes;
        b[0] = 3;
        ASSERT_TRUE(m->writeFileAtomic(kVoiceFolder + "\\VoiceDef.dat", b));
    }
    const HWND owner = CreateWindowEx(0, "#32770", "Pennant", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 360, 140, 0);
    SetForegroundWindow(owner);
    queueModalScript([&](HWND notice) {
        const auto shot = testing_support::takeSnapshot("voxling_damaged_notice");
        ASSERT_TRUE(shot);
        RECT r;
        GetWindowRect(notice, &r);
        const RECT f = frameOf(static_cast<DWORD>(GetWindowLong(notice, GWL_STYLE)), 0);
        const int iconLeft = r.left + f.left + 3, iconTop = r.top + f.bottom + (f.top - f.bottom - 16) / 2;
        EXPECT_EQ(shot->at(iconLeft + 14, iconTop + 3), 0x961428u);  // the icon's crimson tile
        SendMessage(GetDlgItem(notice, 1), BM_CLICK, 0, 0);
    });
    HRESULT hr = S_OK;
    boundEngine(&hr);
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_EQ(queuedModalScripts(), 0u);
}
