#include "Registry.h"

#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace win {
// Named (not anonymous): a server library with its own copy of this code must find the same
// per-machine store through Machine::service, which matches types by name.
namespace registry_store {

constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;
constexpr HKEY kFirstHandle = 0x1000;
constexpr int kHiveCount = 4;
const char* const kHiveNames[kHiveCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                            "HKEY_USERS"};

bool isText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Text values keep their strings (one for REG_SZ and REG_EXPAND_SZ), others their bytes.
struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<std::string> strings;
    std::vector<BYTE> bytes;
};

struct Key {
    std::string name;
    int64_t writeMs = 0;
    std::map<std::string, std::unique_ptr<Key>> keys;  // by upper-case name: sorted without regard to case
    std::vector<Value> values;                         // in creation order

    Key* child(const std::string& n) {
        auto it = keys.find(sys::upperAscii(n));
        return it == keys.end() ? nullptr : it->second.get();
    }
    Value* value(const std::string& n) {
        for (auto& v : values)
            if (sys::iequals(v.name, n)) return &v;
        return nullptr;
    }
};

struct Handle {
    int hive = 0;
    std::vector<std::string> path;
    REGSAM access = 0;
};

REGSAM effectiveAccess(REGSAM sam) {
    if (sam & (MAXIMUM_ALLOWED | GENERIC_ALL)) return KEY_ALL_ACCESS;
    REGSAM a = sam & KEY_ALL_ACCESS;
    if (sam & GENERIC_READ) a |= KEY_READ;
    if (sam & GENERIC_WRITE) a |= KEY_WRITE;
    return a;
}

