#include "Format.h"

#include "RuntimeError.h"
#include "Strings.h"
#include "TextChars.h"
#include "platform/system/Machine.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace forms {

namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

// Pattern split at ';' outside quotes and escapes.
std::vector<std::string> sections(std::string_view p) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && c == '\\' && i + 1 < p.size()) {
            out.back() += c;
            out.back() += p[++i];
            continue;
        }
        if (!quoted && c == ';') {
            out.emplace_back();
            continue;
        }
        out.back() += c;
    }
    return out;
}

// ---- Numbers ------------------------------------------------------------------------------

struct NumToken {
    enum Kind { Literal, Zero, Hash, Point, Group } kind;
    std::string text;
};

// Rounds |v| half away from zero to `decimals` places on its 15 significant digits.
// Gives the integer digits (no leading zeros, "" for 0) and exactly `decimals` fraction digits.
void roundDecimal(double v, int decimals, std::string& intPart, std::string& fracPart) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    int point = (*p == 'e' ? std::atoi(p + 1) : 0) + 1; // digits before the decimal point
    if (v == 0) digits = "0", point = 1;
    const int keep = point + decimals;
    if (keep < 0) {
        digits.clear();
    } else if (keep < static_cast<int>(digits.size())) {
        const bool up = digits[static_cast<size_t>(keep)] >= '5';
        digits.resize(static_cast<size_t>(keep));
        if (up) {
            int i = keep - 1;
            while (i >= 0 && digits[static_cast<size_t>(i)] == '9') digits[static_cast<size_t>(i--)] = '0';
            if (i >= 0) digits[static_cast<size_t>(i)]++;
            else digits.insert(digits.begin(), '1'), ++point;
        }
    }
    // Lay the digits out around the point.
    std::string all;
    int lead = point;
    if (point < 0) {
        all.assign(static_cast<size_t>(-point), '0');
        lead = 0;
    }
    all += digits;
    const size_t need = static_cast<size_t>(lead + decimals);
    if (all.size() < need) all.append(need - all.size(), '0');
    intPart = all.substr(0, static_cast<size_t>(lead));
    fracPart = all.substr(static_cast<size_t>(lead), static_cast<size_t>(decimals));
    const size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "" : intPart.substr(nz);
}

