#include "cRegistry.h"

#include "platform/forms/RuntimeError.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <cstring>
#include <sstream>

using namespace win;

namespace {

const char* const kSource = "Pennant.cRegistry";
const char* const kGenericText = "Application-defined or object-defined error";

constexpr long kErrRegistry = 26001;
constexpr long kErrSetValue = static_cast<int32_t>(0x800469A9u);
constexpr long kErrEnumerate = static_cast<int32_t>(0x800469AAu);
constexpr long kErrAssocList = static_cast<int32_t>(0x800469ACu);
constexpr long kErrAssocClass = static_cast<int32_t>(0x800469ADu);

constexpr REGSAM kFullAccess = 0x3F;

[[noreturn]] void raise(long number, const std::string& description) {
    throw forms::RuntimeError(number, description, kSource);
}

// Closes the key it holds on every way out.
struct KeyGuard {
    HKEY h = 0;
    KeyGuard() = default;
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;
    ~KeyGuard() {
        if (h) RegCloseKey(h);
    }
};

std::u16string w(const std::string& utf8) { return sys::toUtf16(utf8); }

// The variant as text, the way the forms runtime converts values.
std::string toText(const cRegistry::Variant& v) {
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(int16_t i) const { return std::to_string(i); }
        std::string operator()(int32_t i) const { return std::to_string(i); }
        std::string operator()(double d) const {
            std::ostringstream ss;
            ss.precision(15);
            ss << d;
            return ss.str();
        }
        std::string operator()(const std::string& s) const { return s; }
        // A byte array reads as the UTF-16 text its bytes hold.
        std::string operator()(const std::vector<uint8_t>& b) const {
            std::u16string s(b.size() / 2, u'\0');
            if (!s.empty()) std::memcpy(s.data(), b.data(), s.size() * 2);
            return sys::fromUtf16(s);
        }
    };
    return std::visit(Visitor{}, v);
}

// %NAME% references of the machine's environment; unknown ones stay as they are.
std::string expandEnvironment(const std::string& s) {
    sys::Machine* m = sys::Machine::currentOrNull();
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        size_t start = s.find('%', i);
        size_t end = start == std::string::npos ? start : s.find('%', start + 1);
        if (end == std::string::npos) {
            out += s.substr(i);
            break;
        }
        out += s.substr(i, start - i);
        const std::string name = s.substr(start + 1, end - start - 1);
        const std::string value = (m && !name.empty()) ? m->env(name) : std::string();
        out += value.empty() ? s.substr(start, end - start + 1) : value;
        i = end + 1;
    }
    return out;
}

// A "%" with a second one at least two characters on marks an environment reference.
bool holdsReference(const std::string& text) {
    size_t first = text.find('%');
    return first != std::string::npos && text.find('%', first + 2) != std::string::npos;
}

std::string trimSpaces(const std::string& s) {
    size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

} // namespace

void cRegistry::Machine(const std::string& name) {
    if (sys::toUtf32(name).size() < 3)
        machine_.clear();
    else
        machine_ = name.rfind("\\\\", 0) == 0 ? name : "\\\\" + name;
}

std::string cRegistry::rootText() const { return std::to_string(static_cast<int32_t>(classKey_)); }

bool cRegistry::KeyExists() const {
    KeyGuard key;
    return RegOpenKeyExW(classKey_, w(sectionKey_).c_str(), 0, KEY_QUERY_VALUE, &key.h) == ERROR_SUCCESS;
}

bool cRegistry::CreateKey() {
    KeyGuard key;
    DWORD disposition = 0;
    if (RegCreateKeyExW(classKey_, w(sectionKey_).c_str(), 0, u"", 0, kFullAccess, nullptr, &key.h,
                        &disposition) != ERROR_SUCCESS)
        raise(kErrRegistry, "Failed to create registry Key: '" + sectionKey_);
    return true;
}

bool cRegistry::DeleteKey() {
    if (RegDeleteKeyW(classKey_, w(sectionKey_).c_str()) != ERROR_SUCCESS)
        raise(kErrRegistry, "Failed to delete registry Key: '" + rootText() + "',Section: '" + sectionKey_);
    return true;
}

