#include "Strings.h"

#include "RuntimeError.h"
#include "TextChars.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace forms {

namespace detail {

std::vector<size_t> charStarts(std::string_view s) {
    std::vector<size_t> off;
    off.reserve(s.size() + 1);
    size_t i = 0;
    while (i < s.size()) {
        off.push_back(i);
        i += charLength(s, i);
    }
    off.push_back(s.size());
    return off;
}

size_t charLength(std::string_view s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t want = c >= 0xF0 && c < 0xF8 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (c >= 0xF8) want = 1;
    size_t n = 1;
    while (n < want && i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
    return n;
}

char32_t decodeAt(std::string_view s, size_t i, size_t len) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    auto cont = [&](size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[i + k]) & 0x3F); };
    if (len == 1) {
        // A stray byte keeps an identity of its own, apart from every real character.
        return c < 0x80 ? c : static_cast<char32_t>(0x110000 + c);
    }
    if (len == 2 && c >= 0xC0 && c < 0xE0) return (static_cast<char32_t>(c & 0x1F) << 6) | cont(1);
    if (len == 3 && c >= 0xE0 && c < 0xF0)
        return (static_cast<char32_t>(c & 0x0F) << 12) | (cont(1) << 6) | cont(2);
    if (len == 4) return (static_cast<char32_t>(c & 0x07) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
    return static_cast<char32_t>(0x110000 + c); // a truncated sequence
}

std::string encode(char32_t cp) {
    std::string out;
    if (cp >= 0x110000) out += static_cast<char>(cp - 0x110000);  // a stray byte goes back as it came
    else sys::appendUtf8(out, cp);
    return out;
}

char32_t upper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
    return c;
}

char32_t lower(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
    return c;
}

char32_t foldText(char32_t c) {
    // Text comparison ignores case and the width of full-width ASCII forms.
    if (c >= 0xFF01 && c <= 0xFF5E) c = c - 0xFF01 + 0x21;
    else if (c == 0x3000) c = ' ';
    return lower(c);
}

std::string foldKey(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {  // keys are mostly ASCII: no decoding for them
            out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c));
            ++i;
            continue;
        }
        const size_t len = charLength(s, i);
        out += encode(foldText(decodeAt(s, i, len)));
        i += len;
    }
    return out;
}

Chars::Chars(std::string_view text) : s(text), off(charStarts(text)) {
    cp.reserve(off.size());
    for (size_t k = 0; k + 1 < off.size(); ++k) cp.push_back(decodeAt(s, off[k], off[k + 1] - off[k]));
}

} // namespace detail

using detail::Chars;

namespace {

[[noreturn]] void invalidCall() { raise(err::InvalidProcedureCall); }

bool same(char32_t a, char32_t b, CompareMethod compare) {
    return compare == vbTextCompare ? detail::foldText(a) == detail::foldText(b) : a == b;
}

// 0-based character index of find in s at or after from, or npos.
size_t findChars(const Chars& s, const Chars& find, size_t from, CompareMethod compare) {
    const size_t n = s.size(), m = find.size();
    if (m > n) return std::string::npos;
    for (size_t i = from; i + m <= n; ++i) {
        size_t k = 0;
        while (k < m && same(s.cp[i + k], find.cp[k], compare)) ++k;
        if (k == m) return i;
    }
    return std::string::npos;
}

// Walks a text character by character, keeping the byte position and the characters passed.
struct Cursor {
    explicit Cursor(std::string_view text) : s(text) {}
    void advanceChars(size_t n) {
        while (n-- > 0 && pos < s.size()) {
            pos += detail::charLength(s, pos);
            ++chars;
        }
    }
    // Moves to the first character boundary at or after bytePos; true when that is bytePos.
    bool advanceTo(size_t bytePos) {
        while (pos < bytePos && pos < s.size()) {
            pos += detail::charLength(s, pos);
            ++chars;
        }
        return pos == bytePos;
    }
    std::string_view s;
    size_t pos = 0;
    size_t chars = 0;
};

// Moves the cursor to the next occurrence of find that starts on a character boundary.
bool findFrom(Cursor& c, std::string_view find) {
    size_t from = c.pos;
    for (;;) {
        const size_t p = c.s.find(find, from);
        if (p == std::string_view::npos) return false;
        if (c.advanceTo(p)) return true;
        from = c.pos;
    }
}

int codePage() {
    auto* m = sys::Machine::currentOrNull();
    return m ? m->codePage() : 936;
}

bool isValBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

double toDouble(const std::string& digits) {
    double v = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec == std::errc::result_out_of_range) raise(err::Overflow);
    return v;
}

