#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "platform/desktop/MessageBox.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::TestMachine;

namespace {

const char* kFile = "C:\\Program Files\\Pennant\\Pennant.xml";

const char* kSmall = R"(<?xml version="1.0" encoding="UTF-8"?>
<App>
  <Settings><Timeout Checked="1"/></Settings>
  <Window Visible="1"><Float><Item Symbol="X"/></Float></Window>
  <VoiceQuote/>
  <FXCalendar><Week1/><Week2/><Week3/><Week4/><Week5/></FXCalendar>
</App>)";

struct ConfigTest : ::testing::Test {
    TestMachine m;
    cls_Config cfg;
    void load(const std::string& xml) {
        ASSERT_TRUE(m->writeFileAtomic(kFile, xml));
        cfg.XmlFile(kFile);
        ASSERT_TRUE(cfg.Initialize());
        win::clearMessageBoxes();
    }
};

} // namespace

TEST_F(ConfigTest, MissingAttributeShowsTheErrorBoxOnlyForTheAccessors) {
    load(kSmall);
    EXPECT_FALSE(cfg.isExistAttrib("Settings/Timeout", "Sound"));
    EXPECT_TRUE(win::messageBoxes().empty());

    forms::Screen.setMousePointer(forms::vbHourglass);
    win::queueMessageBoxAnswer(win::IDOK);
    EXPECT_EQ(cfg.GetNodeAttrib("Settings/Timeout", "Sound"), "");
    EXPECT_EQ(forms::Screen.MousePointer(), forms::vbDefault);  // the box puts the arrow back
    win::queueMessageBoxAnswer(win::IDOK);
    EXPECT_FALSE(cfg.SetNodeAttrib("Settings/Timeout", "Sound", "1"));
    win::queueMessageBoxAnswer(win::IDOK);
    EXPECT_EQ(cfg.GetNodeText("Settings/Nowhere"), "");

    auto boxes = win::messageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "错误:#91 - 对象变量或 With 块变量未设置");
    EXPECT_EQ(boxes[0].caption, "Pennant");
    EXPECT_EQ(boxes[0].type, 16u + 4096u + 65536u);
    EXPECT_FALSE(cfg.isExistAttrib("Settings/Timeout", "Sound"));  // the failed set created nothing

    EXPECT_TRUE(cfg.CreateAttrib("Settings/Timeout", "Sound", "0"));
    EXPECT_TRUE(cfg.CreateAttrib("Settings/Timeout", "Sound", "1"));
    EXPECT_EQ(cfg.GetNodeAttrib("Settings/Timeout", "Sound"), "1");
    EXPECT_TRUE(cfg.SetNodeAttrib("Settings/Timeout", "Sound", "0"));
    EXPECT_EQ(cfg.GetNodeAttrib("Settings/Timeout", "Sound"), "0");
}

TEST_F(ConfigTest, NodesAreFoundAtAnyDepthAndCreatedWithoutLookingFirst) {
    load(kSmall);
    EXPECT_TRUE(cfg.isExist("", "Item"));
    EXPECT_FALSE(cfg.isExist("Settings", "Item"));
    EXPECT_FALSE(cfg.isExist("", "bad name"));
    EXPECT_FALSE(cfg.CreateNode("", "1bad"));

    EXPECT_TRUE(cfg.CreateNode("Settings", "LiveUpdate"));
    EXPECT_TRUE(cfg.CreateNode("Settings", "LiveUpdate"));
    EXPECT_TRUE(cfg.CreateAttrib("Settings/LiveUpdate", "Checked", "1"));
    EXPECT_TRUE(cfg.SetNodeText("Settings/LiveUpdate", "first"));
    EXPECT_EQ(cfg.GetNodeText("Settings/LiveUpdate"), "first");
    int count = 0;
    for (auto n : cfg.document().document_element().child("Settings").children("LiveUpdate")) {
        ++count;
        (void)n;
    }
    EXPECT_EQ(count, 2);
}

