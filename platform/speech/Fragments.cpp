#include "Fragments.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace speech {

using namespace win;

namespace {

char16_t upper(char16_t c) { return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c; }

bool isSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool equalsUpper(std::u16string_view a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != static_cast<char16_t>(b[i])) return false;
    return true;
}

std::optional<long> parseNumber(std::u16string_view s) {
    size_t i = 0;
    bool neg = false;
    while (i < s.size() && isSpace(s[i])) ++i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return std::nullopt;
    long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = std::min(v * 10 + (s[i] - '0'), 1000000000L);
    while (i < s.size() && isSpace(s[i])) ++i;
    if (i != s.size()) return std::nullopt;
    return neg ? -v : v;
}

struct Attr {
    std::u16string_view name;
    size_t valueStart = 0;  // offset in the buffer
    size_t valueLen = 0;
};

} // namespace

class FragmentBuilder {
public:
    FragmentBuilder(FragmentList& out, std::u16string_view text) : out_(out), text_(text) {
        out_.buffer_ = std::make_unique<char16_t[]>(text.size() + 1);
        std::copy(text.begin(), text.end(), out_.buffer_.get());
        out_.buffer_[text.size()] = 0;
        buf_ = out_.buffer_.get();
        SPVSTATE base{};
        base.eAction = SPVA_Speak;
        base.Volume = 100;
        base.ePartOfSpeech = SPPS_NotOverriden;
        scopes_.push_back({u"", base});
    }

    void plain() { emit(0, text_.size(), state()); }

    void markup() {
        const size_t n = text_.size();
        size_t run = 0, pos = 0;
        while (pos < n) {
            const char16_t c = text_[pos];
            if (c == '<') {
                size_t end = tagEnd(pos);
                if (end == std::u16string_view::npos) break;  // the rest is text
                emit(run, pos - run, state());
                tag(pos, end);
                pos = run = end;
            } else if (c == '&') {
                const size_t semi = text_.find(';', pos);
                std::optional<char32_t> ch;
                if (semi != std::u16string_view::npos && semi - pos <= 10) ch = entity(text_.substr(pos + 1, semi - pos - 1));
                if (!ch) {
                    ++pos;
                    continue;
                }
                emit(run, pos - run, state());
                size_t len = 1;
                if (*ch >= 0x10000) {
                    const char32_t v = *ch - 0x10000;
                    buf_[pos] = static_cast<char16_t>(0xD800 + (v >> 10));
                    buf_[pos + 1] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
                    len = 2;
                } else {
                    buf_[pos] = static_cast<char16_t>(*ch);
                }
                emit(pos, len, state());
                pos = run = semi + 1;
            } else {
                ++pos;
            }
        }
        emit(run, n - run, state());
    }

private:
    struct Scope {
        std::u16string name;  // upper case
        SPVSTATE state;
    };

    SPVSTATE& state() { return scopes_.back().state; }

    void emit(size_t start, size_t len, const SPVSTATE& st) {
        if (len == 0) return;
        emitAlways(start, len, st);
    }

    void emitAlways(size_t start, size_t len, const SPVSTATE& st) {
        auto f = std::make_unique<SPVTEXTFRAG>();
        f->State = st;
        f->pTextStart = buf_ + start;
        f->ulTextLen = static_cast<ULONG>(len);
        f->ulTextSrcOffset = static_cast<ULONG>(start);
        f->pNext = nullptr;
        if (!out_.frags_.empty()) out_.frags_.back()->pNext = f.get();
        out_.frags_.push_back(std::move(f));
    }

    // Offset just past the tag that starts at pos, npos when it never closes.
    size_t tagEnd(size_t pos) const {
        if (text_.substr(pos, 4) == u"<!--") {
            const size_t e = text_.find(u"-->", pos + 4);
            return e == std::u16string_view::npos ? e : e + 3;
        }
        char16_t quote = 0;
        for (size_t i = pos + 1; i < text_.size(); ++i) {
            const char16_t c = text_[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return i + 1;
            }
        }
        return std::u16string_view::npos;
    }

    static std::optional<char32_t> entity(std::u16string_view name) {
        if (name == u"amp") return U'&';
        if (name == u"lt") return U'<';
        if (name == u"gt") return U'>';
        if (name == u"quot") return U'"';
        if (name == u"apos") return U'\'';
        if (name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            uint32_t v = 0;
            size_t i = hex ? 2 : 1;
            if (i >= name.size()) return std::nullopt;
            for (; i < name.size(); ++i) {
                const char16_t c = name[i];
                int d = -1;
                if (c >= '0' && c <= '9') d = c - '0';
                else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
                if (d < 0) return std::nullopt;
                v = v * (hex ? 16 : 10) + static_cast<uint32_t>(d);
                if (v > 0x10FFFF) return std::nullopt;
            }
            if (v == 0 || (v >= 0xD800 && v <= 0xDFFF)) return std::nullopt;
            return static_cast<char32_t>(v);
        }
        return std::nullopt;
    }

