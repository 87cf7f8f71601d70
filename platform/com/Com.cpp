#include "ComBase.h"
#include "RegistryAccess.h"

#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

namespace com {

// Classes the process serves itself, per machine (named type: see RegistryAccess.cpp).
struct ClassTable {
    struct Entry {
        std::string progId;
        Factory factory;
    };
    std::mutex mutex;
    std::map<std::string, Entry> byClsid;  // guidToString
};

// Server libraries loaded for this machine. dlopen keeps one copy per process; the libraries
// stay loaded, since an engine may keep module-wide state alive between objects.
struct LoadedServers {
    struct Server {
        void* handle = nullptr;
        win::PlatformAttachFn attach = nullptr;
        win::DllGetClassObjectFn getClassObject = nullptr;
    };
    std::mutex mutex;
    std::map<std::string, Server> byPath;
};

namespace {

using namespace win;
namespace ra = regaccess;

int hexValue(char32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

template <class Str>
std::optional<GUID> parseGuidT(const Str& t) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (t.size() != 38 || t[0] != '{' || t[37] != '}') return std::nullopt;
    uint8_t bytes[16];
    int n = 0;
    for (size_t i = 1; i < 37;) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (t[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int hi = hexValue(static_cast<char32_t>(t[i])), lo = hexValue(static_cast<char32_t>(t[i + 1]));
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[n++] = static_cast<uint8_t>(hi * 16 + lo);
        i += 2;
    }
    GUID g{};
    g.Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    g.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
    return g;
}

std::string clsidKey(const GUID& clsid) { return "CLSID\\" + guidToString(clsid); }

// The library registered for a class, as a host path; empty when the class has none.
std::string serverPath(sys::Machine& m, const GUID& clsid) {
    auto path = ra::getString(m, ra::Hive::ClassesRoot, clsidKey(clsid) + "\\InprocServer32", "");
    if (!path || path->empty()) return {};
    if ((*path)[0] == '/') return *path;
    return m.hostPath(*path).string();
}

// Whether a library may be loaded into this process: the machine's registry is data, and a path
// in it must not run code from anywhere on the host. Only the machine's own files and the
// libraries this build made (the engine, test servers) qualify.
bool trustedServerPath(sys::Machine& m, const std::string& hostPath) {
    std::error_code ec;
    const auto file = std::filesystem::weakly_canonical(hostPath, ec);
    if (ec) return false;
    auto inside = [&](const std::filesystem::path& dir) {
        std::error_code e;
        const auto base = std::filesystem::weakly_canonical(dir, e);
        if (e || base.empty()) return false;
        const auto rel = file.lexically_relative(base);
        return !rel.empty() && *rel.begin() != ".." && rel.is_relative();
    };
    return inside(m.root()) || inside(PENNANT_BUILD_DIR);
}

HRESULT loadServer(sys::Machine& m, const std::string& hostPath, LoadedServers::Server* out) {
    auto& loaded = m.service<LoadedServers>();
    std::lock_guard lock(loaded.mutex);
    auto it = loaded.byPath.find(hostPath);
    if (it == loaded.byPath.end()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(hostPath, ec)) return CO_E_DLLNOTFOUND;
        void* h = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            std::fprintf(stderr, "com: cannot load %s: %s\n", hostPath.c_str(), dlerror());
            return CO_E_ERRORINDLL;
        }
        LoadedServers::Server s;
        s.handle = h;
        s.attach = reinterpret_cast<PlatformAttachFn>(dlsym(h, "PlatformAttach"));
        s.getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(h, "DllGetClassObject"));
        it = loaded.byPath.emplace(hostPath, s).first;
    }
    *out = it->second;
    if (out->attach) out->attach(&m);
    return S_OK;
}