TEST_F(ConfigTest, ListHelpersWriteRecordsInTheirAttributeOrder) {
    load(kSmall);
    cfg.RemoveFloat();
    cfg.AddFloat("EURUSD", 100, 200, "0", true, false, true, 1);
    auto floats = cfg.FloatList();
    ASSERT_EQ(floats.size(), 1u);
    std::string order;
    for (auto a : floats[0].attributes()) order += std::string(a.name()) + "=" + a.value() + ";";
    EXPECT_EQ(order, "Symbol=EURUSD;Left=100;Top=200;Style=0;Border=1;QuickOrder=1;Voice=0;IconEvent=1;");

    cfg.AddVoice("EURUSD", true, 10, "[别名][价格]", false, 60, "");
    EXPECT_EQ(cfg.GetNodeAttrib("VoiceQuote/EURUSD", "PIPValue"), "10");
    EXPECT_THROW(cfg.AddVoice("#US30", true, 1, "", true, 1, ""), forms::RuntimeError);

    cfg.AddFXCalendar(3, "14:30", "非农就业", "高", "");
    auto week = cfg.WeekList(3);
    ASSERT_EQ(week.size(), 1u);
    EXPECT_STREQ(week[0].attribute("Notify").value(), "0");
    EXPECT_STREQ(week[0].child_value(), "非农就业");
    cfg.RemoveAllFXCalendar();
    for (int16_t w = 1; w <= 5; ++w) EXPECT_TRUE(cfg.WeekList(w).empty());
}

TEST_F(ConfigTest, MissingListsAreMadeAnewWhenCleared) {
    for (const char* xml : {R"(<App><FXCalendar><Week1><Item/></Week1><Week3/></FXCalendar></App>)",
                            R"(<App><FXCalendar><Week2><Item/></Week2></FXCalendar></App>)",
                            R"(<App><FXCalendar/></App>)"}) {
        SCOPED_TRACE(xml);
        load(xml);
        EXPECT_NO_THROW(cfg.RemoveAllFXCalendar());
        for (int16_t w = 1; w <= 5; ++w) EXPECT_TRUE(cfg.WeekList(w).empty());
        cfg.AddFXCalendar(5, "t", "title", "1", "");
        EXPECT_EQ(cfg.WeekList(5).size(), 1u);
    }
    // The panel list, with or without its window node.
    for (const char* xml : {"<App/>", "<App><Window Visible=\"1\"/></App>"}) {
        SCOPED_TRACE(xml);
        load(xml);
        EXPECT_THROW(cfg.FloatList(), forms::RuntimeError);
        EXPECT_NO_THROW(cfg.RemoveFloat());
        cfg.AddFloat("EURUSD", 1, 2, "0", true, false, false, 0);
        cfg.AddFloatRecord({{"Symbol", "XAUUSD"}, {"Left", "junk"}});
        ASSERT_EQ(cfg.FloatList().size(), 2u);
        EXPECT_STREQ(cfg.FloatList()[1].attribute("Left").value(), "junk");
    }
    EXPECT_TRUE(win::messageBoxes().empty());
}

// A file in UTF-16 is written back in UTF-16 under a label that says so, and reads back the same.
TEST_F(ConfigTest, EncodingOfTheFileIsKeptWithAMatchingLabel) {
    auto utf16 = [](const std::string& ascii) {
        std::string out = "\xFF\xFE";
        for (char c : ascii) out += c, out += '\0';
        return out;
    };
    struct Case { std::string bytes, label; bool wide; };
    const Case cases[] = {
        {utf16(R"(<?xml version="1.0" encoding="UTF-16"?><App><Settings/></App>)"), "UTF-16", true},
        {utf16(R"(<?xml version="1.0" encoding="UTF-8"?><App><Settings/></App>)"), "UTF-16", true},
        {R"(<?xml version="1.0" encoding="UTF-8"?><App><Settings/></App>)", "UTF-8", false},
    };
    for (const auto& c : cases) {
        load(c.bytes);
        ASSERT_TRUE(cfg.CreateAttrib("Settings", "Voice", "语音"));
        cfg.XMLSave();
        const std::string saved = m->readFile(kFile).value();
        EXPECT_EQ(saved.rfind("\xFF\xFE", 0) == 0, c.wide);
        std::string narrow;
        for (size_t i = c.wide ? 2 : 0; i < saved.size(); i += c.wide ? 2 : 1) narrow += saved[i];
        EXPECT_NE(narrow.find("encoding=\"" + c.label + "\""), std::string::npos) << narrow;
        cls_Config again;
        again.XmlFile(kFile);
        ASSERT_TRUE(again.Initialize());
        EXPECT_EQ(again.GetNodeAttrib("Settings", "Voice"), "语音");
    }
}