bool cRegistry::DeleteValue() {
    KeyGuard key;
    if (RegOpenKeyExW(classKey_, w(sectionKey_).c_str(), 0, kFullAccess, &key.h) != ERROR_SUCCESS)
        raise(kErrRegistry,
              "Failed to open key '" + rootText() + "',Section: '" + sectionKey_ + "' for delete access");
    if (RegDeleteValueW(key.h, w(valueKey_).c_str()) != ERROR_SUCCESS)
        raise(kErrRegistry, "Failed to delete registry Key: '" + rootText() + "',Section: '" + sectionKey_ +
                                "',Key: '" + valueKey_);
    return true;
}

cRegistry::Variant cRegistry::Value() {
    HKEY root = classKey_;
    KeyGuard connection;
    if (!machine_.empty()) {
        if (RegConnectRegistryW(w(machine_).c_str(), classKey_, &connection.h) != ERROR_SUCCESS) return default_;
        root = connection.h;
    }
    KeyGuard key;
    // A key that does not open shows in the query that follows.
    RegOpenKeyExW(root, w(sectionKey_).c_str(), 0, KEY_QUERY_VALUE, &key.h);
    const std::u16string name = w(valueKey_);
    DWORD type = 0, size = 0;
    LONG r = RegQueryValueExW(key.h, name.c_str(), nullptr, &type, nullptr, &size);
    if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) return default_;
    valueType_ = static_cast<int32_t>(type);
    std::vector<uint8_t> data(size);
    if (RegQueryValueExW(key.h, name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return default_;
    data.resize(std::min<size_t>(size, data.size()));

    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
        std::u16string text(data.size() / 2, u'\0');
        if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * 2);
        text = text.substr(0, text.find(u'\0'));  // of a list, the first string
        std::string utf8 = sys::fromUtf16(text);
        return type == REG_EXPAND_SZ ? expandEnvironment(utf8) : utf8;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
        uint8_t b[4] = {};
        std::memcpy(b, data.data(), std::min<size_t>(4, data.size()));
        if (type == REG_DWORD_BIG_ENDIAN) std::reverse(b, b + 4);
        int32_t v;
        std::memcpy(&v, b, 4);
        return v;
    }
    default:
        return data;
    }
}

void cRegistry::Value(const Variant& value) {
    HKEY root = classKey_;
    KeyGuard connection;
    if (!machine_.empty()) {
        if (RegConnectRegistryW(w(machine_).c_str(), classKey_, &connection.h) != ERROR_SUCCESS) return;
        root = connection.h;
    }
    const std::string failure = "Failed to set registry value Key: '" + rootText() + "',Section: '" + sectionKey_ +
                                "',Key: '" + valueKey_ + "' to value: '" + toText(value) + "'";
    KeyGuard key;
    DWORD disposition = 0;
    if (RegCreateKeyExW(root, w(sectionKey_).c_str(), 0, u"", 0, kFullAccess, nullptr, &key.h, &disposition) !=
        ERROR_SUCCESS)
        raise(kErrRegistry, failure);

    const std::u16string name = w(valueKey_);
    LONG r = ERROR_SUCCESS;
    switch (valueType_) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        const std::string text = toText(value);
        const std::u16string data = w(text);
        r = RegSetValueExW(key.h, name.c_str(), 0, holdsReference(text) ? REG_EXPAND_SZ : REG_SZ,
                           reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size() * 2));
        break;
    }
    case REG_BINARY: {
        const auto* bytes = std::get_if<std::vector<uint8_t>>(&value);
        if (!bytes) raise(kErrRegistry, kGenericText);
        r = RegSetValueExW(key.h, name.c_str(), 0, REG_BINARY, bytes->data(), static_cast<DWORD>(bytes->size()));
        break;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
        int32_t number;
        if (const auto* i16 = std::get_if<int16_t>(&value))
            number = *i16;
        else if (const auto* i32 = std::get_if<int32_t>(&value))
            number = *i32;
        else {
            // Reporting success here would record a value that was never written.
            r = ERROR_INVALID_DATA;
            break;
        }
        r = RegSetValueExW(key.h, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
        break;
    }
    default:
        r = ERROR_INVALID_DATA;
    }
    if (r != ERROR_SUCCESS) raise(kErrSetValue, failure);
    lastValue_ = value;
}

