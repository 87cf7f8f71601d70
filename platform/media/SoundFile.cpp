#include "SoundFile.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <mutex>

namespace media {
namespace {

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

SoundLoad fail(SoundError e, std::string message) {
    SoundLoad r;
    r.error = e;
    r.message = std::move(message);
    return r;
}

bool startsWith(std::string_view bytes, const char* magic) {
    return bytes.size() >= std::strlen(magic) && std::memcmp(bytes.data(), magic, std::strlen(magic)) == 0;
}

// Reads a MIDI variable-length quantity (at most four bytes).
bool readVlq(const uint8_t*& p, const uint8_t* end, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (p >= end) return false;
        const uint8_t b = *p++;
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

// Walks one track's events; false on anything a player would choke on.
bool checkTrack(const uint8_t* p, const uint8_t* end, std::string& why) {
    uint8_t running = 0;
    while (p < end) {
        uint32_t delta;
        if (!readVlq(p, end, delta)) { why = "bad delta time"; return false; }
        if (p >= end) { why = "event cut off"; return false; }
        uint8_t status = *p;
        if (status & 0x80) {
            ++p;
        } else if (running) {
            status = running;
        } else {
            why = "data byte without a status";
            return false;
        }
        if (status == 0xFF) {
            if (p >= end) { why = "meta event cut off"; return false; }
            const uint8_t type = *p++;
            uint32_t len;
            if (!readVlq(p, end, len) || len > uint32_t(end - p)) { why = "meta event cut off"; return false; }
            p += len;
            if (type == 0x2F) return true;  // end of track; trailing bytes are ignored
            running = 0;
        } else if (status == 0xF0 || status == 0xF7) {
            uint32_t len;
            if (!readVlq(p, end, len) || len > uint32_t(end - p)) { why = "system exclusive cut off"; return false; }
            p += len;
            running = 0;
        } else if (status >= 0xF0) {
            why = "system message in a file";
            return false;
        } else {
            const int kind = status & 0xF0;
            const int dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
            if (end - p < dataBytes) { why = "channel event cut off"; return false; }
            for (int i = 0; i < dataBytes; ++i) {
                if (p[i] & 0x80) { why = "bad data byte"; return false; }
            }
            p += dataBytes;
            running = status;
        }
    }
    return true;  // no end-of-track event: players accept this
}

void quietSynthLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG, FLUID_ERR}) fluid_set_log_function(level, nullptr, nullptr);
    });
}

} // namespace

const char* soundErrorName(SoundError e) {
    switch (e) {
    case SoundError::None: return "none";
    case SoundError::NotFound: return "not found";
    case SoundError::Unreadable: return "unreadable";
    case SoundError::UnknownFormat: return "unknown format";
    case SoundError::Damaged: return "damaged";
    case SoundError::Unsupported: return "unsupported encoding";
    case SoundError::RenderFailed: return "render failed";
    }
    return "?";
}

SoundLoad decodeWav(std::string_view bytes) {
    const auto* base = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() < 12 || !startsWith(bytes, "RIFF") || std::memcmp(base + 8, "WAVE", 4) != 0)
        return fail(SoundError::UnknownFormat, "not a RIFF wave file");

    // The RIFF size may be wrong (streamed writers leave it 0); the file's own end is the limit.
    const uint8_t* p = base + 12;
    const uint8_t* end = base + bytes.size();
    const uint8_t* fmt = nullptr;
    uint32_t fmtSize = 0;
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    while (end - p >= 8) {
        const uint8_t* id = p;
        const uint32_t size = le32(p + 4);
        p += 8;
        const size_t avail = size_t(end - p);
        if (std::memcmp(id, "data", 4) == 0) {
            if (!data) {
                data = p;
                dataSize = std::min<size_t>(size, avail);  // a cut-off file plays what it holds
            }
        } else if (std::memcmp(id, "fmt ", 4) == 0) {
            if (size > avail) return fail(SoundError::Damaged, "format chunk cut off");
            if (!fmt) {
                fmt = p;
                fmtSize = size;
            }
        } else if (size > avail) {
            break;  // a trailing chunk cut off after the audio does not matter
        }
        if (size_t(size) + (size & 1) >= avail) break;
        p += size + (size & 1);
    }
    if (!fmt) return fail(SoundError::Damaged, "no format chunk");
    if (fmtSize < 16) return fail(SoundError::Damaged, "format chunk too short");
    if (!data) return fail(SoundError::Damaged, "no data chunk");

    uint16_t tag = le16(fmt);
    const int channels = le16(fmt + 2);
    const uint32_t rate = le32(fmt + 4);
    const int bits = le16(fmt + 14);
    if (tag == 0xFFFE) {
        if (fmtSize < 40) return fail(SoundError::Damaged, "extensible format chunk too short");
        tag = le16(fmt + 24);  // first two bytes of the sub-format GUID
    }
    if (tag != 1) return fail(SoundError::Unsupported, "compressed wave (format " + std::to_string(tag) + ")");
    if (channels < 1) return fail(SoundError::Damaged, "no channels");
    if (channels > 2) return fail(SoundError::Unsupported, std::to_string(channels) + " channels");
    if (bits != 8 && bits != 16) return fail(SoundError::Unsupported, std::to_string(bits) + "-bit samples");
    if (rate < 1000 || rate > 384000) return fail(SoundError::Damaged, "sample rate " + std::to_string(rate));

    SoundClip clip;
    clip.format = AudioFormat{int(rate), channels, 16};
    const size_t frameBytes = size_t(channels) * bits / 8;
    const size_t frames = dataSize / frameBytes;
    if (bits == 16) {
        clip.pcm.assign(data, data + frames * frameBytes);
    } else {
        clip.pcm.resize(frames * channels * 2);
        for (size_t i = 0; i < frames * channels; ++i) {
            const int16_t s = int16_t((int(data[i]) - 128) << 8);
            clip.pcm[2 * i] = uint8_t(s & 0xFF);
            clip.pcm[2 * i + 1] = uint8_t((s >> 8) & 0xFF);
        }
    }
    SoundLoad r;
    r.clip = std::move(clip);
    return r;
}