TEST_F(ConfigTest, LoadFailuresAreReportedAndNeverOverwriteTheFile) {
    EXPECT_FALSE(cfg.Initialize());  // no file name: nothing at all
    EXPECT_TRUE(win::messageBoxes().empty());

    const std::string broken = "<App><Settings></App>";
    ASSERT_TRUE(m->writeFileAtomic(kFile, broken));
    cfg.XmlFile(kFile);
    win::queueMessageBoxAnswer(win::IDOK);
    EXPECT_FALSE(cfg.Initialize());
    EXPECT_TRUE(cfg.Error());
    EXPECT_FALSE(cfg.OK());
    ASSERT_EQ(win::messageBoxes().size(), 1u);
    EXPECT_EQ(win::messageBoxes()[0].type, 16u);
    cfg.XMLSave();
    EXPECT_EQ(m->readFile(kFile).value(), broken);
}

TEST_F(ConfigTest, SaveWritesAtomicallyAndReportsFailure) {
    load(kSmall);
    ASSERT_TRUE(cfg.CreateAttrib("Settings/Timeout", "Voice", "语音"));
    cfg.XMLSave();
    cls_Config again;
    again.XmlFile(kFile);
    ASSERT_TRUE(again.Initialize());
    EXPECT_EQ(again.GetNodeAttrib("Settings/Timeout", "Voice"), "语音");

    // A save that cannot be written leaves the file as it was and says so: the temporary
    // file's name is taken by a folder.
    const std::string before = m->readFile(kFile).value();
    auto blocker = m->hostPath(kFile);
    blocker += ".tmp-" + std::to_string(::getpid());
    std::filesystem::create_directory(blocker);
    ASSERT_TRUE(cfg.CreateAttrib("Settings/Timeout", "Voice", "changed"));
    EXPECT_THROW(cfg.XMLSave(), forms::RuntimeError);
    EXPECT_EQ(m->readFile(kFile).value(), before);
    std::filesystem::remove(blocker);

    // No file name: nothing is written and nothing raised.
    const auto listing = m->listDir("C:\\Program Files\\Pennant");
    cls_Config none;
    EXPECT_NO_THROW(none.XMLSave());
    EXPECT_EQ(m->listDir("C:\\Program Files\\Pennant"), listing);
}

// Temporary files of saves cut short by a kill go at the next load; a running writer's stay.
TEST_F(ConfigTest, LoadRemovesTemporariesOfKilledSaves) {
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    auto tmp = [&](const std::string& suffix) {
        auto p = m->hostPath(kFile);
        p += suffix;
        return p;
    };
    const std::string cases[][2] = {
        {".tmp-" + std::to_string(dead), "gone"},
        {".tmp-" + std::to_string(dead) + "-3", "gone"},
        {".tmp-" + std::to_string(getppid()), "kept"},
        {".tmp-" + std::to_string(getpid()), "kept"},
        {".tmp-notapid", "kept"},
        {".bak", "kept"},
    };
    ASSERT_TRUE(m->writeFileAtomic(kFile, kSmall));
    for (const auto& c : cases) std::ofstream(tmp(c[0])) << "<App";
    cfg.XmlFile(kFile);
    ASSERT_TRUE(cfg.Initialize());
    for (const auto& c : cases) EXPECT_EQ(std::filesystem::exists(tmp(c[0])), c[1] == "kept") << c[0];
}

