#include "Speech.h"

#include "Audio.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace voicegen {

namespace {

// Per child: a sample count and up to ten seconds of 16 kHz samples.
constexpr size_t kSlotSamples = 16000 * 10;
constexpr size_t kSlotBytes = sizeof(int64_t) + kSlotSamples * sizeof(int16_t);

struct Slot {
    int64_t count;
    int16_t samples[kSlotSamples];
};

std::vector<int16_t>* g_collect = nullptr;

int collect(short* wav, int n, espeak_EVENT*) {
    if (wav && n > 0 && g_collect) g_collect->insert(g_collect->end(), wav, wav + n);
    return 0;
}

// The synthesiser is loaded once per process.
bool g_loaded = false;
int g_rate = 0;

[[noreturn]] void childSpeak(const SpeechItem& item, const std::string& defaultVoice, int rate, Slot* slot) {
    slot->count = -1;
    alarm(60);  // a synthesiser that hangs is ended rather than waited for

    if (item.voice != defaultVoice && espeak_ng_SetVoiceByName(item.voice.c_str()) != ENS_OK) _exit(2);
    std::vector<int16_t> pcm;
    g_collect = &pcm;
    espeak_SetSynthCallback(collect);
    if (espeak_Synth(item.text.c_str(), item.text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                     nullptr) != EE_OK)
        _exit(3);
    espeak_ng_Synchronize();
    pcm = resampleTo16k(pcm, rate);
    size_t n = std::min(pcm.size(), kSlotSamples);
    std::memcpy(slot->samples, pcm.data(), n * sizeof(int16_t));
    slot->count = int64_t(n);
    _exit(0);
}

} // namespace

bool Speaker::start(const std::string& voice, std::string& error) {
    if (started_) return true;
    if (!g_loaded) {
        espeak_ng_InitializePath(nullptr);
        if (espeak_ng_Initialize(nullptr) != ENS_OK) {
            error = "eSpeak NG data not found";
            return false;
        }
        if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr) != ENS_OK) {
            error = "eSpeak NG output set-up failed";
            return false;
        }
        g_rate = espeak_ng_GetSampleRate();
        g_loaded = true;
    }
    if (espeak_ng_SetVoiceByName(voice.c_str()) != ENS_OK) {
        error = "eSpeak NG has no voice " + voice;
        return false;
    }
    rate_ = g_rate;
    voice_ = voice;
    started_ = true;
    return true;
}

std::vector<std::vector<int16_t>> Speaker::speak(const std::vector<SpeechItem>& items, int jobs,
                                                 const std::function<void(size_t done)>& done) {
    std::vector<std::vector<int16_t>> results(items.size());
    if (!started_ || items.empty()) return results;
    jobs = std::max(1, jobs);
    void* shared = mmap(nullptr, kSlotBytes * size_t(jobs), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return results;
    auto slotAt = [&](int i) { return reinterpret_cast<Slot*>(static_cast<char*>(shared) + kSlotBytes * size_t(i)); };

    std::vector<int> freeSlots;
    for (int i = jobs - 1; i >= 0; --i) freeSlots.push_back(i);
    std::map<pid_t, std::pair<int, size_t>> running;  // pid -> slot, item
    size_t next = 0, finished = 0;
    while (next < items.size() || !running.empty()) {
        while (next < items.size() && !freeSlots.empty()) {
            int slot = freeSlots.back();
            slotAt(slot)->count = -1;
            pid_t pid = fork();
            if (pid == 0) childSpeak(items[next], voice_, rate_, slotAt(slot));
            if (pid < 0) break;
            freeSlots.pop_back();
            running[pid] = {slot, next++};
        }
        if (running.empty()) break;  // fork keeps failing: give up on the rest
        int status = 0;
        pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) break;
        auto it = running.find(pid);
        if (it == running.end()) continue;
        auto [slot, index] = it->second;
        running.erase(it);
        freeSlots.push_back(slot);
        const Slot* s = slotAt(slot);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && s->count > 0) {
            results[index].assign(s->samples, s->samples + s->count);
        }
        if (done) done(++finished);
    }
    for (auto& [pid, _] : running) waitpid(pid, nullptr, 0);
    munmap(shared, kSlotBytes * size_t(jobs));
    return results;
}

} // namespace voicegen
