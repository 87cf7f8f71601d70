// voxling against eSpeak NG's Mandarin voice ("cmn"), side by side on the same texts: a
// 20-character quote sentence, a 200-character market paragraph and that paragraph ten times
// over. For each engine and text:
//   rtf       synthesis wall time / duration of the audio produced (aim: under 0.01)
//   first_ms  wall time from the start of the call to the first audio handed out (aim: 20 ms)
//   sound_ms  the same to the first audio that is not near-silence (leading pauses differ)
// voxling is driven as the speech service drives it: libvoxling.so is loaded by its CLSID on an
// emulated machine with a real clock, bound to an installed voice token, and its
// ISpTTSEngine::Speak writes to a site that times the writes and copies each block into a
// buffer, as the audio output does (eSpeak NG's callback copies its samples the same way). The same engine is also timed
// through SpVoice (Speak to the first audio reaching the machine's audio output, and to done).
// eSpeak NG runs in synchronous mode; its figures are taken from its synthesis callback.
// BM_VoiceRegime times both engines on the quote sentences of sentences.txt, alternating call by
// call, in three regimes: each text spoken again right after itself; each call a new text on one
// engine kept (as the program speaks quotes); each call a new engine object, created and bound
// inside the timed span. eSpeak NG stays initialised throughout. Its figures are medians over
// the calls, the ratio the median of each sentence's own ratio.
// The voice library is the demo's own (the base manifest as it stands); it is built on the first
// run and kept in the build folder.
// Run: build/bench/voxling/voxling_bench (a summary table follows Google Benchmark's output).
#include "platform/com/ComBase.h"
#include "platform/media/AudioOutput.h"
#include "platform/speech/Fragments.h"
#include "platform/speech/SpVoice.h"
#include "platform/speech/SpeechApi.h"
#include "platform/speech/VoiceTokens.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "tools/voicegen/Install.h"
#include "tools/voicegen/VoiceGen.h"

#include <benchmark/benchmark.h>
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

using namespace win;
using WallClock = std::chrono::steady_clock;

const std::string kQuote = "欧元美元现价一点二三四五，上涨了十二点。";
const std::string kParagraph =
    "今天亚洲早盘，美元指数小幅回落，非美货币普遍走强。欧元兑美元在一点零八五附近获得支撑，随后上涨三十多点。"
    "英镑受到通胀数据影响，盘中一度大涨，但很快回吐大部分涨幅。日元继续疲软，美元兑日元逼近一百五十关口。"
    "黄金价格维持震荡，每盎司在两千三百美元上下徘徊。原油方面，库存意外下降，油价反弹百分之二。"
    "分析人士认为，投资者正在等待本周公布的就业报告，在结果出来之前，汇市大概会保持区间波动，交易者应控制仓位。";

// The paragraph ten times over: a long text, where time scaling dominates.
const std::string kLong = [] {
    std::string s;
    for (int i = 0; i < 10; ++i) s += kParagraph;
    return s;
}();

const std::string& textOf(int which) { return which == 0 ? kQuote : which == 1 ? kParagraph : kLong; }
const char* textName(int which) {
    return which == 0 ? "quote (20 chars)" : which == 1 ? "paragraph (200 chars)" : "long (2000 chars)";
}

constexpr double kTargetRtf = 0.01;
constexpr double kTargetFirstMs = 20.0;

double msSince(WallClock::time_point t0, WallClock::time_point t) {
    return std::chrono::duration<double, std::milli>(t - t0).count();
}

// Processor time of the calling thread, in ms: less disturbed than wall time on a busy machine.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// ---- Figures, one row per engine and text; the last (longest) run of a benchmark holds.

struct Figures {
    double rtf = 0;
    double firstMs = 0;
    double soundMs = 0;
    double audioS = 0;    // per call
    double synthMs = 0;   // per call
    int64_t calls = 0;
    std::string note;
};
// In the order the benchmarks ran.
std::vector<std::pair<std::pair<std::string, int>, Figures>> g_figures;

