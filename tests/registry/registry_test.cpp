#include "platform/registry/Registry.h"
#include "platform/system/CodePage.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <random>
#include <thread>
#include <csignal>
#include <chrono>

using namespace win;
using testing_support::TestMachine;
namespace fs = std::filesystem;

namespace {

const std::string kChinese = "\xE4\xB8\xAD\xE6\x96\x87\xE8\xAF\xAD\xE9\x9F\xB3";  // 中文语音 (UTF-8)

// A machine folder that outlives single machines, for reload tests.
struct RootDir {
    fs::path path;
    RootDir() {
        std::string t = (fs::temp_directory_path() / "registry-test-XXXXXX").string();
        path = mkdtemp(t.data());
    }
    ~RootDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path file() const { return path / "registry.dat"; }
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

HKEY create(HKEY root, const char* path, REGSAM sam = KEY_ALL_ACCESS) {
    HKEY h = 0;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, sam, nullptr, &h, nullptr), ERROR_SUCCESS) << path;
    return h;
}

LONG setBytes(HKEY h, const char* name, DWORD type, const std::string& bytes) {
    return RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
}

// Type and bytes of a value, read the way callers do: probe the size, then read.
std::pair<DWORD, std::string> query(HKEY h, const char* name) {
    DWORD type = 99, size = 0;
    EXPECT_EQ(RegQueryValueExA(h, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS) << name;
    std::string data(size, '\xCC');
    EXPECT_EQ(RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size),
              ERROR_SUCCESS);
    data.resize(size);
    return {type, data};
}

std::string dword(DWORD d) { return std::string(reinterpret_cast<const char*>(&d), 4); }

} // namespace