// A factory object over a process-registered creation function.
class FunctionFactory final : public IClassFactory, public RefCount {
public:
    explicit FunctionFactory(Factory f) : f_(std::move(f)) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return f_(riid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    Factory f_;
};

std::string hexGuid(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::u16string u16(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

} // namespace

std::string guidToString(const GUID& guid) { return hexGuid(guid); }
std::u16string guidToString16(const GUID& guid) {
    const std::string s = hexGuid(guid);
    return std::u16string(s.begin(), s.end());
}
std::optional<GUID> parseGuid(std::string_view text) { return parseGuidT(text); }
std::optional<GUID> parseGuid(std::u16string_view text) { return parseGuidT(text); }

void registerClassObject(sys::Machine& machine, const GUID& clsid, std::string progId, Factory factory) {
    auto& t = machine.service<ClassTable>();
    std::lock_guard lock(t.mutex);
    t.byClsid[guidToString(clsid)] = {std::move(progId), std::move(factory)};
}

void revokeClassObject(sys::Machine& machine, const GUID& clsid) {
    auto& t = machine.service<ClassTable>();
    std::lock_guard lock(t.mutex);
    t.byClsid.erase(guidToString(clsid));
}

HRESULT clsidFromProgId(sys::Machine& machine, std::string_view progId, GUID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = GUID_NULL;
    if (!progId.empty() && progId.front() == '{') {
        auto g = parseGuid(progId);
        if (!g) return CO_E_CLASSSTRING;
        *clsid = *g;
        return S_OK;
    }
    if (progId.empty() || progId.find('\\') != std::string_view::npos) return CO_E_CLASSSTRING;
    if (auto text = ra::getString(machine, ra::Hive::ClassesRoot, std::string(progId) + "\\CLSID", "")) {
        auto g = parseGuid(*text);
        if (!g) return REGDB_E_READREGDB;  // a damaged entry is not a usable class
        *clsid = *g;
        return S_OK;
    }
    auto& t = machine.service<ClassTable>();
    std::lock_guard lock(t.mutex);
    for (auto& [key, e] : t.byClsid) {
        if (sys::iequals(e.progId, progId)) {
            *clsid = *parseGuid(key);
            return S_OK;
        }
    }
    return REGDB_E_CLASSNOTREG;
}

HRESULT getClassObject(sys::Machine& machine, const GUID& clsid, const GUID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    {
        auto& t = machine.service<ClassTable>();
        std::unique_lock lock(t.mutex);
        auto it = t.byClsid.find(guidToString(clsid));
        if (it != t.byClsid.end()) {
            Factory f = it->second.factory;
            lock.unlock();
            auto* factory = new FunctionFactory(std::move(f));
            HRESULT hr = factory->QueryInterface(iid, out);
            factory->Release();
            return hr;
        }
    }
    const std::string path = serverPath(machine, clsid);
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    if (!trustedServerPath(machine, path)) return E_ACCESSDENIED;
    LoadedServers::Server server;
    HRESULT hr = loadServer(machine, path, &server);
    if (FAILED(hr)) return hr;
    if (!server.getClassObject) return CO_E_ERRORINDLL;
    hr = server.getClassObject(clsid, iid, out);
    if (FAILED(hr)) *out = nullptr;
    else if (!*out) return E_UNEXPECTED;  // success without an object is not usable
    return hr;
}

HRESULT createInstance(sys::Machine& machine, const GUID& clsid, const GUID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(machine, clsid, IID_IClassFactory, factory.putVoid());
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, iid, out);
    if (FAILED(hr)) *out = nullptr;
    else if (!*out) return E_UNEXPECTED;
    return hr;
}

HRESULT createObject(sys::Machine& machine, std::string_view progIdOrClsid, const GUID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    GUID clsid;
    HRESULT hr = clsidFromProgId(machine, progIdOrClsid, &clsid);
    if (FAILED(hr)) return hr;
    return createInstance(machine, clsid, iid, out);
}

namespace {

HRESULT runRegistration(sys::Machine& machine, const std::string& path, const char* entry) {
    LoadedServers::Server server;
    HRESULT hr = loadServer(machine, path, &server);
    if (FAILED(hr)) return hr;
    auto fn = reinterpret_cast<DllRegisterServerFn>(dlsym(server.handle, entry));
    if (!fn) return CO_E_ERRORINDLL;
    return fn();
}

} // namespace

HRESULT registerServer(sys::Machine& machine, const std::string& libraryHostPath) {
    return runRegistration(machine, libraryHostPath, "DllRegisterServer");
}

HRESULT unregisterServer(sys::Machine& machine, const std::string& libraryHostPath) {
    return runRegistration(machine, libraryHostPath, "DllUnregisterServer");
}

HRESULT registerInprocClass(const ClassRegistration& reg) {
    sys::Machine* m = sys::Machine::currentOrNull();
    if (!m) return CO_E_NOTINITIALIZED;
    if (reg.libraryPath.empty()) return SELFREG_E_CLASS;
    const auto cr = ra::Hive::ClassesRoot;
    const std::string key = clsidKey(reg.clsid);
    const std::string id = guidToString(reg.clsid);
    bool ok = ra::setString(*m, cr, key, "", reg.description) &&
              ra::setString(*m, cr, key + "\\InprocServer32", "", reg.libraryPath) &&
              ra::setString(*m, cr, key + "\\InprocServer32", "ThreadingModel", reg.threadingModel);
    if (!reg.progId.empty()) {
        ok = ok && ra::setString(*m, cr, key + "\\ProgID", "", reg.progId) &&
             ra::setString(*m, cr, reg.progId, "", reg.description) &&
             ra::setString(*m, cr, reg.progId + "\\CLSID", "", id);
    }
    if (!reg.versionIndependentProgId.empty()) {
        ok = ok && ra::setString(*m, cr, key + "\\VersionIndependentProgID", "", reg.versionIndependentProgId) &&
             ra::setString(*m, cr, reg.versionIndependentProgId, "", reg.description) &&
             ra::setString(*m, cr, reg.versionIndependentProgId + "\\CLSID", "", id) &&
             (reg.progId.empty() || ra::setString(*m, cr, reg.versionIndependentProgId + "\\CurVer", "", reg.progId));
    }
    if (reg.typeLib) ok = ok && ra::setString(*m, cr, key + "\\TypeLib", "", guidToString(*reg.typeLib));
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT registerTypeLib(const TypeLibRegistration& reg) {
    sys::Machine* m = sys::Machine::currentOrNull();
    if (!m) return CO_E_NOTINITIALIZED;
    if (reg.libraryPath.empty()) return SELFREG_E_TYPELIB;
    const auto cr = ra::Hive::ClassesRoot;
    const std::string key = "TypeLib\\" + guidToString(reg.libid) + "\\" + reg.version;
    const size_t slash = reg.libraryPath.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : reg.libraryPath.substr(0, slash);
    const bool ok = ra::setString(*m, cr, key, "", reg.description) && ra::setString(*m, cr, key, "FLAGS", "0") &&
                    ra::setString(*m, cr, key, "HELPDIR", folder) &&
                    ra::setString(*m, cr, key + "\\0\\win32", "", reg.libraryPath);
    return ok ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT unregisterTypeLib(const TypeLibRegistration& reg) {
    sys::Machine* m = sys::Machine::currentOrNull();
    if (!m) return CO_E_NOTINITIALIZED;
    const auto cr = ra::Hive::ClassesRoot;
    const std::string lib = "TypeLib\\" + guidToString(reg.libid);
    ra::deleteTree(*m, cr, lib + "\\" + reg.version);
    if (ra::subKeys(*m, cr, lib).empty()) ra::deleteTree(*m, cr, lib);
    return S_OK;
}

HRESULT unregisterInprocClass(const ClassRegistration& reg) {
    sys::Machine* m = sys::Machine::currentOrNull();
    if (!m) return CO_E_NOTINITIALIZED;
    const auto cr = ra::Hive::ClassesRoot;
    ra::deleteTree(*m, cr, clsidKey(reg.clsid));
    // A ProgID that another class took over since is not ours to remove.
    for (const std::string& p : {reg.progId, reg.versionIndependentProgId}) {
        if (p.empty()) continue;
        auto id = ra::getString(*m, cr, p + "\\CLSID", "");
        if (id && parseGuid(*id) && *parseGuid(*id) == reg.clsid) ra::deleteTree(*m, cr, p);
    }
    return S_OK;
}

std::string modulePath(const void* addressInModule) {
    Dl_info info{};
    if (!dladdr(addressInModule, &info) || !info.dli_fname) return {};
    std::error_code ec;
    auto p = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::string(info.dli_fname) : p.string();
}

} // namespace com

// ---- Win32-style entry points ---------------------------------------------------------------
namespace win {

void* CoTaskMemAlloc(size_t cb) { return std::malloc(cb ? cb : 1); }
void* CoTaskMemRealloc(void* pv, size_t cb) { return std::realloc(pv, cb ? cb : 1); }
void CoTaskMemFree(void* pv) { std::free(pv); }

int StringFromGUID2(REFGUID guid, LPWSTR buf, int cchMax) {
    if (!buf || cchMax < 39) return 0;
    const std::u16string s = com::guidToString16(guid);
    std::copy(s.begin(), s.end(), buf);
    buf[s.size()] = 0;
    return static_cast<int>(s.size() + 1);
}

HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid) {
    if (!clsid) return E_POINTER;
    auto g = text ? com::parseGuid(std::u16string_view(text)) : std::nullopt;
    if (!g) return CO_E_CLASSSTRING;
    *clsid = *g;
    return S_OK;
}

HRESULT CLSIDFromProgID(LPCWSTR progId, CLSID* clsid) {
    auto* m = sys::Machine::currentOrNull();
    if (!m) return CO_E_NOTINITIALIZED;
    if (!progId) return E_INVALIDARG;
    return com::clsidFromProgId(*m, sys::fromUtf16(com::u16(progId)), clsid);
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD, void*, REFIID riid, void** ppv) {
    auto* m = sys::Machine::currentOrNull();
    if (!m) return CO_E_NOTINITIALIZED;
    return com::getClassObject(*m, clsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* m = sys::Machine::currentOrNull();
    if (!m) return CO_E_NOTINITIALIZED;
    return com::createInstance(*m, clsid, riid, ppv);
}

} // namespace win