// Splits a sub-key path. A trailing backslash is allowed; a leading one or an empty component is not.
LONG splitKeyPath(const std::string& path, std::vector<std::string>& out) {
    out.clear();
    if (path.empty()) return ERROR_SUCCESS;
    std::string p = path;
    if (p.back() == '\\') p.pop_back();
    size_t start = 0;
    while (true) {
        size_t end = p.find('\\', start);
        std::string part = p.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty()) return ERROR_BAD_PATHNAME;
        if (sys::toUtf16(part).size() > kMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
        out.push_back(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

uint64_t fileTimeOf(int64_t localMs) { return static_cast<uint64_t>(localMs + 11644473600000LL) * 10000ULL; }

void putFileTime(FILETIME* ft, int64_t ms) {
    if (!ft) return;
    uint64_t t = fileTimeOf(ms);
    ft->dwLowDateTime = static_cast<DWORD>(t);
    ft->dwHighDateTime = static_cast<DWORD>(t >> 32);
}

// ---- Persistence --------------------------------------------------------------------------

std::string toHex(const std::vector<BYTE>& b) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (BYTE c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

std::vector<BYTE> fromHex(const std::string& s) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        throw std::runtime_error("bad hex digit in binary data");
    };
    if (s.size() % 2) throw std::runtime_error("odd length of binary data");
    std::vector<BYTE> b;
    for (size_t i = 0; i < s.size(); i += 2) b.push_back(static_cast<BYTE>(nibble(s[i]) * 16 + nibble(s[i + 1])));
    return b;
}

json keyToJson(const Key& k) {
    json values = json::array();
    for (const auto& v : k.values) {
        json jv = {{"name", v.name}, {"type", v.type}};
        if (v.type == REG_MULTI_SZ)
            jv["strings"] = v.strings;
        else if (isText(v.type))
            jv["text"] = v.strings.empty() ? std::string() : v.strings[0];
        else
            jv["hex"] = toHex(v.bytes);
        values.push_back(std::move(jv));
    }
    json keys = json::array();
    for (const auto& [_, child] : k.keys) keys.push_back(keyToJson(*child));
    return {{"name", k.name}, {"time", k.writeMs}, {"values", std::move(values)}, {"keys", std::move(keys)}};
}

std::unique_ptr<Key> keyFromJson(const json& j, bool isHive, const std::string& where) {
    auto fail = [&](const std::string& what) { throw std::runtime_error(what + " at " + where); };
    if (!j.is_object()) fail("a key that is not an object");
    auto k = std::make_unique<Key>();
    k->name = j.at("name").get<std::string>();
    if (!isHive) {
        std::vector<std::string> parts;
        if (splitKeyPath(k->name, parts) != ERROR_SUCCESS || parts.size() != 1 || parts[0] != k->name)
            fail("an invalid key name \"" + k->name + "\"");
    }
    k->writeMs = j.at("time").get<int64_t>();
    for (const auto& jv : j.at("values")) {
        Value v;
        v.name = jv.at("name").get<std::string>();
        v.type = jv.at("type").get<DWORD>();
        if (v.type == REG_MULTI_SZ)
            v.strings = jv.at("strings").get<std::vector<std::string>>();
        else if (isText(v.type))
            v.strings = {jv.at("text").get<std::string>()};
        else
            v.bytes = fromHex(jv.at("hex").get<std::string>());
        if (k->value(v.name)) fail("a duplicate value \"" + v.name + "\"");
        k->values.push_back(std::move(v));
    }
    for (const auto& jk : j.at("keys")) {
        auto child = keyFromJson(jk, false, where + "\\" + jk.value("name", std::string("?")));
        std::string upper = sys::upperAscii(child->name);
        if (k->keys.count(upper)) fail("a duplicate key \"" + child->name + "\"");
        k->keys.emplace(upper, std::move(child));
    }
    return k;
}

// ---- The store ----------------------------------------------------------------------------

class Store {
public:
    explicit Store(sys::Machine& m) : machine_(m), file_(m.root() / "registry.dat") {
        tmpFile_ = file_;
        tmpFile_ += ".tmp";
        for (int i = 0; i < kHiveCount; ++i) {
            hives_[i] = std::make_unique<Key>();
            hives_[i]->name = kHiveNames[i];
        }
        load();
    }

    std::mutex mu;

    int codePage() const { return machine_.codePage(); }
    const std::string& damage() const { return damage_; }
    std::string failure() const { return damage_.empty() ? writeFailure_ : damage_; }

    // Finds the key of a handle (predefined or opened), with the handle's rights.
    LONG resolve(HKEY h, Key*& key, REGSAM* access = nullptr, Handle* handleOut = nullptr) {
        if (!damage_.empty()) return ERROR_BADDB;
        Handle handle;
        if (h >= HKEY_CLASSES_ROOT && h < HKEY_CLASSES_ROOT + kHiveCount) {
            handle.hive = static_cast<int>(h - HKEY_CLASSES_ROOT);
            handle.access = KEY_ALL_ACCESS;
        } else {
            auto it = handles_.find(h);
            if (it == handles_.end()) return ERROR_INVALID_HANDLE;
            handle = it->second;
        }
        Key* k = hives_[handle.hive].get();
        for (const auto& part : handle.path) {
            k = k->child(part);
            if (!k) return ERROR_KEY_DELETED;
        }
        key = k;
        if (access) *access = handle.access;
        if (handleOut) *handleOut = handle;
        return ERROR_SUCCESS;
    }

    LONG open(HKEY parent, const std::string& sub, REGSAM sam, HKEY* out) {
        if (!out) return ERROR_INVALID_PARAMETER;
        Key* k;
        Handle h;
        if (LONG r = resolve(parent, k, nullptr, &h)) return r;
        std::vector<std::string> parts;
        if (LONG r = splitKeyPath(sub, parts)) return r;
        for (const auto& p : parts) {
            k = k->child(p);
            if (!k) return ERROR_FILE_NOT_FOUND;
            h.path.push_back(p);
        }
        h.access = effectiveAccess(sam);
        *out = addHandle(std::move(h));
        return ERROR_SUCCESS;
    }

    LONG create(HKEY parent, const std::string& sub, REGSAM sam, HKEY* out, DWORD* disposition) {
        if (!out) return ERROR_INVALID_PARAMETER;
        Key* k;
        Handle h;
        if (LONG r = resolve(parent, k, nullptr, &h)) return r;
        std::vector<std::string> parts;
        if (LONG r = splitKeyPath(sub, parts)) return r;
        bool created = false;
        for (const auto& p : parts) {
            Key* c = k->child(p);
            if (!c) {
                if (!(h.access & KEY_CREATE_SUB_KEY)) return rollbackIf(created, ERROR_ACCESS_DENIED);
                auto nk = std::make_unique<Key>();
                nk->name = p;
                nk->writeMs = now();
                k->writeMs = now();
                c = nk.get();
                k->keys.emplace(sys::upperAscii(p), std::move(nk));
                created = true;
            }
            k = c;
            h.path.push_back(p);
        }
        if (created)
            if (LONG r = commit()) return r;
        h.access = effectiveAccess(sam);
        *out = addHandle(std::move(h));
        if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }

    LONG query(HKEY h, const std::string& name, Value& out) {
        Key* k;
        REGSAM a;
        if (LONG r = resolve(h, k, &a)) return r;
        if (!(a & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        Value* v = k->value(name);
        if (!v) return ERROR_FILE_NOT_FOUND;
        out = *v;
        return ERROR_SUCCESS;
    }

    LONG set(HKEY h, Value v) {
        Key* k;
        REGSAM a;
        if (LONG r = resolve(h, k, &a)) return r;
        if (!(a & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        if (sys::toUtf16(v.name).size() > kMaxValueNameChars) return ERROR_INVALID_PARAMETER;
        if (Value* old = k->value(v.name)) {
            v.name = old->name;  // the first spelling stays
            *old = std::move(v);
        } else {
            k->values.push_back(std::move(v));
        }
        k->writeMs = now();
        return commit();
    }

    LONG deleteValue(HKEY h, const std::string& name) {
        Key* k;
        REGSAM a;
        if (LONG r = resolve(h, k, &a)) return r;
        if (!(a & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        auto it = std::find_if(k->values.begin(), k->values.end(),
                               [&](const Value& v) { return sys::iequals(v.name, name); });
        if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
        k->values.erase(it);
        k->writeMs = now();
        return commit();
    }

    // Deletes parent\sub; a key with sub-keys is refused unless whole trees are asked for.
    LONG deleteKey(HKEY parent, const std::string& sub, bool tree) {
        Key* k;
        Handle h;
        if (LONG r = resolve(parent, k, nullptr, &h)) return r;
        std::vector<std::string> parts;
        if (LONG r = splitKeyPath(sub, parts)) return r;
        std::vector<std::string> full = h.path;
        full.insert(full.end(), parts.begin(), parts.end());
        if (full.empty()) return ERROR_ACCESS_DENIED;  // a hive itself
        Key* owner = hives_[h.hive].get();
        for (size_t i = 0; i + 1 < full.size(); ++i) {
            owner = owner->child(full[i]);
            if (!owner) return ERROR_FILE_NOT_FOUND;
        }
        auto it = owner->keys.find(sys::upperAscii(full.back()));
        if (it == owner->keys.end()) return ERROR_FILE_NOT_FOUND;
        if (!tree && !it->second->keys.empty()) return ERROR_ACCESS_DENIED;
        owner->keys.erase(it);
        owner->writeMs = now();
        return commit();
    }

    LONG enumKey(HKEY h, DWORD index, std::string& name, int64_t& time) {
        Key* k;
        REGSAM a;
        if (LONG r = resolve(h, k, &a)) return r;
        if (!(a & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
        if (index >= k->keys.size()) return ERROR_NO_MORE_ITEMS;
        auto it = std::next(k->keys.begin(), index);
        name = it->second->name;
        time = it->second->writeMs;
        return ERROR_SUCCESS;
    }

    LONG enumValue(HKEY h, DWORD index, Value& out) {
        Key* k;
        REGSAM a;
        if (LONG r = resolve(h, k, &a)) return r;
        if (!(a & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
        out = k->values[index];
        return ERROR_SUCCESS;
    }

    struct Info {
        std::vector<std::string> keyNames;
        std::vector<Value> values;
        int64_t time = 0;
    };
    LONG info(HKEY h, Info& out) {
        Key* k;
        REGSAM a;
        if (LONG r = resolve(h, k, &a)) return r;
        if (!(a & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        for (const auto& [_, c] : k->keys) out.keyNames.push_back(c->name);
        out.values = k->values;
        out.time = k->writeMs;
        return ERROR_SUCCESS;
    }

    LONG close(HKEY h) {
        if (h >= HKEY_CLASSES_ROOT && h < HKEY_CLASSES_ROOT + kHiveCount) return ERROR_SUCCESS;
        return handles_.erase(h) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }

    LONG flush(HKEY h) {
        Key* k;
        return resolve(h, k);  // every change is on disk already
    }

private:
    int64_t now() { return machine_.clock().localMs(); }

    HKEY addHandle(Handle h) {
        while (handles_.count(nextHandle_) || nextHandle_ >= HKEY_CLASSES_ROOT || nextHandle_ < kFirstHandle)
            nextHandle_ = nextHandle_ >= HKEY_CLASSES_ROOT ? kFirstHandle : nextHandle_ + 4;
        HKEY id = nextHandle_;
        nextHandle_ += 4;
        handles_.emplace(id, std::move(h));
        return id;
    }

    LONG rollbackIf(bool changed, LONG result) {
        if (changed) restore();
        return result;
    }

    json toJson() const {
        json hives = json::object();
        for (int i = 0; i < kHiveCount; ++i) hives[kHiveNames[i]] = keyToJson(*hives_[i]);
        return {{"format", "pennant-registry"}, {"version", 1}, {"hives", std::move(hives)}};
    }

    void fromJson(const json& j) {
        if (!j.is_object() || j.value("format", std::string()) != "pennant-registry")
            throw std::runtime_error("not a registry file");
        if (j.value("version", 0) != 1) throw std::runtime_error("unknown version");
        const json& hives = j.at("hives");
        std::unique_ptr<Key> loaded[kHiveCount];
        for (int i = 0; i < kHiveCount; ++i) {
            loaded[i] = hives.contains(kHiveNames[i]) ? keyFromJson(hives.at(kHiveNames[i]), true, kHiveNames[i])
                                                      : std::make_unique<Key>();
            loaded[i]->name = kHiveNames[i];
        }
        for (int i = 0; i < kHiveCount; ++i) hives_[i] = std::move(loaded[i]);
    }

    void load() {
        std::error_code ec;
        if (!fs::exists(file_, ec)) {
            lastGood_ = toJson();
            fs::remove(tmpFile_, ec);
            return;
        }
        std::ifstream in(file_, std::ios::binary);
        std::ostringstream ss;
        if (!in || !(ss << in.rdbuf())) {
            damage_ = "the registry file " + file_.string() + " cannot be read; it was left as it is";
            return;
        }
        try {
            json j = json::parse(ss.str());
            fromJson(j);
            lastGood_ = std::move(j);
        } catch (const std::exception& e) {
            damage_ = "the registry file " + file_.string() + " is damaged (" + e.what() +
                      "); it was left as it is";
            return;
        }
        // What a write cut short left behind; the file itself is whole.
        fs::remove(tmpFile_, ec);
    }

    // Back to the state last written, after a write that failed.
    void restore() {
        try {
            fromJson(lastGood_);
        } catch (const std::exception&) {
            // lastGood_ was made by toJson(), so it reads back.
        }
    }

    // "" when written, else why not.
    std::string writeFile(const std::string& text) {
        int fd = ::open(tmpFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return std::strerror(errno);
        size_t done = 0;
        bool ok = true;
        while (ok && done < text.size()) {
            ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ok = false;
            else done += static_cast<size_t>(n);
        }
        ok = ok && ::fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        if (ok) ok = std::rename(tmpFile_.c_str(), file_.c_str()) == 0;
        if (!ok) {
            std::string why = std::strerror(errno);
            std::error_code ec;
            fs::remove(tmpFile_, ec);
            return why;
        }
        int dir = ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return {};
    }

    // Writes the changed registry; when that fails the change is undone.
    LONG commit() {
        json j = toJson();
        std::string why = writeFile(j.dump(1, ' ', false, json::error_handler_t::replace));
        if (!why.empty()) {
            writeFailure_ = "the registry file " + file_.string() + " could not be written (" + why +
                            "); the change was not made";
            restore();
            return ERROR_CANTWRITE;
        }
        writeFailure_.clear();
        lastGood_ = std::move(j);
        return ERROR_SUCCESS;
    }

    sys::Machine& machine_;
    fs::path file_, tmpFile_;
    std::unique_ptr<Key> hives_[kHiveCount];
    std::map<HKEY, Handle> handles_;
    HKEY nextHandle_ = kFirstHandle;
    json lastGood_;
    std::string damage_, writeFailure_;
};

Store* storeOrNull() {
    sys::Machine* m = sys::Machine::currentOrNull();
    return m ? &m->service<Store>(*m) : nullptr;
}

// ---- Text in the caller's form: ANSI bytes (char) or UTF-16 (char16_t) ---------------------

template <class C>
std::string decode(const C* s, size_t n, int cp) {
    if constexpr (sizeof(C) == 1)
        return sys::fromAnsi(std::string_view(s, n), cp);
    else
        return sys::fromUtf16(std::u16string_view(s, n));
}

template <class C>
std::string decode(const C* s, int cp) {
    return s ? decode(s, std::char_traits<C>::length(s), cp) : std::string();
}

template <class C>
std::basic_string<C> encode(const std::string& utf8, int cp) {
    if constexpr (sizeof(C) == 1)
        return sys::toAnsi(utf8, cp);
    else
        return sys::toUtf16(utf8);
}

// The bytes a caller of this form reads; strings with their terminators.
template <class C>
std::vector<BYTE> dataOf(const Value& v, int cp) {
    if (!isText(v.type)) return v.bytes;
    std::basic_string<C> s;
    for (const auto& str : v.strings) {
        s += encode<C>(str, cp);
        s += C(0);
    }
    if (v.type == REG_MULTI_SZ || s.empty()) s += C(0);
    std::vector<BYTE> out(s.size() * sizeof(C));
    std::memcpy(out.data(), s.data(), out.size());
    return out;
}

template <class C>
Value valueFrom(const C* name, DWORD type, const BYTE* data, DWORD cb, int cp) {
    Value v;
    v.name = decode(name, cp);
    v.type = type;
    if (!isText(type)) {
        v.bytes.assign(data, data + cb);
        return v;
    }
    std::basic_string<C> s(cb / sizeof(C), C(0));
    if (!s.empty()) std::memcpy(s.data(), data, s.size() * sizeof(C));
    if (type != REG_MULTI_SZ) {
        v.strings = {decode(s.c_str(), cp)};  // up to the first NUL
        return v;
    }
    size_t pos = 0;
    while (pos < s.size()) {
        size_t end = s.find(C(0), pos);
        if (end == pos) break;  // the empty string that ends the list
        if (end == std::basic_string<C>::npos) end = s.size();
        v.strings.push_back(decode(s.data() + pos, end - pos, cp));
        pos = end + 1;
    }
    return v;
}

// Copies a name into a caller's buffer of cch characters (with room for the NUL).
template <class C>
LONG putName(const std::string& utf8, int cp, C* buf, DWORD* cch) {
    if (!buf || !cch) return ERROR_INVALID_PARAMETER;
    auto s = encode<C>(utf8, cp);
    if (s.size() + 1 > *cch) return ERROR_MORE_DATA;
    std::memcpy(buf, s.c_str(), (s.size() + 1) * sizeof(C));
    *cch = static_cast<DWORD>(s.size());
    return ERROR_SUCCESS;
}

// The query protocol: null data gives the size; too small a buffer ERROR_MORE_DATA and the size.
LONG putData(const std::vector<BYTE>& data, BYTE* buf, DWORD* cb) {
    if (buf && !cb) return ERROR_INVALID_PARAMETER;
    if (!cb) return ERROR_SUCCESS;
    DWORD need = static_cast<DWORD>(data.size());
    if (buf && *cb < need) {
        *cb = need;
        return ERROR_MORE_DATA;
    }
    if (buf && need) std::memcpy(buf, data.data(), need);
    *cb = need;
    return ERROR_SUCCESS;
}

template <class C>
LONG openT(HKEY hKey, const C* sub, REGSAM sam, HKEY* out) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    std::lock_guard lock(s->mu);
    return s->open(hKey, decode(sub, s->codePage()), sam, out);
}

template <class C>
LONG createT(HKEY hKey, const C* sub, REGSAM sam, HKEY* out, DWORD* disposition) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (!sub) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(s->mu);
    return s->create(hKey, decode(sub, s->codePage()), sam, out, disposition);
}

template <class C>
LONG queryT(HKEY hKey, const C* name, DWORD* type, BYTE* data, DWORD* cb) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (data && !cb) return ERROR_INVALID_PARAMETER;
    Value v;
    {
        std::lock_guard lock(s->mu);
        if (LONG r = s->query(hKey, decode(name, s->codePage()), v)) return r;
    }
    if (type) *type = v.type;
    return putData(dataOf<C>(v, s->codePage()), data, cb);
}

template <class C>
LONG setT(HKEY hKey, const C* name, DWORD type, const BYTE* data, DWORD cb) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (!data && cb) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(s->mu);
    return s->set(hKey, valueFrom(name, type, data, cb, s->codePage()));
}

template <class C>
LONG deleteValueT(HKEY hKey, const C* name) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    std::lock_guard lock(s->mu);
    return s->deleteValue(hKey, decode(name, s->codePage()));
}

template <class C>
LONG enumKeyT(HKEY hKey, DWORD index, C* name, DWORD* cch, C* cls, DWORD* cchClass, FILETIME* time) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    std::string found;
    int64_t ms = 0;
    {
        std::lock_guard lock(s->mu);
        if (LONG r = s->enumKey(hKey, index, found, ms)) return r;
    }
    if (LONG r = putName(found, s->codePage(), name, cch)) return r;
    if (cls && cchClass && *cchClass) cls[0] = C(0);
    if (cchClass) *cchClass = 0;
    putFileTime(time, ms);
    return ERROR_SUCCESS;
}

template <class C>
LONG enumValueT(HKEY hKey, DWORD index, C* name, DWORD* cch, DWORD* type, BYTE* data, DWORD* cb) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (data && !cb) return ERROR_INVALID_PARAMETER;
    Value v;
    {
        std::lock_guard lock(s->mu);
        if (LONG r = s->enumValue(hKey, index, v)) return r;
    }
    if (LONG r = putName(v.name, s->codePage(), name, cch)) return r;
    if (type) *type = v.type;
    return putData(dataOf<C>(v, s->codePage()), data, cb);
}

template <class C>
LONG queryInfoT(HKEY hKey, C* cls, DWORD* cchClass, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* maxClassLen,
                DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen, DWORD* securityDescriptor,
                FILETIME* time) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    Store::Info info;
    {
        std::lock_guard lock(s->mu);
        if (LONG r = s->info(hKey, info)) return r;
    }
    const int cp = s->codePage();
    // Lengths are in the caller's form, so a buffer of the maximum + 1 holds every name.
    DWORD maxKey = 0, maxName = 0, maxData = 0;
    for (const auto& n : info.keyNames) maxKey = std::max(maxKey, static_cast<DWORD>(encode<C>(n, cp).size()));
    for (const auto& v : info.values) {
        maxName = std::max(maxName, static_cast<DWORD>(encode<C>(v.name, cp).size()));
        maxData = std::max(maxData, static_cast<DWORD>(dataOf<C>(v, cp).size()));
    }
    if (cls && cchClass && *cchClass) cls[0] = C(0);
    if (cchClass) *cchClass = 0;
    if (subKeys) *subKeys = static_cast<DWORD>(info.keyNames.size());
    if (maxSubKeyLen) *maxSubKeyLen = maxKey;
    if (maxClassLen) *maxClassLen = 0;
    if (values) *values = static_cast<DWORD>(info.values.size());
    if (maxValueNameLen) *maxValueNameLen = maxName;
    if (maxValueLen) *maxValueLen = maxData;
    if (securityDescriptor) *securityDescriptor = 0;
    putFileTime(time, info.time);
    return ERROR_SUCCESS;
}

template <class C>
LONG deleteKeyT(HKEY hKey, const C* sub) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (!sub) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(s->mu);
    return s->deleteKey(hKey, decode(sub, s->codePage()), false);
}

template <class C>
LONG connectT(const C* machineName, HKEY hKey, HKEY* out) {
    if (!out) return ERROR_INVALID_PARAMETER;
    if (machineName && *machineName) return ERROR_BAD_NETPATH;
    if (hKey != HKEY_LOCAL_MACHINE && hKey != HKEY_USERS) return ERROR_INVALID_HANDLE;
    *out = hKey;
    return ERROR_SUCCESS;
}

} // namespace registry_store
using namespace registry_store;

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD, REGSAM samDesired, HKEY* phkResult) {
    return openT(hKey, lpSubKey, samDesired, phkResult);
}

LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    if (!lpSubKey || !*lpSubKey) {
        // The same handle back, once it is known to be a key.
        Store* s = storeOrNull();
        if (!s) return ERROR_INVALID_HANDLE;
        std::lock_guard lock(s->mu);
        if (LONG r = s->flush(hKey)) return r;
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return openT(hKey, lpSubKey, MAXIMUM_ALLOWED, phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD, const char*, DWORD, REGSAM samDesired, const void*,
                     HKEY* phkResult, DWORD* lpdwDisposition) {
    return createT(hKey, lpSubKey, samDesired, phkResult, lpdwDisposition);
}

LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
    if (!lpSubKey || !*lpSubKey) return RegOpenKeyA(hKey, nullptr, phkResult);
    return createT(hKey, lpSubKey, MAXIMUM_ALLOWED, phkResult, nullptr);
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD*, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    return queryT(hKey, lpValueName, lpType, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    return setT(hKey, lpValueName, dwType, lpData, cbData);
}

LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) { return deleteKeyT(hKey, lpSubKey); }

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) { return deleteValueT(hKey, lpValueName); }

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD*, char* lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
    return enumKeyT(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime);
}

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) {
    return enumKeyT<char>(hKey, dwIndex, lpName, &cchName, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD*, DWORD* lpType,
                   BYTE* lpData, DWORD* lpcbData) {
    return enumValueT(hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
}

LONG RegQueryInfoKeyA(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD*, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime) {
    return queryInfoT(hKey, lpClass, lpcchClass, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcValues,
                      lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}

LONG RegConnectRegistryA(const char* lpMachineName, HKEY hKey, HKEY* phkResult) {
    return connectT(lpMachineName, hKey, phkResult);
}

LONG RegCloseKey(HKEY hKey) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    std::lock_guard lock(s->mu);
    return s->close(hKey);
}

LONG RegFlushKey(HKEY hKey) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    std::lock_guard lock(s->mu);
    return s->flush(hKey);
}

LONG RegOpenKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD, REGSAM samDesired, HKEY* phkResult) {
    return openT(hKey, lpSubKey, samDesired, phkResult);
}

LONG RegCreateKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD, const char16_t*, DWORD, REGSAM samDesired,
                     const void*, HKEY* phkResult, DWORD* lpdwDisposition) {
    return createT(hKey, lpSubKey, samDesired, phkResult, lpdwDisposition);
}

