#include "TestServer.h"

#include "platform/com/ComBase.h"
#include "platform/com/RegistryAccess.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace win;
using testing_support::TestMachine;
namespace ra = com::regaccess;

TEST(Guid, TextRoundTripAndRejects) {
    const GUID g = {0x7F5297E5, 0x0462, 0x4730, {0x86, 0xA9, 0x07, 0x6A, 0x57, 0xC0, 0x5C, 0x17}};
    EXPECT_EQ(com::guidToString(g), "{7F5297E5-0462-4730-86A9-076A57C05C17}");
    ASSERT_TRUE(com::parseGuid("{7f5297e5-0462-4730-86a9-076a57c05c17}"));
    EXPECT_EQ(*com::parseGuid("{7f5297e5-0462-4730-86a9-076a57c05c17}"), g);
    EXPECT_EQ(*com::parseGuid(com::guidToString16(g)), g);

    for (const char* bad : {"7F5297E5-0462-4730-86A9-076A57C05C17", "{7F5297E5-0462-4730-86A9-076A57C05C1}",
                            "{7F5297E5-0462-4730-86A9-076A57C05C1G}", "{7F5297E5+0462-4730-86A9-076A57C05C17}",
                            "{7F5297E5-0462-4730-86A9-076A57C05C17", ""}) {
        EXPECT_FALSE(com::parseGuid(bad)) << bad;
    }

    char16_t buf[39];
    EXPECT_EQ(StringFromGUID2(g, buf, 38), 0);
    EXPECT_EQ(StringFromGUID2(g, buf, 39), 39);
    CLSID back{};
    EXPECT_EQ(CLSIDFromString(buf, &back), S_OK);
    EXPECT_EQ(back, g);
    EXPECT_EQ(CLSIDFromString(u"Sapi.SpVoice", &back), CO_E_CLASSSTRING);
}

TEST(RegistryAccess, KeysAndValuesWithoutRegardToCase) {
    TestMachine m;
    ASSERT_TRUE(ra::setString(*m, ra::Hive::LocalMachine, "Software\\Voices\\Tokens\\A", "CLSID", "{x}"));
    ra::setDword(*m, ra::Hive::LocalMachine, "SOFTWARE\\voices\\tokens\\A", "Style", 7);
    ra::createKey(*m, ra::Hive::LocalMachine, "Software\\Voices\\Tokens\\B\\Attributes");

    EXPECT_EQ(ra::getString(*m, ra::Hive::LocalMachine, "software\\VOICES\\tokens\\a", "clsid"), "{x}");
    EXPECT_EQ(ra::getDword(*m, ra::Hive::LocalMachine, "Software\\Voices\\Tokens\\A", "STYLE"), 7u);
    EXPECT_FALSE(ra::getString(*m, ra::Hive::LocalMachine, "Software\\Voices\\Tokens\\A", "Style"));
    EXPECT_FALSE(ra::getString(*m, ra::Hive::CurrentUser, "Software\\Voices\\Tokens\\A", "CLSID"));
    EXPECT_EQ(ra::subKeys(*m, ra::Hive::LocalMachine, "Software\\Voices\\Tokens"),
              (std::vector<std::string>{"A", "B"}));

    EXPECT_TRUE(ra::deleteTree(*m, ra::Hive::LocalMachine, "Software\\Voices\\Tokens\\b"));
    EXPECT_FALSE(ra::keyExists(*m, ra::Hive::LocalMachine, "Software\\Voices\\Tokens\\B\\Attributes"));
    EXPECT_TRUE(ra::keyExists(*m, ra::Hive::LocalMachine, "Software\\Voices\\Tokens\\A"));

    auto split = ra::splitRootedPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\X");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->first, ra::Hive::LocalMachine);
    EXPECT_EQ(split->second, "SOFTWARE\\X");
    EXPECT_FALSE(ra::splitRootedPath("HKEY_NOWHERE\\X"));
}

// The test server, registered by its own DllRegisterServer on a fresh machine.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(com::registerServer(*m, COM_TEST_SERVER), S_OK); }
    TestMachine m;
};

TEST_F(ServerTest, RegistrationWritesTheClassKeys) {
    const std::string key = "CLSID\\" + com::guidToString(CLSID_TestAdder);
    EXPECT_EQ(ra::getString(*m, ra::Hive::ClassesRoot, key + "\\InprocServer32", ""),
              std::filesystem::canonical(COM_TEST_SERVER).string());
    EXPECT_EQ(ra::getString(*m, ra::Hive::ClassesRoot, key + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(ra::getString(*m, ra::Hive::ClassesRoot, "ComTest.Adder.1\\CLSID", ""), com::guidToString(CLSID_TestAdder));
    EXPECT_EQ(ra::getString(*m, ra::Hive::ClassesRoot, "ComTest.Adder\\CurVer", ""), "ComTest.Adder.1");
}

TEST_F(ServerTest, CreatesByProgIdAndClsidThroughTheLoadedLibrary) {
    for (const char* name : {"ComTest.Adder", "comtest.adder.1", "{5D1E0C12-2B4A-4F0E-9A61-112233445566}"}) {
        HRESULT hr = E_FAIL;
        auto adder = com::createObject<ITestAdder>(*m, name, IID_ITestAdder, &hr);
        ASSERT_EQ(hr, S_OK) << name;
        int32_t sum = 0;
        EXPECT_EQ(adder->Add(40, 2, &sum), S_OK);
        EXPECT_EQ(sum, 42);
    }

    com::ComPtr<ITestAdder> viaWin;
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"ComTest.Adder", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_ITestAdder, viaWin.putVoid()), S_OK);
    com::ComPtr<IUnknown> wrong;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IClassFactory, wrong.putVoid()), E_NOINTERFACE);
    EXPECT_FALSE(wrong);
}

