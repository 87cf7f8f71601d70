#pragma once
// The speech service's binary interface: the engine interfaces that a text-to-speech engine
// library implements and the service calls, the interfaces the service hands to the engine
// (voice token, engine site), their structures and constants, and the voice object programs use.
// Slot and field order is fixed: engine libraries are built separately against this header.
#include "platform/com/ComBase.h"

#include <cstdint>

namespace win {

// ---- Audio format --------------------------------------------------------------------------
constexpr WORD WAVE_FORMAT_PCM = 1;

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

// Output format ids for ISpTTSEngine::GetOutputFormat.
constexpr GUID SPDFID_Text = {0x7CEEF9F9, 0x3D13, 0x11D2, {0x9E, 0xE7, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
constexpr GUID SPDFID_WaveFormatEx = {0xC31ADBAE, 0x527F, 0x4FF5, {0xA2, 0x30, 0xF6, 0x2B, 0xB6, 0x1F, 0xF7, 0x0C}};

// ---- Result codes --------------------------------------------------------------------------
constexpr HRESULT SPERR_UNINITIALIZED = hresult(0x80045001);
constexpr HRESULT SPERR_ALREADY_INITIALIZED = hresult(0x80045002);
constexpr HRESULT SPERR_UNSUPPORTED_FORMAT = hresult(0x80045003);
constexpr HRESULT SPERR_INVALID_FLAGS = hresult(0x80045004);
constexpr HRESULT SPERR_DEVICE_BUSY = hresult(0x80045006);
constexpr HRESULT SPERR_AUDIO_STOPPED = hresult(0x80045010);
constexpr HRESULT SPERR_NO_MORE_ITEMS = hresult(0x80045039);
constexpr HRESULT SPERR_NOT_FOUND = hresult(0x8004503A);
constexpr HRESULT SPERR_TOKEN_DELETED = hresult(0x8004504F);

// ---- Events --------------------------------------------------------------------------------
enum SPEVENTENUM : int32_t {
    SPEI_UNDEFINED = 0,
    SPEI_START_INPUT_STREAM = 1,
    SPEI_END_INPUT_STREAM = 2,
    SPEI_VOICE_CHANGE = 3,
    SPEI_TTS_BOOKMARK = 4,
    SPEI_WORD_BOUNDARY = 5,
    SPEI_PHONEME = 6,
    SPEI_SENTENCE_BOUNDARY = 7,
    SPEI_VISEME = 8,
    SPEI_TTS_AUDIO_LEVEL = 9,
    SPEI_TTS_PRIVATE = 15,
    SPEI_MIN_TTS = 1,
    SPEI_MAX_TTS = 15,
    SPEI_RESERVED1 = 30,
    SPEI_RESERVED2 = 33,
};

enum SPEVENTLPARAMTYPE : int32_t {
    SPET_LPARAM_IS_UNDEFINED = 0,
    SPET_LPARAM_IS_TOKEN = 1,
    SPET_LPARAM_IS_OBJECT = 2,
    SPET_LPARAM_IS_POINTER = 3,
    SPET_LPARAM_IS_STRING = 4,
};

// Interest bits: SPFEI(id) for each event wanted; the two reserved bits mark a valid mask.
constexpr ULONGLONG SPFEI_FLAGCHECK = (1ull << SPEI_RESERVED1) | (1ull << SPEI_RESERVED2);
constexpr ULONGLONG SPFEI(int eventId) { return (1ull << eventId) | SPFEI_FLAGCHECK; }
constexpr ULONGLONG SPFEI_ALL_TTS_EVENTS =
    SPFEI(SPEI_START_INPUT_STREAM) | SPFEI(SPEI_END_INPUT_STREAM) | SPFEI(SPEI_VOICE_CHANGE) |
    SPFEI(SPEI_TTS_BOOKMARK) | SPFEI(SPEI_WORD_BOUNDARY) | SPFEI(SPEI_PHONEME) | SPFEI(SPEI_SENTENCE_BOUNDARY) |
    SPFEI(SPEI_VISEME) | SPFEI(SPEI_TTS_AUDIO_LEVEL) | SPFEI(SPEI_TTS_PRIVATE);

// wParam and lParam are pointer-sized here (a string lParam is a pointer on this 64-bit host).
// A string or pointer lParam stays valid only for the duration of the AddEvents call.
struct SPEVENT {
    WORD eEventId;     // SPEVENTENUM
    WORD elParamType;  // SPEVENTLPARAMTYPE
    ULONG ulStreamNum;
    ULONGLONG ullAudioStreamOffset;
    uintptr_t wParam;
    intptr_t lParam;
};

// ---- Text fragments ------------------------------------------------------------------------
enum SPVACTIONS : int32_t {
    SPVA_Speak = 0,
    SPVA_Silence,
    SPVA_Pronounce,
    SPVA_Bookmark,
    SPVA_SpellOut,
    SPVA_Section,
    SPVA_ParseUnknownTag,
};

enum SPPARTOFSPEECH : int32_t {
    SPPS_NotOverriden = -1,
    SPPS_Unknown = 0,
    SPPS_Noun = 0x1000,
    SPPS_Verb = 0x2000,
    SPPS_Modifier = 0x3000,
    SPPS_Function = 0x4000,
    SPPS_Interjection = 0x5000,
};

using SPPHONEID = WCHAR;

struct SPVPITCH {
    LONG MiddleAdj;
    LONG RangeAdj;
};

struct SPVCONTEXT {
    LPCWSTR pCategory;
    LPCWSTR pBefore;
    LPCWSTR pAfter;
};

struct SPVSTATE {
    SPVACTIONS eAction;
    LANGID LangID;
    WORD wReserved;
    LONG EmphAdj;
    LONG RateAdj;          // -10..10, added to the voice's rate
    ULONG Volume;          // 0..100
    SPVPITCH PitchAdj;
    ULONG SilenceMSecs;    // SPVA_Silence
    SPPHONEID* pPhoneIds;  // SPVA_Pronounce: zero-terminated, else null
    SPPARTOFSPEECH ePartOfSpeech;
    SPVCONTEXT Context;
};

// Fragments point into one zero-terminated copy of the caller's text: pTextStart is the
// fragment's text at ulTextSrcOffset characters from the start of the caller's text. The text is
// read-only for the engine.
struct SPVTEXTFRAG {
    SPVTEXTFRAG* pNext;
    SPVSTATE State;
    LPCWSTR pTextStart;
    ULONG ulTextLen;
    ULONG ulTextSrcOffset;
};

// ---- Engine site actions -------------------------------------------------------------------
enum SPVESACTIONS : int32_t {
    SPVES_CONTINUE = 0,
    SPVES_ABORT = 1,
    SPVES_SKIP = 2,
    SPVES_RATE = 4,
    SPVES_VOLUME = 8,
};

enum SPVSKIPTYPE : int32_t { SPVST_SENTENCE = 1 };

// ---- Speak flags ---------------------------------------------------------------------------
enum SPEAKFLAGS : DWORD {
    SPF_DEFAULT = 0,
    SPF_ASYNC = 1,
    SPF_PURGEBEFORESPEAK = 2,
    SPF_IS_FILENAME = 4,
    SPF_IS_XML = 8,
    SPF_IS_NOT_XML = 16,
    SPF_PERSIST_XML = 32,
    SPF_NLP_SPEAK_PUNC = 64,
    SPF_NLP_MASK = SPF_NLP_SPEAK_PUNC,
};
// The same flags under the names the automation object uses.
enum SpeechVoiceSpeakFlags : DWORD {
    SVSFDefault = 0,
    SVSFlagsAsync = 1,
    SVSFPurgeBeforeSpeak = 2,
    SVSFIsFilename = 4,
    SVSFIsXML = 8,
    SVSFIsNotXML = 16,
    SVSFPersistXML = 32,
    SVSFNLPSpeakPunc = 64,
};

// ---- Interfaces ----------------------------------------------------------------------------
struct ISpObjectTokenCategory;  // not served by this platform
struct ISpObjectToken;

struct ISpDataKey : IUnknown {
    virtual HRESULT SetData(LPCWSTR pszValueName, ULONG cbData, const BYTE* pData) = 0;
    virtual HRESULT GetData(LPCWSTR pszValueName, ULONG* pcbData, BYTE* pData) = 0;
    virtual HRESULT SetStringValue(LPCWSTR pszValueName, LPCWSTR pszValue) = 0;
    // *ppszValue is allocated with CoTaskMemAlloc; the caller frees it. Null name: default value.
    virtual HRESULT GetStringValue(LPCWSTR pszValueName, LPWSTR* ppszValue) = 0;
    virtual HRESULT SetDWORD(LPCWSTR pszValueName, DWORD dwValue) = 0;
    virtual HRESULT GetDWORD(LPCWSTR pszValueName, DWORD* pdwValue) = 0;
    virtual HRESULT OpenKey(LPCWSTR pszSubKeyName, ISpDataKey** ppSubKey) = 0;
    virtual HRESULT CreateKey(LPCWSTR pszSubKey, ISpDataKey** ppSubKey) = 0;
    virtual HRESULT DeleteKey(LPCWSTR pszSubKey) = 0;
    virtual HRESULT DeleteValue(LPCWSTR pszValueName) = 0;
    virtual HRESULT EnumKeys(ULONG Index, LPWSTR* ppszSubKeyName) = 0;
    virtual HRESULT EnumValues(ULONG Index, LPWSTR* ppszValueName) = 0;

protected:
    ~ISpDataKey() = default;
};

struct ISpObjectToken : ISpDataKey {
    virtual HRESULT SetId(LPCWSTR pszCategoryId, LPCWSTR pszTokenId, BOOL fCreateIfNotExist) = 0;
    virtual HRESULT GetId(LPWSTR* ppszCoMemTokenId) = 0;
    virtual HRESULT GetCategory(ISpObjectTokenCategory** ppTokenCategory) = 0;
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT GetStorageFileName(REFCLSID clsidCaller, LPCWSTR pszValueName, LPCWSTR pszFileNameSpecifier,
                                       ULONG nFolder, LPWSTR* ppszFilePath) = 0;
    virtual HRESULT RemoveStorageFileName(REFCLSID clsidCaller, LPCWSTR pszKeyName, BOOL fDeleteFile) = 0;
    virtual HRESULT Remove(const CLSID* pclsidCaller) = 0;
    virtual HRESULT IsUISupported(LPCWSTR pszTypeOfUI, void* pvExtraData, ULONG cbExtraData, IUnknown* punkObject,
                                  BOOL* pfSupported) = 0;
    virtual HRESULT DisplayUI(HWND hwndParent, LPCWSTR pszTitle, LPCWSTR pszTypeOfUI, void* pvExtraData,
                              ULONG cbExtraData, IUnknown* punkObject) = 0;
    virtual HRESULT MatchesAttributes(LPCWSTR pszAttributes, BOOL* pfMatches) = 0;

protected:
    ~ISpObjectToken() = default;
};

struct ISpObjectWithToken : IUnknown {
    virtual HRESULT SetObjectToken(ISpObjectToken* pToken) = 0;
    virtual HRESULT GetObjectToken(ISpObjectToken** ppToken) = 0;

protected:
    ~ISpObjectWithToken() = default;
};

struct ISpEventSink : IUnknown {
    virtual HRESULT AddEvents(const SPEVENT* pEventArray, ULONG ulCount) = 0;
    virtual HRESULT GetEventInterest(ULONGLONG* pullEventInterest) = 0;

protected:
    ~ISpEventSink() = default;
};

struct ISpTTSEngineSite : ISpEventSink {
    // SPVESACTIONS bits.
    virtual DWORD GetActions() = 0;
    virtual HRESULT Write(const void* pBuff, ULONG cb, ULONG* pcbWritten) = 0;
    virtual HRESULT GetRate(LONG* pRateAdjust) = 0;
    virtual HRESULT GetVolume(USHORT* pusVolume) = 0;
    virtual HRESULT GetSkipInfo(SPVSKIPTYPE* peType, LONG* plNumItems) = 0;
    virtual HRESULT CompleteSkip(LONG ulNumSkipped) = 0;

protected:
    ~ISpTTSEngineSite() = default;
};

struct ISpTTSEngine : IUnknown {
    virtual HRESULT Speak(DWORD dwSpeakFlags, REFGUID rguidFormatId, const WAVEFORMATEX* pWaveFormatEx,
                          const SPVTEXTFRAG* pTextFragList, ISpTTSEngineSite* pOutputSite) = 0;
    // *ppCoMemOutputWaveFormatEx is allocated with CoTaskMemAlloc; the service frees it.
    virtual HRESULT GetOutputFormat(const GUID* pTargetFmtId, const WAVEFORMATEX* pTargetWaveFormatEx,
                                    GUID* pOutputFormatId, WAVEFORMATEX** ppCoMemOutputWaveFormatEx) = 0;

protected:
    ~ISpTTSEngine() = default;
};

struct ISpTokenUI : IUnknown {
    virtual HRESULT IsUISupported(LPCWSTR pszTypeOfUI, void* pvExtraData, ULONG cbExtraData, IUnknown* punkObject,
                                  BOOL* pfSupported) = 0;
    virtual HRESULT DisplayUI(HWND hwndParent, LPCWSTR pszTitle, LPCWSTR pszTypeOfUI, void* pvExtraData,
                              ULONG cbExtraData, ISpObjectToken* pToken, IUnknown* punkObject) = 0;

protected:
    ~ISpTokenUI() = default;
};

// The voice object programs speak through ("Sapi.SpVoice"). Its slot order is this platform's.
struct ISpeechVoice : IUnknown {
    // flags: SVSF* bits. Text null or empty with SVSFPurgeBeforeSpeak only purges.
    virtual HRESULT Speak(LPCWSTR text, DWORD flags, ULONG* pStreamNumber) = 0;
    // Waits at most msTimeout machine milliseconds (negative: the service's own bound) pumping the
    // machine; *pDone tells whether everything queued was spoken. Call it on the pumping thread.
    virtual HRESULT WaitUntilDone(LONG msTimeout, BOOL* pDone) = 0;
    virtual HRESULT GetRate(LONG* pRate) = 0;
    virtual HRESULT SetRate(LONG rate) = 0;      // -10..10
    virtual HRESULT GetVolume(LONG* pVolume) = 0;
    virtual HRESULT SetVolume(LONG volume) = 0;  // 0..100
    // The voice token used; S_OK with the default voice's token when none was set.
    virtual HRESULT GetVoice(ISpObjectToken** ppToken) = 0;
    // Null goes back to the user's default voice.
    virtual HRESULT SetVoice(ISpObjectToken* pToken) = 0;
    // Skips sentences of what is being spoken; *pSkipped gets how many the engine skipped.
    virtual HRESULT Skip(LONG numSentences, LONG* pSkipped) = 0;

protected:
    ~ISpeechVoice() = default;
};

// ---- Identifiers ---------------------------------------------------------------------------
constexpr IID IID_ISpDataKey = {0x14056581, 0xE16C, 0x11D2, {0xBB, 0x90, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0xC0}};
constexpr IID IID_ISpObjectToken = {0x14056589, 0xE16C, 0x11D2, {0xBB, 0x90, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0xC0}};
constexpr IID IID_ISpObjectWithToken = {0x5B559F40, 0xE952, 0x11D2, {0xBB, 0x91, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0xC0}};
constexpr IID IID_ISpEventSink = {0xBE7A9CC9, 0x5F9E, 0x11D2, {0x96, 0x0F, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0x28}};
constexpr IID IID_ISpTTSEngineSite = {0x9880499B, 0xCCE9, 0x11D2, {0xB5, 0x03, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
constexpr IID IID_ISpTTSEngine = {0xA74D7C8E, 0x4CC5, 0x4F2F, {0xA6, 0xEB, 0x80, 0x4D, 0xEE, 0x18, 0x50, 0x0E}};
constexpr IID IID_ISpTokenUI = {0xF8E690F0, 0x39CB, 0x4843, {0xB8, 0xD7, 0xC8, 0x46, 0x96, 0xE1, 0x11, 0x9D}};
constexpr IID IID_ISpeechVoice = {0x269316D8, 0x57BD, 0x11D2, {0x9E, 0xEE, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
constexpr CLSID CLSID_SpVoice = {0x96749377, 0x3391, 0x11D2, {0x9E, 0xE3, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};

// Token UI type of an engine's settings dialog.
inline constexpr char16_t SPDUI_EngineProperties[] = u"EngineProperties";

} // namespace win

namespace speech {

// Registry places of the voices.
inline constexpr const char* kVoicesKey = "SOFTWARE\\Microsoft\\Speech\\Voices";  // HKCU: "DefaultTokenId"
inline constexpr const char* kVoiceTokensKey = "SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";  // HKLM
inline constexpr const char* kVoiceTokensRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";
inline constexpr const char* kSpVoiceProgId = "Sapi.SpVoice";

} // namespace speech