TEST(Registry, TypedValuesReadBackInAnsiForm) {
    TestMachine m;
    HKEY h = create(HKEY_CURRENT_USER, "Software\\Pennant");
    struct Case {
        const char* name;
        DWORD type;
        std::string written, read;
    };
    const Case cases[] = {
        // Text is kept byte for byte, embedded NULs too; text whose size leaves out the NUL after it
        // gets that NUL.
        {"Text", REG_SZ, "hello", std::string("hello\0", 6)},
        {"WithNul", REG_SZ, std::string("hello\0", 6), std::string("hello\0", 6)},
        {"Inner", REG_SZ, std::string("a\0b\0", 4), std::string("a\0b\0", 4)},
        {"Empty", REG_SZ, "", ""},
        {"Path", REG_EXPAND_SZ, "%TEMP%\\x", std::string("%TEMP%\\x\0", 9)},
        {"List", REG_MULTI_SZ, std::string("a\0bc\0\0", 6), std::string("a\0bc\0\0", 6)},
        {"ListNoEnd", REG_MULTI_SZ, std::string("a\0bc", 4), std::string("a\0bc\0", 5)},
        {"Bin", REG_BINARY, std::string("\x00\xFF\x10", 3), std::string("\x00\xFF\x10", 3)},
        {"Num", REG_DWORD, dword(0x12345678), dword(0x12345678)},
        {"None", REG_NONE, "", ""},
        {"Big", REG_DWORD_BIG_ENDIAN, std::string("\x01\x02\x03\x04", 4), std::string("\x01\x02\x03\x04", 4)},
    };
    for (const auto& c : cases) ASSERT_EQ(setBytes(h, c.name, c.type, c.written), ERROR_SUCCESS) << c.name;
    for (const auto& c : cases) {
        auto [type, data] = query(h, c.name);
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(data, c.read) << c.name;
    }
    // Overwriting changes the type as well.
    ASSERT_EQ(setBytes(h, "Num", REG_SZ, "7"), ERROR_SUCCESS);
    EXPECT_EQ(query(h, "Num").first, REG_SZ);
    EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

TEST(Registry, TextGetsItsTerminatorAndReadsBackInBothForms) {
    TestMachine m;
    HKEY h = create(HKEY_CURRENT_USER, "Software\\Pennant");
    auto queryW = [&](const char16_t* name) {
        DWORD type = 0, size = 0;
        EXPECT_EQ(RegQueryValueExW(h, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        std::string data(size, '\xCC');
        EXPECT_EQ(RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size),
                  ERROR_SUCCESS);
        return data.substr(0, size);
    };
    auto utf16 = [](const std::string& ascii) {
        std::string b;
        for (char c : ascii) b += std::string{c, '\0'};
        return b;
    };
    const std::string fifteen = "fifteen letters";
    struct Case {
        const char16_t* name;
        bool wideForm;  // written through the "W" form, else the "A" form
        DWORD type;
        std::string written, wide, ansi;  // bytes as written, as the "W" and the "A" form read them
        std::string after = std::string(2, '\0');  // the caller's bytes past the size given
    };
    const Case cases[] = {
        {u"Plain", true, REG_SZ, utf16("ab"), utf16(std::string("ab\0", 3)), std::string("ab\0", 3)},
        {u"Ended", true, REG_SZ, utf16(std::string("ab\0", 3)), utf16(std::string("ab\0", 3)), std::string("ab\0", 3)},
        {u"Odd", true, REG_SZ, std::string("a\0b", 3), std::string("a\0b", 3), "a"},  // the odd byte is no character
        {u"List", true, REG_MULTI_SZ, utf16(std::string("a\0b\0\0", 5)), utf16(std::string("a\0b\0\0", 5)),
         std::string("a\0b\0\0", 5)},
        {u"Expand", true, REG_EXPAND_SZ, utf16("%T%"), utf16(std::string("%T%\0", 4)), std::string("%T%\0", 4)},
        {u"FifteenA", false, REG_SZ, fifteen, utf16(fifteen + '\0'), fifteen + '\0'},
        {u"FifteenW", true, REG_SZ, utf16(fifteen), utf16(fifteen + '\0'), fifteen + '\0'},
        // Only a terminator right after the size given is counted; otherwise the text stays unended.
        {u"NineOfTenA", false, REG_SZ, "FullStrin", utf16("FullStrin"), "FullStrin", "g"},
        {u"NineOfTenW", true, REG_SZ, utf16("FullStrin"), utf16("FullStrin"), "FullStrin", utf16("g")},
        {u"HalfANulW", true, REG_SZ, utf16("ab"), utf16("ab"), "ab", std::string("\0x", 2)},
        {u"ExpandA", false, REG_EXPAND_SZ, "%T%", utf16("%T%"), "%T%", "x"},
        {u"ListA", false, REG_MULTI_SZ, std::string("a\0bc", 4), utf16(std::string("a\0bc", 4)),
         std::string("a\0bc", 4), "z"},
        {u"ListW", true, REG_MULTI_SZ, utf16(std::string("a\0b", 3)), utf16(std::string("a\0b\0", 4)),
         std::string("a\0b\0", 4)},
        {u"ListEndedW", true, REG_MULTI_SZ, utf16(std::string("a\0", 2)), utf16(std::string("a\0", 2)),
         std::string("a\0", 2)},  // a list's second NUL is never made up
    };
    for (const auto& c : cases) {
        const std::string given = c.written + c.after;
        const auto* bytes = reinterpret_cast<const BYTE*>(given.data());
        const auto size = static_cast<DWORD>(c.written.size());
        const std::string name = sys::fromUtf16(c.name);
        ASSERT_EQ(c.wideForm ? RegSetValueExW(h, c.name, 0, c.type, bytes, size)
                             : RegSetValueExA(h, name.c_str(), 0, c.type, bytes, size),
                  ERROR_SUCCESS)
            << name;
        EXPECT_EQ(queryW(c.name), c.wide) << name;
        EXPECT_EQ(query(h, name.c_str()).second, c.ansi) << name;
    }

    // Read with room to spare, the "A" form ends text that still has no terminator; the size stays.
    struct Room {
        DWORD given;
        char after;  // the byte after the text
    };
    for (const Room r : {Room{1, '\xCC'}, Room{2, '\0'}, Room{10, '\0'}}) {
        char buf[16];
        std::memset(buf, 0xCC, sizeof buf);
        DWORD size = r.given;
        EXPECT_EQ(RegQueryValueExA(h, "Odd", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
        EXPECT_EQ(size, 1u);
        EXPECT_EQ(buf[1], r.after) << r.given;
        EXPECT_EQ(buf[2], '\xCC');
    }
    // The "W" form gives the bytes stored and nothing more.
    char16_t wbuf[8];
    std::memset(wbuf, 0xCC, sizeof wbuf);
    DWORD size = sizeof wbuf;
    ASSERT_EQ(RegQueryValueExW(h, u"Plain", nullptr, nullptr, reinterpret_cast<BYTE*>(wbuf), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(wbuf[3], u'\xCCCC');
    RegCloseKey(h);
}

TEST(Registry, NamesWithoutRegardToCaseAndTheDefaultValue) {
    TestMachine m;
    HKEY h = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\Product");
    ASSERT_EQ(setBytes(h, "InstallPath", REG_SZ, "C:\\P"), ERROR_SUCCESS);
    ASSERT_EQ(setBytes(h, "INSTALLPATH", REG_SZ, "C:\\Q"), ERROR_SUCCESS);
    ASSERT_EQ(setBytes(h, nullptr, REG_SZ, "default"), ERROR_SUCCESS);
    RegCloseKey(h);

    HKEY k = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\MAKER\\product\\", 0, KEY_READ, &k), ERROR_SUCCESS);
    EXPECT_EQ(query(k, "installpath").second, std::string("C:\\Q\0", 5));
    EXPECT_EQ(query(k, "").second, std::string("default\0", 8));
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u);
    // The first spelling of a name is kept.
    char name[32];
    DWORD cch = sizeof name;
    ASSERT_EQ(RegEnumValueA(k, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "InstallPath");
    RegCloseKey(k);

    EXPECT_EQ(reg::getString(HKEY_LOCAL_MACHINE, "Software\\Maker\\Product", ""), "default");
    EXPECT_EQ(reg::subKeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\maker"), std::vector<std::string>{"Product"});
}

TEST(Registry, OpenCreateAndPathErrors) {
    TestMachine m;
    HKEY h = 0;
    DWORD disp = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, &disp),
              ERROR_SUCCESS);
    EXPECT_EQ(disp, REG_CREATED_NEW_KEY);
    RegCloseKey(h);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "a\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, &disp),
              ERROR_SUCCESS);
    EXPECT_EQ(disp, REG_OPENED_EXISTING_KEY);
    HKEY c = 0;
    EXPECT_EQ(RegOpenKeyA(h, "c", &c), ERROR_SUCCESS);
    HKEY same = 0;
    EXPECT_EQ(RegOpenKeyA(h, "", &same), ERROR_SUCCESS);
    EXPECT_EQ(same, h);
    EXPECT_EQ(RegCreateKeyA(c, "D", &same), ERROR_SUCCESS);
    EXPECT_TRUE(reg::keyExists(HKEY_CURRENT_USER, "A\\B\\C\\D"));

    struct Case {
        HKEY root;
        const char* path;
        LONG expected;
    };
    const Case cases[] = {
        {HKEY_CURRENT_USER, "A\\Missing", ERROR_FILE_NOT_FOUND},
        {HKEY_CURRENT_USER, "\\A", ERROR_BAD_PATHNAME},
        {HKEY_CURRENT_USER, "A\\\\B", ERROR_BAD_PATHNAME},
        {HKEY_LOCAL_MACHINE, "A", ERROR_FILE_NOT_FOUND},  // hives are apart
        {0x1234, "A", ERROR_INVALID_HANDLE},
        {0x80000005, "A", ERROR_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        HKEY out = 0;
        EXPECT_EQ(RegOpenKeyExA(c.root, c.path, 0, KEY_READ, &out), c.expected) << c.path;
    }
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(256, 'x')).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &h, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(0x1234), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    HKEY remote = 0;
    EXPECT_EQ(RegConnectRegistryA("\\\\server", HKEY_LOCAL_MACHINE, &remote), ERROR_BAD_NETPATH);
}

TEST(Registry, SizeProbeAndTooSmallBuffers) {
    TestMachine m;
    HKEY h = create(HKEY_CURRENT_USER, "Software\\Pennant");
    ASSERT_EQ(setBytes(h, "Text", REG_SZ, "abcdef"), ERROR_SUCCESS);
    ASSERT_EQ(setBytes(h, "Num", REG_DWORD, dword(5)), ERROR_SUCCESS);
    const auto* full = reinterpret_cast<const BYTE*>("FullString");
    ASSERT_EQ(RegSetValueExA(h, "Nine", 0, REG_SZ, full, 9), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, "Ten", 0, REG_SZ, full, 10), ERROR_SUCCESS);

    struct Case {
        const char* name;
        bool withBuffer;
        DWORD given;
        LONG result;
        DWORD sizeAfter;
        BYTE past = 0xCC;  // the buffer's byte after the data, where the call succeeds with one
    };
    const Case cases[] = {
        {"Text", false, 0, ERROR_SUCCESS, 7},  // set without its terminator, stored with it
        {"Text", true, 6, ERROR_MORE_DATA, 7},  // room for the text as it was set is too little
        {"Text", true, 7, ERROR_SUCCESS, 7},    {"Text", true, 5, ERROR_MORE_DATA, 7},
        {"Text", true, 100, ERROR_SUCCESS, 7},  {"Num", true, 3, ERROR_MORE_DATA, 4},
        {"Num", true, 4, ERROR_SUCCESS, 4},     {"Missing", false, 99, ERROR_FILE_NOT_FOUND, 0},
        {"Missing", true, 99, ERROR_FILE_NOT_FOUND, 99},  // the size given is left
        // Set with 9 bytes of "FullString": stored so, unended; room to spare gets a NUL, not counted.
        {"Nine", false, 0, ERROR_SUCCESS, 9},   {"Nine", true, 8, ERROR_MORE_DATA, 9},
        {"Nine", true, 9, ERROR_SUCCESS, 9},    {"Nine", true, 10, ERROR_SUCCESS, 9, 0},
        // Set with 10 bytes, the NUL after them counted as well.
        {"Ten", false, 0, ERROR_SUCCESS, 11},   {"Ten", true, 10, ERROR_MORE_DATA, 11},
        {"Ten", true, 11, ERROR_SUCCESS, 11},
    };
    for (const auto& c : cases) {
        BYTE buf[100];
        std::memset(buf, 0xCC, sizeof buf);
        DWORD size = c.given, type = 77;
        const std::string what = c.name + (" " + std::to_string(c.given));
        EXPECT_EQ(RegQueryValueExA(h, c.name, nullptr, &type, c.withBuffer ? buf : nullptr, &size), c.result) << what;
        EXPECT_EQ(size, c.sizeAfter) << what;
        EXPECT_EQ(type, c.result == ERROR_FILE_NOT_FOUND ? 77u : std::string(c.name) == "Num" ? REG_DWORD : REG_SZ)
            << what;
        if (c.result == ERROR_MORE_DATA) {
            EXPECT_EQ(buf[0], 0xCC) << "a short buffer is left as it was";
        }
        if (c.result == ERROR_SUCCESS && c.withBuffer) {
            EXPECT_EQ(buf[c.sizeAfter], c.past) << what;
        }
    }
    BYTE buf[8];
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, buf, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(RegSetValueExA(h, "X", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(RegSetValueExW(h, u"X", 0, REG_SZ, nullptr, 2), ERROR_NOACCESS);
    EXPECT_EQ(RegSetValueExA(h, "X", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(query(h, "X").second, "");
    RegCloseKey(h);
}

TEST(Registry, ChineseTextRoundTripsInGbkAndUtf16) {
    TestMachine m;
    const std::string gbk = sys::toAnsi(kChinese, 936);
    ASSERT_EQ(gbk.size(), 8u);
    HKEY h = create(HKEY_CURRENT_USER, ("Software\\" + gbk).c_str());
    ASSERT_EQ(setBytes(h, gbk.c_str(), REG_SZ, gbk), ERROR_SUCCESS);  // no terminator given
    auto [type, data] = query(h, gbk.c_str());
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(data, gbk + '\0');

    // The same value through the UTF-8 accessor and the wide form.
    EXPECT_EQ(reg::getString(HKEY_CURRENT_USER, "Software\\" + kChinese, kChinese), kChinese);
    const std::u16string wide = sys::toUtf16(kChinese);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(h, wide.c_str(), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, (wide.size() + 1) * 2);
    std::u16string back(size / 2, u'\0');
    ASSERT_EQ(RegQueryValueExW(h, wide.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(back.data()), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(back, wide + u'\0');

    // Written wide, read as ANSI bytes.
    const std::u16string w2 = u"\u8BED\u97F3";
    ASSERT_EQ(RegSetValueExW(h, u"Wide", 0, REG_SZ, reinterpret_cast<const BYTE*>(w2.c_str()),
                             static_cast<DWORD>((w2.size() + 1) * 2)),
              ERROR_SUCCESS);
    EXPECT_EQ(query(h, "wide").second, sys::toAnsi(sys::fromUtf16(w2), 936) + '\0');

    // Both forms count alike: names in UTF-16 characters (4, where GBK takes 8 bytes), data in the
    // bytes stored (UTF-16 for text).
    RegCloseKey(create(h, gbk.c_str()));
    ASSERT_EQ(setBytes(h, "T", REG_SZ, gbk + '\0'), ERROR_SUCCESS);  // 9 bytes in GBK, 10 stored
    for (bool wideForm : {false, true}) {
        DWORD subKeys = 0, maxKey = 0, values = 0, maxName = 0, maxData = 0;
        const LONG r = wideForm ? RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subKeys, &maxKey, nullptr, &values,
                                                   &maxName, &maxData, nullptr, nullptr)
                                : RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &subKeys, &maxKey, nullptr, &values,
                                                   &maxName, &maxData, nullptr, nullptr);
        ASSERT_EQ(r, ERROR_SUCCESS);
        EXPECT_EQ(subKeys, 1u);
        EXPECT_EQ(maxKey, 4u) << wideForm;
        EXPECT_EQ(values, 3u);
        EXPECT_EQ(maxName, 4u) << wideForm;
        EXPECT_EQ(maxData, 10u) << wideForm;
    }
    RegCloseKey(h);
}

TEST(Registry, DeleteRefusesKeysWithSubKeys) {
    TestMachine m;
    RegCloseKey(create(HKEY_CURRENT_USER, "Top\\Mid\\Leaf"));
    HKEY mid = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Top\\Mid", 0, KEY_ALL_ACCESS, &mid), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Top"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Top\\Mid"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Top\\Nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(mid, "LEAF"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "top\\mid"), ERROR_SUCCESS);
    EXPECT_TRUE(reg::keyExists(HKEY_CURRENT_USER, "Top"));
    EXPECT_FALSE(reg::keyExists(HKEY_CURRENT_USER, "Top\\Mid"));

    // A handle to a deleted key fails, but can still be closed.
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(mid, "", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(mid), ERROR_SUCCESS);

    // Values.
    HKEY top = create(HKEY_CURRENT_USER, "Top");
    setBytes(top, "V", REG_SZ, "x");
    EXPECT_EQ(RegDeleteValueA(top, "v"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(top, "v"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(top);

    // The accessor removes whole trees.
    RegCloseKey(create(HKEY_CURRENT_USER, "Tree\\A\\B"));
    EXPECT_TRUE(reg::deleteTree(HKEY_CURRENT_USER, "tree"));
    EXPECT_FALSE(reg::keyExists(HKEY_CURRENT_USER, "Tree"));
    EXPECT_FALSE(reg::deleteTree(HKEY_CURRENT_USER, "Tree"));
}

TEST(Registry, EnumerationOrderAndEnd) {
    TestMachine m;
    HKEY h = create(HKEY_CURRENT_USER, "E");
    for (const char* k : {"beta", "Alpha", "gamma", "ALPHA2"}) RegCloseKey(create(h, k));
    for (const char* v : {"z", "a", "M"}) setBytes(h, v, REG_DWORD, dword(1));

    std::vector<std::string> keys;
    char name[64];
    for (DWORD i = 0;; ++i) {
        LONG r = RegEnumKeyA(h, i, name, sizeof name);
        if (r == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(r, ERROR_SUCCESS);
        keys.push_back(name);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}));
    EXPECT_EQ(reg::valueNames(HKEY_CURRENT_USER, "E"), (std::vector<std::string>{"z", "a", "M"}));

    DWORD cch = 5;  // "Alpha" needs 6 with its NUL
    EXPECT_EQ(RegEnumKeyExA(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    cch = 6;
    FILETIME ft{};
    EXPECT_EQ(RegEnumKeyExA(h, 0, name, &cch, nullptr, nullptr, nullptr, &ft), ERROR_SUCCESS);
    EXPECT_EQ(cch, 5u);
    EXPECT_NE(ft.dwHighDateTime, 0u);

    DWORD type = 0, data = 0, cb = 2;
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(h, 1, name, &cch, nullptr, &type, reinterpret_cast<BYTE*>(&data), &cb),
              ERROR_MORE_DATA);
    EXPECT_EQ(cb, 4u);
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(h, 1, name, &cch, nullptr, &type, reinterpret_cast<BYTE*>(&data), &cb), ERROR_SUCCESS);
    EXPECT_STREQ(name, "a");
    EXPECT_EQ(data, 1u);
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(h, 3, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    DWORD subKeys = 0, values = 0, maxKey = 0, maxName = 0;
    ASSERT_EQ(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &subKeys, &maxKey, nullptr, &values, &maxName, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 4u);
    EXPECT_EQ(maxKey, 6u);
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(maxName, 1u);
    RegCloseKey(h);
}

TEST(Registry, HandlesKeepTheirAccessRights) {
    TestMachine m;
    RegCloseKey(create(HKEY_CURRENT_USER, "R"));
    reg::setDword(HKEY_CURRENT_USER, "R", "N", 3);
    HKEY ro = 0, wo = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "R", 0, KEY_READ, &ro), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "R", 0, KEY_SET_VALUE, &wo), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(ro, "N", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(setBytes(ro, "N", REG_DWORD, dword(4)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(ro, "N"), ERROR_ACCESS_DENIED);
    // Making a sub-key does not ask the parent handle for rights.
    HKEY sub = 0;
    EXPECT_EQ(RegCreateKeyExA(ro, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_SUCCESS);
    RegCloseKey(sub);
    EXPECT_EQ(RegQueryValueExA(wo, "N", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(setBytes(wo, "N", REG_DWORD, dword(4)), ERROR_SUCCESS);
    EXPECT_EQ(reg::getDword(HKEY_CURRENT_USER, "R", "n"), 4u);
    RegCloseKey(ro);
    RegCloseKey(wo);
    EXPECT_EQ(RegCloseKey(ro), ERROR_INVALID_HANDLE);
}

TEST(Registry, HandlesBelongToTheirMachine) {
    TestMachine a;
    HKEY h = create(HKEY_CURRENT_USER, "Only\\Here");
    {
        TestMachine b;
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExA(h, "", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(reg::keyExists(HKEY_CURRENT_USER, "Only"));
    }
    sys::MachineScope back(a.get());
    EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

TEST(RegistryFile, PersistsAcrossMachines) {
    RootDir root;
    const std::string gbk = sys::toAnsi(kChinese, 936);
    {
        TestMachine m(sys::MachineOptions{.root = root.path});
        HKEY h = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Voices\\Tokens\\Voice1");
        setBytes(h, nullptr, REG_SZ, gbk);
        setBytes(h, "List", REG_MULTI_SZ, std::string("x\0y\0\0", 5));
        setBytes(h, "Bin", REG_BINARY, std::string("\x00\x01\xFE", 3));
        setBytes(h, "Expand", REG_EXPAND_SZ, std::string("%windir%\0", 9));
        setBytes(h, "Inner", REG_SZ, std::string("a\0b", 3));
        reg::setDword(HKEY_CURRENT_USER, "Software\\Pennant", "Count", 42);
        RegCloseKey(h);
        ASSERT_TRUE(fs::exists(root.file()));
    }
    TestMachine m(sys::MachineOptions{.root = root.path});
    HKEY h = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\voices\\tokens\\VOICE1", 0, KEY_READ, &h), ERROR_SUCCESS);
    EXPECT_EQ(query(h, nullptr).second, gbk + '\0');
    EXPECT_EQ(query(h, "List").second, std::string("x\0y\0\0", 5));
    EXPECT_EQ(query(h, "Bin").second, std::string("\x00\x01\xFE", 3));
    EXPECT_EQ(query(h, "Expand"), (std::pair<DWORD, std::string>{REG_EXPAND_SZ, std::string("%windir%\0", 9)}));
    EXPECT_EQ(query(h, "Inner").second, std::string("a\0b\0", 4));
    EXPECT_EQ(reg::valueNames(HKEY_LOCAL_MACHINE, "SOFTWARE\\Voices\\Tokens\\Voice1"),
              (std::vector<std::string>{"", "List", "Bin", "Expand", "Inner"}));
    EXPECT_EQ(reg::getDword(HKEY_CURRENT_USER, "Software\\Pennant", "Count"), 42u);
    RegCloseKey(h);
}

TEST(RegistryFile, WriteCutShortLeavesTheOldFile) {
    RootDir root;
    {
        TestMachine m(sys::MachineOptions{.root = root.path});
        ASSERT_TRUE(reg::setString(HKEY_CURRENT_USER, "Software\\Pennant", "Kept", "old"));
        ASSERT_TRUE(reg::createKey(HKEY_CURRENT_USER, "Software\\Pennant\\Stays"));
    }
    const std::string before = slurp(root.file());
    auto tmpOf = [&](pid_t pid) {
        fs::path tmp = root.file();
        tmp += ".tmp-" + std::to_string(pid);
        return tmp;
    };
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    const pid_t alive = getppid();

    // A crash during an earlier write left half a temporary file; a running writer's is its own.
    std::ofstream(tmpOf(dead)) << "{\"format\":\"pennant-reg";
    std::ofstream(tmpOf(alive)) << "{\"format\":\"pennant-reg";
    {
        TestMachine m(sys::MachineOptions{.root = root.path});
        EXPECT_EQ(reg::getString(HKEY_CURRENT_USER, "Software\\Pennant", "Kept"), "old");
        EXPECT_EQ(reg::databaseError(), "");
    }
    EXPECT_FALSE(fs::exists(tmpOf(dead)));
    EXPECT_TRUE(fs::exists(tmpOf(alive)));
    fs::remove(tmpOf(alive));
    const fs::path tmp = tmpOf(getpid());

    // A write that fails changes neither the file nor what the machine reads.
    fs::create_directories(tmp / "blocker");
    {
        TestMachine m(sys::MachineOptions{.root = root.path});
        HKEY h = 0;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Pennant", 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
        EXPECT_EQ(setBytes(h, "Kept", REG_SZ, "new"), ERROR_CANTWRITE);
        EXPECT_EQ(setBytes(h, "Added", REG_SZ, "new"), ERROR_CANTWRITE);
        HKEY sub = 0;
        EXPECT_EQ(RegCreateKeyExA(h, "A\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_CANTWRITE);
        // A delete that could not be written leaves the key, and handles to it, as they were.
        HKEY stays = 0;
        ASSERT_EQ(RegOpenKeyExA(h, "Stays", 0, KEY_ALL_ACCESS, &stays), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteKeyA(h, "Stays"), ERROR_CANTWRITE);
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExA(stays, "None", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
        EXPECT_TRUE(reg::keyExists(HKEY_CURRENT_USER, "Software\\Pennant\\Stays"));
        RegCloseKey(stays);
        EXPECT_NE(reg::databaseError().find("could not be written"), std::string::npos);
        EXPECT_EQ(reg::getString(HKEY_CURRENT_USER, "Software\\Pennant", "Kept"), "old");
        EXPECT_EQ(reg::getString(HKEY_CURRENT_USER, "Software\\Pennant", "Added"), std::nullopt);
        EXPECT_FALSE(reg::keyExists(HKEY_CURRENT_USER, "Software\\Pennant\\A"));
        EXPECT_EQ(slurp(root.file()), before);

        fs::remove_all(tmp);
        EXPECT_EQ(setBytes(h, "Added", REG_SZ, "new"), ERROR_SUCCESS);
        EXPECT_EQ(reg::databaseError(), "");
        RegCloseKey(h);
    }
    TestMachine m(sys::MachineOptions{.root = root.path});
    EXPECT_EQ(reg::getString(HKEY_CURRENT_USER, "Software\\Pennant", "Added"), "new");
}

TEST(RegistryFile, DamagedFileIsReportedAndLeftAlone) {
    const std::string damaged[] = {
        "{\"format\":\"pennant-registry\",\"version\":1,\"hives\":{",        // cut short
        "not json at all",                                                    // foreign
        "{\"format\":\"pennant-registry\",\"version\":1,\"hives\":{\"HKEY_CURRENT_USER\":"
        "{\"name\":\"HKEY_CURRENT_USER\",\"time\":0,\"values\":[{\"name\":\"x\",\"type\":3,\"hex\":\"zz\"}],"
        "\"keys\":[]}}}",                                                     // bad data
        "{\"format\":\"pennant-registry\",\"version\":1,\"hives\":{\"HKEY_CURRENT_USER\":"
        "{\"name\":\"HKEY_CURRENT_USER\",\"time\":0,\"values\":[],"
        "\"keys\":[{\"name\":\"a\\\\b\",\"time\":0,\"values\":[],\"keys\":[]}]}}}",  // bad key name
    };
    for (const auto& text : damaged) {
        RootDir root;
        std::ofstream(root.file(), std::ios::binary) << text;
        TestMachine m(sys::MachineOptions{.root = root.path});
        HKEY h = 0;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
                  ERROR_BADDB)
            << text;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &h), ERROR_BADDB);
        EXPECT_FALSE(reg::setString(HKEY_CURRENT_USER, "X", "v", "w"));
        EXPECT_NE(reg::databaseError().find("is damaged"), std::string::npos) << reg::databaseError();
        EXPECT_EQ(slurp(root.file()), text);
    }
}

TEST(Registry, ReadsWhileAnotherThreadWrites) {
    TestMachine m;
    reg::setDword(HKEY_CURRENT_USER, "Speech", "Rate", 0);
    std::thread reader([] {
        for (int i = 0; i < 200; ++i) {
            auto v = reg::getDword(HKEY_CURRENT_USER, "Speech", "Rate");
            ASSERT_TRUE(v.has_value());
            reg::subKeys(HKEY_CURRENT_USER, "Speech");
        }
    });
    for (DWORD i = 1; i <= 100; ++i) {
        reg::setDword(HKEY_CURRENT_USER, "Speech", "Rate", i);
        reg::createKey(HKEY_CURRENT_USER, "Speech\\K" + std::to_string(i));
    }
    reader.join();
    EXPECT_EQ(reg::getDword(HKEY_CURRENT_USER, "Speech", "Rate"), 100u);
    EXPECT_EQ(reg::subKeys(HKEY_CURRENT_USER, "Speech").size(), 100u);
}

TEST(Registry, EnumeratingIntoShortBuffersGivesSizesAndTypeAndLeavesTheBuffers) {
    TestMachine m;
    HKEY h = create(HKEY_CURRENT_USER, "Software\\Pennant");
    ASSERT_EQ(setBytes(h, "Test", REG_SZ, std::string("foobar\0", 7)), ERROR_SUCCESS);
    struct Case {
        const char* what;
        DWORD nameGiven, dataGiven;
        LONG result;
        DWORD nameAfter, dataAfterA, dataAfterW;
        bool nameCopiedW;  // the "W" form still gives the name when only the data does not fit
    };
    const Case cases[] = {
        {"both short", 2, 2, ERROR_MORE_DATA, 2, 7, 14, false},
        {"name short", 4, 20, ERROR_MORE_DATA, 4, 7, 14, false},
        {"no room for a name", 0, 20, ERROR_MORE_DATA, 0, 7, 14, false},
        {"data short", 20, 2, ERROR_MORE_DATA, 20, 7, 14, true},
        {"both fit", 20, 20, ERROR_SUCCESS, 4, 7, 14, true},
    };
    for (const auto& c : cases) {
        char name[32], data[32];
        std::memset(name, 'x', sizeof name);
        std::memset(data, 'x', sizeof data);
        DWORD cch = c.nameGiven, cb = c.dataGiven, type = 1234;
        EXPECT_EQ(RegEnumValueA(h, 0, name, &cch, nullptr, &type, reinterpret_cast<BYTE*>(data), &cb), c.result)
            << c.what;
        EXPECT_EQ(type, REG_SZ) << c.what;
        EXPECT_EQ(cb, c.dataAfterA) << c.what;
        EXPECT_EQ(cch, c.result == ERROR_SUCCESS ? c.nameAfter : c.nameGiven) << c.what;
        EXPECT_EQ(name[0], c.result == ERROR_SUCCESS ? 'T' : 'x') << c.what;
        EXPECT_EQ(data[0], c.result == ERROR_SUCCESS ? 'f' : 'x') << c.what;

        char16_t nameW[32], dataW[32];
        std::memset(nameW, 0x78, sizeof nameW);
        std::memset(dataW, 0x78, sizeof dataW);
        cch = c.nameGiven, cb = c.dataGiven * 2, type = 1234;
        EXPECT_EQ(RegEnumValueW(h, 0, nameW, &cch, nullptr, &type, reinterpret_cast<BYTE*>(dataW), &cb), c.result)
            << c.what;
        EXPECT_EQ(type, REG_SZ) << c.what;
        EXPECT_EQ(cb, c.dataAfterW) << c.what;
        EXPECT_EQ(cch, c.nameCopiedW ? 4u : c.nameGiven) << c.what;
        EXPECT_EQ(nameW[0], c.nameCopiedW ? u'T' : u'\x7878') << c.what;
        EXPECT_EQ(dataW[0], c.result == ERROR_SUCCESS ? u'f' : u'\x7878') << c.what;
    }

    // Text stored without its terminator fits a buffer of its own size in both forms.
    ASSERT_EQ(RegSetValueExA(h, "Nine", 0, REG_SZ, reinterpret_cast<const BYTE*>("FullString"), 9), ERROR_SUCCESS);
    char name[8], data[9];
    DWORD cch = sizeof name, cb = sizeof data;
    ASSERT_EQ(RegEnumValueA(h, 1, name, &cch, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &cb), ERROR_SUCCESS);
    EXPECT_EQ(std::string(name, cch), "Nine");
    EXPECT_EQ(std::string(data, cb), "FullStrin");
    char16_t nameW[8], dataW[9];
    cch = 8, cb = sizeof dataW;
    ASSERT_EQ(RegEnumValueW(h, 1, nameW, &cch, nullptr, nullptr, reinterpret_cast<BYTE*>(dataW), &cb), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(dataW, cb / 2), u"FullStrin");
    RegCloseKey(h);
}

TEST(Registry, OpenAndCreateSetTheirResultAsTheTargetDoes) {
    TestMachine m;
    RegCloseKey(create(HKEY_CURRENT_USER, "Software"));
    constexpr HKEY kGiven = 0x1234, kNew = 0xFFFFFFFF;  // kNew: a handle of its own, to be closed
    struct Case {
        const char* what;
        std::function<LONG(HKEY*)> call;
        LONG result;
        HKEY after;
    };
    const Case cases[] = {
        {"open of a missing key",
         [](HKEY* out) { return RegOpenKeyExA(HKEY_CURRENT_USER, "Nothing\\Here", 0, KEY_READ, out); },
         ERROR_FILE_NOT_FOUND, 0},
        {"open below a bad handle", [](HKEY* out) { return RegOpenKeyExA(0x4444, "A", 0, KEY_READ, out); },
         ERROR_INVALID_HANDLE, 0},
        {"open of a bad path", [](HKEY* out) { return RegOpenKeyExW(HKEY_CURRENT_USER, u"\\A", 0, KEY_READ, out); },
         ERROR_BAD_PATHNAME, 0},
        {"create of a bad path",
         [](HKEY* out) {
             return RegCreateKeyExA(HKEY_CURRENT_USER, "A\\\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, out, nullptr);
         },
         ERROR_BAD_PATHNAME, 0},
        {"RegOpenKey of no key and no path", [](HKEY* out) { return RegOpenKeyA(0, nullptr, out); }, ERROR_SUCCESS, 0},
        {"RegOpenKey of a path below no key", [](HKEY* out) { return RegOpenKeyA(0, "Software", out); },
         ERROR_INVALID_HANDLE, kGiven},
        {"RegOpenKeyEx of \"\" below no key", [](HKEY* out) { return RegOpenKeyExA(0, "", 0, KEY_READ, out); },
         ERROR_INVALID_HANDLE, kGiven},
        {"RegOpenKey NULL of a hive", [](HKEY* out) { return RegOpenKeyA(HKEY_CURRENT_USER, nullptr, out); },
         ERROR_SUCCESS, HKEY_CURRENT_USER},
        {"RegOpenKey \"\" of a hive", [](HKEY* out) { return RegOpenKeyA(HKEY_CURRENT_USER, "", out); },
         ERROR_SUCCESS, HKEY_CURRENT_USER},
        {"RegOpenKey without a result", [](HKEY*) { return RegOpenKeyA(HKEY_CURRENT_USER, "Software", nullptr); },
         ERROR_INVALID_PARAMETER, kGiven},
        {"RegOpenKeyEx NULL of the classes root",
         [](HKEY* out) { return RegOpenKeyExA(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, out); }, ERROR_SUCCESS,
         HKEY_CLASSES_ROOT},
        {"RegOpenKeyEx \"\" of the classes root",
         [](HKEY* out) { return RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, out); }, ERROR_SUCCESS,
         HKEY_CLASSES_ROOT},
        {"RegOpenKeyEx \"\\\" of the classes root",
         [](HKEY* out) { return RegOpenKeyExA(HKEY_CLASSES_ROOT, "\\", 0, KEY_READ, out); }, ERROR_SUCCESS, kNew},
    };
    for (const auto& c : cases) {
        HKEY out = kGiven;
        EXPECT_EQ(c.call(&out), c.result) << c.what;
        if (c.after != kNew) {
            EXPECT_EQ(out, c.after) << c.what;
            continue;
        }
        EXPECT_NE(out, kGiven) << c.what;
        EXPECT_NE(out, HKEY_CLASSES_ROOT) << c.what;
        EXPECT_EQ(RegCloseKey(out), ERROR_SUCCESS) << c.what;
    }
}

TEST(Registry, KeysKeepTheClassTheyWereCreatedWith) {
    TestMachine m;
    HKEY parent = create(HKEY_CURRENT_USER, "Classy");
    HKEY k = 0;
    DWORD disp = 0;
    ASSERT_EQ(RegCreateKeyExA(parent, "Sub", 0, "MyClass", 0, KEY_ALL_ACCESS, nullptr, &k, &disp), ERROR_SUCCESS);
    EXPECT_EQ(disp, REG_CREATED_NEW_KEY);
    RegCloseKey(k);
    // Opening it again by creating does not change the class.
    ASSERT_EQ(RegCreateKeyExW(parent, u"sub", 0, u"Other", 0, KEY_ALL_ACCESS, nullptr, &k, &disp), ERROR_SUCCESS);
    EXPECT_EQ(disp, REG_OPENED_EXISTING_KEY);

    char name[16], cls[16];
    DWORD cch = sizeof name, cchClass = sizeof cls;
    ASSERT_EQ(RegEnumKeyExA(parent, 0, name, &cch, nullptr, cls, &cchClass, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(cls, "MyClass");
    EXPECT_EQ(cchClass, 7u);
    cch = sizeof name, cchClass = 7;  // no room for the NUL
    EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &cch, nullptr, cls, &cchClass, nullptr), ERROR_MORE_DATA);

    DWORD maxClass = 0;
    ASSERT_EQ(RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, nullptr, nullptr, &maxClass, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(maxClass, 7u);
    struct Case {
        DWORD given;
        bool withBuffer;
        LONG result;
        DWORD after;
    };
    for (const Case c : {Case{16, true, ERROR_SUCCESS, 7}, Case{7, true, ERROR_MORE_DATA, 7},
                         Case{0, false, ERROR_SUCCESS, 7}}) {
        char16_t buf[16] = {};
        DWORD n = c.given;
        EXPECT_EQ(RegQueryInfoKeyW(k, c.withBuffer ? buf : nullptr, &n, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr),
                  c.result)
            << c.given;
        EXPECT_EQ(n, c.after) << c.given;
        EXPECT_EQ(std::u16string(buf), c.result == ERROR_SUCCESS && c.withBuffer ? u"MyClass" : u"") << c.given;
    }
    RegCloseKey(k);
    RegCloseKey(parent);
}

TEST(Registry, AHandleToADeletedKeyStaysDeadWhenThePathIsMadeAgain) {
    TestMachine m;
    HKEY old = create(HKEY_CURRENT_USER, "Gone\\Key");
    ASSERT_EQ(setBytes(old, "V", REG_DWORD, dword(1)), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Gone\\Key"), ERROR_SUCCESS);
    HKEY fresh = create(HKEY_CURRENT_USER, "Gone\\Key");
    ASSERT_EQ(setBytes(fresh, "V", REG_DWORD, dword(2)), ERROR_SUCCESS);

    DWORD size = 4, value = 0;
    char name[16];
    DWORD cch = sizeof name;
    HKEY sub = 0x1234;
    const std::pair<const char*, LONG> calls[] = {
        {"query", RegQueryValueExA(old, "V", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size)},
        {"set", setBytes(old, "V", REG_DWORD, dword(3))},
        {"delete value", RegDeleteValueA(old, "V")},
        {"enumerate values", RegEnumValueA(old, 0, name, &cch, nullptr, nullptr, nullptr, nullptr)},
        {"enumerate keys", RegEnumKeyA(old, 0, name, sizeof name)},
        {"info", RegQueryInfoKeyA(old, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr)},
        {"open below", RegOpenKeyExA(old, "", 0, KEY_READ, &sub)},
        {"create below", RegCreateKeyExA(old, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr)},
        {"flush", RegFlushKey(old)},
    };
    for (const auto& [what, r] : calls) EXPECT_EQ(r, ERROR_KEY_DELETED) << what;
    EXPECT_EQ(sub, 0u);
    EXPECT_EQ(reg::getDword(HKEY_CURRENT_USER, "Gone\\Key", "V"), 2u);  // the new key is untouched
    EXPECT_FALSE(reg::keyExists(HKEY_CURRENT_USER, "Gone\\Key\\Sub"));
    EXPECT_EQ(RegCloseKey(old), ERROR_SUCCESS);

    // A key's own handle deletes it when it was opened with DELETE, and only then.
    HKEY ro = 0, del = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Gone\\Key", 0, KEY_READ, &ro), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Gone\\Key", 0, DELETE, &del), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(ro, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(del, ""), ERROR_SUCCESS);
    EXPECT_FALSE(reg::keyExists(HKEY_CURRENT_USER, "Gone\\Key"));
    EXPECT_EQ(setBytes(fresh, "V", REG_DWORD, dword(4)), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);  // a hive stays
    for (HKEY h : {ro, del, fresh}) EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

TEST(Registry, RightsAreAskedOfTheHandleThatActs) {
    TestMachine m;
    reg::setDword(HKEY_CURRENT_USER, "R\\Sub", "N", 1);
    reg::setDword(HKEY_CURRENT_USER, "R", "N", 1);
    auto openWith = [](REGSAM sam) {
        HKEY h = 0;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "R", 0, sam, &h), ERROR_SUCCESS);
        return h;
    };
    struct Op {
        const char* what;
        REGSAM needs;  // 0: none of the handle's rights
        std::function<LONG(HKEY)> call;
    };
    const Op ops[] = {
        {"query value", KEY_QUERY_VALUE,
         [](HKEY h) {
             DWORD n = 0;
             return RegQueryValueExA(h, "N", nullptr, nullptr, nullptr, &n);
         }},
        {"enumerate values", KEY_QUERY_VALUE,
         [](HKEY h) {
             char n[8];
             DWORD cch = sizeof n;
             return RegEnumValueA(h, 0, n, &cch, nullptr, nullptr, nullptr, nullptr);
         }},
        {"info", KEY_QUERY_VALUE,
         [](HKEY h) {
             return RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
         }},
        {"enumerate keys", KEY_ENUMERATE_SUB_KEYS,
         [](HKEY h) {
             char n[8];
             return RegEnumKeyA(h, 0, n, sizeof n);
         }},
        {"set value", KEY_SET_VALUE, [](HKEY h) { return setBytes(h, "N", REG_DWORD, dword(2)); }},
        {"create sub-key", 0,
         [](HKEY h) {
             HKEY k = 0;
             LONG r = RegCreateKeyExA(h, "Made", 0, nullptr, 0, KEY_READ, nullptr, &k, nullptr);
             RegCloseKey(k);
             return r;
         }},
        {"open sub-key", 0,
         [](HKEY h) {
             HKEY k = 0;
             LONG r = RegOpenKeyExA(h, "Sub", 0, KEY_READ, &k);
             RegCloseKey(k);
             return r;
         }},
    };
    for (const auto& op : ops)
        for (REGSAM sam : {KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_ENUMERATE_SUB_KEYS, KEY_NOTIFY, REGSAM{0}}) {
            HKEY h = openWith(sam);
            const LONG want = (op.needs & ~sam) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
            EXPECT_EQ(op.call(h), want) << op.what << " with rights " << std::hex << sam;
            RegCloseKey(h);
        }
}

TEST(Registry, EmptySubKeysAndTrailingBackslashes) {
    TestMachine m;
    HKEY h = create(HKEY_CURRENT_USER, "Trail\\");
    EXPECT_TRUE(reg::keyExists(HKEY_CURRENT_USER, "Trail"));
    ASSERT_EQ(setBytes(h, "V", REG_DWORD, dword(5)), ERROR_SUCCESS);
    struct Case {
        const char* what;
        std::function<LONG(HKEY*)> call;
        bool sameHandle;  // the handle given comes back rather than a new one
    };
    const Case cases[] = {
        {"RegOpenKeyEx \"\"", [&](HKEY* out) { return RegOpenKeyExA(h, "", 0, KEY_READ, out); }, false},
        {"RegOpenKeyEx NULL", [&](HKEY* out) { return RegOpenKeyExA(h, nullptr, 0, KEY_READ, out); }, false},
        {"RegCreateKeyEx \"\"",
         [&](HKEY* out) { return RegCreateKeyExA(h, "", 0, nullptr, 0, KEY_READ, nullptr, out, nullptr); }, false},
        {"RegOpenKey \"\"", [&](HKEY* out) { return RegOpenKeyA(h, "", out); }, true},
        {"RegOpenKey NULL", [&](HKEY* out) { return RegOpenKeyA(h, nullptr, out); }, true},
        {"RegCreateKey \"\"", [&](HKEY* out) { return RegCreateKeyA(h, "", out); }, true},
        {"RegOpenKeyEx trailing \\", [](HKEY* out) { return RegOpenKeyExA(HKEY_CURRENT_USER, "trail\\", 0, KEY_READ, out); },
         false},
        {"RegOpenKeyEx two trailing \\",
         [](HKEY* out) { return RegOpenKeyExA(HKEY_CURRENT_USER, "trail\\\\", 0, KEY_READ, out); }, false},
        {"RegCreateKeyEx two trailing \\",
         [](HKEY* out) {
             return RegCreateKeyExA(HKEY_CURRENT_USER, "trail\\\\", 0, nullptr, 0, KEY_READ, nullptr, out, nullptr);
         },
         false},
        {"RegOpenKey two trailing \\", [](HKEY* out) { return RegOpenKeyA(HKEY_CURRENT_USER, "trail\\\\", out); },
         false},
    };
    for (const auto& c : cases) {
        HKEY out = 0;
        ASSERT_EQ(c.call(&out), ERROR_SUCCESS) << c.what;
        EXPECT_EQ(out == h, c.sameHandle) << c.what;
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExA(out, "V", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS) << c.what;
        if (!c.sameHandle) {
            EXPECT_EQ(RegCloseKey(out), ERROR_SUCCESS) << c.what;
        }
    }
    HKEY out = 0;
    EXPECT_EQ(RegCreateKeyExA(h, nullptr, 0, nullptr, 0, KEY_READ, nullptr, &out, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Trail", 0, KEY_READ, &out), ERROR_BAD_PATHNAME);
    RegCloseKey(h);
}

TEST(Registry, ClassesRootMergesTheUsersAndTheMachinesClasses) {
    TestMachine m;
    const HKEY M = HKEY_LOCAL_MACHINE, U = HKEY_CURRENT_USER, CR = HKEY_CLASSES_ROOT;
    reg::setString(M, "Software\\Classes\\.txt", "", "txtfile");
    reg::setString(M, "Software\\Classes\\.txt", "Content Type", "text/plain");
    reg::setString(U, "Software\\Classes\\.txt", "", "mine");
    reg::setString(M, "Software\\Classes\\Machine.Only", "", "machine");
    reg::setString(U, "Software\\Classes\\User.Only", "", "user");

    // Reads: the user's key where there is one, whole (no value falls through to the machine's).
    struct Read {
        const char* key;
        const char* value;
        std::optional<std::string> want;
    };
    const Read reads[] = {
        {".txt", "", "mine"},
        {".txt", "Content Type", std::nullopt},
        {"Machine.Only", "", "machine"},
        {"user.only", "", "user"},
        {"Nowhere", "", std::nullopt},
    };
    for (const auto& r : reads) EXPECT_EQ(reg::getString(CR, r.key, r.value), r.want) << r.key;
    EXPECT_EQ(reg::subKeys(CR, ""), (std::vector<std::string>{".txt", "Machine.Only", "User.Only"}));
    DWORD subKeys = 0;
    ASSERT_EQ(RegQueryInfoKeyA(CR, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 3u);

    // Writes: values go to the key read, the user's where there is one; new keys to the machine's.
    struct Write {
        const char* key;
        const char* value;
        HKEY landsIn;
    };
    const Write writes[] = {
        {".txt", "Written", U},
        {"Machine.Only", "Written", M},
        {"New.Key", "Written", M},
        {"User.Only\\Sub", "Written", M},
    };
    for (const auto& w : writes) {
        ASSERT_TRUE(reg::setString(CR, w.key, w.value, "w")) << w.key;
        const std::string path = std::string("Software\\Classes\\") + w.key;
        EXPECT_EQ(reg::getString(w.landsIn, path, w.value), "w") << w.key;
        EXPECT_EQ(reg::getString(w.landsIn == U ? M : U, path, w.value), std::nullopt) << w.key;
        EXPECT_EQ(reg::getString(CR, w.key, w.value), "w") << w.key;
    }
    EXPECT_EQ(reg::subKeys(CR, "User.Only"), std::vector<std::string>{"Sub"});

    // Deleting takes the user's key first; the machine's shows again.
    EXPECT_EQ(RegDeleteKeyA(CR, ".txt"), ERROR_SUCCESS);
    EXPECT_EQ(reg::getString(CR, ".txt", ""), "txtfile");
    EXPECT_FALSE(reg::keyExists(U, "Software\\Classes\\.txt"));
}

TEST(RegistryFile, AnOldSeparateClassesRootBecomesTheMachinesClasses) {
    RootDir root;
    std::ofstream(root.file(), std::ios::binary)
        << "{\"format\":\"pennant-registry\",\"version\":1,\"hives\":{"
           "\"HKEY_CLASSES_ROOT\":{\"name\":\"HKEY_CLASSES_ROOT\",\"time\":0,\"values\":[],\"keys\":["
           "{\"name\":\"CLSID\",\"time\":0,\"values\":[],\"keys\":[{\"name\":\"{X}\",\"time\":0,\"values\":["
           "{\"name\":\"\",\"type\":1,\"text\":\"engine\"}],\"keys\":[]}]},"
           "{\"name\":\".abc\",\"time\":0,\"values\":[{\"name\":\"\",\"type\":1,\"text\":\"old\"},"
           "{\"name\":\"Extra\",\"type\":1,\"text\":\"kept\"}],\"keys\":[]}]},"
           "\"HKEY_LOCAL_MACHINE\":{\"name\":\"HKEY_LOCAL_MACHINE\",\"time\":0,\"values\":[],\"keys\":["
           "{\"name\":\"Software\",\"time\":0,\"values\":[],\"keys\":[{\"name\":\"Classes\",\"time\":0,"
           "\"values\":[],\"keys\":[{\"name\":\".abc\",\"time\":0,\"values\":["
           "{\"name\":\"\",\"type\":1,\"text\":\"machine\"}],\"keys\":[]}]}]}]}}}";
    {
        TestMachine m(sys::MachineOptions{.root = root.path});
        EXPECT_EQ(reg::databaseError(), "");
        EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, "CLSID\\{X}", ""), "engine");
        EXPECT_EQ(reg::getString(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{x}", ""), "engine");
        EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, ".abc", ""), "machine");  // the machine's own wins
        EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, ".abc", "Extra"), "kept");
        ASSERT_TRUE(reg::setDword(HKEY_CURRENT_USER, "Software\\Pennant", "Touched", 1));
    }
    // Written back without the separate hive, and read the same.
    EXPECT_EQ(slurp(root.file()).find("HKEY_CLASSES_ROOT"), std::string::npos);
    TestMachine m(sys::MachineOptions{.root = root.path});
    EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, "CLSID\\{X}", ""), "engine");
    EXPECT_EQ(reg::subKeys(HKEY_CLASSES_ROOT, ""), (std::vector<std::string>{".abc", "CLSID"}));
}

// A writer killed at any moment leaves the registry and a settings file each whole: the old
// content or the new, never a mix, and nothing that reads as damaged.
TEST(KilledWriters, FilesAreOldOrNew) {
    RootDir root;
    const char* kSettings = "C:\\Pennant.xml";
    auto content = [](int n) { return "<App n=\"" + std::to_string(n) + "\">" + std::string(64 * 1024, 'a' + n % 26) + "</App>"; };
    {
        TestMachine m(sys::MachineOptions{.root = root.path});
        ASSERT_TRUE(m->writeFileAtomic(kSettings, content(0)));
        ASSERT_TRUE(reg::setString(HKEY_CURRENT_USER, "Software\\Pennant", "N", "0"));
    }
    std::mt19937 random(12345);
    int last = 0, lastSaved = 0;
    for (int trial = 0; trial < 100; ++trial) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TestMachine m(sys::MachineOptions{.root = root.path});
            for (int n = lastSaved + 1; n < lastSaved + 100000; ++n) {
                m->writeFileAtomic(kSettings, content(n));
                reg::setString(HKEY_CURRENT_USER, "Software\\Pennant", "N", std::to_string(n));
            }
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

        TestMachine m(sys::MachineOptions{.root = root.path});
        ASSERT_EQ(reg::databaseError(), "") << "trial " << trial;
        const auto n = reg::getString(HKEY_CURRENT_USER, "Software\\Pennant", "N");
        ASSERT_TRUE(n) << "trial " << trial;
        const int saved = std::stoi(*n);
        ASSERT_GE(saved, lastSaved);
        const auto text = m->readFile(kSettings);
        ASSERT_TRUE(text) << "trial " << trial;
        const int filed = std::stoi(text->substr(8));
        // The settings file is written first: it is as far on as the registry, or one further.
        ASSERT_TRUE(filed == saved || filed == saved + 1) << "trial " << trial;
        ASSERT_EQ(*text, content(filed)) << "trial " << trial;
        ASSERT_GE(filed, last);
        last = filed, lastSaved = saved;
    }
}
