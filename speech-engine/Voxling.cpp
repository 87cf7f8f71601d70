// The library's entries: class objects for both classes, self-registration and unload query.
#include "VoxlingObj.h"

#include "platform/com/ComBase.h"
#include "platform/com/InprocServer.h"
#include "platform/system/Machine.h"


using namespace win;

namespace voxling {
namespace {

// {5C3B1A52-8E07-4F0D-9B6A-2E1D47C0A913}
constexpr GUID LIBID_VOXLINGLib = {0x5C3B1A52, 0x8E07, 0x4F0D, {0x9B, 0x6A, 0x2E, 0x1D, 0x47, 0xC0, 0xA9, 0x13}};

// One factory serves both classes.
com::StaticClassFactory g_factory([](const GUID& iid, void** ppv) {
    VoxlingObj* obj = nullptr;
    const HRESULT hr = VoxlingObj::create(sys::Machine::currentOrNull(), &obj);
    return FAILED(hr) ? hr : com::handOut(obj, iid, ppv);
});

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
    return voxling::g_factory.classObject({voxling::CLSID_VoxlingObj, voxling::CLSID_VoxlingUI}, clsid, iid, ppv);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return voxling::VoxlingObj::liveObjects() == 0 && voxling::g_factory.locks() == 0 ? S_OK : S_FALSE;
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
