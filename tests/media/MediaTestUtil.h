#pragma once
// Small helpers shared by the media tests: wave files built byte by byte, and sox.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace media_test {

inline void putLE(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

inline std::string chunk(const std::string& id, const std::string& body) {
    std::string out = id;
    putLE(out, uint32_t(body.size()), 4);
    out += body;
    if (body.size() & 1) out.push_back('\0');
    return out;
}

inline std::string fmtBody(int tag, int channels, int rate, int bits) {
    std::string f;
    putLE(f, uint32_t(tag), 2);
    putLE(f, uint32_t(channels), 2);
    putLE(f, uint32_t(rate), 4);
    putLE(f, uint32_t(rate * channels * bits / 8), 4);
    putLE(f, uint32_t(channels * bits / 8), 2);
    putLE(f, uint32_t(bits), 2);
    return f;
}

inline std::string riff(const std::string& chunks) {
    std::string out = "RIFF";
    putLE(out, uint32_t(4 + chunks.size()), 4);
    return out + "WAVE" + chunks;
}

// A plain PCM wave file holding the given data bytes.
inline std::string wavFile(int channels, int rate, int bits, const std::string& data) {
    return riff(chunk("fmt ", fmtBody(1, channels, rate, bits)) + chunk("data", data));
}

// A 16-bit mono square wave of n samples.
inline std::string square16(size_t n, int amplitude = 12000) {
    std::string d;
    for (size_t i = 0; i < n; ++i) putLE(d, uint32_t(uint16_t(int16_t((i / 20) % 2 ? amplitude : -amplitude))), 2);
    return d;
}

// Runs a command and returns what it printed (stdout and stderr).
inline std::string run(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen((cmd + " 2>&1").c_str(), "r")) {
        char buf[512];
        while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        pclose(p);
    }
    return out;
}

inline double soxSeconds(const std::string& path) { return std::stod("0" + run("sox --i -D '" + path + "'")); }

// "RMS amplitude" as sox's stat reports it.
inline double soxRms(const std::string& path) {
    const std::string out = run("sox '" + path + "' -n stat");
    const auto at = out.find("RMS     amplitude:");
    return at == std::string::npos ? -1 : std::stod(out.substr(at + 18));
}

} // namespace media_test
