#include "EngineUI.h"

#include "platform/speech/SpeechThread.h"
#include "platform/system/Machine.h"

#include <string>

namespace voxling {

namespace {

const UiStrings kSimplified{
    "IDD_ENGINEUI_CN",
    {"IDD_ENGINEUI_INFO_CN", "IDD_ENGINEUI_BASICSET_CN", "IDD_ENGINEUI_WORDSET_CN", "IDD_ENGINEUI_NAMESET_CN",
     "IDD_ENGINEUI_NUMBERSET_CN"},
    {"基本信息", "基本设置", "词组设置", "姓氏设置", "数字设置"},
    "提示",
    "警告: 数值大于万亿,不能进行朗读!",
    "还没有收录此词组",
    "你目前使用的中文女声语音库[Yeva]已经损坏,请重新安装后再使用,谢谢.",
    "重新安装",
    "确定",
    "MS Sans Serif",
};

const UiStrings kEnglish{
    "IDD_ENGINEUI_ENG",
    {"IDD_ENGINEUI_INFO_ENG", "IDD_ENGINEUI_BASICSET_ENG", "IDD_ENGINEUI_WORDSET_ENG", "IDD_ENGINEUI_NAMESET_ENG",
     "IDD_ENGINEUI_NUMBERSET_ENG"},
    {"Information", "Basic Setting", "Word Setting", "LastName Setting", "Number Setting"},
    "Tip",
    "Warning: number is too large to read!",
    "Not find the word",
    "Mandarin Female TTS[Yeva] is destroyed, install again, thanks.",
    "Install again",
    "OK",
    "MS Sans Serif",
};

const UiStrings kTraditional{
    "IDD_ENGINEUI_TW",
    {"IDD_ENGINEUI_INFO_TW", "IDD_ENGINEUI_BASICSET_TW", "IDD_ENGINEUI_WORDSET_TW", "IDD_ENGINEUI_NAMESET_TW",
     "IDD_ENGINEUI_NUMBERSET_TW"},
    {"基本資訊", "基本設置", "片語設置", "姓氏設置", "數字設置"},
    "提示",
    "警告: 數值大於萬億,不能進行朗讀!",
    "還沒有收錄此片語",
    "你目前使用的中文女聲語音庫[Yeva]已經損壞,請重新安裝後再使用,謝謝.",
    "重新安裝",
    "確定",
    "MS Sans Serif",
};

constexpr uint32_t kMbOk = 0;

// First glyph code of each tone-carrying letter; tones 1..4 follow in order.
int toneGlyphBase(char letter) {
    switch (letter) {
    case 'a': return 129;
    case 'e': return 133;
    case 'i': return 137;
    case 'o': return 141;
    case 'u': return 145;
    case 'v': return 149;
    case 'm': return 153;
    case 'n': return 157;
    default: return 0;
    }
}

} // namespace

const UiStrings& UiStringsForLocale(uint32_t lcid) {
    switch (lcid) {
    case 1028:
    case 3076:
    case 4100: return kTraditional;
    case 2052: return kSimplified;
    default: return kEnglish;
    }
}

uint32_t UserDefaultLocale(sys::Machine& machine) {
    const std::string text = machine.setting("user.locale", "2052");
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || v > 0xFFFF) return 2052;
        v = v * 10 + uint32_t(c - '0');
    }
    return text.empty() ? 2052 : v;
}

std::u16string PinyinPreviewText(const PhraseRecord& phrase) {
    std::u16string out;
    const size_t syllables = std::min(phrase.text.size(), phrase.pinyin.size());
    for (size_t k = 0; k < syllables; ++k) {
        const std::string& s = phrase.pinyin[k];
        for (size_t i = 0; i < s.size(); ++i) {
            const int base = toneGlyphBase(s[i]);
            if (base && i + 1 < s.size() && s[i + 1] >= '1' && s[i + 1] <= '4') {
                out.push_back(char16_t(base + (s[i + 1] - '1')));
                ++i;
            } else {
                out.push_back(char16_t(static_cast<unsigned char>(s[i])));
            }
        }
        out.push_back(u' ');
    }
    return out;
}

void ShowDamagedNotice(sys::Machine& machine, const UiStrings& strings) {
    speech::speechThreadMessageBox(machine, strings.damagedNotice, strings.noticeTitle, kMbOk);
}

} // namespace voxling
