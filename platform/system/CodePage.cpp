#include "CodePage.h"

#include <cerrno>
#include <iconv.h>
#include <mutex>
#include <string>
#include <vector>

namespace sys {
namespace {

const char* iconvName(int codePage) {
    switch (codePage) {
    case 936: return "GBK";
    case 1252: return "CP1252";
    case 65001: return "UTF-8";
    default: return "GBK";
    }
}

// Opening a converter costs far more than a short conversion: each thread keeps the ones it
// opened (a handful of code-page pairs) for its lifetime.
class Converters {
public:
    ~Converters() {
        for (auto& c : open_)
            if (c.cd != kNone) iconv_close(c.cd);
    }
    // A converter in its initial state, or kNone when the pair is not supported.
    iconv_t get(const char* to, const char* from) {
        for (auto& c : open_)
            if (c.to == to && c.from == from) {
                if (c.cd != kNone) iconv(c.cd, nullptr, nullptr, nullptr, nullptr);
                return c.cd;
            }
        open_.push_back({to, from, iconv_open(to, from)});
        return open_.back().cd;
    }
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

private:
    struct Open {
        std::string to, from;
        iconv_t cd;
    };
    std::vector<Open> open_;
};

bool plainAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Converts with iconv, replacing what cannot be converted by '?' one input unit at a time.
std::string convert(std::string_view in, const char* to, const char* from, size_t unitBytes) {
    // Every supported code page keeps ASCII as it is; most texts (prices, symbols) are ASCII.
    if (plainAscii(in)) return std::string(in);
    thread_local Converters converters;
    iconv_t cd = converters.get(to, from);
    if (cd == Converters::kNone) return std::string(in);
    std::string out;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: skip one unit (or the rest of a UTF-8 sequence) and mark it.
        size_t skip = unitBytes;
        if (unitBytes == 1 && std::string_view(from) == "UTF-8") {
            unsigned char c = static_cast<unsigned char>(*src);
            skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            // Do not skip past bytes that are not continuation bytes.
            for (size_t k = 1; k < skip; ++k) {
                if (k >= srcLeft || (static_cast<unsigned char>(src[k]) & 0xC0) != 0x80) {
                    skip = k;
                    break;
                }
            }
        }
        if (skip > srcLeft) skip = srcLeft;
        src += skip;
        srcLeft -= skip;
        if (dstLeft < 4) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
        }
        *dst++ = '?';
        --dstLeft;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}

} // namespace

std::string toAnsi(std::string_view utf8, int codePage) {
    if (codePage == 65001) return std::string(utf8);
    return convert(utf8, iconvName(codePage), "UTF-8", 1);
}

std::string fromAnsi(std::string_view ansi, int codePage) {
    if (codePage == 65001) return std::string(ansi);
    return convert(ansi, "UTF-8", iconvName(codePage), 1);
}

std::string truncateAnsi(std::string_view ansi, size_t maxBytes, int codePage) {
    if (ansi.size() <= maxBytes) return std::string(ansi);
    if (codePage != 936) return std::string(ansi.substr(0, maxBytes));
    size_t i = 0;
    while (i < maxBytes) {
        unsigned char c = static_cast<unsigned char>(ansi[i]);
        size_t len = (c >= 0x81 && c <= 0xFE) ? 2 : 1;
        if (i + len > maxBytes) break;
        i += len;
    }
    return std::string(ansi.substr(0, i));
}

size_t ansiLength(std::string_view utf8, int codePage) { return toAnsi(utf8, codePage).size(); }

std::u32string toUtf32(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        size_t len;
        if (c < 0x80) { cp = c; len = 1; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
        else { out.push_back(0xFFFD); ++i; continue; }
        if (i + len > s.size()) { out.push_back(0xFFFD); break; }
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) { ok = false; len = k; break; }
            cp = (cp << 6) | (d & 0x3F);
        }
        out.push_back(ok ? cp : 0xFFFD);
        i += len;
    }
    return out;
}

bool isWellFormedUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len = 0;
        char32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0) len = 3, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07;
        else return false;
        if (i + len > s.size()) return false;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return false;
        if (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) return false;
        i += len;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string fromUtf32(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t cp : text) appendUtf8(out, cp);
    return out;
}

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    for (char32_t cp : toUtf32(utf8)) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string fromUtf16(std::u16string_view s) {
    std::u32string cps;
    cps.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cps.push_back(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            cps.push_back(0xFFFD);
        } else {
            cps.push_back(c);
        }
    }
    return fromUtf32(cps);
}

} // namespace sys