void keepFigures(const std::string& engine, int which, const Figures& f) {
    for (auto& [key, old] : g_figures)
        if (key == std::pair(engine, which)) {
            old = f;
            return;
        }
    g_figures.push_back({{engine, which}, f});
}

// Above this a sample is sound rather than a pause (about -40 dBFS).
constexpr int kSoundLevel = 328;

bool hasSound(const int16_t* pcm, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (pcm[i] > kSoundLevel || pcm[i] < -kSoundLevel) return true;
    return false;
}

struct Tally {
    double synthS = 0, audioS = 0, firstMsSum = 0, soundMsSum = 0;
    int64_t calls = 0;
    void add(double synthMs, double firstMs, double soundMs, double audioSeconds) {
        synthS += synthMs / 1000.0;
        audioS += audioSeconds;
        firstMsSum += firstMs;
        soundMsSum += soundMs;
        ++calls;
    }
    void report(benchmark::State& state, const std::string& engine, int which) const {
        if (!calls || audioS <= 0) return;
        Figures f;
        f.rtf = synthS / audioS;
        f.firstMs = firstMsSum / double(calls);
        f.soundMs = soundMsSum / double(calls);
        f.audioS = audioS / double(calls);
        f.synthMs = synthS * 1000.0 / double(calls);
        f.calls = calls;
        state.counters["rtf"] = f.rtf;
        state.counters["first_ms"] = f.firstMs;
        state.counters["sound_ms"] = f.soundMs;
        state.counters["audio_s"] = f.audioS;
        keepFigures(engine, which, f);
    }
};

// ---- The voice library

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string benchManifest(std::string& error) {
    std::string base = readFile(VOXBENCH_BASE_MANIFEST);
    if (base.empty()) error = std::string("cannot read ") + VOXBENCH_BASE_MANIFEST;
    return base;
}

// The quote sentences, one a line; '#' starts a comment line.
std::vector<std::string> loadSentences() {
    std::istringstream in(readFile(VOXBENCH_SENTENCES));
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') out.push_back(line);
    return out;
}
const std::vector<std::string>& sentences() {
    static const std::vector<std::string> all = loadSentences();
    return all;
}

// Builds the library in a child process (the builder keeps eSpeak NG loaded in its process,
// which the eSpeak NG benchmark must set up on its own), unless the cache holds it already.
bool cachedVoiceLibrary(std::filesystem::path& dir, std::string& error) {
    const std::string manifestText = benchManifest(error);
    if (manifestText.empty()) return false;
    dir = std::filesystem::path(VOXBENCH_VOICE_CACHE) / "library";
    const auto stamp = std::filesystem::path(VOXBENCH_VOICE_CACHE) / "manifest";
    if (std::filesystem::exists(dir / voicegen::kVoiceDefFile) && readFile(stamp) == manifestText) return true;

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::remove(stamp, ec);
    std::fprintf(stderr, "Building the benchmark's voice library in %s\n", dir.c_str());
    const auto t0 = WallClock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        error = "fork failed";
        return false;
    }
    if (pid == 0) {
        voicegen::Manifest manifest;
        std::string err;
        voicegen::BuildReport report;
        if (!voicegen::parseManifest(manifestText, manifest, err) ||
            !voicegen::buildLibrary(manifest, dir, voicegen::BuildOptions{}, report, err)) {
            std::fprintf(stderr, "voice library: %s\n", err.c_str());
            _exit(1);
        }
        for (uint32_t c : report.noReading) std::fprintf(stderr, "voice library: no reading for U+%04X\n", c);
        _exit(0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "building the voice library failed";
        return false;
    }
    std::ofstream(stamp, std::ios::binary) << manifestText;
    std::fprintf(stderr, "Voice library built in %.1f s\n", msSince(t0, WallClock::now()) / 1000.0);
    return true;
}

// ---- voxling on an emulated machine

