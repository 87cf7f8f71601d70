#include "ToneMp3.h"
#include "speech-engine/UnitDecoder.h"

#include <gtest/gtest.h>

using namespace voxling;
using namespace voxsynth_test;

TEST(UnitDecoder, Probe) {
    UnitDecoder d;
    for (size_t n : {1000, 4000, 8001, 12345}) {
        auto tone = Tone(n, 8000);
        auto mp3 = EncodeMp3(tone);
        std::vector<int16_t> out;
        d.Decode(mp3, out, 20000);
        printf("n=%zu bytes=%zu decoded=%zu\n", n, mp3.size(), out.size());
    }
}