// Value of &H/&O digits with the run-time's sign rule: up to 16 bits read as a signed 16-bit
// number, up to 32 bits as a signed 32-bit one; more overflows.
double radixValue(std::string_view digits, int radix) {
    uint64_t v = 0;
    for (char c : digits) {
        int d = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        v = v * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) raise(err::Overflow);
    }
    if (v <= 0xFFFF) return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(v)));
    return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(v)));
}

bool isRadixDigit(char c, int radix) {
    if (radix == 8) return c >= '0' && c <= '7';
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

// A whole text as a number, as CDbl and IsNumeric take it.
bool parseNumber(std::string_view s, double& out) {
    size_t b = 0, e = s.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    s = s.substr(b, e - b);
    if (s.empty()) return false;
    if (s[0] == '&') {
        int radix = 8;
        size_t i = 1;
        if (i < s.size() && (s[i] == 'H' || s[i] == 'h')) radix = 16, ++i;
        else if (i < s.size() && (s[i] == 'O' || s[i] == 'o')) ++i;
        std::string_view digits = s.substr(i);
        if (digits.empty()) return false;
        for (char c : digits)
            if (!isRadixDigit(c, radix)) return false;
        out = radixValue(digits, radix);
        return true;
    }
    std::string text;
    size_t i = 0;
    if (s[i] == '+' || s[i] == '-') text += s[i++];
    bool digits = false;
    while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || (s[i] == ',' && digits))) {
        if (s[i] != ',') text += s[i], digits = true;
        ++i;
    }
    if (i < s.size() && s[i] == '.') {
        text += s[i++];
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') text += s[i++], digits = true;
    }
    if (!digits) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        text += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) text += s[i++];
        bool expDigits = false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') text += s[i++], expDigits = true;
        if (!expDigits) return false;
    }
    if (i != s.size()) return false;
    if (text[0] == '+') text.erase(0, 1);
    out = toDouble(text);
    return std::isfinite(out);
}

} // namespace

long Len(std::string_view s) {
    Cursor c(s);
    c.advanceChars(s.size());
    return static_cast<long>(c.chars);
}

std::string Mid(std::string_view s, long start) {
    if (start < 1) invalidCall();
    Cursor c(s);
    c.advanceChars(static_cast<size_t>(start - 1));
    return std::string(s.substr(c.pos));
}

std::string Mid(std::string_view s, long start, long length) {
    if (start < 1 || length < 0) invalidCall();
    Cursor c(s);
    c.advanceChars(static_cast<size_t>(start - 1));
    const size_t from = c.pos;
    c.advanceChars(static_cast<size_t>(length));
    return std::string(s.substr(from, c.pos - from));
}

std::string Left(std::string_view s, long length) {
    if (length < 0) invalidCall();
    Cursor c(s);
    c.advanceChars(static_cast<size_t>(length));
    return std::string(s.substr(0, c.pos));
}

std::string Right(std::string_view s, long length) {
    if (length < 0) invalidCall();
    const size_t total = static_cast<size_t>(Len(s));
    if (static_cast<size_t>(length) >= total) return std::string(s);
    Cursor c(s);
    c.advanceChars(total - static_cast<size_t>(length));
    return std::string(s.substr(c.pos));
}

long InStr(std::string_view s, std::string_view find, CompareMethod compare) {
    return InStr(1, s, find, compare);
}

long InStr(long start, std::string_view s, std::string_view find, CompareMethod compare) {
    if (start < 1) invalidCall();
    Cursor c(s);
    c.advanceChars(static_cast<size_t>(start - 1));
    if (c.pos >= s.size()) return 0; // start lies past the text
    if (find.empty()) return start;
    if (compare == vbBinaryCompare) return findFrom(c, find) ? static_cast<long>(c.chars + 1) : 0;
    const Chars text(s);
    const size_t at = findChars(text, Chars(find), static_cast<size_t>(start - 1), compare);
    return at == std::string::npos ? 0 : static_cast<long>(at + 1);
}

long InStrRev(std::string_view s, std::string_view find, long start, CompareMethod compare) {
    if (start == 0 || start < -1) invalidCall();
    Chars c(s);
    const long n = static_cast<long>(c.size());
    if (start == -1) start = n;
    if (start > n) return 0;
    if (find.empty()) return start;
    Chars f(find);
    const long m = static_cast<long>(f.size());
    for (long i = start - m; i >= 0; --i) {
        long k = 0;
        while (k < m && same(c.cp[static_cast<size_t>(i + k)], f.cp[static_cast<size_t>(k)], compare)) ++k;
        if (k == m) return i + 1;
    }
    return 0;
}