bool cRegistry::EnumerateValues(std::vector<std::string>& names, int32_t& count) {
    names.clear();
    count = 0;
    KeyGuard key;
    if (RegOpenKeyExW(classKey_, w(sectionKey_).c_str(), 0, KEY_QUERY_VALUE, &key.h) != ERROR_SUCCESS) return true;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key.h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return true;
    std::u16string buffer(longest + 1, u'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = longest + 1;
        if (RegEnumValueW(key.h, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(sys::fromUtf16(buffer.substr(0, length)));
        ++count;
    }
    return true;
}

bool cRegistry::EnumerateSections(std::vector<std::string>& names, int32_t& count) {
    names.clear();
    count = 0;
    KeyGuard key;
    if (RegOpenKeyExW(classKey_, w(sectionKey_).c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key.h) != ERROR_SUCCESS)
        return true;
    try {
        // A key name has at most 255 characters.
        std::u16string buffer(256, u'\0');
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(buffer.size());
            if (RegEnumKeyExW(key.h, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.push_back(sys::fromUtf16(buffer.substr(0, buffer.find(u'\0'))));
            ++count;
        }
    } catch (const forms::RuntimeError& e) {
        raise(kErrEnumerate, e.Description);
    } catch (const std::exception& e) {
        raise(kErrEnumerate, e.what());
    }
    return true;
}

void cRegistry::writeBoth(const std::string& section, const std::string& text) {
    ValueKey("");
    ValueType(REG_SZ);
    ClassKey(HKEY_CLASSES_ROOT);
    SectionKey(section);
    Value(text);
    ClassKey(HKEY_LOCAL_MACHINE);
    SectionKey("SOFTWARE\\Classes\\" + section);
    Value(text);
}

void cRegistry::CreateEXEAssociation(const std::string& exePath, const std::string& className,
                                     const std::string& classDescription, const std::string& extension,
                                     const std::string& openText, bool print, const std::string& printText,
                                     bool newFlag, const std::string& newText, bool install,
                                     const std::string& installText, int32_t iconIndex) {
    std::string path = trimSpaces(exePath);
    if (path.empty() || path.front() != '"') path = "\"" + path;
    if (path.size() < 2 || path.back() != '"') path += "\"";
    const std::string shell = className + "\\shell\\";
    auto verb = [&](const std::string& name, const std::string& text, const std::string& fallback,
                    const std::string& option) {
        writeBoth(shell + name, text.empty() ? fallback : text);
        writeBoth(shell + name + "\\command", path + option + " \"%1\"");
    };

    writeBoth("." + extension, className);
    writeBoth(className, classDescription);
    verb("open", openText, "&Open", "");
    if (print) verb("print", printText, "&Print", " /p");
    if (install) verb("add", installText, "&Install " + extension, " /a");
    if (newFlag) verb("new", newText, "&New", " /n");
    if (iconIndex > -1) writeBoth(className + "\\DefaultIcon", path + "," + std::to_string(iconIndex));
}

void cRegistry::CreateAdditionalEXEAssociations(const std::string& className,
                                                const std::vector<std::string>& items) {
    if (items.size() % 3 != 0)
        raise(kErrAssocList,
              "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");
    // The class lives where CreateEXEAssociation put it, whatever root was used last.
    {
        KeyGuard key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, w(className).c_str(), 0, KEY_QUERY_VALUE, &key.h) != ERROR_SUCCESS)
            raise(kErrAssocClass, "Error - attempt to create additional associations before class defined.");
    }
    for (size_t i = 0; i < items.size(); i += 3) {
        const std::string section = className + "\\shell\\" + items[i];
        writeBoth(section, items[i + 1]);
        writeBoth(section + "\\command", items[i + 2]);
    }
}

cRegistry::Variant cRegistry::ValueEx(HKEY root, const std::string& section, const std::string& valueName,
                                      int32_t type, const Variant& def) {
    ClassKey(root);
    SectionKey(section);
    ValueKey(valueName);
    ValueType(type);
    Default(def);
    return Value();
}

void cRegistry::ValueEx(HKEY root, const std::string& section, const std::string& valueName, int32_t type,
                        const Variant& def, const Variant& newValue) {
    ClassKey(root);
    SectionKey(section);
    ValueKey(valueName);
    ValueType(type);
    Default(def);
    if (type == static_cast<int32_t>(REG_SZ) && toText(newValue).empty())
        Value(def);
    else
        Value(newValue);
}
