#include "NumberReader.h"

#include <algorithm>

namespace voxling {
namespace {

constexpr char16_t kDigitText[] = u"零壹贰叁肆伍六柒捌玖";
constexpr char16_t kOne = u'壹';

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool digitAt(std::u16string_view text, size_t i) { return i < text.size() && isDigit(text[i]); }

// Appends the digits from i on (at most room of them) to out; returns the position after them.
size_t takeDigits(std::u16string_view text, size_t i, std::u16string& out, size_t room) {
    while (i < text.size() && isDigit(text[i]) && out.size() < room) out += text[i++];
    return i;
}

// Digits, then a "." and more digits when a digit follows the point.
size_t takeDigitsAndDecimals(std::u16string_view text, size_t i, NumberScan& scan) {
    i = takeDigits(text, i, scan.integer, kMaxDigitString);
    if (i < text.size() && text[i] == u'.' && digitAt(text, i + 1))
        i = takeDigits(text, i + 1, scan.decimals, kMaxDigitString);
    return i;
}

void dropTrailingOne(std::u16string& out) {
    if (!out.empty() && out.back() == kOne) out.pop_back();
}

} // namespace

bool isNumberStart(std::u16string_view text, size_t a) {
    if (a >= text.size()) return false;
    char16_t c = text[a];
    return isDigit(c) || ((c == u'-' || c == u'.') && digitAt(text, a + 1));
}

NumberScan scanNumber(std::u16string_view text, size_t a, int readNumber) {
    NumberScan scan;
    if (!isNumberStart(text, a)) return scan;
    size_t i = a;
    if (text[i] == u'-') scan.integer += text[i++];
    else if (text[i] == u'.') scan.integer = u"0";
    i = takeDigitsAndDecimals(text, i, scan);

    char16_t next = i < text.size() ? text[i] : u'\0';
    if (next == u'%') {
        scan.mode = NumberMode::Percent;
        ++i;
    } else if (next == u'年') {
        scan.mode = NumberMode::Digits;
    } else if (next == u'元') {
        scan.mode = NumberMode::Money;
        ++i;
    } else if (next == u'月' || next == u'日') {
        scan.mode = NumberMode::Value;
    } else {
        scan.mode = readNumber == 1 ? NumberMode::Value : readNumber == 2 ? NumberMode::Money : NumberMode::Digits;
    }
    scan.consumed = i - a;
    return scan;
}

NumberReading ReadNumberText(const NumberScan& scan) {
    NumberReading r;
    std::u16string& out = r.text;
    const bool money = scan.mode == NumberMode::Money;
    if (scan.mode == NumberMode::Percent) out += u"百分之";
    std::u16string_view digits = scan.integer;
    if (!digits.empty() && digits.front() == u'-') {
        out += u'负';
        digits.remove_prefix(1);
    }
    if (digits.size() > kMaxIntegerDigits) {
        r.text.clear();
        r.tooLarge = true;
        return r;
    }

    size_t first = digits.find_first_not_of(u'0');
    if (first == std::u16string_view::npos) {
        if (!money || scan.decimals.empty()) out += kDigitText[0];
        first = digits.size();
    }

    bool zeroPending = false;
    bool groupMark = false;
    for (size_t k = first; k < digits.size(); ++k) {
        const char16_t d = digits[k];
        const bool nonZero = d != u'0';
        const size_t p = digits.size() - 1 - k;
        if (!nonZero) {
            zeroPending = true;
        } else {
            if (zeroPending) out += kDigitText[0];
            zeroPending = false;
            out += kDigitText[d - u'0'];
        }
        switch (p) {
        case 1: case 9:
            dropTrailingOne(out);
            if (nonZero) out += u'拾';
            break;
        case 2: case 10:
            if (nonZero) out += u'佰';
            break;
        case 3: case 11:
            if (nonZero) out += u'仟';
            break;
        case 4: case 12:
            if (nonZero || groupMark) out += u'万';
            break;
        case 5:
            dropTrailingOne(out);
            if (nonZero) { out += u'拾'; groupMark = true; }
            break;
        case 6:
            if (nonZero) { out += u'佰'; groupMark = true; }
            break;
        case 7:
            if (nonZero) { out += u'仟'; groupMark = true; }
            break;
        case 8:
            groupMark = false;
            out += u'亿';
            break;
        default:
            break;
        }
    }

    if (!money) {
        if (!scan.decimals.empty()) {
            out += u'点';
            for (char16_t d : scan.decimals) out += kDigitText[d - u'0'];
        }
    } else {
        if (!out.empty()) out += u'元';
        if (!scan.decimals.empty() && scan.decimals[0] != u'0') {
            out += kDigitText[scan.decimals[0] - u'0'];
            out += u'角';
        }
        if (scan.decimals.size() > 1 && scan.decimals[1] != u'0') {
            out += kDigitText[scan.decimals[1] - u'0'];
            out += u'分';
        }
    }
    return r;
}

NumberReading readNumber(const NumberScan& scan) {
    if (scan.mode != NumberMode::Digits) return ReadNumberText(scan);
    NumberReading r;
    r.text = scan.integer;
    if (!scan.decimals.empty()) {
        r.text += u'点';
        r.text += scan.decimals;
    }
    return r;
}

bool isMarkupStart(std::u16string_view text, size_t a) {
    return a + 1 < text.size() && text[a] == u'#' && (text[a + 1] == u'w' || text[a + 1] == u'n' || text[a + 1] == u'c');
}

Markup readMarkup(std::u16string_view text, size_t a) {
    Markup m;
    if (!isMarkupStart(text, a)) return m;
    const char16_t letter = text[a + 1];
    m.kind = letter == u'w' ? MarkupKind::Wait : letter == u'n' ? MarkupKind::Number : MarkupKind::Chars;
    NumberScan scan;
    size_t i = a + 2;
    i = takeDigits(text, i, scan.integer, kMaxDigitString);
    if (i < text.size() && text[i] == u'.' && digitAt(text, i + 1))
        i = takeDigits(text, i + 1, scan.decimals, kMaxDigitString);
    m.consumed = i - a;

    switch (m.kind) {
    case MarkupKind::Wait: {
        uint64_t bytes = 0;
        for (char16_t d : scan.integer) {
            bytes = bytes * 10 + uint64_t(d - u'0');
            if (bytes >= kMaxMarkupSilence) { bytes = kMaxMarkupSilence; break; }
        }
        m.silenceBytes = uint32_t(bytes) & ~1u;  // never half a sample
        break;
    }
    case MarkupKind::Number:
        if (scan.integer.empty() && scan.decimals.empty()) break;  // nothing to read
        if (scan.integer.empty()) scan.integer = u"0";
        scan.mode = NumberMode::Value;
        m.reading = ReadNumberText(scan);
        break;
    case MarkupKind::Chars:
        m.reading.text = scan.integer;
        if (!scan.decimals.empty()) {
            m.reading.text += u'.';
            m.reading.text += scan.decimals;
        }
        break;
    }
    return m;
}

} // namespace voxling