constexpr CLSID kVoxlingObj = {0x7F5297E5, 0x0462, 0x4730, {0x86, 0xA9, 0x07, 0x6A, 0x57, 0xC0, 0x5C, 0x17}};

struct VoxlingMachine {
    std::unique_ptr<sys::Machine> machine;
    std::optional<sys::MachineScope> scope;
    std::string error;

    explicit VoxlingMachine(const std::filesystem::path& library) {
        sys::MachineOptions options;
        options.virtualClock = false;
        machine = std::make_unique<sys::Machine>(options);
        scope.emplace(*machine);
        machine->setSetting("audio.output", "none");
        machine->setSetting("audio.record", "1");  // the figures read what was played
        voicegen::InstallOptions install;
        install.library = library;
        install.voiceFolder = "C:\\Voice";
        install.engine = VOXLING_LIBRARY;
        if (!voicegen::installVoice(*machine, install, error)) error = "install: " + error;
    }

    // A new engine from libvoxling.so, bound to the installed token.
    com::ComPtr<ISpTTSEngine> boundEngine() {
        com::ComPtr<ISpTTSEngine> engine;
        if (FAILED(com::createInstance(*machine, kVoxlingObj, IID_ISpTTSEngine, engine.putVoid()))) {
            error = "the engine could not be created";
            return {};
        }
        com::ComPtr<ISpObjectWithToken> withToken;
        engine.as(IID_ISpObjectWithToken, withToken);
        auto token = speech::openToken(*machine, std::string("HKEY_LOCAL_MACHINE\\") + voicegen::kTokenKey);
        if (!withToken || !token || FAILED(withToken->SetObjectToken(token.get()))) {
            error = "the engine could not be bound to the voice token";
            return {};
        }
        return engine;
    }
};

VoxlingMachine* g_voxling = nullptr;

// The engine's declared output, which Speak is then asked for; false unless it is 16-bit PCM.
bool outputFormat(ISpTTSEngine* engine, GUID& formatId, WAVEFORMATEX& format) {
    WAVEFORMATEX* fmt = nullptr;
    if (FAILED(engine->GetOutputFormat(&SPDFID_WaveFormatEx, nullptr, &formatId, &fmt)) || !fmt) return false;
    format = *fmt;
    CoTaskMemFree(fmt);
    return format.nAvgBytesPerSec != 0 && format.wBitsPerSample == 16;
}
double g_firstSpeakCallerMs = -1;

// The service's side of a Speak call: it copies each block into a buffer, as the audio output
// does, so an engine is timed against a site that touches every sample, and keeps the times.
class TimingSite final : public ISpTTSEngineSite {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISpEventSink || riid == IID_ISpTTSEngineSite) {
            *ppv = static_cast<ISpTTSEngineSite*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT AddEvents(const SPEVENT*, ULONG) override { return S_OK; }
    HRESULT GetEventInterest(ULONGLONG* interest) override {
        if (!interest) return E_POINTER;
        *interest = SPFEI_ALL_TTS_EVENTS;  // as the service asks for them
        return S_OK;
    }
    DWORD GetActions() override { return 0; }
    HRESULT Write(const void* buf, ULONG cb, ULONG* written) override {
        if (written) *written = 0;
        if (cb && !buf) return E_INVALIDARG;
        if (cb && !firstWrite) firstWrite = WallClock::now();
        if (cb && !firstSound && hasSound(static_cast<const int16_t*>(buf), cb / 2)) firstSound = WallClock::now();
        const auto* p = static_cast<const uint8_t*>(buf);
        pcm.insert(pcm.end(), p, p + cb);
        bytes += cb;
        if (written) *written = cb;
        return S_OK;
    }
    HRESULT GetRate(LONG* rate) override { return rate ? (*rate = 0, S_OK) : E_POINTER; }
    HRESULT GetVolume(USHORT* volume) override { return volume ? (*volume = 100, S_OK) : E_POINTER; }
    HRESULT GetSkipInfo(SPVSKIPTYPE* type, LONG* count) override {
        if (!type || !count) return E_POINTER;
        *type = SPVST_SENTENCE;
        *count = 0;
        return S_OK;
    }
    HRESULT CompleteSkip(LONG) override { return S_OK; }

