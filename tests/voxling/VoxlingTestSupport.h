#pragma once
// A machine with a generated voice library installed under the engine's token and libvoxling.so
// registered through its own entry; and an engine site that records what the engine does.
#include "platform/speech/SpeechApi.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace voxtest {

constexpr win::CLSID kVoxlingObj = {0x7F5297E5, 0x0462, 0x4730, {0x86, 0xA9, 0x07, 0x6A, 0x57, 0xC0, 0x5C, 0x17}};
constexpr win::CLSID kVoxlingUI = {0xBA729B8B, 0xA6B3, 0x4DBC, {0x9A, 0x0C, 0x31, 0xF2, 0x76, 0x3F, 0x5D, 0x2D}};
inline const std::string kVoiceFolder = "C:\\Voice";
inline const std::string kTokenId =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\QXFemaleChinese";
inline const std::string kSettingsKey =
    "Software\\Microsoft\\Speech\\Voices\\Tokens\\QXFemaleChinese\\UI\\EngineProperties";

// Builds a library from manifest text into a host folder kept for the test program's run (one
// build per distinct manifest).
std::filesystem::path builtLibrary(const std::string& manifest);

class VoxlingTest : public ::testing::Test {
public:
    void SetUp() override;

    // Installs the library built from the manifest in C:\Voice with its token, and registers
    // the engine's classes through libvoxling.so's own entry.
    void install(const std::string& manifest);
    com::ComPtr<win::ISpObjectToken> token();
    com::ComPtr<win::ISpTTSEngine> newEngine(win::HRESULT* hr = nullptr);
    // A new engine bound to the voice token; the binding's result in *hr.
    com::ComPtr<win::ISpTTSEngine> boundEngine(win::HRESULT* hr = nullptr);
    std::filesystem::path voiceFile(const char* name) { return m->hostPath(kVoiceFolder + "\\" + name); }

    testing_support::TestMachine m;
};

struct SiteEvent {
    win::SPEVENTENUM id = win::SPEI_UNDEFINED;
    uint64_t offset = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::u16string text;  // string events
};

// The service's side of a Speak call.
class RecordingSite final : public win::ISpTTSEngineSite {
public:
    win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override;
    win::ULONG AddRef() override { return 2; }
    win::ULONG Release() override { return 1; }
    win::HRESULT AddEvents(const win::SPEVENT* events, win::ULONG count) override;
    win::HRESULT GetEventInterest(win::ULONGLONG* interest) override;
    win::DWORD GetActions() override;
    win::HRESULT Write(const void* buf, win::ULONG cb, win::ULONG* written) override;
    win::HRESULT GetRate(win::LONG* rate) override;
    win::HRESULT GetVolume(win::USHORT* volume) override;
    win::HRESULT GetSkipInfo(win::SPVSKIPTYPE* type, win::LONG* count) override;
    win::HRESULT CompleteSkip(win::LONG skipped) override;

    // Actions answered by GetActions, by the call's number (from 1); default: none.
    std::function<win::DWORD(int call)> actions;
    win::LONG rate = 0;
    win::USHORT volume = 100;
    int failWriteAt = 0;                 // the n-th Write fails (from 1); 0: none
    win::HRESULT writeFailure = win::E_FAIL;

    std::vector<uint8_t> audio;
    std::vector<size_t> writes;          // sizes, in call order
    std::vector<SiteEvent> events;
    int actionCalls = 0;
    int skipsCompleted = 0;

    std::vector<SiteEvent> ofKind(win::SPEVENTENUM id) const;
};

// Fragments over one text, kept alive with their text.
struct FragmentSpec {
    win::SPVACTIONS action = win::SPVA_Speak;
    std::u16string text;
    win::ULONG silenceMs = 0;
};
class FragmentChain {
public:
    explicit FragmentChain(const std::vector<FragmentSpec>& specs);
    const win::SPVTEXTFRAG* head() const { return frags_.empty() ? nullptr : frags_.data(); }

private:
    std::u16string text_;
    std::vector<win::SPVTEXTFRAG> frags_;
};

// Speaks the fragments on the engine with the site at the format the engine declares.
win::HRESULT speak(win::ISpTTSEngine* engine, const FragmentChain& frags, RecordingSite& site);

} // namespace voxtest