std::string groupThousands(const std::string& digits) {
    std::string out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        if (i && (n - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::vector<NumToken> tokenizeNumber(std::string_view p, bool& percent) {
    std::vector<NumToken> t;
    for (size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '"') {
            const size_t e = p.find('"', i + 1);
            const size_t end = e == std::string_view::npos ? p.size() : e;
            t.push_back({NumToken::Literal, std::string(p.substr(i + 1, end - i - 1))});
            i = end;
        } else if (c == '\\' && i + 1 < p.size()) {
            const size_t len = detail::charLength(p, i + 1);
            t.push_back({NumToken::Literal, std::string(p.substr(i + 1, len))});
            i += len;
        } else if (c == '0') {
            t.push_back({NumToken::Zero, ""});
        } else if (c == '#') {
            t.push_back({NumToken::Hash, ""});
        } else if (c == '.') {
            t.push_back({NumToken::Point, ""});
        } else if (c == ',') {
            t.push_back({NumToken::Group, ""});
        } else {
            if (c == '%') percent = true;
            t.push_back({NumToken::Literal, std::string(1, c)});
        }
    }
    return t;
}

std::string formatNumberSection(double v, std::string_view pattern, bool withSign) {
    bool percent = false;
    std::vector<NumToken> t = tokenizeNumber(pattern, percent);
    // Only the first point counts; later ones are text.
    size_t pointAt = t.size();
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == NumToken::Point) {
            if (pointAt == t.size()) pointAt = i;
            else t[i] = {NumToken::Literal, "."};
        }
    }
    int intPlaces = 0, intZeros = 0, fracPlaces = 0, fracMin = 0;
    bool grouping = false;
    int scale = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const bool digit = t[i].kind == NumToken::Zero || t[i].kind == NumToken::Hash;
        if (i < pointAt) {
            if (digit) ++intPlaces, intZeros += t[i].kind == NumToken::Zero;
            if (t[i].kind == NumToken::Group) {
                bool digitAfter = false;
                for (size_t k = i + 1; k < pointAt; ++k)
                    if (t[k].kind == NumToken::Zero || t[k].kind == NumToken::Hash) digitAfter = true;
                if (digitAfter && intPlaces > 0) grouping = true;
                else if (intPlaces > 0) ++scale;
            }
        } else if (digit) {
            ++fracPlaces;
            if (t[i].kind == NumToken::Zero) fracMin = fracPlaces;
        } else if (t[i].kind == NumToken::Group) {
            t[i] = {NumToken::Literal, ""};
        }
    }
    if (percent) v *= 100;
    for (int k = 0; k < scale; ++k) v /= 1000;

    std::string intDigits, frac;
    roundDecimal(v, fracPlaces, intDigits, frac);
    while (static_cast<int>(frac.size()) > fracMin && frac.back() == '0') frac.pop_back();
    const bool zero = intDigits.empty() && frac.find_first_not_of('0') == std::string::npos;

    std::string out;
    if (withSign && v < 0 && !zero) out += '-';
    int intSeen = 0, fracSeen = 0;
    const std::string grouped = grouping ? groupThousands(std::string(
        static_cast<size_t>(std::max(0, intZeros - static_cast<int>(intDigits.size()))), '0') + intDigits) : "";
    for (size_t i = 0; i < t.size(); ++i) {
        const NumToken& tok = t[i];
        switch (tok.kind) {
        case NumToken::Literal: out += tok.text; break;
        case NumToken::Group: break; // handled by the grouping or the scaling
        case NumToken::Point:
            if (intPlaces == 0) out += intDigits;
            out += '.';
            break;
        case NumToken::Zero:
        case NumToken::Hash:
            if (i < pointAt) {
                const int k = intSeen++;
                if (grouping) {
                    if (k == 0) out += grouped;
                    break;
                }
                const int idx = static_cast<int>(intDigits.size()) - intPlaces + k;
                if (k == 0 && idx > 0) out += intDigits.substr(0, static_cast<size_t>(idx));
                if (idx >= 0) out += intDigits[static_cast<size_t>(idx)];
                else if (tok.kind == NumToken::Zero) out += '0';
            } else {
                const int k = fracSeen++;
                if (k < static_cast<int>(frac.size())) out += frac[static_cast<size_t>(k)];
            }
            break;
        }
    }
    return out;
}

std::string formatNumber(double v, std::string_view pattern) {
    const std::vector<std::string> s = sections(pattern);
    if (v < 0 && s.size() >= 2 && !s[1].empty()) return formatNumberSection(std::fabs(v), s[1], false);
    if (v == 0 && s.size() >= 3 && !s[2].empty()) return formatNumberSection(0, s[2], false);
    return formatNumberSection(v, s[0], true);
}

// ---- Dates --------------------------------------------------------------------------------

struct DateToken {
    char kind; // 0 literal, else y q m d w h n s c t a (am/pm)
    int count;
    std::string text;
    bool minute = false;
};

bool startsWithNoCase(std::string_view s, size_t i, std::string_view what) {
    if (s.size() - i < what.size()) return false;
    for (size_t k = 0; k < what.size(); ++k) {
        char a = s[i + k], b = what[k];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
        if (a != b) return false;
    }
    return true;
}