    std::optional<WallClock::time_point> firstWrite;
    std::optional<WallClock::time_point> firstSound;
    uint64_t bytes = 0;
    std::vector<uint8_t> pcm;
};

void BM_VoxlingEngine(benchmark::State& state) {
    const int which = int(state.range(0));
    if (!g_voxling || !g_voxling->error.empty()) return state.SkipWithError("voxling is not installed");
    auto engine = g_voxling->boundEngine();
    if (!engine) return state.SkipWithError(g_voxling->error.c_str());
    GUID formatId{};
    WAVEFORMATEX format{};
    if (!outputFormat(engine.get(), formatId, format)) return state.SkipWithError("no 16-bit output format");
    const auto frags = speech::FragmentList::build(sys::toUtf16(textOf(which)), false);

    auto speakOnce = [&](TimingSite& site, WallClock::time_point& t0, WallClock::time_point& t1) {
        t0 = WallClock::now();
        const HRESULT hr = engine->Speak(0, formatId, &format, frags.head(), &site);
        t1 = WallClock::now();
        return hr;
    };
    {   // the first call maps the voice files in
        TimingSite warm;
        WallClock::time_point t0, t1;
        if (FAILED(speakOnce(warm, t0, t1)) || !warm.firstWrite) return state.SkipWithError("Speak failed");
    }
    Tally tally;
    for (auto _ : state) {
        TimingSite site;
        WallClock::time_point t0, t1;
        const HRESULT hr = speakOnce(site, t0, t1);
        if (FAILED(hr) || !site.firstWrite || !site.firstSound) return state.SkipWithError("Speak failed");
        tally.add(msSince(t0, t1), msSince(t0, *site.firstWrite), msSince(t0, *site.firstSound),
                  double(site.bytes) / format.nAvgBytesPerSec);
    }
    tally.report(state, "voxling (engine Speak)", which);
}
BENCHMARK(BM_VoxlingEngine)->Arg(0)->Arg(1)->Arg(2)->ArgName("text")->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole path: SpVoice builds the fragments, its worker speaks, its site writes to the
// machine's audio output ("none", which records what it was given).
void BM_VoxlingSpVoice(benchmark::State& state) {
    const int which = int(state.range(0));
    if (!g_voxling || !g_voxling->error.empty()) return state.SkipWithError("voxling is not installed");
    auto& m = *g_voxling->machine;
    speech::installSpeechService(m);
    HRESULT hr = E_FAIL;
    auto voice = com::createObject<ISpeechVoice>(m, speech::kSpVoiceProgId, IID_ISpeechVoice, &hr);
    auto* v = speech::SpVoice::from(voice.get());
    if (!v) return state.SkipWithError("no SpVoice");
    auto& recorder = media::audioRecorder(m);
    constexpr auto kLimit = std::chrono::seconds(60);

    // Wall times from Speak to the first audio of its stream, to its first sound and to done,
    // watched from this thread while the voice's worker speaks; false on failure.
    auto speakOnce = [&](double& firstMs, double& soundMs, double& totalMs, double& audioS) {
        recorder.clear();
        const auto t0 = WallClock::now();
        if (FAILED(v->speak(textOf(which), SVSFlagsAsync))) return false;
        std::optional<WallClock::time_point> first, sound;
        size_t scanned = 0;
        while (!sound && WallClock::now() - t0 < kLimit) {
            const auto clips = recorder.clips();
            const auto* pcm = clips.empty() ? nullptr : &clips.back().pcm;
            if (pcm && !pcm->empty()) {
                const auto now = WallClock::now();
                if (!first) first = now;
                const size_t samples = pcm->size() / 2;
                if (hasSound(reinterpret_cast<const int16_t*>(pcm->data()) + scanned, samples - scanned)) sound = now;
                scanned = samples;
            }
            if (!sound && !v->isSpeaking()) break;
            std::this_thread::yield();
        }
        if (!first || !sound || !v->waitUntilDone(60000) || FAILED(v->lastResult())) return false;
        const auto t1 = WallClock::now();
        const auto clips = recorder.clips();
        if (clips.empty()) return false;
        firstMs = msSince(t0, *first);
        soundMs = msSince(t0, *sound);
        totalMs = msSince(t0, t1);
        audioS = double(clips.back().pcm.size()) / clips.back().format.bytesPerSecond();
        return true;
    };
    double firstMs = 0, soundMs = 0, totalMs = 0, audioS = 0;
    if (!speakOnce(firstMs, soundMs, totalMs, audioS))  // loads the engine
        return state.SkipWithError("SpVoice speak failed");
    Tally tally;
    for (auto _ : state) {
        if (!speakOnce(firstMs, soundMs, totalMs, audioS)) return state.SkipWithError("SpVoice speak failed");
        tally.add(totalMs, firstMs, soundMs, audioS);
    }
    tally.report(state, "voxling (SpVoice)", which);
}
BENCHMARK(BM_VoxlingSpVoice)->Arg(0)->Arg(1)->ArgName("text")->Unit(benchmark::kMillisecond)->UseRealTime();