std::string Replace(std::string_view s, std::string_view find, std::string_view replacement, long start,
                    long count, CompareMethod compare) {
    if (start < 1 || count < -1) invalidCall();
    if (compare == vbBinaryCompare) {
        Cursor cur(s);
        cur.advanceChars(static_cast<size_t>(start - 1));
        if (cur.pos >= s.size()) return {};
        if (find.empty() || count == 0) return std::string(s.substr(cur.pos));
        std::string out;
        size_t prev = cur.pos;
        for (long done = 0; (count == -1 || done < count) && findFrom(cur, find); ++done) {
            out += s.substr(prev, cur.pos - prev);
            out += replacement;
            prev = cur.pos + find.size();
            cur.advanceTo(prev);
        }
        out += s.substr(prev);
        return out;
    }
    Chars c(s);
    if (static_cast<size_t>(start) > c.size()) return {};
    const size_t from = static_cast<size_t>(start - 1);
    if (find.empty() || count == 0) return std::string(c.sub(from, c.size()));
    Chars f(find);
    std::string out;
    size_t pos = from;
    long done = 0;
    while (count == -1 || done < count) {
        const size_t at = findChars(c, f, pos, compare);
        if (at == std::string::npos) break;
        out += c.sub(pos, at);
        out += replacement;
        pos = at + f.size();
        ++done;
    }
    out += c.sub(pos, c.size());
    return out;
}

std::string LTrim(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && s[b] == ' ') ++b;
    return std::string(s.substr(b));
}

std::string RTrim(std::string_view s) {
    size_t e = s.size();
    while (e > 0 && s[e - 1] == ' ') --e;
    return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) { return LTrim(RTrim(s)); }

std::string UCase(std::string_view s) {
    Chars c(s);
    std::string out;
    out.reserve(s.size());
    for (size_t k = 0; k < c.size(); ++k) {
        const char32_t u = detail::upper(c.cp[k]);
        out += u == c.cp[k] ? std::string(c.sub(k, k + 1)) : detail::encode(u);
    }
    return out;
}

std::string LCase(std::string_view s) {
    Chars c(s);
    std::string out;
    out.reserve(s.size());
    for (size_t k = 0; k < c.size(); ++k) {
        const char32_t l = detail::lower(c.cp[k]);
        out += l == c.cp[k] ? std::string(c.sub(k, k + 1)) : detail::encode(l);
    }
    return out;
}

std::string Space(long count) {
    if (count < 0) invalidCall();
    return std::string(static_cast<size_t>(count), ' ');
}

std::string String(long count, std::string_view ch) {
    if (count < 0 || ch.empty()) invalidCall();
    const std::string_view one = ch.substr(0, detail::charLength(ch, 0));
    std::string out;
    out.reserve(one.size() * static_cast<size_t>(count));
    for (long i = 0; i < count; ++i) out += one;
    return out;
}

std::string String(long count, long charCode) {
    if (count < 0) invalidCall();
    return String(count, Chr(charCode));
}

std::string StrReverse(std::string_view s) {
    Chars c(s);
    std::string out;
    out.reserve(s.size());
    for (size_t k = c.size(); k > 0; --k) out += c.sub(k - 1, k);
    return out;
}

std::vector<std::string> Split(std::string_view s, std::string_view delimiter, long limit, CompareMethod compare) {
    if (limit < -1) invalidCall();
    std::vector<std::string> parts;
    if (s.empty() || limit == 0) return parts;
    if (delimiter.empty() || limit == 1) {
        parts.emplace_back(s);
        return parts;
    }
    if (compare == vbBinaryCompare) {
        Cursor cur(s);
        size_t prev = 0;
        while ((limit == -1 || static_cast<long>(parts.size()) < limit - 1) && findFrom(cur, delimiter)) {
            parts.emplace_back(s.substr(prev, cur.pos - prev));
            prev = cur.pos + delimiter.size();
            cur.advanceTo(prev);
        }
        parts.emplace_back(s.substr(prev));
        return parts;
    }
    Chars c(s), d(delimiter);
    size_t pos = 0;
    while (limit == -1 || static_cast<long>(parts.size()) < limit - 1) {
        const size_t at = findChars(c, d, pos, compare);
        if (at == std::string::npos) break;
        parts.emplace_back(c.sub(pos, at));
        pos = at + d.size();
    }
    parts.emplace_back(c.sub(pos, c.size()));
    return parts;
}

std::string Join(const std::vector<std::string>& parts, std::string_view delimiter) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += delimiter;
        out += parts[i];
    }
    return out;
}

int StrComp(std::string_view a, std::string_view b, CompareMethod compare) {
    Chars x(a), y(b);
    const size_t n = std::min(x.size(), y.size());
    for (size_t k = 0; k < n; ++k) {
        char32_t p = x.cp[k], q = y.cp[k];
        if (compare == vbTextCompare) p = detail::foldText(p), q = detail::foldText(q);
        if (p != q) return p < q ? -1 : 1;
    }
    return x.size() == y.size() ? 0 : x.size() < y.size() ? -1 : 1;
}