std::vector<DateToken> tokenizeDate(std::string_view p) {
    std::vector<DateToken> t;
    auto literal = [&](std::string s) {
        if (!t.empty() && t.back().kind == 0) t.back().text += s;
        else t.push_back({0, 0, std::move(s)});
    };
    for (size_t i = 0; i < p.size();) {
        const char c = p[i];
        const char lc = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        if (c == '"') {
            const size_t e = p.find('"', i + 1);
            const size_t end = e == std::string_view::npos ? p.size() : e;
            literal(std::string(p.substr(i + 1, end - i - 1)));
            i = end + 1;
            continue;
        }
        if (c == '\\' && i + 1 < p.size()) {
            const size_t len = detail::charLength(p, i + 1);
            literal(std::string(p.substr(i + 1, len)));
            i += 1 + len;
            continue;
        }
        if (startsWithNoCase(p, i, "am/pm")) {
            const bool upper = c == 'A';
            t.push_back({'a', 5, upper ? "AM/PM" : "am/pm"});
            i += 5;
            continue;
        }
        if (startsWithNoCase(p, i, "a/p")) {
            t.push_back({'a', 3, c == 'A' ? "A/P" : "a/p"});
            i += 3;
            continue;
        }
        if (startsWithNoCase(p, i, "ampm")) {
            t.push_back({'a', 4, "AMPM"});
            i += 4;
            continue;
        }
        if (lc == 'y' || lc == 'q' || lc == 'm' || lc == 'd' || lc == 'w' || lc == 'h' || lc == 'n' ||
            lc == 's' || lc == 'c' || lc == 't') {
            size_t e = i;
            while (e < p.size() && (p[e] | 0x20) == lc) ++e;
            const int count = static_cast<int>(e - i);
            if (lc == 't' && count < 5) {
                literal(std::string(p.substr(i, e - i)));
            } else {
                t.push_back({lc, count, ""});
            }
            i = e;
            continue;
        }
        const size_t len = detail::charLength(p, i);
        literal(std::string(p.substr(i, len)));
        i += len;
    }
    // "m" after an hour or before a second is the minute.
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != 'm' || t[i].count > 2) continue;
        for (size_t k = i; k-- > 0;) {
            if (t[k].kind == 0) continue;
            if (t[k].kind == 'h') t[i].minute = true;
            break;
        }
        for (size_t k = i + 1; k < t.size(); ++k) {
            if (t[k].kind == 0) continue;
            if (t[k].kind == 's') t[i].minute = true;
            break;
        }
    }
    return t;
}

std::string pad2(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string formatDatePattern(DateTime d, std::string_view pattern) {
    const std::vector<DateToken> t = tokenizeDate(pattern);
    bool twelve = false;
    for (const auto& k : t)
        if (k.kind == 'a') twelve = true;
    const int y = Year(d), mo = Month(d), da = Day(d), h = Hour(d), mi = Minute(d), se = Second(d);
    std::string out;
    for (const auto& k : t) {
        switch (k.kind) {
        case 0: out += k.text; break;
        case 'y': {
            const int doy = static_cast<int>(d - DateSerial(y, 1, 1)) + 1;
            if (k.count >= 4) out += std::to_string(y);
            else if (k.count == 3) out += pad2(y % 100) + std::to_string(doy);
            else if (k.count == 2) out += pad2(y % 100);
            else out += std::to_string(doy);
            break;
        }
        case 'q': out += std::to_string((mo - 1) / 3 + 1); break;
        case 'm':
            if (k.minute) out += k.count == 1 ? std::to_string(mi) : pad2(mi);
            else if (k.count == 1) out += std::to_string(mo);
            else if (k.count == 2) out += pad2(mo);
            else out += MonthName(mo, k.count == 3);
            break;
        case 'd':
            if (k.count == 1) out += std::to_string(da);
            else if (k.count == 2) out += pad2(da);
            else if (k.count <= 4) out += WeekdayName(Weekday(d), k.count == 3);
            else if (k.count == 5) out += FormatDateTime(d, vbShortDate);
            else out += FormatDateTime(d, vbLongDate);
            break;
        case 'w': {
            if (k.count == 1) {
                out += std::to_string(Weekday(d));
            } else {
                // Week of the year, weeks starting on Sunday, week 1 holding January 1.
                const DateTime jan1 = DateSerial(y, 1, 1);
                const long weeks = DateDiff("ww", jan1, d) + 1;
                out += std::to_string(weeks);
            }
            break;
        }
        case 'h': {
            int hh = h;
            if (twelve) hh = h % 12 == 0 ? 12 : h % 12;
            out += k.count == 1 ? std::to_string(hh) : pad2(hh);
            break;
        }
        case 'n': out += k.count == 1 ? std::to_string(mi) : pad2(mi); break;
        case 's': out += k.count == 1 ? std::to_string(se) : pad2(se); break;
        case 'c': out += FormatDateTime(d, vbGeneralDate); break;
        case 't': out += FormatDateTime(d, vbLongTime); break;
        case 'a': {
            const bool pm = h >= 12;
            if (k.text == "AMPM") out += pm ? "下午" : "上午";
            else if (k.text == "AM/PM") out += pm ? "PM" : "AM";
            else if (k.text == "am/pm") out += pm ? "pm" : "am";
            else if (k.text == "A/P") out += pm ? "P" : "A";
            else out += pm ? "p" : "a";
            break;
        }
        }
    }
    return out;
}

// The zh-CN meaning of the named formats, or "" for a pattern of one's own.
std::string namedDate(DateTime d, const std::string& name, bool& matched) {
    matched = true;
    if (name == "general date") return FormatDateTime(d, vbGeneralDate);
    if (name == "long date") return FormatDateTime(d, vbLongDate);
    if (name == "medium date") return formatDatePattern(d, "yy-mm-dd");
    if (name == "short date") return FormatDateTime(d, vbShortDate);
    if (name == "long time") return FormatDateTime(d, vbLongTime);
    if (name == "medium time") return formatDatePattern(d, "hh:nn AMPM");
    if (name == "short time") return FormatDateTime(d, vbShortTime);
    matched = false;
    return "";
}

bool isDatePattern(std::string_view p) {
    bool quoted = false;
    for (size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\\') {
            ++i;
            continue;
        }
        switch (c | 0x20) {
        case 'y': case 'm': case 'd': case 'h': case 'n': case 's': case 'q': case 'w': case 'c': case 't': return true;
        default: break;
        }
    }
    return false;
}