// The caller's share of the first Speak of a new voice: the engine is not loaded yet. The
// user-interface thread speaks asynchronously and must not wait for the engine to load.
void BM_FirstSpeakCaller(benchmark::State& state) {
    if (!g_voxling || !g_voxling->error.empty()) return state.SkipWithError("voxling is not installed");
    auto& m = *g_voxling->machine;
    speech::installSpeechService(m);
    double callerMs = 0;
    int64_t calls = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HRESULT hr = E_FAIL;
        auto voice = com::createObject<ISpeechVoice>(m, speech::kSpVoiceProgId, IID_ISpeechVoice, &hr);
        auto* v = speech::SpVoice::from(voice.get());
        if (!v) return state.SkipWithError("no SpVoice");
        state.ResumeTiming();
        const auto t0 = WallClock::now();
        hr = v->speak(kQuote, SVSFlagsAsync);
        callerMs += msSince(t0, WallClock::now());
        ++calls;
        state.PauseTiming();
        if (FAILED(hr) || !v->waitUntilDone(60000) || FAILED(v->lastResult()))
            return state.SkipWithError("the first Speak failed");
        state.ResumeTiming();
    }
    state.counters["caller_ms"] = calls ? callerMs / double(calls) : 0;
    g_firstSpeakCallerMs = calls ? callerMs / double(calls) : -1;
}
BENCHMARK(BM_FirstSpeakCaller)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// ---- eSpeak NG

struct EspeakCall {
    std::optional<WallClock::time_point> first;
    std::optional<WallClock::time_point> sound;
    uint64_t samples = 0;
    std::vector<int16_t> pcm;  // copied as voxling's site copies, so both pay the same
};
EspeakCall* g_espeakCall = nullptr;
int g_espeakRate = 0;

int onEspeakSynth(short* wav, int n, espeak_EVENT*) {
    if (wav && n > 0 && g_espeakCall) {
        if (!g_espeakCall->first) g_espeakCall->first = WallClock::now();
        if (!g_espeakCall->sound && hasSound(wav, size_t(n))) g_espeakCall->sound = WallClock::now();
        g_espeakCall->pcm.insert(g_espeakCall->pcm.end(), wav, wav + n);
        g_espeakCall->samples += uint64_t(n);
    }
    return 0;
}

