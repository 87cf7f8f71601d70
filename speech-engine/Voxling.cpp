// The library's entries: class objects for both classes, self-registration and unload query.
#include "VoxlingObj.h"

#include "platform/com/ComBase.h"
#include "platform/system/Machine.h"

#include <atomic>

using namespace win;

namespace voxling {
namespace {

std::atomic<long> g_serverLocks{0};

// {5C3B1A52-8E07-4F0D-9B6A-2E1D47C0A913}
constexpr GUID LIBID_VOXLINGLib = {0x5C3B1A52, 0x8E07, 0x4F0D, {0x9B, 0x6A, 0x2E, 0x1D, 0x47, 0xC0, 0xA9, 0x13}};

class ClassFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // One static factory serves both classes for the library's lifetime.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        VoxlingObj* obj = nullptr;
        HRESULT hr = VoxlingObj::create(sys::Machine::currentOrNull(), &obj);
        if (FAILED(hr)) return hr;
        hr = obj->QueryInterface(riid, ppv);
        obj->Release();
        return hr;
    }
    HRESULT LockServer(BOOL lock) override {
        if (lock) ++g_serverLocks;
        else if (g_serverLocks > 0) --g_serverLocks;
        return S_OK;
    }
};

ClassFactory g_factory;

std::string libraryPath() { return com::modulePath(reinterpret_cast<const void*>(&libraryPath)); }

com::ClassRegistration registration(const GUID& clsid, const char* description, const char* progId) {
    com::ClassRegistration r;
    r.clsid = clsid;
    r.description = description;
    r.progId = std::string(progId) + ".1";
    r.versionIndependentProgId = progId;
    r.threadingModel = "Both";
    r.libraryPath = libraryPath();
    r.typeLib = LIBID_VOXLINGLib;
    return r;
}

com::TypeLibRegistration typeLibRegistration() {
    com::TypeLibRegistration r;
    r.libid = LIBID_VOXLINGLib;
    r.description = "VOXLINGLib";
    r.libraryPath = libraryPath();
    return r;
}

com::ClassRegistration objRegistration() {
    return registration(CLSID_VoxlingObj, "VoxlingObj Class", "Voxling.VoxlingObj");
}
com::ClassRegistration uiRegistration() {
    return registration(CLSID_VoxlingUI, "VoxlingUI Class", "Voxling.VoxlingUI");
}

} // namespace
} // namespace voxling

extern "C" {

__attribute__((visibility("default"))) void PlatformAttach(sys::Machine* machine) {
    sys::Machine::setCurrent(machine);
}

__attribute__((visibility("default"))) HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (clsid != voxling::CLSID_VoxlingObj && clsid != voxling::CLSID_VoxlingUI) return CLASS_E_CLASSNOTAVAILABLE;
    return voxling::g_factory.QueryInterface(iid, ppv);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return voxling::VoxlingObj::liveObjects() == 0 && voxling::g_serverLocks == 0 ? S_OK : S_FALSE;
}

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    HRESULT hr = com::registerTypeLib(voxling::typeLibRegistration());
    if (SUCCEEDED(hr)) hr = com::registerInprocClass(voxling::objRegistration());
    if (SUCCEEDED(hr)) hr = com::registerInprocClass(voxling::uiRegistration());
    return hr;
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    const HRESULT a = com::unregisterInprocClass(voxling::objRegistration());
    const HRESULT b = com::unregisterInprocClass(voxling::uiRegistration());
    com::unregisterTypeLib(voxling::typeLibRegistration());
    return FAILED(a) ? a : b;
}

} // extern "C"
