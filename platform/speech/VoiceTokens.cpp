#include "VoiceTokens.h"

#include "platform/com/RegistryAccess.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <cstring>

namespace speech {
namespace {

using namespace win;
namespace ra = com::regaccess;

std::string utf8(LPCWSTR s) { return s ? sys::fromUtf16(s) : std::string(); }

// A UTF-16 copy on the task heap, as the token's out strings are handed over.
HRESULT coString(const std::string& text, LPWSTR* out) {
    const std::u16string w = sys::toUtf16(text);
    auto* p = static_cast<char16_t*>(CoTaskMemAlloc((w.size() + 1) * sizeof(char16_t)));
    if (!p) return E_OUTOFMEMORY;
    std::memcpy(p, w.data(), w.size() * sizeof(char16_t));
    p[w.size()] = 0;
    *out = p;
    return S_OK;
}

bool validName(const std::string& name) { return name.find('\\') == std::string::npos; }

// A registry key as a data key; a token is the data key of the token's own key.
class RegistryToken final : public ISpObjectToken, public com::RefCount {
public:
    RegistryToken(sys::Machine& m, ra::Hive hive, std::string key, std::string id)
        : m_(m), hive_(hive), key_(std::move(key)), id_(std::move(id)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISpDataKey || (riid == IID_ISpObjectToken && !id_.empty())) {
            *ppv = static_cast<ISpObjectToken*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }

    // ---- ISpDataKey
    HRESULT SetData(LPCWSTR, ULONG, const BYTE*) override { return E_NOTIMPL; }
    HRESULT GetData(LPCWSTR, ULONG*, BYTE*) override { return E_NOTIMPL; }
    HRESULT SetStringValue(LPCWSTR name, LPCWSTR value) override {
        if (!value) return E_POINTER;
        return ra::setString(m_, hive_, key_, utf8(name), utf8(value)) ? S_OK : E_FAIL;
    }
    HRESULT GetStringValue(LPCWSTR name, LPWSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        auto v = ra::getString(m_, hive_, key_, utf8(name));
        if (!v) return SPERR_NOT_FOUND;
        return coString(*v, out);
    }
    HRESULT SetDWORD(LPCWSTR name, DWORD value) override {
        return ra::setDword(m_, hive_, key_, utf8(name), value) ? S_OK : E_FAIL;
    }
    HRESULT GetDWORD(LPCWSTR name, DWORD* out) override {
        if (!out) return E_POINTER;
        auto v = ra::getDword(m_, hive_, key_, utf8(name));
        if (!v) return SPERR_NOT_FOUND;
        *out = *v;
        return S_OK;
    }
    HRESULT OpenKey(LPCWSTR sub, ISpDataKey** out) override { return subKey(sub, false, out); }
    HRESULT CreateKey(LPCWSTR sub, ISpDataKey** out) override { return subKey(sub, true, out); }
    HRESULT DeleteKey(LPCWSTR sub) override {
        const std::string s = utf8(sub);
        if (s.empty() || !validName(s)) return E_INVALIDARG;
        return ra::deleteTree(m_, hive_, key_ + "\\" + s) ? S_OK : SPERR_NOT_FOUND;
    }
    HRESULT DeleteValue(LPCWSTR name) override {
        return ra::deleteValue(m_, hive_, key_, utf8(name)) ? S_OK : SPERR_NOT_FOUND;
    }
    HRESULT EnumKeys(ULONG index, LPWSTR* out) override { return enumerate(ra::subKeys(m_, hive_, key_), index, out); }
    HRESULT EnumValues(ULONG index, LPWSTR* out) override {
        return enumerate(ra::valueNames(m_, hive_, key_), index, out);
    }

