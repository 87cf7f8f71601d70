#pragma once
// What every in-process server repeats: one static class factory for the library's lifetime
// whose CreateInstance makes a fresh object and hands out the asked interface, the lock count
// that DllCanUnloadNow reads, and DllGetClassObject's checks.
#include "platform/com/ComBase.h"

#include <atomic>
#include <initializer_list>

namespace com {

// Hands the asked interface of a just-made object to the caller and drops the maker's own
// reference, so a refused interface frees the object.
template <class Made>
win::HRESULT handOut(Made* made, const win::GUID& iid, void** ppv) {
    const win::HRESULT hr = made->QueryInterface(iid, ppv);
    made->Release();
    return hr;
}

class StaticClassFactory final : public win::IClassFactory {
public:
    // Makes a new object and hands out the asked interface (usually through handOut).
    using Make = win::HRESULT (*)(const win::GUID& iid, void** ppv);
    explicit StaticClassFactory(Make make) : make_(make) {}

    win::HRESULT QueryInterface(const win::GUID& riid, void** ppv) override {
        if (!ppv) return win::E_POINTER;
        if (riid != win::IID_IUnknown && riid != win::IID_IClassFactory) {
            *ppv = nullptr;
            return win::E_NOINTERFACE;
        }
        *ppv = static_cast<win::IClassFactory*>(this);
        return win::S_OK;
    }
    // Static: the library's lifetime, not references, bounds it.
    win::ULONG AddRef() override { return 2; }
    win::ULONG Release() override { return 1; }
    win::HRESULT CreateInstance(win::IUnknown* outer, const win::GUID& riid, void** ppv) override {
        if (!ppv) return win::E_POINTER;
        *ppv = nullptr;
        if (outer) return win::CLASS_E_NOAGGREGATION;
        return make_(riid, ppv);
    }
    win::HRESULT LockServer(win::BOOL lock) override {
        if (lock) ++locks_;
        else if (locks_ > 0) --locks_;
        return win::S_OK;
    }
    long locks() const { return locks_; }

    // DllGetClassObject for a library whose classes all come from this factory.
    win::HRESULT classObject(std::initializer_list<win::GUID> served, const win::GUID& clsid, const win::GUID& iid,
                             void** ppv) {
        if (!ppv) return win::E_POINTER;
        *ppv = nullptr;
        for (const win::GUID& c : served)
            if (c == clsid) return QueryInterface(iid, ppv);
        return win::CLASS_E_CLASSNOTAVAILABLE;
    }

private:
    Make make_;
    std::atomic<long> locks_{0};
};

} // namespace com