bool StrEqual(std::string_view a, std::string_view b, CompareMethod compare) {
    if (compare == vbBinaryCompare) return a == b;
    return StrComp(a, b, compare) == 0;
}

double Val(std::string_view s) {
    // Blanks count for nothing anywhere in the number.
    std::string t;
    t.reserve(s.size());
    for (char c : s)
        if (!isValBlank(c)) t += c;
    size_t i = 0;
    if (i < t.size() && t[i] == '&') {
        int radix = 8;
        ++i;
        if (i < t.size() && (t[i] == 'H' || t[i] == 'h')) radix = 16, ++i;
        else if (i < t.size() && (t[i] == 'O' || t[i] == 'o')) ++i;
        size_t e = i;
        while (e < t.size() && isRadixDigit(t[e], radix)) ++e;
        if (e == i) return 0;
        return radixValue(std::string_view(t).substr(i, e - i), radix);
    }
    std::string num;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-') num += '-';
        ++i;
    }
    bool digits = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') num += t[i++], digits = true;
    if (i < t.size() && t[i] == '.') {
        num += t[i++];
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') num += t[i++], digits = true;
    }
    if (!digits) return 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
        std::string exp = "e";
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) exp += t[j++];
        bool expDigits = false;
        while (j < t.size() && t[j] >= '0' && t[j] <= '9') exp += t[j++], expDigits = true;
        if (expDigits) num += exp;
    }
    if (num.back() == '.') num.pop_back();
    const double v = toDouble(num);
    if (!std::isfinite(v)) raise(err::Overflow);
    return v;
}

std::string CStr(double v) {
    if (v == 0) return "0";
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    return buf;
}

std::string CStr(bool v) { return v ? "True" : "False"; }

int32_t CLng(double v) {
    if (std::isnan(v)) raise(err::Overflow);
    const double r = std::nearbyint(v); // the default rounding mode: half to even
    if (r < -2147483648.0 || r > 2147483647.0) raise(err::Overflow);
    return static_cast<int32_t>(r);
}

int32_t CLng(std::string_view s) { return CLng(CDbl(s)); }

int16_t CInt(double v) {
    if (std::isnan(v)) raise(err::Overflow);
    const double r = std::nearbyint(v);
    if (r < -32768.0 || r > 32767.0) raise(err::Overflow);
    return static_cast<int16_t>(r);
}

int16_t CInt(std::string_view s) { return CInt(CDbl(s)); }

double CDbl(std::string_view s) {
    double v = 0;
    if (!parseNumber(s, v)) raise(err::TypeMismatch);
    return v;
}

bool IsNumeric(std::string_view s) {
    double v = 0;
    try {
        return parseNumber(s, v);
    } catch (const RuntimeError&) {
        return false;
    }
}

double Fix(double v) { return std::trunc(v); }
double Int(double v) { return std::floor(v); }

double Round(double v, int digits) {
    if (digits < 0) invalidCall();
    if (digits > 22 || !std::isfinite(v)) return v;
    const double scale = std::pow(10.0, digits);
    const double r = std::nearbyint(v * scale) / scale;
    return std::isfinite(r) ? r : v;
}

int Asc(std::string_view s) {
    if (s.empty()) invalidCall();
    const std::string ansi = sys::toAnsi(s.substr(0, detail::charLength(s, 0)), codePage());
    if (ansi.empty()) invalidCall();
    const auto b0 = static_cast<unsigned char>(ansi[0]);
    if (ansi.size() == 1) return b0;
    const auto b1 = static_cast<unsigned char>(ansi[1]);
    return static_cast<int16_t>(static_cast<uint16_t>((b0 << 8) | b1));
}

std::string Chr(long code) {
    if (code < -32768 || code > 65535) invalidCall();
    const auto c = static_cast<uint16_t>(code);
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    std::string ansi;
    if (c > 0xFF) ansi += static_cast<char>(c >> 8);
    ansi += static_cast<char>(c & 0xFF);
    return sys::fromAnsi(ansi, codePage());
}

int AscW(std::string_view s) {
    if (s.empty()) invalidCall();
    char32_t cp = detail::decodeAt(s, 0, detail::charLength(s, 0));
    if (cp >= 0x110000) cp = 0xFFFD;
    if (cp > 0xFFFF) cp = 0xD800 + ((cp - 0x10000) >> 10);
    return static_cast<int16_t>(static_cast<uint16_t>(cp));
}

std::string ChrW(long code) {
    if (code < -32768 || code > 65535) invalidCall();
    return detail::encode(static_cast<uint16_t>(code));
}

std::string Hex(long long v) {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) raise(err::Overflow);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(static_cast<int32_t>(v)));
    return buf;
}

} // namespace forms
