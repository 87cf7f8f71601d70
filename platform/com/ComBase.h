#pragma once
// COM-style binary interface of the platform.
//
// Interfaces are structs of pure virtual functions; with single inheritance the Itanium C++ ABI
// lays their tables out slot by slot like COM, so a struct here and an implementation built
// separately (a dlopen'ed server library) agree as long as both use this header. Strings are
// UTF-16 (char16_t). The ABI types and Win32-style entry points live in namespace `win`; the C++
// conveniences (ComPtr, GUID text, creation on a given machine, registration) in `com`.
//
// In-process servers (shared libraries) export:
//   extern "C" void    PlatformAttach(sys::Machine* machine);          // optional, see below
//   extern "C" HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** out);
//   extern "C" HRESULT DllCanUnloadNow();
//   extern "C" HRESULT DllRegisterServer();
//   extern "C" HRESULT DllUnregisterServer();
// The library runs inside the host process, but when it links the platform statically it has its
// own copy of sys::Machine::current(). The loader therefore calls PlatformAttach(machine) right
// after loading and again before every other entry call, giving the machine the call acts for;
// the library makes that machine its current one (sys::Machine::setCurrent) and uses it for the
// registry, the file system and the audio output. An object should keep the machine it was created
// for rather than ask for the current one later: a process may run several machines (tests), and
// the library's current one is whichever was attached last. Per-machine state lives in Machine services,
// which are found by type name, so both copies of the platform code reach the same state. This
// library keeps no process-wide state of its own.
//
// A class is registered under HKEY_CLASSES_ROOT:
//   CLSID\{clsid}                 (default) = description
//   CLSID\{clsid}\InprocServer32  (default) = library path, "ThreadingModel" = model
//   CLSID\{clsid}\ProgID          (default) = ProgID
//   <ProgID>\CLSID                (default) = {clsid}
// The library path is a Windows path on the machine, or an absolute host path (starting with
// "/") for libraries that live outside the machine's drive (the build tree).
#include "platform/system/WinTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace sys { class Machine; }