// The settings file as it ships: everything the program reads without creating it first is there.
TEST(ShippedSettings, EveryAttributeTheProgramReadsIsPresent) {
    TestMachine m;
    std::ifstream in(std::string(PENNANT_SOURCE_DIR) + "/core/Pennant.xml", std::ios::binary);
    std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(xml.empty());
    ASSERT_TRUE(m->writeFileAtomic(kFile, xml));
    cls_Config cfg;
    cfg.XmlFile(kFile);
    ASSERT_TRUE(cfg.Initialize());

    const std::pair<const char*, std::vector<const char*>> reads[] = {
        {"Settings/Startup/RunMT4", {"Checked", "MT4File"}},
        {"Settings/Startup/HideMT4", {"Checked"}},
        {"Settings/SysTaskIcon/LeftClickEvent", {"Selected"}},
        {"Settings/Timeout", {"Checked", "Interval", "Sound", "SoundFile", "Voice"}},
        {"Settings/FXNews", {"Include", "Exclude"}},
        {"Settings/FXNews/Popup", {"Checked"}},
        {"Settings/FXNews/Popup/Duration", {"Checked", "SelValue"}},
        {"Settings/FXNews/Popup/DetectFSApp", {"Checked"}},
        {"Settings/FXNews/Source/FX168_1", {"Checked"}},
        {"Settings/FXNews/Source/DailyFX_1", {"Checked"}},
        {"Settings/FXNews/Source/CaiXun_1", {"Checked"}},
        {"Settings/LiveUpdate", {"Checked"}},
        {"Settings/Brisk", {"WarnChecked", "Strategy", "Vip", "Notice", "Sound", "SoundFile", "Voice"}},
        {"Settings/VoiceClock", {"Checked", "Clock0", "Clock15", "Clock30", "Clock45"}},
        {"Settings/HotKey", {"NoAlertErr"}},
        {"Window", {"Visible", "Left", "Top", "DoubleClick", "TopMost"}},
        {"Window/FXQuote", {"Status", "Style", "AutoHide", "Left", "Top", "Width", "Height"}},
        {"Window/Terminal", {"Status", "Left", "Top", "Width", "Height"}},
        {"Window/FXNews", {"Status", "Left", "Top", "Width", "Height"}},
        {"Window/FXNews_Content", {"Left", "Top", "Width", "Height", "PopupStyle"}},
        {"VoiceQuote", {"defPIP", "defPIPValue", "defPIPFormat", "defInterval", "defIntervalValue", "defIntervalFormat"}},
        {"QuickOrder", {"defConfirm", "defSL", "defTP", "defVolume"}},
        {"FXCalendar", {"Update", "DateFrom", "NotifyTime"}},
    };
    for (const auto& [path, attrs] : reads)
        for (const char* a : attrs) EXPECT_TRUE(cfg.isExistAttrib(path, a)) << path << " " << a;
    for (const char* key : {"MT4", "Terminal", "Quote", "News", "Float", "Settings", "Exit"})
        EXPECT_TRUE(cfg.isExist("Settings/HotKey", key)) << key;
    for (int16_t w = 1; w <= 5; ++w) EXPECT_NO_THROW(cfg.WeekList(w));
    EXPECT_EQ(cfg.FloatList().size(), 2u);
    EXPECT_EQ(cfg.GetNodeText("Settings/HotKey/MT4"), "Mod(3)Key(77)HotKey(Ctrl+Alt+M)");
    EXPECT_TRUE(win::messageBoxes().empty());
}

// Stored numbers read the runtime's way, but none raises: beyond a Double's reach is the end of the
// range on its side (a tiny one is 0), and the reader's range holds every result.
TEST(SettingNumbers, NeverRaiseAndHoldToTheirRange) {
    struct Case { const char* text; double number; std::optional<int32_t> whole; };
    const std::vector<Case> cases = {
        {"1e400", DBL_MAX, std::nullopt},
        {"-1e400", -DBL_MAX, std::nullopt},
        {" - 1 D 400", -DBL_MAX, std::nullopt},
        {"1e-400", 0, 0},
        {"&H1FFFFFFFF", DBL_MAX, std::nullopt},
        {"abc", 0, 0},
        {"", 0, 0},
        {"12px", 12, 12},
        {"2.5", 2.5, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(settingNumber(c.text), c.number);
        EXPECT_EQ(settingFlag(c.text), c.number != 0);
        EXPECT_EQ(wholeNumber(c.text, -100, 100), c.whole);
    }
    EXPECT_EQ(settingNumber("1e400", 0, 1440), 1440);
    EXPECT_EQ(settingNumber("-7", 0, 1440), 0);
    EXPECT_EQ(settingInteger<int16_t>("1e400"), INT16_MAX);
    EXPECT_EQ(settingInteger<int32_t>("-1e400"), INT32_MIN);
    EXPECT_EQ(settingInteger<int32_t>("2.5"), 2);  // halves to even
    EXPECT_EQ(wholeNumber("7", 0, 6), std::nullopt);
}