TEST_F(ServerTest, LibraryActsOnTheMachineItWasAttachedTo) {
    // The library reads the registry through its own copy of the platform: it must reach this
    // machine's store, and task memory it allocates is freed here.
    ra::setString(*m, ra::Hive::CurrentUser, "Software\\ComTest", "Greeting", "你好");
    auto adder = com::createObject<ITestAdder>(*m, "ComTest.Adder", IID_ITestAdder);
    ASSERT_TRUE(adder);
    LPWSTR value = nullptr;
    ASSERT_EQ(adder->ReadSetting(u"greeting", &value), S_OK);
    EXPECT_EQ(std::u16string(value), u"你好");
    CoTaskMemFree(value);

    // A second machine: the same loaded library is attached to it on creation.
    TestMachine other;
    ASSERT_EQ(com::registerServer(*other, COM_TEST_SERVER), S_OK);
    ra::setString(*other, ra::Hive::CurrentUser, "Software\\ComTest", "Greeting", "other");
    auto second = com::createObject<ITestAdder>(*other, "ComTest.Adder", IID_ITestAdder);
    ASSERT_TRUE(second);
    ASSERT_EQ(second->ReadSetting(u"Greeting", &value), S_OK);
    EXPECT_EQ(std::u16string(value), u"other");
    CoTaskMemFree(value);
}

TEST_F(ServerTest, UnregisterRemovesTheClass) {
    ASSERT_EQ(com::unregisterServer(*m, COM_TEST_SERVER), S_OK);
    com::ComPtr<IUnknown> p;
    EXPECT_EQ(com::createObject(*m, "ComTest.Adder", IID_IUnknown, p.putVoid()), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(com::createInstance(*m, CLSID_TestAdder, IID_IUnknown, p.putVoid()), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(ra::keyExists(*m, ra::Hive::ClassesRoot, "CLSID\\" + com::guidToString(CLSID_TestAdder)));
}

TEST(ComCreation, FailuresAreReported) {
    TestMachine m;
    const GUID clsid = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
    const std::string key = "CLSID\\" + com::guidToString(clsid) + "\\InprocServer32";
    std::ofstream(m->hostPath("C:\\notalib.dll")) << "not a library";
    std::filesystem::create_symlink("/bin/sh", m->hostPath("C:\\link.dll"));
    ra::setString(*m, ra::Hive::ClassesRoot, "Bad.Clsid\\CLSID", "", "{nonsense}");

    struct Case {
        const char* name;
        const char* serverPath;  // null: no InprocServer32
        HRESULT expect;
    };
    const Case cases[] = {
        {"Nobody.Here", nullptr, REGDB_E_CLASSNOTREG},
        {"{not-a-guid}", nullptr, CO_E_CLASSSTRING},
        {"", nullptr, CO_E_CLASSSTRING},
        {"Bad.Clsid", nullptr, REGDB_E_READREGDB},
        {"{11111111-2222-3333-0102-030405060708}", nullptr, REGDB_E_CLASSNOTREG},
        {"{11111111-2222-3333-0102-030405060708}", "C:\\Missing\\server.dll", CO_E_DLLNOTFOUND},
        {"{11111111-2222-3333-0102-030405060708}", "C:\\notalib.dll", CO_E_ERRORINDLL},
        // Libraries from outside the machine and the build are never loaded.
        {"{11111111-2222-3333-0102-030405060708}", "/bin/sh", E_ACCESSDENIED},
        {"{11111111-2222-3333-0102-030405060708}", "C:\\link.dll", E_ACCESSDENIED},
    };
    for (const auto& c : cases) {
        ra::deleteTree(*m, ra::Hive::ClassesRoot, "CLSID\\" + com::guidToString(clsid));
        if (c.serverPath) ra::setString(*m, ra::Hive::ClassesRoot, key, "", c.serverPath);
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(com::createObject(*m, c.name, IID_IUnknown, &p), c.expect) << c.name << " " << (c.serverPath ? c.serverPath : "");
        EXPECT_EQ(p, nullptr);
    }
    EXPECT_EQ(com::createObject(*m, "X", IID_IUnknown, nullptr), E_POINTER);
}

namespace {
class Plain final : public IUnknown, public com::RefCount {
public:
    explicit Plain(int tag) : tag(tag) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown) return *ppv = nullptr, E_NOINTERFACE;
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }
    int tag;
};
} // namespace

TEST(ComCreation, ProcessClassesComeFirstByClsidAndAfterTheRegistryByProgId) {
    TestMachine m;
    const GUID mine = {0xAAAA0001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    com::registerClassObject(*m, mine, "My.Thing", [](const GUID& iid, void** out) {
        auto* p = new Plain(1);
        HRESULT hr = p->QueryInterface(iid, out);
        p->Release();
        return hr;
    });
    com::ComPtr<IUnknown> a;
    ASSERT_EQ(CoCreateInstance(mine, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, a.putVoid()), S_OK);
    EXPECT_EQ(static_cast<Plain*>(a.get())->tag, 1);
    CLSID found{};
    ASSERT_EQ(CLSIDFromProgID(u"my.thing", &found), S_OK);
    EXPECT_EQ(found, mine);

    // A registry entry for the ProgID wins over the process's own name for it.
    ra::setString(*m, ra::Hive::ClassesRoot, "My.Thing\\CLSID", "", "{11111111-2222-3333-0102-030405060708}");
    ASSERT_EQ(CLSIDFromProgID(u"My.Thing", &found), S_OK);
    EXPECT_NE(found, mine);

    com::revokeClassObject(*m, mine);
    EXPECT_EQ(com::createInstance(*m, mine, IID_IUnknown, a.putVoid()), REGDB_E_CLASSNOTREG);
}