SoundError checkMidi(std::string_view bytes, std::string* why) {
    auto bad = [&](SoundError e, std::string text) {
        if (why) *why = std::move(text);
        return e;
    };
    const auto* base = reinterpret_cast<const uint8_t*>(bytes.data());
    if (!startsWith(bytes, "MThd")) return bad(SoundError::UnknownFormat, "not a MIDI file");
    if (bytes.size() < 14) return bad(SoundError::Damaged, "MIDI header cut off");
    const uint32_t headerLen = be32(base + 4);
    if (headerLen < 6 || headerLen > bytes.size() - 8) return bad(SoundError::Damaged, "bad MIDI header length");
    const int format = be16(base + 8);
    const int tracks = be16(base + 10);
    const int division = be16(base + 12);
    if (format > 2) return bad(SoundError::Damaged, "MIDI format " + std::to_string(format));
    if (tracks < 1) return bad(SoundError::Damaged, "no tracks");
    if (division == 0) return bad(SoundError::Damaged, "zero time division");

    const uint8_t* p = base + 8 + headerLen;
    const uint8_t* end = base + bytes.size();
    int found = 0;
    while (found < tracks) {
        if (end - p < 8) return bad(SoundError::Damaged, "track " + std::to_string(found + 1) + " missing");
        const uint32_t len = be32(p + 4);
        if (len > uint32_t(end - p - 8)) return bad(SoundError::Damaged, "track chunk cut off");
        if (std::memcmp(p, "MTrk", 4) == 0) {
            std::string trackWhy;
            if (!checkTrack(p + 8, p + 8 + len, trackWhy))
                return bad(SoundError::Damaged, "track " + std::to_string(found + 1) + ": " + trackWhy);
            ++found;
        }
        p += 8 + len;
    }
    return SoundError::None;
}

