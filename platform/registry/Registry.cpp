#include "Registry.h"

#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
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
constexpr int kUserHive = 1, kMachineHive = 2;
// HKEY_CLASSES_ROOT is no hive: it shows this key of the user's and of the machine's hive.
const char* const kClassesPath[] = {"Software", "Classes"};

bool isText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Text values keep the UTF-16 bytes they were given (the "A" forms convert), others their bytes.
struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key;
using KeyPtr = std::shared_ptr<Key>;

struct Key {
    std::string name;
    std::string cls;  // the class it was created with
    int64_t writeMs = 0;
    Key* parent = nullptr;
    bool deleted = false;                     // out of the tree: handles to it stay dead
    std::map<std::string, KeyPtr> keys;       // by upper-case name: sorted without regard to case
    std::vector<Value> values;                // in creation order

    KeyPtr child(const std::string& n) const {
        auto it = keys.find(sys::upperAscii(n));
        return it == keys.end() ? nullptr : it->second;
    }
    Value* value(const std::string& n) {
        for (auto& v : values)
            if (sys::iequals(v.name, n)) return &v;
        return nullptr;
    }
};

void markDeleted(Key& k, bool on) {
    k.deleted = on;
    for (auto& [_, c] : k.keys) markDeleted(*c, on);
}

struct Handle {
    KeyPtr key;  // null only for the root of HKEY_CLASSES_ROOT
    REGSAM access = 0;
    bool classes = false;                // opened through HKEY_CLASSES_ROOT
    std::vector<std::string> classPath;  // its path below HKEY_CLASSES_ROOT
};

REGSAM effectiveAccess(REGSAM sam) {
    if (sam & (MAXIMUM_ALLOWED | GENERIC_ALL)) return KEY_ALL_ACCESS;
    REGSAM a = sam & KEY_ALL_ACCESS;
    if (sam & GENERIC_READ) a |= KEY_READ;
    if (sam & GENERIC_WRITE) a |= KEY_WRITE;
    return a;
}

