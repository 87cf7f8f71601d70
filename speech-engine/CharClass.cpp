#include "CharClass.h"

#include "SurnameReading.h"

#include <algorithm>

namespace voxling {
namespace {

constexpr uint32_t kCjkShift = 18968;
constexpr uint32_t kSymbolShift = 11788;

enum class Pause { None, Short, Long, Strange };

struct Row {
    uint32_t unit;
    Pause pause;
};

Row rowOf(char16_t c, const EngineSettings& s) {
    if (c >= 0x4E00 && c <= 0xE1D7) {
        // Past U+9FA5 the codes would run beyond the unit table: nothing is voiced.
        if (c > 0x9FA5) return {0, Pause::None};
        char16_t r = (s.FirstName == 1 && c < 0x9FB0) ? SurnameReading(c) : c;
        return {uint32_t(r) - kCjkShift, Pause::None};
    }
    if (c < 0x100) {
        if (c >= u'a' && c <= u'z') return {uint32_t(c - u'a' + u'A'), Pause::None};
        switch (c) {
        case u'!': case u'.': case u'/': case u'?': case u'(': case u')': case u'[': case u']':
        case u'\'': case 0x00F1:
            return {c, Pause::Short};
        case u'"': case u',': case u':': case u';': case u'=': case u'+': case u'-': case u'*':
        case 0x00F8:
            return {c, Pause::Long};
        default:
            return {c, Pause::None};
        }
    }
    if (c == 0x3002) return {502, Pause::Long};
    if (c == 0x3001 || c == 0x300A || c == 0x300B) return {uint32_t(c) - kSymbolShift, Pause::Short};
    if (c >= 0x3003 && c <= 0x303F) return {uint32_t(c) - kSymbolShift, Pause::None};
    if (c == 0x201C || c == 0x201D) return {u'"', Pause::Short};
    if (c >= 0xFF01 && c <= 0xFF5E) {
        char16_t ascii = char16_t(c - 0xFF01 + 0x21);
        if (ascii >= u'a' && ascii <= u'z') ascii = char16_t(ascii - u'a' + u'A');
        switch (c) {
        case 0xFF01: case 0xFF0E: case 0xFF1F:
            return {ascii, Pause::Long};
        case 0xFF02: case 0xFF07: case 0xFF08: case 0xFF09: case 0xFF0C: case 0xFF1A: case 0xFF1B:
            return {ascii, Pause::Short};
        default:
            return {ascii, Pause::None};
        }
    }
    return {0, Pause::Strange};
}

} // namespace

CharClass classifyChar(char16_t c, const EngineSettings& s) {
    if (c == 0x3000) return {0, 0, true};
    Row row = rowOf(c, s);
    CharClass out{row.unit, 0, false};
    switch (row.pause) {
    case Pause::None: break;
    case Pause::Strange: out.pause = kStrangePause; break;
    case Pause::Short:
    case Pause::Long:
        out.pause = uint32_t(std::clamp(row.pause == Pause::Short ? s.PunctuationShort : s.PunctuationLong, 0,
                                        EngineSettings::kMaxPauseUnit));
        if (s.ReadPunctuation != 1) out.unit = 0;
        break;
    }
    return out;
}

uint32_t readingUnit(char16_t c) { return c > 0xFF ? uint32_t(c) - kCjkShift : uint32_t(c); }

uint32_t scaledPause(int rate, uint32_t base) {
    int q = std::clamp(rate, -10, 10) / 10;  // truncates toward zero
    uint64_t tenths = uint64_t(12 - 10 * q); // f in tenths: 12, 2 or 22
    uint64_t bytes = uint64_t(base) * tenths / 10;
    return uint32_t(bytes & ~uint64_t(1));
}

uint32_t pauseAfter(int rate, uint32_t pause, bool voiced) {
    if (pause == 0) return 0;
    return scaledPause(rate, voiced ? pause : pause + kUnvoicedExtra);
}

} // namespace voxling