std::string formatDate(DateTime d, std::string_view pattern) {
    if (pattern.empty()) return CStr(d);
    bool matched = false;
    std::string named = namedDate(d, lowerAscii(pattern), matched);
    if (matched) return named;
    return formatDatePattern(d, pattern);
}

} // namespace

std::string Format(double v, std::string_view pattern) {
    if (pattern.empty()) return CStr(v);
    const std::string name = lowerAscii(pattern);
    if (name == "general number") return CStr(v);
    if (name == "fixed") return formatNumber(v, "0.00");
    if (name == "standard") return formatNumber(v, "#,##0.00");
    if (name == "percent") return formatNumber(v, "0.00%");
    if (name == "currency") return formatNumber(v, "¥#,##0.00;¥-#,##0.00");
    if (name == "yes/no") return v != 0 ? "Yes" : "No";
    if (name == "true/false") return v != 0 ? "True" : "False";
    if (name == "on/off") return v != 0 ? "On" : "Off";
    bool matched = false;
    namedDate(DateTime(), name, matched);
    if (matched || isDatePattern(pattern)) return formatDate(DateTime(v), pattern);
    return formatNumber(v, pattern);
}

std::string Format(DateTime d, std::string_view pattern) {
    if (pattern.empty()) return CStr(d);
    bool matched = false;
    namedDate(d, lowerAscii(pattern), matched);
    if (!matched && !isDatePattern(pattern)) return Format(d.value, pattern);
    return formatDate(d, pattern);
}

std::string Format(std::string_view text, std::string_view pattern) {
    if (pattern.empty()) return std::string(text);
    if (IsNumeric(text)) return Format(CDbl(text), pattern);
    if (IsDate(text)) return Format(CDate(text), pattern);
    return std::string(text);
}

std::string Format(const Variant& v, std::string_view pattern) {
    switch (v.type()) {
    case Variant::Type::Empty: return "";
    case Variant::Type::Null: return "";
    case Variant::Type::Boolean: return pattern.empty() ? v.toString() : Format(v.toDouble(), pattern);
    case Variant::Type::Long:
    case Variant::Type::Double: return Format(v.toDouble(), pattern);
    case Variant::Type::Date: return Format(v.toDate(), pattern);
    case Variant::Type::String: return Format(std::string_view(v.toString()), pattern);
    case Variant::Type::Object: break;
    }
    raise(err::TypeMismatch);
}

} // namespace forms
