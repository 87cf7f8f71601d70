#include "SymbolElementName.h"

#include "platform/system/CodePage.h"

#include <cctype>
#include <cstdio>

namespace m_Main {

namespace {

bool nameStartChar(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool nameChar(unsigned char c) { return nameStartChar(c) || std::isdigit(c) || c == '.' || c == '-'; }

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// "_xHHHH_" at position i.
bool escapeAt(const std::string& s, size_t i) {
    if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') return false;
    return isHex(s[i + 2]) && isHex(s[i + 3]) && isHex(s[i + 4]) && isHex(s[i + 5]);
}

std::string escapeUnit(unsigned unit) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "_x%04X_", unit & 0xFFFFu);
    return buf;
}

} // namespace

std::string SymbolElementName(const std::string& symbol) {
    if (symbol.empty()) return "_x0000_";
    std::string out;
    for (size_t i = 0; i < symbol.size(); i++) {
        const unsigned char c = static_cast<unsigned char>(symbol[i]);
        const bool ok = c >= 0x80 || (i == 0 ? nameStartChar(c) : nameChar(c));
        // A literal "_xHHHH_" in a symbol escapes its underscore, so that decoding gives it back.
        if (ok && !(c == '_' && escapeAt(symbol, i))) out += static_cast<char>(c);
        else out += escapeUnit(c);
    }
    return out;
}

std::string SymbolFromElementName(const std::string& name) {
    if (name == "_x0000_") return "";
    std::string out;
    for (size_t i = 0; i < name.size();) {
        if (escapeAt(name, i)) {
            const unsigned unit = static_cast<unsigned>(std::stoul(name.substr(i + 2, 4), nullptr, 16));
            if (unit < 0x80) out += static_cast<char>(unit);
            else out += sys::fromUtf16(std::u16string(1, static_cast<char16_t>(unit)));
            i += 7;
        } else {
            out += name[i++];
        }
    }
    return out;
}

} // namespace m_Main
