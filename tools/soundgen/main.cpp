// Synthesises the sounds the program ships: the talking clock's chimes (Media\), the alert
// tones offered in the settings (Sound\) and the system sounds behind the aliases (System\).
// Usage: soundgen OUTPUT_FOLDER
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

using Samples = std::vector<double>;

double midiHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

void ensureLength(Samples& s, size_t n) {
    if (s.size() < n) s.resize(n, 0.0);
}

// A struck bell: inharmonic partials, the higher ones dying away sooner.
void addBell(Samples& s, double at, double hz, double seconds, double gain) {
    static const struct { double ratio, amp, decay; } kPartials[] = {
        {0.5, 0.35, 0.9}, {1.0, 1.0, 1.4}, {1.19, 0.45, 2.0}, {1.5, 0.3, 2.6},
        {2.0, 0.4, 3.0},  {2.52, 0.18, 4.5}, {3.01, 0.12, 5.5},
    };
    const size_t start = size_t(at * kRate);
    const size_t n = size_t(seconds * kRate);
    ensureLength(s, start + n);
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double attack = std::min(1.0, t / 0.004);
        double v = 0;
        for (const auto& p : kPartials) v += p.amp * std::exp(-p.decay * t) * std::sin(2 * kPi * hz * p.ratio * t);
        // Fade the tail so the clip ends on silence.
        const double fade = std::min(1.0, double(n - i) / (0.05 * kRate));
        s[start + i] += gain * attack * fade * v;
    }
}

// A plain electronic beep with soft edges.
void addBeep(Samples& s, double at, double hz, double seconds, double gain) {
    const size_t start = size_t(at * kRate);
    const size_t n = size_t(seconds * kRate);
    ensureLength(s, start + n);
    const double edge = 0.01 * kRate;
    for (size_t i = 0; i < n; ++i) {
        const double env = std::min({1.0, i / edge, (n - i) / edge});
        const double t = double(i) / kRate;
        s[start + i] += gain * env * (std::sin(2 * kPi * hz * t) + 0.2 * std::sin(2 * kPi * 2 * hz * t));
    }
}