// Splits a sub-key path. Trailing backslashes are allowed; a leading one or an empty component is not.
LONG splitKeyPath(const std::string& path, std::vector<std::string>& out) {
    out.clear();
    std::string p = path;
    while (!p.empty() && p.back() == '\\') p.pop_back();
    if (p.empty()) return ERROR_SUCCESS;
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

// ---- Text of values -------------------------------------------------------------------------

std::vector<BYTE> bytesOf(const std::u16string& s) {
    std::vector<BYTE> b(s.size() * 2);
    if (!b.empty()) std::memcpy(b.data(), s.data(), b.size());
    return b;
}

std::u16string charsOf(const std::vector<BYTE>& b) {
    std::u16string s(b.size() / 2, u'\0');
    if (!s.empty()) std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

// The strings with their terminators, as a careful caller stores them.
std::vector<BYTE> textBytes(DWORD type, const std::vector<std::string>& strings) {
    std::u16string s;
    for (const auto& str : strings) {
        s += sys::toUtf16(str);
        s += u'\0';
    }
    if (type == REG_MULTI_SZ || s.empty()) s += u'\0';
    return bytesOf(s);
}

// The strings stored text holds: each up to a NUL, a list up to an empty one.
std::vector<std::string> textStrings(DWORD type, const std::vector<BYTE>& data) {
    const std::u16string s = charsOf(data);
    if (type != REG_MULTI_SZ) return {sys::fromUtf16(s.substr(0, s.find(u'\0')))};
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t end = s.find(u'\0', pos);
        if (end == pos) break;
        if (end == std::u16string::npos) end = s.size();
        out.push_back(sys::fromUtf16(s.substr(pos, end - pos)));
        pos = end + 1;
    }
    return out;
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

// Well-formed text is kept readable ("text", "strings"); text stored otherwise (no terminator,
// embedded NULs) keeps its UTF-16 bytes in "hex".
json keyToJson(const Key& k) {
    json values = json::array();
    for (const auto& v : k.values) {
        json jv = {{"name", v.name}, {"type", v.type}};
        const auto strings = isText(v.type) ? textStrings(v.type, v.data) : std::vector<std::string>{};
        if (!isText(v.type) || textBytes(v.type, strings) != v.data)
            jv["hex"] = toHex(v.data);
        else if (v.type == REG_MULTI_SZ)
            jv["strings"] = strings;
        else
            jv["text"] = strings[0];
        values.push_back(std::move(jv));
    }
    json keys = json::array();
    for (const auto& [_, child] : k.keys) keys.push_back(keyToJson(*child));
    json j = {{"name", k.name}, {"time", k.writeMs}, {"values", std::move(values)}, {"keys", std::move(keys)}};
    if (!k.cls.empty()) j["class"] = k.cls;
    return j;
}

KeyPtr keyFromJson(const json& j, bool isHive, const std::string& where) {
    auto fail = [&](const std::string& what) { throw std::runtime_error(what + " at " + where); };
    if (!j.is_object()) fail("a key that is not an object");
    auto k = std::make_shared<Key>();
    k->name = j.at("name").get<std::string>();
    if (!isHive) {
        std::vector<std::string> parts;
        if (splitKeyPath(k->name, parts) != ERROR_SUCCESS || parts.size() != 1 || parts[0] != k->name)
            fail("an invalid key name \"" + k->name + "\"");
    }
    k->writeMs = j.at("time").get<int64_t>();
    k->cls = j.value("class", std::string());
    for (const auto& jv : j.at("values")) {
        Value v;
        v.name = jv.at("name").get<std::string>();
        v.type = jv.at("type").get<DWORD>();
        if (jv.contains("hex"))
            v.data = fromHex(jv.at("hex").get<std::string>());
        else if (v.type == REG_MULTI_SZ)
            v.data = textBytes(v.type, jv.at("strings").get<std::vector<std::string>>());
        else if (isText(v.type))
            v.data = textBytes(v.type, {jv.at("text").get<std::string>()});
        else
            fail("a value without data \"" + v.name + "\"");
        if (k->value(v.name)) fail("a duplicate value \"" + v.name + "\"");
        k->values.push_back(std::move(v));
    }
    for (const auto& jk : j.at("keys")) {
        auto child = keyFromJson(jk, false, where + "\\" + jk.value("name", std::string("?")));
        std::string upper = sys::upperAscii(child->name);
        if (k->keys.count(upper)) fail("a duplicate key \"" + child->name + "\"");
        child->parent = k.get();
        k->keys.emplace(upper, std::move(child));
    }
    return k;
}

KeyPtr newKey(Key& parent, const std::string& name, int64_t ms) {
    auto k = std::make_shared<Key>();
    k->name = name;
    k->writeMs = ms;
    k->parent = &parent;
    parent.keys.emplace(sys::upperAscii(name), k);
    return k;
}

// Moves what src holds into dst; where both have a value or key, dst's stays.
void mergeInto(Key& dst, Key& src) {
    for (auto& v : src.values)
        if (!dst.value(v.name)) dst.values.push_back(std::move(v));
    for (auto& [upper, c] : src.keys) {
        if (KeyPtr d = dst.child(c->name)) {
            mergeInto(*d, *c);
        } else {
            c->parent = &dst;
            dst.keys.emplace(upper, c);
        }
    }
    dst.writeMs = std::max(dst.writeMs, src.writeMs);
}

// ---- The store ----------------------------------------------------------------------------

class Store {
public:
    explicit Store(sys::Machine& m) : machine_(m), file_(m.root() / "registry.dat") {
        // One name per writing process: two processes never write into each other's temporary file.
        tmpFile_ = file_;
        tmpFile_ += ".tmp-" + std::to_string(::getpid());
        for (int i = kUserHive; i < kHiveCount; ++i) {
            hives_[i] = std::make_shared<Key>();
            hives_[i]->name = kHiveNames[i];
        }
        load();
    }

    std::mutex mu;

    int codePage() const { return machine_.codePage(); }
    const std::string& damage() const { return damage_; }
    std::string failure() const { return damage_.empty() ? writeFailure_ : damage_; }

    LONG open(HKEY parent, const std::string& sub, REGSAM sam, HKEY* out) {
        if (!out) return ERROR_INVALID_PARAMETER;
        if (!parent) return ERROR_INVALID_HANDLE;  // the target leaves the result alone here
        *out = 0;
        Handle h;
        if (LONG r = live(parent, h)) return r;
        // The merged view is no key to open again: its predefined handle comes back.
        if (parent == HKEY_CLASSES_ROOT && sub.empty()) {
            *out = parent;
            return ERROR_SUCCESS;
        }
        std::vector<std::string> parts;
        if (LONG r = splitKeyPath(sub, parts)) return r;
        Handle n = below(h, parts);
        if (parts.empty()) n.key = h.key;
        else if (h.classes) n.key = classKeyAt(n.classPath);
        else n.key = walk(h.key, parts);
        if (!n.key && !parts.empty()) return ERROR_FILE_NOT_FOUND;
        n.access = effectiveAccess(sam);
        *out = addHandle(std::move(n));
        return ERROR_SUCCESS;
    }

    // The parent handle's rights do not matter, as on the target.
    LONG create(HKEY parent, const std::string& sub, const std::string& cls, REGSAM sam, HKEY* out,
                DWORD* disposition) {
        if (!out) return ERROR_INVALID_PARAMETER;
        *out = 0;
        Handle h;
        if (LONG r = live(parent, h)) return r;
        std::vector<std::string> parts;
        if (LONG r = splitKeyPath(sub, parts)) return r;
        Handle n = below(h, parts);
        bool created = false;
        if (parts.empty()) {
            n.key = h.key;
        } else if (h.classes) {
            // New keys of the merged view go to the machine's classes.
            n.key = classKeyAt(n.classPath);
            if (!n.key) n.key = makePath(classesRoot(kMachineHive, true, created), n.classPath, cls, created);
        } else {
            n.key = makePath(h.key, parts, cls, created);
        }
        if (created)
            if (LONG r = commit()) return r;
        n.access = effectiveAccess(sam);
        *out = addHandle(std::move(n));
        if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }

    LONG query(HKEY hk, const std::string& name, Value& out) {
        Handle h;
        Key* k;
        if (LONG r = keyFor(hk, h, k)) return r;
        if (!(h.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        Value* v = k->value(name);
        if (!v) return ERROR_FILE_NOT_FOUND;
        out = *v;
        return ERROR_SUCCESS;
    }

    LONG set(HKEY hk, Value v) {
        Handle h;
        Key* k;
        if (LONG r = keyFor(hk, h, k)) return r;
        if (!(h.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        if (sys::toUtf16(v.name).size() > kMaxValueNameChars) return ERROR_INVALID_PARAMETER;
        if (!h.key) {  // values of HKEY_CLASSES_ROOT itself are the machine's
            bool created = false;
            k = classesRoot(kMachineHive, true, created).get();
        }
        touch(*k);
        if (Value* old = k->value(v.name)) {
            v.name = old->name;  // the first spelling stays
            undo_.push_back([k, before = *old] { *k->value(before.name) = before; });
            *old = std::move(v);
        } else {
            k->values.push_back(std::move(v));
            undo_.push_back([k] { k->values.pop_back(); });
        }
        return commit();
    }

    LONG deleteValue(HKEY hk, const std::string& name) {
        Handle h;
        Key* k;
        if (LONG r = keyFor(hk, h, k)) return r;
        if (!(h.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        auto it = std::find_if(k->values.begin(), k->values.end(),
                               [&](const Value& v) { return sys::iequals(v.name, name); });
        if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
        touch(*k);
        const size_t at = static_cast<size_t>(it - k->values.begin());
        undo_.push_back([k, at, before = *it] { k->values.insert(k->values.begin() + static_cast<long>(at), before); });
        k->values.erase(it);
        return commit();
    }

    // Deletes parent\sub, or the key of parent itself for an empty sub (which needs DELETE).
    // A key with sub-keys is refused unless whole trees are asked for.
    LONG deleteKey(HKEY parent, const std::string& sub, bool tree) {
        Handle h;
        if (LONG r = live(parent, h)) return r;
        std::vector<std::string> parts;
        if (LONG r = splitKeyPath(sub, parts)) return r;
        KeyPtr target;
        if (parts.empty()) {
            if (!(h.access & DELETE)) return ERROR_ACCESS_DENIED;
            target = h.key;
        } else {
            target = h.classes ? classKeyAt(below(h, parts).classPath) : walk(h.key, parts);
            if (!target) return ERROR_FILE_NOT_FOUND;
        }
        Key* owner = target ? target->parent : nullptr;
        if (!owner) return ERROR_ACCESS_DENIED;  // a hive or the classes root
        if (!tree && !target->keys.empty()) return ERROR_ACCESS_DENIED;
        touch(*owner);
        const std::string upper = sys::upperAscii(target->name);
        owner->keys.erase(upper);
        markDeleted(*target, true);
        undo_.push_back([owner, upper, target] {
            markDeleted(*target, false);
            owner->keys.emplace(upper, target);
        });
        return commit();
    }

    struct SubKey {
        std::string name, cls;
        int64_t time = 0;
    };

    LONG enumKey(HKEY hk, DWORD index, SubKey& out) {
        Handle h;
        if (LONG r = live(hk, h)) return r;
        if (!(h.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
        const auto list = subKeysOf(h);
        if (index >= list.size()) return ERROR_NO_MORE_ITEMS;
        out = {list[index]->name, list[index]->cls, list[index]->writeMs};
        return ERROR_SUCCESS;
    }

    LONG enumValue(HKEY hk, DWORD index, Value& out) {
        Handle h;
        Key* k;
        if (LONG r = keyFor(hk, h, k)) return r;
        if (!(h.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
        out = k->values[index];
        return ERROR_SUCCESS;
    }

    struct Info {
        std::string cls;
        std::vector<SubKey> keys;
        std::vector<Value> values;
        int64_t time = 0;
    };
    LONG info(HKEY hk, Info& out) {
        Handle h;
        Key* k;
        if (LONG r = keyFor(hk, h, k)) return r;
        if (!(h.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        for (const Key* c : subKeysOf(h)) out.keys.push_back({c->name, c->cls, c->writeMs});
        out.cls = k->cls;
        out.values = k->values;
        out.time = k->writeMs;
        return ERROR_SUCCESS;
    }

    LONG close(HKEY h) {
        if (h >= HKEY_CLASSES_ROOT && h < HKEY_CLASSES_ROOT + kHiveCount) return ERROR_SUCCESS;
        return handles_.erase(h) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }

    LONG flush(HKEY hk) {
        Handle h;
        return live(hk, h);  // every change is on disk already
    }

private:
    int64_t now() { return machine_.clock().localMs(); }

    // A handle (predefined or opened) whose key still exists.
    LONG live(HKEY hk, Handle& out) {
        if (!damage_.empty()) return ERROR_BADDB;
        if (hk == HKEY_CLASSES_ROOT) {
            out = Handle{nullptr, KEY_ALL_ACCESS, true, {}};
        } else if (hk > HKEY_CLASSES_ROOT && hk < HKEY_CLASSES_ROOT + kHiveCount) {
            out = Handle{hives_[hk - HKEY_CLASSES_ROOT], KEY_ALL_ACCESS, false, {}};
        } else {
            auto it = handles_.find(hk);
            if (it == handles_.end()) return ERROR_INVALID_HANDLE;
            out = it->second;
        }
        if (out.key && out.key->deleted) return ERROR_KEY_DELETED;
        return ERROR_SUCCESS;
    }

    // The key whose values a handle reads: for the root of HKEY_CLASSES_ROOT, the machine's classes.
    LONG keyFor(HKEY hk, Handle& h, Key*& k) {
        if (LONG r = live(hk, h)) return r;
        if (h.key) {
            k = h.key.get();
        } else {
            bool created = false;
            KeyPtr root = classesRoot(kMachineHive, false, created);
            k = root ? root.get() : &empty_;
        }
        return ERROR_SUCCESS;
    }

    static Handle below(const Handle& h, const std::vector<std::string>& parts) {
        Handle n;
        n.classes = h.classes;
        if (h.classes) {
            n.classPath = h.classPath;
            n.classPath.insert(n.classPath.end(), parts.begin(), parts.end());
        }
        return n;
    }

    static KeyPtr walk(KeyPtr k, const std::vector<std::string>& parts) {
        for (const auto& p : parts) {
            if (!k) return nullptr;
            k = k->child(p);
        }
        return k;
    }

    // "Software\Classes" of the user's or the machine's hive; made (with undo) when asked.
    KeyPtr classesRoot(int hive, bool make, bool& created) {
        KeyPtr k = hives_[hive];
        for (const char* p : kClassesPath) {
            KeyPtr c = k->child(p);
            if (!c && !make) return nullptr;
            if (!c) {
                c = makeChild(*k, p, "");
                created = true;
            }
            k = c;
        }
        return k;
    }

    // A key of the merged view: the user's where there is one, else the machine's.
    KeyPtr classKeyAt(const std::vector<std::string>& path) {
        bool created = false;
        if (KeyPtr user = walk(classesRoot(kUserHive, false, created), path)) return user;
        return walk(classesRoot(kMachineHive, false, created), path);
    }

    // Sub-keys in enumeration order; under HKEY_CLASSES_ROOT the user's and the machine's, the
    // user's winning where both have one.
    std::vector<Key*> subKeysOf(const Handle& h) {
        std::vector<Key*> out;
        if (!h.classes) {
            for (auto& [_, c] : h.key->keys) out.push_back(c.get());
            return out;
        }
        std::map<std::string, Key*> merged;
        bool created = false;
        for (int hive : {kMachineHive, kUserHive})
            if (KeyPtr k = walk(classesRoot(hive, false, created), h.classPath))
                for (auto& [upper, c] : k->keys) merged[upper] = c.get();
        for (auto& [_, c] : merged) out.push_back(c);
        return out;
    }

    KeyPtr makeChild(Key& parent, const std::string& name, const std::string& cls) {
        touch(parent);
        KeyPtr k = newKey(parent, name, now());
        k->cls = cls;
        undo_.push_back([&parent, name, k] {
            parent.keys.erase(sys::upperAscii(name));
            markDeleted(*k, true);
        });
        return k;
    }

    // The key at parts below k, made as needed; the class goes to the last one if it is new.
    KeyPtr makePath(KeyPtr k, const std::vector<std::string>& parts, const std::string& cls, bool& created) {
        for (size_t i = 0; i < parts.size(); ++i) {
            KeyPtr c = k->child(parts[i]);
            if (!c) {
                c = makeChild(*k, parts[i], i + 1 == parts.size() ? cls : std::string());
                created = true;
            }
            k = c;
        }
        return k;
    }

    // A change of k: its write time, undone with it.
    void touch(Key& k) {
        undo_.push_back([&k, t = k.writeMs] { k.writeMs = t; });
        k.writeMs = now();
    }

    HKEY addHandle(Handle h) {
        while (handles_.count(nextHandle_) || nextHandle_ >= HKEY_CLASSES_ROOT || nextHandle_ < kFirstHandle)
            nextHandle_ = nextHandle_ >= HKEY_CLASSES_ROOT ? kFirstHandle : nextHandle_ + 4;
        HKEY id = nextHandle_;
        nextHandle_ += 4;
        handles_.emplace(id, std::move(h));
        return id;
    }

    json toJson() const {
        json hives = json::object();
        for (int i = kUserHive; i < kHiveCount; ++i) hives[kHiveNames[i]] = keyToJson(*hives_[i]);
        return {{"format", "pennant-registry"}, {"version", 1}, {"hives", std::move(hives)}};
    }

    void fromJson(const json& j) {
        if (!j.is_object() || j.value("format", std::string()) != "pennant-registry")
            throw std::runtime_error("not a registry file");
        if (j.value("version", 0) != 1) throw std::runtime_error("unknown version");
        const json& hives = j.at("hives");
        KeyPtr loaded[kHiveCount];
        for (int i = 0; i < kHiveCount; ++i) {
            loaded[i] = hives.contains(kHiveNames[i]) ? keyFromJson(hives.at(kHiveNames[i]), true, kHiveNames[i])
                                                      : std::make_shared<Key>();
            loaded[i]->name = kHiveNames[i];
        }
        // Files from before the merged view kept HKEY_CLASSES_ROOT apart: it becomes the machine's
        // classes, whose own entries win where both have one.
        Key& old = *loaded[0];
        if (!old.keys.empty() || !old.values.empty()) {
            KeyPtr k = loaded[kMachineHive];
            for (const char* p : kClassesPath) {
                KeyPtr c = k->child(p);
                k = c ? c : newKey(*k, p, old.writeMs);
            }
            mergeInto(*k, old);
        }
        for (int i = kUserHive; i < kHiveCount; ++i) hives_[i] = std::move(loaded[i]);
    }

    void load() {
        std::error_code ec;
        // What writes cut short left behind; the file itself is whole (or absent).
        sys::removeStaleTemporaries(file_);
        if (!fs::exists(file_, ec)) return;
        std::ifstream in(file_, std::ios::binary);
        std::ostringstream ss;
        if (!in || !(ss << in.rdbuf())) {
            damage_ = "the registry file " + file_.string() + " cannot be read; it was left as it is";
            return;
        }
        try {
            fromJson(json::parse(ss.str()));
        } catch (const std::exception& e) {
            damage_ = "the registry file " + file_.string() + " is damaged (" + e.what() +
                      "); it was left as it is";
            return;
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

    // Writes the changed registry; when that fails the change is undone, the keys it touched
    // keeping who they are (open handles stay good).
    LONG commit() {
        std::string why = writeFile(toJson().dump(1, ' ', false, json::error_handler_t::replace));
        std::vector<std::function<void()>> undo = std::move(undo_);
        undo_.clear();
        if (!why.empty()) {
            writeFailure_ = "the registry file " + file_.string() + " could not be written (" + why +
                            "); the change was not made";
            for (auto it = undo.rbegin(); it != undo.rend(); ++it) (*it)();
            return ERROR_CANTWRITE;
        }
        writeFailure_.clear();
        return ERROR_SUCCESS;
    }

    sys::Machine& machine_;
    fs::path file_, tmpFile_;
    KeyPtr hives_[kHiveCount];  // [0] stays empty: HKEY_CLASSES_ROOT is a view
    Key empty_;                 // what an absent classes key reads as
    std::map<HKEY, Handle> handles_;
    HKEY nextHandle_ = kFirstHandle;
    std::vector<std::function<void()>> undo_;
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

// The bytes a caller of this form reads: the "A" form gets text in the code page, NULs and all.
template <class C>
std::vector<BYTE> dataOf(const Value& v, int cp) {
    if (sizeof(C) == 2 || !isText(v.type)) return v.data;
    const std::string a = sys::toAnsi(sys::fromUtf16(charsOf(v.data)), cp);
    return std::vector<BYTE>(a.begin(), a.end());
}

// Text whose size leaves out the terminator right after it is taken with that terminator: the
// caller forgot to count it. Text followed by anything else is kept as given, unended; so is an odd
// UTF-16 byte count, which is no text.
template <class C>
DWORD countingTerminator(DWORD type, const BYTE* data, DWORD cb) {
    if (!isText(type) || cb < sizeof(C) || cb % sizeof(C)) return cb;
    C last, next;
    std::memcpy(&last, data + cb - sizeof(C), sizeof(C));
    if (last == 0) return cb;  // ended already: nothing past the size is read
    std::memcpy(&next, data + cb, sizeof(C));
    return next == 0 ? cb + static_cast<DWORD>(sizeof(C)) : cb;
}

// Stored as given; the "A" form's text is converted, every byte of it.
template <class C>
Value valueFrom(const C* name, DWORD type, const BYTE* data, DWORD cb, int cp) {
    Value v;
    v.name = decode(name, cp);
    v.type = type;
    if (!cb) return v;
    cb = countingTerminator<C>(type, data, cb);
    if (sizeof(C) == 2 || !isText(type))
        v.data.assign(data, data + cb);
    else
        v.data = bytesOf(sys::toUtf16(sys::fromAnsi(std::string_view(reinterpret_cast<const char*>(data), cb), cp)));
    return v;
}

template <class C>
void copyName(const std::basic_string<C>& s, C* buf, DWORD* cch) {
    std::memcpy(buf, s.c_str(), (s.size() + 1) * sizeof(C));
    *cch = static_cast<DWORD>(s.size());
}

template <class C>
LONG openT(HKEY hKey, const C* sub, REGSAM sam, HKEY* out) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    std::lock_guard lock(s->mu);
    return s->open(hKey, decode(sub, s->codePage()), sam, out);
}

template <class C>
LONG createT(HKEY hKey, const C* sub, const C* cls, REGSAM sam, HKEY* out, DWORD* disposition) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (!sub) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(s->mu);
    return s->create(hKey, decode(sub, s->codePage()), decode(cls, s->codePage()), sam, out, disposition);
}

// A missing value leaves the type as it was, and the size too where a buffer was given (0 for a
// probe). Too small a buffer is left untouched; the "A" form ends text stored without a
// terminator with a NUL where the buffer has room, not counted.
template <class C>
LONG queryT(HKEY hKey, const C* name, DWORD* type, BYTE* data, DWORD* cb) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (data && !cb) return ERROR_INVALID_PARAMETER;
    Value v;
    {
        std::lock_guard lock(s->mu);
        if (LONG r = s->query(hKey, decode(name, s->codePage()), v)) {
            if (r == ERROR_FILE_NOT_FOUND && cb && !data) *cb = 0;
            return r;
        }
    }
    if (type) *type = v.type;
    if (!cb) return ERROR_SUCCESS;
    const std::vector<BYTE> bytes = dataOf<C>(v, s->codePage());
    const DWORD need = static_cast<DWORD>(bytes.size());
    if (data && *cb < need) {
        *cb = need;
        return ERROR_MORE_DATA;
    }
    if (data && need) {
        std::memcpy(data, bytes.data(), need);
        if (sizeof(C) == 1 && isText(v.type) && *cb > need && bytes[need - 1] != 0) data[need] = 0;
    }
    *cb = need;
    return ERROR_SUCCESS;
}

template <class C>
LONG setT(HKEY hKey, const C* name, DWORD type, const BYTE* data, DWORD cb) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (!data && cb) return ERROR_NOACCESS;
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

// Too small a buffer for the name or the class: ERROR_MORE_DATA with nothing changed.
template <class C>
LONG enumKeyT(HKEY hKey, DWORD index, C* name, DWORD* cch, C* cls, DWORD* cchClass, FILETIME* time) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (!name || !cch) return ERROR_INVALID_PARAMETER;
    Store::SubKey found;
    {
        std::lock_guard lock(s->mu);
        if (LONG r = s->enumKey(hKey, index, found)) return r;
    }
    const auto n = encode<C>(found.name, s->codePage());
    const auto c = encode<C>(found.cls, s->codePage());
    if (n.size() + 1 > *cch || (cls && cchClass && c.size() + 1 > *cchClass)) return ERROR_MORE_DATA;
    copyName(n, name, cch);
    if (cls && cchClass) copyName(c, cls, cchClass);
    else if (cchClass) *cchClass = static_cast<DWORD>(c.size());
    putFileTime(time, found.time);
    return ERROR_SUCCESS;
}

// Too small a buffer for the name or the data: ERROR_MORE_DATA with the type and the data's size
// given and both buffers untouched, except that the "W" form still gives the name when only the
// data does not fit.
template <class C>
LONG enumValueT(HKEY hKey, DWORD index, C* name, DWORD* cch, DWORD* type, BYTE* data, DWORD* cb) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (!name || !cch || (data && !cb)) return ERROR_INVALID_PARAMETER;
    Value v;
    {
        std::lock_guard lock(s->mu);
        if (LONG r = s->enumValue(hKey, index, v)) return r;
    }
    const auto n = encode<C>(v.name, s->codePage());
    const std::vector<BYTE> bytes = dataOf<C>(v, s->codePage());
    const DWORD need = static_cast<DWORD>(bytes.size());
    const bool nameFits = n.size() + 1 <= *cch;
    const bool dataFits = !data || *cb >= need;
    if (type) *type = v.type;
    if (!nameFits || !dataFits) {
        if (cb) *cb = need;
        if (sizeof(C) == 2 && nameFits) copyName(n, name, cch);
        return ERROR_MORE_DATA;
    }
    copyName(n, name, cch);
    if (data && need) std::memcpy(data, bytes.data(), need);
    if (cb) *cb = need;
    return ERROR_SUCCESS;
}

// Both forms count as the target does: names and classes in UTF-16 characters without the NUL,
// data in the bytes stored. The class itself comes in the caller's form.
template <class C>
LONG queryInfoT(HKEY hKey, C* cls, DWORD* cchClass, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* maxClassLen,
                DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen, DWORD* securityDescriptor,
                FILETIME* time) {
    Store* s = storeOrNull();
    if (!s) return ERROR_INVALID_HANDLE;
    if (cls && !cchClass) return ERROR_INVALID_PARAMETER;
    Store::Info info;
    {
        std::lock_guard lock(s->mu);
        if (LONG r = s->info(hKey, info)) return r;
    }
    auto chars = [](const std::string& utf8) { return static_cast<DWORD>(sys::toUtf16(utf8).size()); };
    DWORD maxKey = 0, maxKeyClass = 0, maxName = 0, maxData = 0;
    for (const auto& k : info.keys) {
        maxKey = std::max(maxKey, chars(k.name));
        maxKeyClass = std::max(maxKeyClass, chars(k.cls));
    }
    for (const auto& v : info.values) {
        maxName = std::max(maxName, chars(v.name));
        maxData = std::max(maxData, static_cast<DWORD>(v.data.size()));
    }
    if (subKeys) *subKeys = static_cast<DWORD>(info.keys.size());
    if (maxSubKeyLen) *maxSubKeyLen = maxKey;
    if (maxClassLen) *maxClassLen = maxKeyClass;
    if (values) *values = static_cast<DWORD>(info.values.size());
    if (maxValueNameLen) *maxValueNameLen = maxName;
    if (maxValueLen) *maxValueLen = maxData;
    if (securityDescriptor) *securityDescriptor = 0;
    putFileTime(time, info.time);
    if (!cchClass) return ERROR_SUCCESS;
    const auto c = encode<C>(info.cls, s->codePage());
    const bool fits = c.size() + 1 <= *cchClass;
    if (cls && fits) std::memcpy(cls, c.c_str(), (c.size() + 1) * sizeof(C));
    *cchClass = static_cast<DWORD>(c.size());
    return cls && !fits ? ERROR_MORE_DATA : ERROR_SUCCESS;
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
        if (!hKey) {  // no key asked for: none given, and no error
            *phkResult = 0;
            return ERROR_SUCCESS;
        }
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

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD, const char* lpClass, DWORD, REGSAM samDesired,
                     const void*, HKEY* phkResult, DWORD* lpdwDisposition) {
    return createT(hKey, lpSubKey, lpClass, samDesired, phkResult, lpdwDisposition);
}

LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
    if (!lpSubKey || !*lpSubKey) return RegOpenKeyA(hKey, nullptr, phkResult);
    return createT<char>(hKey, lpSubKey, nullptr, MAXIMUM_ALLOWED, phkResult, nullptr);
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

LONG RegCreateKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD, const char16_t* lpClass, DWORD, REGSAM samDesired,
                     const void*, HKEY* phkResult, DWORD* lpdwDisposition) {
    return createT(hKey, lpSubKey, lpClass, samDesired, phkResult, lpdwDisposition);
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
    LONG r = create ? s->create(root, path, "", sam, &h, nullptr) : s->open(root, path, sam, &h);
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
    const auto strings = textStrings(v->type, v->data);
    return strings.empty() ? std::string() : strings.front();
}

bool setString(HKEY root, const std::string& path, const std::string& name, const std::string& value,
               DWORD type) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    Value v;
    v.name = name;
    v.type = type;
    // The text up to a NUL, stored with its terminator.
    v.data = textBytes(type, {value.substr(0, value.find('\0'))});
    return win::detail::write(root, path, std::move(v));
}

std::optional<DWORD> getDword(HKEY root, const std::string& path, const std::string& name) {
    auto v = win::detail::read(root, path, name);
    if (!v || v->type != REG_DWORD || v->data.size() != 4) return std::nullopt;
    DWORD d;
    std::memcpy(&d, v->data.data(), 4);
    return d;
}

bool setDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    Value v;
    v.name = name;
    v.type = REG_DWORD;
    v.data.resize(4);
    std::memcpy(v.data.data(), &value, 4);
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
        Store::SubKey k;
        for (DWORD i = 0; s->enumKey(h, i, k) == ERROR_SUCCESS; ++i) names.push_back(k.name);
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