namespace win {

using HRESULT = int32_t;
using ULONG = uint32_t;
using USHORT = uint16_t;
using ULONGLONG = uint64_t;
using LANGID = uint16_t;
using WCHAR = char16_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const GUID&;
using REFCLSID = const GUID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }
inline bool IsEqualIID(const GUID& a, const GUID& b) { return a == b; }
inline bool IsEqualCLSID(const GUID& a, const GUID& b) { return a == b; }
constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// ---- Result codes --------------------------------------------------------------------------
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT hresult(uint32_t v) { return static_cast<HRESULT>(v); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hresult(0x80004001);
constexpr HRESULT E_NOINTERFACE = hresult(0x80004002);
constexpr HRESULT E_POINTER = hresult(0x80004003);
constexpr HRESULT E_ABORT = hresult(0x80004004);
constexpr HRESULT E_FAIL = hresult(0x80004005);
constexpr HRESULT E_PENDING = hresult(0x8000000A);
constexpr HRESULT E_UNEXPECTED = hresult(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = hresult(0x80070005);
constexpr HRESULT E_HANDLE = hresult(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = hresult(0x8007000E);
constexpr HRESULT E_INVALIDARG = hresult(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = hresult(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresult(0x80040111);
constexpr HRESULT REGDB_E_READREGDB = hresult(0x80040150);
constexpr HRESULT REGDB_E_WRITEREGDB = hresult(0x80040151);
constexpr HRESULT REGDB_E_CLASSNOTREG = hresult(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = hresult(0x800401F0);
constexpr HRESULT CO_E_CLASSSTRING = hresult(0x800401F3);
constexpr HRESULT CO_E_DLLNOTFOUND = hresult(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = hresult(0x800401F9);
constexpr HRESULT SELFREG_E_CLASS = hresult(0x80040201);
constexpr HRESULT SELFREG_E_TYPELIB = hresult(0x80040200);

// A Win32 error as an HRESULT; values that are not positive pass unchanged.
constexpr HRESULT HRESULT_FROM_WIN32(int32_t err) {
    return err <= 0 ? err : hresult((static_cast<uint32_t>(err) & 0xFFFFu) | 0x80070000u);
}

// Creation contexts; every context is served in process here.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 0x17;

// ---- Interfaces ----------------------------------------------------------------------------
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;  // objects delete themselves in Release
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---- Task memory ---------------------------------------------------------------------------
// Plain malloc/free underneath, so memory allocated by a server library and freed by the host
// (or the other way round) meets one heap.
void* CoTaskMemAlloc(size_t cb);
void* CoTaskMemRealloc(void* pv, size_t cb);
void CoTaskMemFree(void* pv);

// ---- Entry points on the current machine ---------------------------------------------------
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" into buf (at least 39 characters); returns the
// characters written including the terminating zero, 0 when buf is too small.
int StringFromGUID2(REFGUID guid, LPWSTR buf, int cchMax);
// Parses "{...}" text; CO_E_CLASSSTRING when it is not a GUID.
HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid);
// A ProgID ("Sapi.SpVoice") or "{...}" text to its CLSID: the registry first, then the classes
// the process registered itself; REGDB_E_CLASSNOTREG / CO_E_CLASSSTRING when unknown.
HRESULT CLSIDFromProgID(LPCWSTR progId, CLSID* clsid);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* reserved, REFIID riid, void** ppv);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* pUnkOuter, DWORD clsContext, REFIID riid, void** ppv);

// Signatures of a server library's exports.
using PlatformAttachFn = void (*)(sys::Machine*);
using DllGetClassObjectFn = HRESULT (*)(const GUID&, const GUID&, void**);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

} // namespace win

namespace com {

using win::GUID;
using win::HRESULT;

// "{7F5297E5-0462-4730-86A9-076A57C05C17}" (upper case, with braces).
std::string guidToString(const GUID& guid);
std::u16string guidToString16(const GUID& guid);
// Accepts the braced form, without regard to case; nothing for anything else.
std::optional<GUID> parseGuid(std::string_view text);
std::optional<GUID> parseGuid(std::u16string_view text);

// Owning interface pointer.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference the caller already owns.
    static ComPtr attach(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    // Adds a reference of its own.
    static ComPtr share(T* p) {
        if (p) p->AddRef();
        return attach(p);
    }
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }
    void reset() {
        if (auto p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Out parameter for calls that hand back a reference: releases what is held first.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(p_, nullptr); }
    template <class U>
    HRESULT as(const GUID& iid, ComPtr<U>& out) const {
        if (!p_) return win::E_POINTER;
        return p_->QueryInterface(iid, out.putVoid());
    }

private:
    T* p_ = nullptr;
};

// Thread-safe reference count for object implementations: derive, implement QueryInterface, and
// forward AddRef/Release to addRef()/release().
class RefCount {
public:
    virtual ~RefCount() = default;
    win::ULONG addRef() { return ++refs_; }
    win::ULONG release() {
        const win::ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

private:
    std::atomic<win::ULONG> refs_{1};
};

// ---- Creation on a given machine -----------------------------------------------------------
// A class factory the process serves itself (as CoRegisterClassObject does), kept per machine.
// The factory gets the requested interface and answers like IClassFactory::CreateInstance.
using Factory = std::function<HRESULT(const GUID& iid, void** out)>;
void registerClassObject(sys::Machine& machine, const GUID& clsid, std::string progId, Factory factory);
void revokeClassObject(sys::Machine& machine, const GUID& clsid);

// CLSID of a ProgID or of "{...}" text.
HRESULT clsidFromProgId(sys::Machine& machine, std::string_view progId, GUID* clsid);
// Creates an object: the classes the process registered first, then the library registered for
// the class (loaded once per process and kept loaded).
HRESULT createInstance(sys::Machine& machine, const GUID& clsid, const GUID& iid, void** out);
HRESULT getClassObject(sys::Machine& machine, const GUID& clsid, const GUID& iid, void** out);
// By ProgID or "{...}" text.
HRESULT createObject(sys::Machine& machine, std::string_view progIdOrClsid, const GUID& iid, void** out);

template <class T>
ComPtr<T> createObject(sys::Machine& machine, std::string_view progIdOrClsid, const GUID& iid,
                       HRESULT* result = nullptr) {
    ComPtr<T> p;
    HRESULT hr = createObject(machine, progIdOrClsid, iid, p.putVoid());
    if (result) *result = hr;
    return p;
}

// ---- Registration --------------------------------------------------------------------------
// Loads a server library (host path) and runs its DllRegisterServer / DllUnregisterServer.
HRESULT registerServer(sys::Machine& machine, const std::string& libraryHostPath);
HRESULT unregisterServer(sys::Machine& machine, const std::string& libraryHostPath);

// Used inside a server's DllRegisterServer: writes the keys listed at the top of this file on
// the current machine. versionIndependentProgId may be empty.
struct ClassRegistration {
    GUID clsid{};
    std::string description;
    std::string progId;
    std::string versionIndependentProgId;
    std::string threadingModel = "Both";
    std::string libraryPath;  // see modulePath()
    std::optional<GUID> typeLib;  // CLSID\{clsid}\TypeLib names it
};
HRESULT registerInprocClass(const ClassRegistration& reg);
// A type library kept in a server library:
//   TypeLib\{libid}\<version>  (default) = description, FLAGS = "0", HELPDIR = the library's folder
//   TypeLib\{libid}\<version>\0\win32  (default) = library path
struct TypeLibRegistration {
    GUID libid{};
    std::string version = "1.0";
    std::string description;
    std::string libraryPath;
};
HRESULT registerTypeLib(const TypeLibRegistration& reg);
HRESULT unregisterTypeLib(const TypeLibRegistration& reg);
HRESULT unregisterInprocClass(const ClassRegistration& reg);
// Host path of the shared library (or executable) that holds the given address.
std::string modulePath(const void* addressInModule);

} // namespace com