LONG RegQueryValueExW(HKEY hKey, const char16_t* lpValueName, DWORD*, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
    return queryT(hKey, lpValueName, lpType, lpData, lpcbData);
}

LONG RegSetValueExW(HKEY hKey, const char16_t* lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    return setT(hKey, lpValueName, dwType, lpData, cbData);
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, char16_t* lpName, DWORD* lpcchName, DWORD*, char16_t* lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
    return enumKeyT(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime);
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, char16_t* lpValueName, DWORD* lpcchValueName, DWORD*,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    return enumValueT(hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
}

LONG RegDeleteValueW(HKEY hKey, const char16_t* lpValueName) { return deleteValueT(hKey, lpValueName); }

LONG RegDeleteKeyW(HKEY hKey, const char16_t* lpSubKey) { return deleteKeyT(hKey, lpSubKey); }

LONG RegQueryInfoKeyW(HKEY hKey, char16_t* lpClass, DWORD* lpcchClass, DWORD*, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime) {
    return queryInfoT(hKey, lpClass, lpcchClass, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcValues,
                      lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}

LONG RegConnectRegistryW(const char16_t* lpMachineName, HKEY hKey, HKEY* phkResult) {
    return connectT(lpMachineName, hKey, phkResult);
}

// ---- The UTF-8 accessor ---------------------------------------------------------------------

namespace detail {

// Runs fn on the store with the key root\path open, closing it on every path.
template <class Fn>
auto withKey(HKEY root, const std::string& path, REGSAM sam, bool create, Fn fn) -> decltype(fn(nullptr, HKEY{})) {
    using R = decltype(fn(nullptr, HKEY{}));
    Store* s = storeOrNull();
    if (!s) return R{};
    std::lock_guard lock(s->mu);
    HKEY h = 0;
    LONG r = create ? s->create(root, path, sam, &h, nullptr) : s->open(root, path, sam, &h);
    if (r != ERROR_SUCCESS) return R{};
    R result = fn(s, h);
    s->close(h);
    return result;
}

std::optional<Value> read(HKEY root, const std::string& path, const std::string& name) {
    return withKey(root, path, KEY_QUERY_VALUE, false, [&](Store* s, HKEY h) -> std::optional<Value> {
        Value v;
        if (s->query(h, name, v) != ERROR_SUCCESS) return std::nullopt;
        return v;
    });
}

bool write(HKEY root, const std::string& path, Value v) {
    return withKey(root, path, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, true,
                   [&](Store* s, HKEY h) { return s->set(h, std::move(v)) == ERROR_SUCCESS; });
}

} // namespace detail
} // namespace win

namespace reg {

using namespace win;
using win::detail::withKey;

std::optional<std::string> getString(HKEY root, const std::string& path, const std::string& name) {
    auto v = win::detail::read(root, path, name);
    if (!v || !isText(v->type)) return std::nullopt;
    return v->strings.empty() ? std::string() : v->strings[0];
}

bool setString(HKEY root, const std::string& path, const std::string& name, const std::string& value,
               DWORD type) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    Value v;
    v.name = name;
    v.type = type;
    // Like the "A" and "W" writes: the text ends at a NUL.
    v.strings = {value.substr(0, value.find('\0'))};
    return win::detail::write(root, path, std::move(v));
}

std::optional<DWORD> getDword(HKEY root, const std::string& path, const std::string& name) {
    auto v = win::detail::read(root, path, name);
    if (!v || v->type != REG_DWORD || v->bytes.size() != 4) return std::nullopt;
    DWORD d;
    std::memcpy(&d, v->bytes.data(), 4);
    return d;
}

bool setDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    Value v;
    v.name = name;
    v.type = REG_DWORD;
    v.bytes.resize(4);
    std::memcpy(v.bytes.data(), &value, 4);
    return win::detail::write(root, path, std::move(v));
}

