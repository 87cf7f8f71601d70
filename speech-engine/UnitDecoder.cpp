#include "speech-engine/UnitDecoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

namespace voxling {

namespace {
constexpr long kRate = 16000;
constexpr size_t kKeepBytes = 64u << 10;

mpg123_handle* H(void* p) { return static_cast<mpg123_handle*>(p); }
} // namespace

UnitDecoder::UnitDecoder() : handle_(nullptr), block_(kBlockBytes) {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h)
        throw std::bad_alloc();
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Only this output is allowed; the stream's own format is checked separately, since the
    // decoder would otherwise resample or mix down to reach it.
    mpg123_format_none(h);
    mpg123_format(h, kRate, MPG123_MONO, MPG123_ENC_SIGNED_16);
    handle_ = h;
}

UnitDecoder::~UnitDecoder() { mpg123_delete(H(handle_)); }

void UnitDecoder::Decode(std::span<const uint8_t> mp3, std::vector<int16_t>& out, size_t maxSamples) {
    out.clear();
    if (mp3.empty() || maxSamples == 0)
        return;
    mpg123_handle* h = H(handle_);
    if (mpg123_open_feed(h) != MPG123_OK)
        return;

    const size_t maxBytes = maxSamples * sizeof(int16_t);
    std::vector<uint8_t>& bytes = bytes_;  // whole samples are taken from here at the end
    bytes.clear();
    bool formatOk = false;
    const unsigned char* feed = mp3.data();
    size_t feedSize = mp3.size();
    // Every call either consumes the feed or yields output; the bound only guards a decoder that
    // would do neither.
    const size_t maxCalls = mp3.size() + maxBytes / 2 + 64;
    for (size_t calls = 0; calls < maxCalls; ++calls) {
        size_t done = 0;
        const int ret = mpg123_decode(h, feed, feedSize, block_.data(), block_.size(), &done);
        feed = nullptr;
        feedSize = 0;
        // The decoder does not always announce a new format (not on a reopened feed whose format
        // matches the last stream's, nor when it resamples a change part way), so every block is
        // checked against the frames it came from.
        if (ret == MPG123_NEW_FORMAT || done > 0) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_frameinfo info{};
            formatOk = mpg123_getformat(h, &rate, &channels, &encoding) == MPG123_OK && rate == kRate &&
                       channels == MPG123_MONO && encoding == MPG123_ENC_SIGNED_16 &&
                       mpg123_info(h, &info) == MPG123_OK && info.rate == kRate && info.mode == MPG123_M_MONO;
            if (!formatOk)
                break;
        }
        if (done > 0 && formatOk) {
            const size_t take = std::min(done, maxBytes - bytes.size());
            bytes.insert(bytes.end(), block_.data(), block_.data() + take);
            if (bytes.size() >= maxBytes)
                break;
        }
        if (ret != MPG123_OK && ret != MPG123_NEW_FORMAT)
            break;  // needs more input (the unit is done), or an error
    }
    mpg123_close(h);
    if (formatOk) {
        out.resize(bytes.size() / sizeof(int16_t));
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(int16_t));
    }
    // Syllables reuse the buffer; a long recording's does not stay behind.
    if (bytes.capacity() > kKeepBytes)
        bytes = {};
}

} // namespace voxling
