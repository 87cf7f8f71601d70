// A minimal in-process server: one class, its factory and the registration entries.
#include "TestServer.h"

#include "platform/com/InprocServer.h"
#include "platform/com/RegistryAccess.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <cstring>


using namespace win;

namespace {

class Adder final : public ITestAdder, public com::RefCount {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITestAdder) {
            *ppv = static_cast<ITestAdder*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }
    HRESULT Add(int32_t a, int32_t b, int32_t* sum) override {
        if (!sum) return E_POINTER;
        *sum = a + b;
        return S_OK;
    }
    HRESULT ReadSetting(LPCWSTR name, LPWSTR* value) override {
        if (!name || !value) return E_POINTER;
        auto v = com::regaccess::getString(sys::Machine::current(), com::regaccess::Hive::CurrentUser,
                                           "Software\\ComTest", sys::fromUtf16(name));
        if (!v) return E_FAIL;
        const std::u16string w = sys::toUtf16(*v);
        auto* p = static_cast<char16_t*>(CoTaskMemAlloc((w.size() + 1) * sizeof(char16_t)));
        std::memcpy(p, w.c_str(), (w.size() + 1) * sizeof(char16_t));
        *value = p;
        return S_OK;
    }
};

com::StaticClassFactory g_factory([](const GUID& iid, void** ppv) {
    return com::handOut(static_cast<ITestAdder*>(new Adder), iid, ppv);
});

com::ClassRegistration registration() {
    com::ClassRegistration r;
    r.clsid = CLSID_TestAdder;
    r.description = "ComTest Adder";
    r.progId = kTestAdderProgId;
    r.versionIndependentProgId = kTestAdderIndependentProgId;
    r.libraryPath = com::modulePath(reinterpret_cast<const void*>(&registration));
    return r;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void PlatformAttach(sys::Machine* machine) { sys::Machine::setCurrent(machine); }

__attribute__((visibility("default"))) HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** ppv) {
    return g_factory.classObject({CLSID_TestAdder}, clsid, iid, ppv);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return S_FALSE; }
__attribute__((visibility("default"))) HRESULT DllRegisterServer() { return com::registerInprocClass(registration()); }
__attribute__((visibility("default"))) HRESULT DllUnregisterServer() { return com::unregisterInprocClass(registration()); }
}