bool espeakReady(std::string& error) {
    static std::string setupError = [] {
        // 0: the library's own callback buffer length
        g_espeakRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
        if (g_espeakRate <= 0) return std::string("eSpeak NG could not be initialised");
        if (espeak_SetVoiceByName("cmn") != EE_OK) return std::string("eSpeak NG has no voice cmn");
        espeak_SetSynthCallback(onEspeakSynth);
        return std::string();
    }();
    error = setupError;
    return error.empty();
}

// One synchronous synthesis of text; false unless it gave sound.
bool espeakSpeak(const std::string& text, EspeakCall& call, double& totalMs, WallClock::time_point& t0) {
    g_espeakCall = &call;
    t0 = WallClock::now();
    espeak_ERROR e =
        espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    if (e == EE_OK) e = espeak_Synchronize();
    const auto t1 = WallClock::now();
    g_espeakCall = nullptr;
    totalMs = msSince(t0, t1);
    return e == EE_OK && call.first && call.sound;
}

void BM_EspeakNg(benchmark::State& state) {
    const int which = int(state.range(0));
    std::string error;
    if (!espeakReady(error)) return state.SkipWithError(error.c_str());
    const std::string& text = textOf(which);
    auto speakOnce = [&](EspeakCall& call, double& totalMs, WallClock::time_point& t0) {
        return espeakSpeak(text, call, totalMs, t0);
    };
    {
        EspeakCall warm;
        double totalMs = 0;
        WallClock::time_point t0;
        if (!speakOnce(warm, totalMs, t0)) return state.SkipWithError("espeak_Synth failed");
    }
    Tally tally;
    for (auto _ : state) {
        EspeakCall call;
        double totalMs = 0;
        WallClock::time_point t0;
        if (!speakOnce(call, totalMs, t0)) return state.SkipWithError("espeak_Synth failed");
        tally.add(totalMs, msSince(t0, *call.first), msSince(t0, *call.sound), double(call.samples) / g_espeakRate);
    }
    tally.report(state, "eSpeak NG (cmn)", which);
}
BENCHMARK(BM_EspeakNg)->Arg(0)->Arg(1)->Arg(2)->ArgName("text")->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Both engines on the quote sentences, alternating call by call

enum class Regime { Repeated, NewText, FreshEngine };
const char* regimeName(Regime r) {
    return r == Regime::Repeated ? "repeated text" : r == Regime::NewText ? "new text, engine kept" : "fresh engine";
}