void putLE(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

bool writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

// Normalises to a peak of about -3 dB and writes 16-bit mono.
bool writeWav(const fs::path& path, Samples s) {
    double peak = 0;
    for (double v : s) peak = std::max(peak, std::abs(v));
    const double scale = peak > 0 ? 0.7 / peak : 0;
    std::string data;
    for (double v : s) putLE(data, uint32_t(uint16_t(int16_t(std::lround(v * scale * 32767)))), 2);
    std::string out = "RIFF";
    putLE(out, uint32_t(36 + data.size()), 4);
    out += "WAVEfmt ";
    putLE(out, 16, 4);
    putLE(out, 1, 2);
    putLE(out, 1, 2);
    putLE(out, kRate, 4);
    putLE(out, kRate * 2, 4);
    putLE(out, 2, 2);
    putLE(out, 16, 2);
    out += "data";
    putLE(out, uint32_t(data.size()), 4);
    return writeFile(path, out + data);
}

// ---- MIDI --------------------------------------------------------------------------------

void putBE(std::string& out, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

void putVlq(std::string& out, uint32_t v) {
    char buf[4];
    int n = 0;
    buf[n++] = char(v & 0x7F);
    while (v >>= 7) buf[n++] = char(0x80 | (v & 0x7F));
    while (n) out.push_back(buf[--n]);
}

struct MidiNote { uint32_t tick, length; int note, velocity; };

// One track, format 0: tubular bells at 120 beats a minute, 480 ticks a beat.
bool writeMidi(const fs::path& path, const std::vector<MidiNote>& notes) {
    struct Ev { uint32_t tick; int order; std::string bytes; };
    std::vector<Ev> evs;
    for (const auto& n : notes) {
        evs.push_back({n.tick, 1, {char(0x90), char(n.note), char(n.velocity)}});
        evs.push_back({n.tick + n.length, 0, {char(0x80), char(n.note), char(0)}});
    }
    std::stable_sort(evs.begin(), evs.end(), [](const Ev& a, const Ev& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::string track;
    putVlq(track, 0);
    track += "\xFF\x51\x03";
    putBE(track, 500000, 3);
    putVlq(track, 0);
    track += "\xC0\x0E";  // program 15, tubular bells
    uint32_t last = 0;
    for (const auto& e : evs) {
        putVlq(track, e.tick - last);
        track += e.bytes;
        last = e.tick;
    }
    putVlq(track, 0);
    track += std::string("\xFF\x2F\x00", 3);

    std::string out = "MThd";
    putBE(out, 6, 4);
    putBE(out, 0, 2);
    putBE(out, 1, 2);
    putBE(out, 480, 2);
    out += "MTrk";
    putBE(out, uint32_t(track.size()), 4);
    return writeFile(path, out + track);
}

// The clock's four phrases, each four notes of C, D, E and G in a different order.
const int kPhrases[4][4] = {
    {72, 76, 74, 67},
    {72, 74, 76, 72},
    {76, 72, 74, 67},
    {67, 74, 76, 72},
};

std::vector<MidiNote> chimeNotes(std::initializer_list<int> phrases) {
    std::vector<MidiNote> notes;
    uint32_t tick = 0;
    size_t left = phrases.size();
    for (int p : phrases) {
        --left;
        for (int i = 0; i < 4; ++i) {
            const bool lastNote = left == 0 && i == 3;
            notes.push_back({tick, lastNote ? 480u * 4 : 480u * 2, kPhrases[p][i], 100});
            tick += 480;
        }
        tick += 480;  // a beat's rest between phrases
    }
    return notes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: soundgen OUTPUT_FOLDER\n");
        return 2;
    }
    const fs::path out = argv[1];
    bool ok = true;

    // Quarter chimes: one, two and three phrases.
    ok &= writeMidi(out / "Media" / "15.mid", chimeNotes({0}));
    ok &= writeMidi(out / "Media" / "30.mid", chimeNotes({1, 2}));
    ok &= writeMidi(out / "Media" / "45.mid", chimeNotes({3, 0, 1}));

    // The full hour: all four phrases, then a low bell; it starts nine seconds before the hour
    // and ends just after it.
    {
        Samples s;
        double t = 0;
        for (const auto& phrase : kPhrases) {
            for (int note : phrase) {
                addBell(s, t, midiHz(note), 1.6, 0.5);
                t += 0.45;
            }
            t += 0.45;
        }
        addBell(s, t, midiHz(48), 2.5, 0.8);
        ok &= writeWav(out / "Media" / "0.wav", s);
    }

    // Alert tones offered for the time-out alarm and the service alerts.
    {
        Samples s;
        for (int i = 0; i < 6; ++i) addBeep(s, i * 0.25, i % 2 ? 660 : 880, 0.2, 0.5);
        ok &= writeWav(out / "Sound" / "Alarm.wav", s);
    }
    {
        Samples s;
        for (int i = 0; i < 3; ++i) addBeep(s, i * 0.16, 660 * std::pow(1.26, i), 0.14, 0.5);
        ok &= writeWav(out / "Sound" / "Alert.wav", s);
    }
    {
        Samples s;
        addBell(s, 0, midiHz(69), 2.0, 0.6);
        ok &= writeWav(out / "Sound" / "Bell.wav", s);
    }
    {
        Samples s;
        addBell(s, 0, midiHz(76), 1.2, 0.5);
        addBell(s, 0.3, midiHz(72), 1.3, 0.5);
        ok &= writeWav(out / "Sound" / "Chime.wav", s);
    }
    {
        Samples s;
        addBell(s, 0, midiHz(84), 0.8, 0.6);
        ok &= writeWav(out / "Sound" / "Ding.wav", s);
    }

    // System sounds.
    {
        Samples s;
        addBell(s, 0, midiHz(79), 0.7, 0.5);
        addBell(s, 0.12, midiHz(84), 0.7, 0.5);
        ok &= writeWav(out / "System" / "asterisk.wav", s);
    }
    {
        Samples s;
        addBell(s, 0, midiHz(74), 0.8, 0.6);
        ok &= writeWav(out / "System" / "exclamation.wav", s);
    }
    {
        Samples s;
        addBeep(s, 0, 330, 0.15, 0.5);
        addBeep(s, 0.2, 330, 0.25, 0.5);
        ok &= writeWav(out / "System" / "hand.wav", s);
    }
    {
        Samples s;
        addBell(s, 0, midiHz(72), 0.6, 0.5);
        addBell(s, 0.15, midiHz(79), 0.7, 0.5);
        ok &= writeWav(out / "System" / "question.wav", s);
    }
    {
        Samples s;
        addBell(s, 0, midiHz(81), 0.6, 0.6);
        ok &= writeWav(out / "System" / "default.wav", s);
    }

    if (!ok) {
        std::fprintf(stderr, "soundgen: cannot write into %s\n", out.c_str());
        return 1;
    }
    return 0;
}