    std::vector<Attr> attributes(size_t from, size_t to) const {
        std::vector<Attr> attrs;
        size_t i = from;
        while (i < to) {
            while (i < to && isSpace(text_[i])) ++i;
            const size_t nameStart = i;
            while (i < to && !isSpace(text_[i]) && text_[i] != '=') ++i;
            Attr a;
            a.name = text_.substr(nameStart, i - nameStart);
            while (i < to && isSpace(text_[i])) ++i;
            if (i < to && text_[i] == '=') {
                ++i;
                while (i < to && isSpace(text_[i])) ++i;
                if (i < to && (text_[i] == '"' || text_[i] == '\'')) {
                    const char16_t q = text_[i++];
                    const size_t vs = i;
                    while (i < to && text_[i] != q) ++i;
                    a.valueStart = vs;
                    a.valueLen = i - vs;
                    if (i < to) ++i;
                } else {
                    const size_t vs = i;
                    while (i < to && !isSpace(text_[i])) ++i;
                    a.valueStart = vs;
                    a.valueLen = i - vs;
                }
            }
            if (!a.name.empty()) attrs.push_back(a);
            else if (i == nameStart) ++i;
        }
        return attrs;
    }

    const Attr* find(const std::vector<Attr>& attrs, const char* name) const {
        for (auto& a : attrs)
            if (equalsUpper(a.name, name)) return &a;
        return nullptr;
    }

    std::optional<long> number(const std::vector<Attr>& attrs, const char* name) const {
        const Attr* a = find(attrs, name);
        if (!a) return std::nullopt;
        return parseNumber(text_.substr(a->valueStart, a->valueLen));
    }

    SPPHONEID* phones(const Attr& a) {
        auto p = std::make_unique<char16_t[]>(a.valueLen + 1);
        std::copy_n(text_.data() + a.valueStart, a.valueLen, p.get());
        p[a.valueLen] = 0;
        out_.phones_.push_back(std::move(p));
        return out_.phones_.back().get();
    }

    void unknown(size_t start, size_t end) { emitAlways(start, end - start, withAction(state(), SPVA_ParseUnknownTag)); }

    static SPVSTATE withAction(SPVSTATE s, SPVACTIONS a) {
        s.eAction = a;
        if (a != SPVA_Pronounce) s.pPhoneIds = nullptr;
        return s;
    }

    // Handles the tag text_[start, end).
    void tag(size_t start, size_t end) {
        if (text_[start + 1] == '!' || text_[start + 1] == '?') return;  // comment, declaration
        bool closing = text_[start + 1] == '/';
        size_t inner = start + (closing ? 2 : 1);
        size_t innerEnd = end - 1;  // at '>'
        bool empty = !closing && innerEnd > inner && text_[innerEnd - 1] == '/';
        if (empty) --innerEnd;
        size_t nameEnd = inner;
        while (nameEnd < innerEnd && !isSpace(text_[nameEnd]) && text_[nameEnd] != '/') ++nameEnd;
        std::u16string name;
        for (size_t i = inner; i < nameEnd; ++i) name += upper(text_[i]);

        if (closing) {
            if (equalsUpper(name, "SILENCE") || equalsUpper(name, "BOOKMARK")) return;
            for (size_t i = scopes_.size(); i-- > 1;) {
                if (scopes_[i].name == name) {
                    scopes_.resize(i);
                    return;
                }
            }
            unknown(start, end);
            return;
        }

        const auto attrs = attributes(nameEnd, innerEnd);
        if (equalsUpper(name, "SILENCE")) {
            auto ms = number(attrs, "MSEC");
            if (!ms || *ms < 0) return;
            SPVSTATE s = withAction(state(), SPVA_Silence);
            s.SilenceMSecs = static_cast<ULONG>(*ms);
            emitAlways(start, end - start, s);
        } else if (equalsUpper(name, "BOOKMARK")) {
            const Attr* mark = find(attrs, "MARK");
            if (!mark) return;
            emitAlways(mark->valueStart, mark->valueLen, withAction(state(), SPVA_Bookmark));
        } else if (equalsUpper(name, "SPELL")) {
            if (!empty) scopes_.push_back({name, withAction(state(), SPVA_SpellOut)});
        } else if (equalsUpper(name, "PRON")) {
            const Attr* sym = find(attrs, "SYM");
            SPVSTATE s = withAction(state(), SPVA_Pronounce);
            s.pPhoneIds = sym ? phones(*sym) : nullptr;
            if (empty) emitAlways(start, 0, s);
            else scopes_.push_back({name, s});
        } else if (equalsUpper(name, "RATE") || equalsUpper(name, "VOLUME")) {
            SPVSTATE s = state();
            if (equalsUpper(name, "RATE")) {
                if (auto v = number(attrs, "ABSSPEED")) s.RateAdj = static_cast<LONG>(std::clamp(*v, -10L, 10L));
                if (auto v = number(attrs, "SPEED")) s.RateAdj = static_cast<LONG>(std::clamp(s.RateAdj + *v, -10L, 10L));
            } else if (auto v = number(attrs, "LEVEL")) {
                s.Volume = static_cast<ULONG>(std::clamp(*v, 0L, 100L));
            }
            if (empty) state() = s;
            else scopes_.push_back({name, s});
        } else {
            unknown(start, end);
        }
    }

    FragmentList& out_;
    std::u16string_view text_;
    char16_t* buf_ = nullptr;
    std::vector<Scope> scopes_;
};

FragmentList FragmentList::build(std::u16string_view text, bool parseMarkup) {
    FragmentList list;
    FragmentBuilder b(list, text);
    if (parseMarkup) b.markup();
    else b.plain();
    return list;
}

bool speakParsesMarkup(std::u16string_view text, DWORD flags) {
    if (flags & SPF_IS_XML) return true;
    if (flags & SPF_IS_NOT_XML) return false;
    for (char16_t c : text) {
        if (isSpace(c)) continue;
        return c == '<';
    }
    return false;
}

} // namespace speech