bool deleteValue(HKEY root, const std::string& path, const std::string& name) {
    return withKey(root, path, KEY_SET_VALUE, false,
                   [&](Store* s, HKEY h) { return s->deleteValue(h, name) == ERROR_SUCCESS; });
}

bool keyExists(HKEY root, const std::string& path) {
    return withKey(root, path, KEY_QUERY_VALUE, false, [](Store*, HKEY) { return true; });
}

bool createKey(HKEY root, const std::string& path) {
    return withKey(root, path, KEY_QUERY_VALUE, true, [](Store*, HKEY) { return true; });
}

bool deleteTree(HKEY root, const std::string& path) {
    if (path.empty()) return false;
    Store* s = storeOrNull();
    if (!s) return false;
    std::lock_guard lock(s->mu);
    return s->deleteKey(root, path, true) == ERROR_SUCCESS;
}

std::vector<std::string> subKeys(HKEY root, const std::string& path) {
    return withKey(root, path, KEY_ENUMERATE_SUB_KEYS, false, [](Store* s, HKEY h) {
        std::vector<std::string> names;
        std::string n;
        int64_t t;
        for (DWORD i = 0; s->enumKey(h, i, n, t) == ERROR_SUCCESS; ++i) names.push_back(n);
        return names;
    });
}

std::vector<std::string> valueNames(HKEY root, const std::string& path) {
    return withKey(root, path, KEY_QUERY_VALUE, false, [](Store* s, HKEY h) {
        std::vector<std::string> names;
        Value v;
        for (DWORD i = 0; s->enumValue(h, i, v) == ERROR_SUCCESS; ++i) names.push_back(v.name);
        return names;
    });
}

std::string databaseError() {
    Store* s = storeOrNull();
    if (!s) return "no current machine";
    std::lock_guard lock(s->mu);
    return s->failure();
}

} // namespace reg
