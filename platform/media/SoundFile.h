#pragma once
// Sound files as PCM in memory: wave files decoded, MIDI files rendered with FluidSynth.
#include "AudioOutput.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace media {

enum class SoundError {
    None,
    NotFound,       // no such file
    Unreadable,     // exists but cannot be read (a folder, no permission, too large)
    UnknownFormat,  // neither a RIFF wave nor a standard MIDI file
    Damaged,        // the right kind of file, but its structure is broken
    Unsupported,    // a valid wave in an encoding we do not play (compressed, 24-bit, ...)
    RenderFailed,   // MIDI synthesis failed (no soundfont, synthesiser error)
};

const char* soundErrorName(SoundError e);

// 16-bit little-endian PCM, interleaved.
struct SoundClip {
    AudioFormat format;
    std::vector<uint8_t> pcm;
    uint64_t frames() const {
        const int frameBytes = format.channels * format.bitsPerSample / 8;
        return frameBytes > 0 ? pcm.size() / frameBytes : 0;
    }
    // Length in milliseconds, rounded up so a position of duration means "done".
    uint64_t durationMs() const {
        return format.sampleRate > 0 ? (frames() * 1000 + format.sampleRate - 1) / format.sampleRate : 0;
    }
};

struct SoundLoad {
    std::optional<SoundClip> clip;
    SoundError error = SoundError::None;
    std::string message;  // what went wrong, for logs and tests
    explicit operator bool() const { return clip.has_value(); }
};

// Files above this size are refused rather than read into memory.
constexpr size_t kMaxSoundFileBytes = 64u << 20;
// MIDI rendering stops at this length, so a file with absurd timing cannot exhaust memory.
constexpr int kMaxMidiSeconds = 600;

// PCM wave (format 1, or extensible with the PCM sub-format), 8 or 16 bits, 1 or 2 channels.
// 8-bit data are widened to 16 bits.
SoundLoad decodeWav(std::string_view bytes);
// Checks a standard MIDI file's chunk and event structure without playing it; None when sound.
SoundError checkMidi(std::string_view bytes, std::string* why = nullptr);
// Renders a standard MIDI file to 16-bit stereo at 44.1 kHz with the given soundfont.
SoundLoad renderMidi(std::string_view bytes, const std::string& soundfontPath);
// Picks the decoder by the file's signature, not its name.
SoundLoad decodeSound(std::string_view bytes, const std::string& soundfontPath);
// Reads and decodes a host file.
SoundLoad loadSoundFile(const std::string& hostPath, const std::string& soundfontPath);

// The soundfont MIDI files are rendered with: setting "media.soundfont", else the system's
// General MIDI soundfont.
std::string soundfontPath(const std::string& configured);

} // namespace media
