#include "toolkit/cRegistry.h"

#include "platform/forms/RuntimeError.h"
#include "platform/system/CodePage.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

using namespace win;
using testing_support::TestMachine;
using V = cRegistry::Variant;

namespace {

const std::string kChinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
constexpr long kErrSetValue = static_cast<int32_t>(0x800469A9u);

// The raw value as a Windows-style reader sees it.
std::pair<DWORD, std::string> rawA(HKEY root, const std::string& path, const std::string& name) {
    HKEY h = 0;
    if (RegOpenKeyExA(root, sys::toAnsi(path).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return {0, "<no key>"};
    DWORD type = 0, size = 0;
    std::string data;
    if (RegQueryValueExA(h, sys::toAnsi(name).c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size);
        RegQueryValueExA(h, sys::toAnsi(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    } else {
        data = "<no value>";
    }
    RegCloseKey(h);
    return {type, data};
}

void setRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes) {
    HKEY h = 0;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

template <class Fn>
forms::RuntimeError raised(Fn fn) {
    try {
        fn();
    } catch (const forms::RuntimeError& e) {
        return e;
    }
    ADD_FAILURE() << "no run-time error";
    return forms::RuntimeError(0, "");
}

cRegistry at(HKEY root, const std::string& section, const std::string& name, int32_t type = 0) {
    cRegistry r;
    r.ClassKey(root);
    r.SectionKey(section);
    r.ValueKey(name);
    r.ValueType(type);
    return r;
}

} // namespace

TEST(cRegistry, MissingValuesReadAsDefault) {
    TestMachine m;
    cRegistry r = at(HKEY_CURRENT_USER, "Software\\Nothing", "X");
    EXPECT_EQ(r.Value(), V(int16_t(-1)));
    EXPECT_EQ(r.ValueType(), 0);
    r.Default(std::string("none"));
    EXPECT_EQ(r.Value(), V(std::string("none")));
    setRaw(HKEY_CURRENT_USER, "Software\\Nothing", "Other", REG_SZ, "x");
    EXPECT_EQ(r.Value(), V(std::string("none")));  // key there, value not
    cRegistry fresh;                                 // no root at all
    EXPECT_EQ(fresh.Value(), V(int16_t(-1)));
    EXPECT_FALSE(fresh.KeyExists());
}

TEST(cRegistry, WritesAndReadsBackByType) {
    TestMachine m;
    struct Case {
        const char* name;
        int32_t type;
        V written;
        DWORD storedType;
        // As an ANSI reader sees them: text is written without its terminator, which the registry adds.
        std::string storedBytes;
        V read;
    };
    const std::string gbk = sys::toAnsi(kChinese);
    const Case cases[] = {
        {"Text", REG_SZ, std::string("hello"), REG_SZ, std::string("hello\0", 6), std::string("hello")},
        {"Chinese", REG_SZ, kChinese, REG_SZ, gbk + '\0', kChinese},
        {"Number", REG_SZ, int32_t(42), REG_SZ, std::string("42\0", 3), std::string("42")},
        {"OnePercent", REG_SZ, std::string("50%"), REG_SZ, std::string("50%\0", 4), std::string("50%")},
        {"Adjacent", REG_EXPAND_SZ, std::string("a%%b"), REG_SZ, std::string("a%%b\0", 5), std::string("a%%b")},
        {"Reference", REG_SZ, std::string("%WINDIR%\\x"), REG_EXPAND_SZ, std::string("%WINDIR%\\x\0", 11),
         std::string("C:\\WINDOWS\\x")},
        {"Unknown", REG_SZ, std::string("%NOPE%x"), REG_EXPAND_SZ, std::string("%NOPE%x\0", 8), std::string("%NOPE%x")},
        {"Long", REG_DWORD, int32_t(0x01020304), REG_DWORD, std::string("\x04\x03\x02\x01", 4), int32_t(0x01020304)},
        {"Integer", REG_DWORD, int16_t(-1), REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4), int32_t(-1)},
        {"BigEndian", REG_DWORD_BIG_ENDIAN, int32_t(7), REG_DWORD, std::string("\x07\0\0\0", 4), int32_t(7)},
        {"Bytes", REG_BINARY, std::vector<uint8_t>{0, 0xFF, 3}, REG_BINARY, std::string("\0\xFF\x03", 3),
         std::vector<uint8_t>{0, 0xFF, 3}},
    };
    for (const auto& c : cases) {
        cRegistry w = at(HKEY_CURRENT_USER, "Software\\Pennant\\T", c.name, c.type);
        w.Value(c.written);
        EXPECT_EQ(w.ValueType(), c.type) << c.name;  // the written type does not change the property
        EXPECT_EQ(rawA(HKEY_CURRENT_USER, "Software\\Pennant\\T", c.name),
                  (std::pair<DWORD, std::string>{c.storedType, c.storedBytes}))
            << c.name;
        cRegistry r = at(HKEY_CURRENT_USER, "Software\\Pennant\\T", c.name);
        EXPECT_EQ(r.Value(), c.read) << c.name;
        EXPECT_EQ(r.ValueType(), static_cast<int32_t>(c.storedType)) << c.name;
    }
}

TEST(cRegistry, ReadsOtherTypes) {
    TestMachine m;
    setRaw(HKEY_LOCAL_MACHINE, "S", "Multi", REG_MULTI_SZ, std::string("first\0second\0\0", 14));
    setRaw(HKEY_LOCAL_MACHINE, "S", "Big", REG_DWORD_BIG_ENDIAN, std::string("\x01\x02\x03\x04", 4));
    setRaw(HKEY_LOCAL_MACHINE, "S", "None", REG_NONE, std::string("\x09", 1));
    setRaw(HKEY_LOCAL_MACHINE, "S", "Link", REG_LINK, "ab");
    setRaw(HKEY_LOCAL_MACHINE, "S", "Q", REG_QWORD, std::string(8, '\x01'));
    EXPECT_EQ(at(HKEY_LOCAL_MACHINE, "S", "multi").Value(), V(std::string("first")));
    EXPECT_EQ(at(HKEY_LOCAL_MACHINE, "S", "Big").Value(), V(int32_t(0x01020304)));
    EXPECT_EQ(at(HKEY_LOCAL_MACHINE, "S", "None").Value(), V(std::vector<uint8_t>{9}));
    EXPECT_EQ(at(HKEY_LOCAL_MACHINE, "S", "Link").Value(), V(std::vector<uint8_t>{'a', 'b'}));
    EXPECT_EQ(at(HKEY_LOCAL_MACHINE, "S", "Q").Value(), V(std::vector<uint8_t>(8, 1)));
}

TEST(cRegistry, WriteRulesAndFailures) {
    TestMachine m;
    // A type found by a read is the type of the next write.
    setRaw(HKEY_CURRENT_USER, "W", "N", REG_DWORD, std::string("\x05\0\0\0", 4));
    cRegistry r = at(HKEY_CURRENT_USER, "W", "N");
    EXPECT_EQ(r.Value(), V(int32_t(5)));
    r.Value(int32_t(6));
    EXPECT_EQ(rawA(HKEY_CURRENT_USER, "W", "N").second, std::string("\x06\0\0\0", 4));

    // Anything but an integer under REG_DWORD writes nothing and says so.
    for (const V& v : {V(std::string("123")), V(1.5), V(true)})
        EXPECT_EQ(raised([&] { r.Value(v); }).Number, kErrSetValue);
    EXPECT_EQ(rawA(HKEY_CURRENT_USER, "W", "N").second, std::string("\x06\0\0\0", 4));

    cRegistry bin = at(HKEY_CURRENT_USER, "W", "B", REG_BINARY);
    auto e = raised([&] { bin.Value(std::string("text")); });
    EXPECT_EQ(e.Number, 26001);
    EXPECT_EQ(e.Source, "Pennant.cRegistry");
    EXPECT_EQ(rawA(HKEY_CURRENT_USER, "W", "B").second, "<no value>");

    cRegistry odd = at(HKEY_CURRENT_USER, "W", "O", 9);
    e = raised([&] { odd.Value(std::string("x")); });
    EXPECT_EQ(e.Number, kErrSetValue);
    EXPECT_EQ(e.Description, "Failed to set registry value Key: '-2147483647',Section: 'W',Key: 'O' to value: 'x'");

    cRegistry noRoot = at(0, "W", "O", REG_SZ);
    e = raised([&] { noRoot.Value(int32_t(3)); });
    EXPECT_EQ(e.Number, 26001);
    EXPECT_EQ(e.Description, "Failed to set registry value Key: '0',Section: 'W',Key: 'O' to value: '3'");
}

TEST(cRegistry, ValueExSetsThePropertiesAndWritesTheDefaultForEmptyText) {
    TestMachine m;
    cRegistry r;
    r.ValueEx(HKEY_CURRENT_USER, "Software\\Pennant", "Skin", REG_SZ, std::string("Blue"), std::string(""));
    EXPECT_EQ(rawA(HKEY_CURRENT_USER, "Software\\Pennant", "Skin").second, std::string("Blue\0", 5));
    r.ValueEx(HKEY_CURRENT_USER, "Software\\Pennant", "Skin", REG_SZ, std::string("Blue"), std::string("Red"));
    EXPECT_EQ(r.ValueEx(HKEY_CURRENT_USER, "Software\\Pennant", "skin", REG_SZ, int16_t(0)), V(std::string("Red")));
    EXPECT_EQ(r.ValueEx(HKEY_CURRENT_USER, "Software\\Pennant", "Gone", REG_SZ, int16_t(0)), V(int16_t(0)));
    EXPECT_EQ(r.ClassKey(), HKEY_CURRENT_USER);
    EXPECT_EQ(r.SectionKey(), "Software\\Pennant");
    EXPECT_EQ(r.ValueKey(), "Gone");
}

TEST(cRegistry, RemoteMachineIsNeverReached) {
    TestMachine m;
    struct Case {
        const char* in;
        const char* stored;
    };
    const Case cases[] = {{"", ""}, {"ab", ""}, {"abc", "\\\\abc"}, {"\\\\srv", "\\\\srv"}, {"\\xy", "\\\\\\xy"}};
    for (const auto& c : cases) {
        cRegistry r;
        r.Machine(c.in);
        EXPECT_EQ(r.Machine(), c.stored) << c.in;
    }
    setRaw(HKEY_LOCAL_MACHINE, "S", "V", REG_SZ, "local");
    cRegistry r = at(HKEY_LOCAL_MACHINE, "S", "V", REG_SZ);
    r.Machine("server");
    EXPECT_EQ(r.Value(), V(int16_t(-1)));
    r.Value(std::string("changed"));  // nothing written, nothing raised
    EXPECT_EQ(rawA(HKEY_LOCAL_MACHINE, "S", "V").second, std::string("local\0", 6));
}

TEST(cRegistry, KeysAndValuesCreatedAndDeleted) {
    TestMachine m;
    cRegistry r = at(HKEY_CURRENT_USER, "Software\\Pennant\\Sub", "V");
    EXPECT_FALSE(r.KeyExists());
    EXPECT_TRUE(r.CreateKey());
    EXPECT_TRUE(r.KeyExists());

    auto e = raised([&] { r.DeleteValue(); });
    EXPECT_EQ(e.Number, 26001);
    EXPECT_EQ(e.Description,
              "Failed to delete registry Key: '-2147483647',Section: 'Software\\Pennant\\Sub',Key: 'V");
    r.ValueType(REG_SZ);
    r.Value(std::string("x"));
    EXPECT_TRUE(r.DeleteValue());

    cRegistry parent = at(HKEY_CURRENT_USER, "Software\\Pennant", "");
    e = raised([&] { parent.DeleteKey(); });  // it still has a sub-key
    EXPECT_EQ(e.Number, 26001);
    EXPECT_EQ(e.Description, "Failed to delete registry Key: '-2147483647',Section: 'Software\\Pennant");
    EXPECT_TRUE(r.DeleteKey());
    EXPECT_FALSE(r.KeyExists());
    EXPECT_TRUE(parent.DeleteKey());

    e = raised([&] { r.DeleteValue(); });
    EXPECT_EQ(e.Description,
              "Failed to open key '-2147483647',Section: 'Software\\Pennant\\Sub' for delete access");
    cRegistry bad = at(HKEY_CURRENT_USER, "A\\\\B", "");
    e = raised([&] { bad.CreateKey(); });
    EXPECT_EQ(e.Number, 26001);
    EXPECT_EQ(e.Description, "Failed to create registry Key: 'A\\\\B");
}

TEST(cRegistry, EnumeratesNames) {
    TestMachine m;
    const std::string longName(255, 'k');
    for (const std::string& k : {std::string("b"), kChinese, std::string("A"), longName})
        setRaw(HKEY_CURRENT_USER, "E\\" + sys::toAnsi(k), "", REG_SZ, "");
    for (const std::string& v : {std::string("zeta"), kChinese + kChinese, std::string("Alpha")})
        setRaw(HKEY_CURRENT_USER, "E", sys::toAnsi(v), REG_SZ, "");

    cRegistry r = at(HKEY_CURRENT_USER, "E", "");
    std::vector<std::string> names{"stale"};
    int32_t count = -1;
    EXPECT_TRUE(r.EnumerateSections(names, count));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "b", longName, kChinese}));
    EXPECT_TRUE(r.EnumerateValues(names, count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(names, (std::vector<std::string>{"zeta", kChinese + kChinese, "Alpha"}));

    cRegistry none = at(HKEY_CURRENT_USER, "Nowhere", "");
    EXPECT_TRUE(none.EnumerateValues(names, count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(none.EnumerateSections(names, count));
    EXPECT_EQ(count, 0);
}

TEST(cRegistry, FileAssociations) {
    TestMachine m;
    cRegistry r;
    r.CreateEXEAssociation("  C:\\Program Files\\Pennant\\Pennant.exe\" ", "Pennant.Quote", "Pennant quote",
                           "pq", "", true, "", false, "", true, "", 2);
    const std::string path = "\"C:\\Program Files\\Pennant\\Pennant.exe\"";
    struct Case {
        std::string key, text;
    };
    const Case cases[] = {
        {".pq", "Pennant.Quote"},
        {"Pennant.Quote", "Pennant quote"},
        {"Pennant.Quote\\shell\\open", "&Open"},
        {"Pennant.Quote\\shell\\open\\command", path + " \"%1\""},
        {"Pennant.Quote\\shell\\print", "&Print"},
        {"Pennant.Quote\\shell\\print\\command", path + " /p \"%1\""},
        {"Pennant.Quote\\shell\\add", "&Install pq"},
        {"Pennant.Quote\\shell\\add\\command", path + " /a \"%1\""},
        {"Pennant.Quote\\DefaultIcon", path + ",2"},
    };
    for (const auto& c : cases) {
        const std::pair<DWORD, std::string> expected{REG_SZ, c.text + '\0'};
        EXPECT_EQ(rawA(HKEY_CLASSES_ROOT, c.key, ""), expected) << c.key;
        EXPECT_EQ(rawA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\" + c.key, ""), expected) << c.key;
    }
    EXPECT_FALSE(reg::keyExists(HKEY_CLASSES_ROOT, "Pennant.Quote\\shell\\new"));
    EXPECT_EQ(r.ClassKey(), HKEY_LOCAL_MACHINE);

    auto e = raised([&] { r.CreateAdditionalEXEAssociations("Pennant.Quote", {"edit", "&Edit"}); });
    EXPECT_EQ(e.Number, static_cast<int32_t>(0x800469ACu));
    EXPECT_EQ(e.Description,
              "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");
    e = raised([&] { r.CreateAdditionalEXEAssociations("Other.Class", {"edit", "&Edit", "x"}); });
    EXPECT_EQ(e.Number, static_cast<int32_t>(0x800469ADu));
    EXPECT_EQ(e.Description, "Error - attempt to create additional associations before class defined.");

    r.CreateAdditionalEXEAssociations("Pennant.Quote", {"edit", "&Edit", "edit.exe %1", "view", "&View", "v.exe"});
    EXPECT_EQ(rawA(HKEY_CLASSES_ROOT, "Pennant.Quote\\shell\\edit", "").second, std::string("&Edit\0", 6));
    EXPECT_EQ(rawA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\Pennant.Quote\\shell\\view\\command", "").second,
              std::string("v.exe\0", 6));
}