    // ---- ISpObjectToken
    HRESULT SetId(LPCWSTR, LPCWSTR, BOOL) override { return SPERR_ALREADY_INITIALIZED; }
    HRESULT GetId(LPWSTR* out) override {
        if (!out) return E_POINTER;
        return coString(id_, out);
    }
    HRESULT GetCategory(ISpObjectTokenCategory** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT CreateInstance(IUnknown* outer, DWORD, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return createBound(ra::getString(m_, hive_, key_, "CLSID"), riid, ppv);
    }
    HRESULT GetStorageFileName(REFCLSID, LPCWSTR, LPCWSTR, ULONG, LPWSTR* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT RemoveStorageFileName(REFCLSID, LPCWSTR, BOOL) override { return E_NOTIMPL; }
    HRESULT Remove(const CLSID*) override { return ra::deleteTree(m_, hive_, key_) ? S_OK : SPERR_TOKEN_DELETED; }
    HRESULT IsUISupported(LPCWSTR type, void* extra, ULONG cbExtra, IUnknown* punk, BOOL* supported) override {
        if (!supported || !type) return E_POINTER;
        *supported = FALSE;
        com::ComPtr<ISpTokenUI> ui;
        if (FAILED(tokenUi(type, ui))) return S_OK;
        return ui->IsUISupported(type, extra, cbExtra, punk, supported);
    }
    HRESULT DisplayUI(HWND parent, LPCWSTR title, LPCWSTR type, void* extra, ULONG cbExtra, IUnknown* punk) override {
        if (!type) return E_POINTER;
        com::ComPtr<ISpTokenUI> ui;
        HRESULT hr = tokenUi(type, ui);
        if (FAILED(hr)) return hr;
        return ui->DisplayUI(parent, title, type, extra, cbExtra, this, punk);
    }
    HRESULT MatchesAttributes(LPCWSTR attributes, BOOL* matches) override {
        if (!matches) return E_POINTER;
        *matches = TRUE;
        const std::string all = utf8(attributes);
        size_t start = 0;
        while (start <= all.size()) {
            size_t end = all.find(';', start);
            if (end == std::string::npos) end = all.size();
            std::string clause = all.substr(start, end - start);
            start = end + 1;
            if (clause.empty()) continue;
            const size_t eq = clause.find('=');
            const std::string name = clause.substr(0, eq);
            auto have = ra::getString(m_, hive_, key_ + "\\Attributes", name);
            if (!have || (eq != std::string::npos && !sys::iequals(*have, clause.substr(eq + 1)))) {
                *matches = FALSE;
                break;
            }
        }
        return S_OK;
    }

private:
    HRESULT subKey(LPCWSTR sub, bool create, ISpDataKey** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        const std::string s = utf8(sub);
        if (s.empty() || !validName(s)) return E_INVALIDARG;
        const std::string path = key_ + "\\" + s;
        if (create) ra::createKey(m_, hive_, path);
        else if (!ra::keyExists(m_, hive_, path)) return SPERR_NOT_FOUND;
        *out = new RegistryToken(m_, hive_, path, "");
        return S_OK;
    }

    static HRESULT enumerate(const std::vector<std::string>& names, ULONG index, LPWSTR* out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index >= names.size()) return SPERR_NO_MORE_ITEMS;
        return coString(names[index], out);
    }

    // Creates the class named by clsidText and binds it to this token when it takes one.
    HRESULT createBound(const std::optional<std::string>& clsidText, REFIID riid, void** ppv) {
        if (!clsidText) return SPERR_NOT_FOUND;
        auto clsid = com::parseGuid(*clsidText);
        if (!clsid) return CO_E_CLASSSTRING;
        com::ComPtr<IUnknown> obj;
        HRESULT hr = com::createInstance(m_, *clsid, IID_IUnknown, obj.putVoid());
        if (FAILED(hr)) return hr;
        com::ComPtr<ISpObjectWithToken> withToken;
        if (SUCCEEDED(obj.as(IID_ISpObjectWithToken, withToken))) {
            hr = withToken->SetObjectToken(this);
            if (FAILED(hr)) return hr;
        }
        return obj->QueryInterface(riid, ppv);
    }

    HRESULT tokenUi(LPCWSTR type, com::ComPtr<ISpTokenUI>& ui) {
        const std::string t = utf8(type);
        if (t.empty() || !validName(t)) return E_INVALIDARG;
        auto text = ra::getString(m_, hive_, key_ + "\\UI\\" + t, "CLSID");
        if (!text) return SPERR_NOT_FOUND;
        auto clsid = com::parseGuid(*text);
        if (!clsid) return CO_E_CLASSSTRING;
        return com::createInstance(m_, *clsid, IID_ISpTokenUI, ui.putVoid());
    }

    sys::Machine& m_;
    ra::Hive hive_;
    std::string key_;
    std::string id_;  // empty for a plain data key
};

} // namespace

HRESULT openToken(sys::Machine& machine, const std::string& id, ISpObjectToken** token) {
    if (!token) return E_POINTER;
    *token = nullptr;
    auto split = ra::splitRootedPath(id);
    if (!split || split->second.empty()) return E_INVALIDARG;
    if (!ra::keyExists(machine, split->first, split->second)) return SPERR_NOT_FOUND;
    *token = new RegistryToken(machine, split->first, split->second, id);
    return S_OK;
}

com::ComPtr<ISpObjectToken> openToken(sys::Machine& machine, const std::string& id) {
    com::ComPtr<ISpObjectToken> t;
    openToken(machine, id, t.put());
    return t;
}

std::vector<std::string> voiceTokenIds(sys::Machine& machine) {
    std::vector<std::string> ids;
    for (auto& name : ra::subKeys(machine, ra::Hive::LocalMachine, kVoiceTokensKey))
        ids.push_back(std::string(kVoiceTokensRoot) + "\\" + name);
    return ids;
}

std::string defaultVoiceTokenId(sys::Machine& machine) {
    if (auto id = ra::getString(machine, ra::Hive::CurrentUser, kVoicesKey, "DefaultTokenId")) {
        auto split = ra::splitRootedPath(*id);
        if (split && !split->second.empty() && ra::keyExists(machine, split->first, split->second)) return *id;
    }
    auto ids = voiceTokenIds(machine);
    return ids.empty() ? std::string() : ids.front();
}

std::string tokenId(ISpObjectToken* token) {
    if (!token) return {};
    LPWSTR id = nullptr;
    if (FAILED(token->GetId(&id)) || !id) return {};
    std::string s = utf8(id);
    CoTaskMemFree(id);
    return s;
}

std::string registerVoiceToken(sys::Machine& machine, const VoiceTokenSpec& spec) {
    const auto hklm = ra::Hive::LocalMachine;
    const std::string key = std::string(kVoiceTokensKey) + "\\" + spec.name;
    ra::setString(machine, hklm, key, "", spec.displayName);
    ra::setString(machine, hklm, key, "CLSID", com::guidToString(spec.clsid));
    ra::createKey(machine, hklm, key + "\\Attributes");
    for (auto& [n, v] : spec.attributes) ra::setString(machine, hklm, key + "\\Attributes", n, v);
    for (auto& [n, v] : spec.values) ra::setString(machine, hklm, key, n, v);
    return std::string(kVoiceTokensRoot) + "\\" + spec.name;
}

} // namespace speech