// Per call: wall and processor time, seconds of audio made.
struct CallFigures {
    double ms = -1, cpuMs = 0, audioS = 0;
};
// Medians over the calls: a few calls a busy machine delays do not move them. The ratios are
// the medians of each sentence's own ratio.
struct RegimeFigures {
    CallFigures vox, espeak;
    double ratio = 0, cpuRatio = 0;
    int64_t calls = 0;
};
std::vector<std::pair<Regime, RegimeFigures>> g_regimes;

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// One call per engine per iteration, the two in turn first, on sentence i of the list (the
// iteration count is the list's length, so "new text" never repeats). Repeated: each timed call
// follows an untimed one of the same text, for both engines.
void BM_VoiceRegime(benchmark::State& state, Regime regime) {
    std::string error;
    if (!espeakReady(error)) return state.SkipWithError(error.c_str());
    if (!g_voxling || !g_voxling->error.empty()) return state.SkipWithError("voxling is not installed");
    const auto& texts = sentences();
    if (texts.empty()) return state.SkipWithError("no sentences");

    com::ComPtr<ISpTTSEngine> kept;
    GUID formatId{};
    WAVEFORMATEX format{};
    if (regime != Regime::FreshEngine) {
        kept = g_voxling->boundEngine();
        if (!kept || !outputFormat(kept.get(), formatId, format)) return state.SkipWithError("no kept engine");
        // The program's engine has spoken before: its files are read and its buffers made.
        TimingSite warm;
        const auto frags = speech::FragmentList::build(sys::toUtf16(kQuote), false);
        if (FAILED(kept->Speak(0, formatId, &format, frags.head(), &warm))) return state.SkipWithError("Speak failed");
    }
    // One voxling call; a negative time on failure.
    auto voxling = [&](const speech::FragmentList& frags) {
        TimingSite site;
        CallFigures c;
        const double cpu0 = threadCpuMs();
        const auto t0 = WallClock::now();
        HRESULT hr = E_FAIL;
        if (regime == Regime::FreshEngine) {
            auto engine = g_voxling->boundEngine();
            if (engine && outputFormat(engine.get(), formatId, format))
                hr = engine->Speak(0, formatId, &format, frags.head(), &site);
        } else {
            hr = kept->Speak(0, formatId, &format, frags.head(), &site);
        }
        c.ms = msSince(t0, WallClock::now());
        c.cpuMs = threadCpuMs() - cpu0;
        if (FAILED(hr) || !site.firstSound) c.ms = -1;
        c.audioS = double(site.bytes) / format.nAvgBytesPerSec;
        return c;
    };
    auto espeak = [&](const std::string& text) {
        EspeakCall call;
        CallFigures c;
        WallClock::time_point t0;
        const double cpu0 = threadCpuMs();
        if (!espeakSpeak(text, call, c.ms, t0)) c.ms = -1;
        c.cpuMs = threadCpuMs() - cpu0;
        c.audioS = double(call.samples) / g_espeakRate;
        return c;
    };

    std::vector<CallFigures> voxCalls, espCalls;
    size_t i = 0;
    for (auto _ : state) {
        const std::string& text = texts[i % texts.size()];
        const auto frags = speech::FragmentList::build(sys::toUtf16(text), false);
        CallFigures vox, esp;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (i % 2 == 0)) {
                if (regime != Regime::Repeated || voxling(frags).ms >= 0) vox = voxling(frags);
            } else {
                if (regime != Regime::Repeated || espeak(text).ms >= 0) esp = espeak(text);
            }
        }
        if (vox.ms < 0) return state.SkipWithError("voxling failed on a sentence");
        if (esp.ms < 0) return state.SkipWithError("eSpeak NG failed on a sentence");
        voxCalls.push_back(vox);
        espCalls.push_back(esp);
        ++i;
    }
    if (voxCalls.empty()) return;
    auto column = [](const std::vector<CallFigures>& calls, double CallFigures::*field) {
        std::vector<double> v;
        for (const auto& c : calls) v.push_back(c.*field);
        return median(std::move(v));
    };
    RegimeFigures f;
    f.calls = int64_t(voxCalls.size());
    for (auto [calls, out] : {std::pair{&voxCalls, &f.vox}, std::pair{&espCalls, &f.espeak}}) {
        out->ms = column(*calls, &CallFigures::ms);
        out->cpuMs = column(*calls, &CallFigures::cpuMs);
        out->audioS = column(*calls, &CallFigures::audioS);
    }
    std::vector<double> ratios, cpuRatios;
    for (size_t k = 0; k < voxCalls.size(); ++k) {
        if (espCalls[k].ms > 0) ratios.push_back(voxCalls[k].ms / espCalls[k].ms);
        if (espCalls[k].cpuMs > 0) cpuRatios.push_back(voxCalls[k].cpuMs / espCalls[k].cpuMs);
    }
    f.ratio = median(std::move(ratios));
    f.cpuRatio = median(std::move(cpuRatios));
    state.counters["voxling_ms"] = f.vox.ms;
    state.counters["espeak_ms"] = f.espeak.ms;
    state.counters["ratio"] = f.ratio;
    state.counters["cpu_ratio"] = f.cpuRatio;
    state.counters["voxling_audio_s"] = f.vox.audioS;
    state.counters["espeak_audio_s"] = f.espeak.audioS;
    for (auto& [r, old] : g_regimes)
        if (r == regime) {
            old = f;
            return;
        }
    g_regimes.push_back({regime, f});
}