SoundLoad renderMidi(std::string_view bytes, const std::string& sf2) {
    std::string why;
    if (SoundError e = checkMidi(bytes, &why); e != SoundError::None) return fail(e, why);
    std::error_code ec;
    if (sf2.empty() || !std::filesystem::is_regular_file(sf2, ec))
        return fail(SoundError::RenderFailed, "no soundfont at \"" + sf2 + "\"");

    quietSynthLog();
    constexpr int kRate = 44100;
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings) return fail(SoundError::RenderFailed, "synthesiser settings");
    fluid_settings_setnum(settings, "synth.sample-rate", kRate);
    fluid_settings_setnum(settings, "synth.gain", 0.6);
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    // Offline rendering: the player advances with the samples written, not with wall time.
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    // Only the instruments the tune plays are read from the soundfont, not all of its samples.
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    fluid_synth_t* synth = new_fluid_synth(settings);
    fluid_player_t* player = nullptr;
    SoundLoad result;
    auto cleanup = [&] {
        if (player) delete_fluid_player(player);
        if (synth) delete_fluid_synth(synth);
        delete_fluid_settings(settings);
    };
    if (!synth || fluid_synth_sfload(synth, sf2.c_str(), 1) == FLUID_FAILED) {
        cleanup();
        return fail(SoundError::RenderFailed, "cannot load soundfont \"" + sf2 + "\"");
    }
    player = new_fluid_player(synth);
    if (!player || fluid_player_add_mem(player, bytes.data(), bytes.size()) != FLUID_OK ||
        fluid_player_play(player) != FLUID_OK) {
        cleanup();
        return fail(SoundError::RenderFailed, "MIDI player refused the file");
    }

    constexpr int kBlock = 1024;
    constexpr uint64_t kMaxFrames = uint64_t(kMaxMidiSeconds) * kRate;
    // Little-endian 16-bit stereo, written as it is rendered: no second copy of the sound.
    std::vector<uint8_t> pcm;
    std::vector<int16_t> block(kBlock * 2);
    uint64_t frames = 0;
    auto renderBlock = [&]() -> bool {
        if (fluid_synth_write_s16(synth, kBlock, block.data(), 0, 2, block.data(), 1, 2) != FLUID_OK) return false;
        frames += kBlock;
        return true;
    };
    auto keepBlock = [&] {
        for (int16_t v : block) {
            pcm.push_back(uint8_t(v & 0xFF));
            pcm.push_back(uint8_t((v >> 8) & 0xFF));
        }
    };
    // The player would wait for every voice to die away, which for bells takes many seconds;
    // we stop at the last event and give the notes a short, faded ring-out instead.
    bool ok = true;
    auto finished = [&] {
        const int total = fluid_player_get_total_ticks(player);
        return fluid_player_get_status(player) != FLUID_PLAYER_PLAYING ||
               (total > 0 && fluid_player_get_current_tick(player) >= total);
    };
    while (ok && !finished() && frames < kMaxFrames) {
        ok = renderBlock();
        if (ok) keepBlock();
    }
    constexpr int kRingBlocks = 2 * kRate / kBlock;
    constexpr int kFadeBlocks = kRate / 2 / kBlock;
    for (int i = 0; ok && i < kRingBlocks && frames < kMaxFrames; ++i) {
        ok = renderBlock();
        if (!ok) break;
        const bool silent = std::all_of(block.begin(), block.end(), [](int16_t s) { return s > -8 && s < 8; });
        if (const int j = i - (kRingBlocks - kFadeBlocks); j >= 0 && !silent) {
            const size_t n = block.size();
            const double fadeLen = double(kFadeBlocks) * n;
            for (size_t k = 0; k < n; ++k) block[k] = int16_t(block[k] * (1.0 - (double(j) * n + k) / fadeLen));
        }
        keepBlock();
        if (silent) break;
    }
    fluid_player_stop(player);
    cleanup();
    if (ok) {
        SoundClip clip;
        clip.format = AudioFormat{kRate, 2, 16};
        clip.pcm = std::move(pcm);
        clip.pcm.shrink_to_fit();  // the synthesiser is gone by now: the copy costs no peak
        result.clip = std::move(clip);
    }
    // The soundfont's samples and the synthesiser were only needed to render: hand their pages
    // back, which the heap would otherwise keep for good once something smaller sits above them.
    std::vector<uint8_t>().swap(pcm);
    std::vector<int16_t>().swap(block);
    malloc_trim(0);
    if (!ok) return fail(SoundError::RenderFailed, "synthesiser error");
    return result;
}

SoundLoad decodeSound(std::string_view bytes, const std::string& sf2) {
    if (startsWith(bytes, "RIFF")) return decodeWav(bytes);
    if (startsWith(bytes, "MThd")) return renderMidi(bytes, sf2);
    if (bytes.empty()) return fail(SoundError::Damaged, "empty file");
    return fail(SoundError::UnknownFormat, "neither a wave nor a MIDI file");
}

SoundLoad loadSoundFile(const std::string& hostPath, const std::string& sf2) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(hostPath);
    if (hostPath.empty() || !fs::exists(path, ec)) return fail(SoundError::NotFound, "no file \"" + hostPath + "\"");
    if (!fs::is_regular_file(path, ec)) return fail(SoundError::Unreadable, "not a file: \"" + hostPath + "\"");
    const auto size = fs::file_size(path, ec);
    if (ec) return fail(SoundError::Unreadable, "cannot size \"" + hostPath + "\"");
    if (size > kMaxSoundFileBytes) return fail(SoundError::Unreadable, "file too large: \"" + hostPath + "\"");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(SoundError::Unreadable, "cannot open \"" + hostPath + "\"");
    std::string bytes(size, '\0');
    if (!in.read(bytes.data(), std::streamsize(size))) return fail(SoundError::Unreadable, "cannot read \"" + hostPath + "\"");
    return decodeSound(bytes, sf2);
}

std::string soundfontPath(const std::string& configured) {
    if (!configured.empty()) return configured;
    std::error_code ec;
    for (const char* p : {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
                          "/usr/share/soundfonts/default.sf2"}) {
        if (std::filesystem::is_regular_file(p, ec)) return p;
    }
    return "";
}

} // namespace media