void printRegimes() {
    if (!g_regimes.empty())
        std::printf("\nquote sentences, alternating, median call  voxling ms  eSpeak ms  ratio  (processor time)  "
                    "voxling audio s  eSpeak audio s  (aim: ratio 0.7 or less)\n");
    for (const auto& [regime, f] : g_regimes)
        std::printf("%-41s %11.2f %10.2f %6.2f  (%5.2f)           %15.2f %15.2f\n", regimeName(regime), f.vox.ms,
                    f.espeak.ms, f.ratio, f.cpuRatio, f.vox.audioS, f.espeak.audioS);
}

void printTable() {
    if (g_figures.empty()) return;
    std::printf("\n%-24s %-22s %8s %9s %9s %9s %8s\n", "engine", "text", "rtf", "first ms", "sound ms",
                "synth ms", "audio s");
    for (const auto& [key, f] : g_figures)
        std::printf("%-24s %-22s %8.4f %9.2f %9.2f %9.1f %8.2f%s\n", key.first.c_str(), textName(key.second), f.rtf,
                    f.firstMs, f.soundMs, f.synthMs, f.audioS,
                    f.rtf < kTargetRtf && f.firstMs < kTargetFirstMs ? "" : "   (misses the aim)");
    std::printf("aim: rtf under %.2f, first audio within %.0f ms\n", kTargetRtf, kTargetFirstMs);

    // Side by side: voxling's engine against eSpeak NG on each text (aim: 0.7 or less).
    auto find = [](const std::string& engine, int which) -> const Figures* {
        for (const auto& [key, f] : g_figures)
            if (key == std::pair(engine, which)) return &f;
        return nullptr;
    };
    for (int which = 0; which < 3; ++which) {
        const Figures* v = find("voxling (engine Speak)", which);
        const Figures* e = find("eSpeak NG (cmn)", which);
        if (v && e && e->synthMs > 0)
            std::printf("ratio voxling/espeak-ng %-22s %.2f  (%.2f ms / %.2f ms)\n", textName(which),
                        v->synthMs / e->synthMs, v->synthMs, e->synthMs);
    }
    if (const Figures* v = find("voxling (engine Speak)", 0))
        std::printf("first audio after the engine is loaded: %.3f ms (aim: 0.5 ms or less)\n", v->firstMs);
    if (g_firstSpeakCallerMs >= 0)
        std::printf("first Speak of a new voice, caller's thread: %.3f ms (aim: 1 ms or less)\n", g_firstSpeakCallerMs);
}

} // namespace

int main(int argc, char** argv) {
    // The texts are part of the comparison: keep them at their stated lengths.
    if (sys::toUtf16(kQuote).size() != 20 || sys::toUtf16(kParagraph).size() != 200) {
        std::fprintf(stderr, "the benchmark texts are not 20 and 200 characters long\n");
        return 1;
    }
    if (sentences().size() < 50) {
        std::fprintf(stderr, "%s holds fewer than 50 sentences\n", VOXBENCH_SENTENCES);
        return 1;
    }
    for (Regime r : {Regime::Repeated, Regime::NewText, Regime::FreshEngine})
        benchmark::RegisterBenchmark("BM_VoiceRegime", BM_VoiceRegime, r)
            ->Arg(int(r))
            ->ArgName("regime")
            ->Iterations(int64_t(sentences().size()))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::filesystem::path library;
    std::string error;
    std::unique_ptr<VoxlingMachine> voxling;
    if (!cachedVoiceLibrary(library, error)) {
        std::fprintf(stderr, "voxling skipped: %s\n", error.c_str());
    } else {
        voxling = std::make_unique<VoxlingMachine>(library);
        if (!voxling->error.empty()) std::fprintf(stderr, "voxling skipped: %s\n", voxling->error.c_str());
        g_voxling = voxling.get();
    }
    benchmark::RunSpecifiedBenchmarks();
    printTable();
    printRegimes();
    benchmark::Shutdown();
    g_voxling = nullptr;
    return 0;
}
