#pragma once
// The texts the engine shows, chosen by the user's locale; the pinyin preview line of a phrase;
// and the notice shown when the voice library is damaged.
#include "PhraseDictionary.h"

#include <array>
#include <cstdint>
#include <string>

#include "platform/system/WinTypes.h"

namespace sys { class Machine; }

namespace voxling {

// One locale's texts (UTF-8).
struct UiStrings {
    const char* mainDialog;
    std::array<const char*, 5> pages;       // info, basic, word, surname, number
    std::array<const char*, 5> treeItems;   // information, basic, word, surname, number
    const char* tipTitle;
    const char* numberWarning;
    const char* phraseNotFound;
    const char* damagedNotice;
    const char* noticeTitle;
    const char* buttonText;
    const char* dialogFont;
    const char* voiceTitle;  // the settings dialog's title line
};

// 1028, 3076 and 4100: traditional Chinese; 2052: simplified Chinese; anything else: English.
const UiStrings& UiStringsForLocale(uint32_t lcid);
// The user's default locale on the machine (its "user.locale" setting, else 2052).
uint32_t UserDefaultLocale(sys::Machine& machine);

// The phrase's syllables as the phonetic font draws them: a tone-carrying letter followed by its
// tone digit becomes one glyph code (a 129-132, e 133-136, i 137-140, o 141-144, u 145-148,
// v 149-152, m 153-156, n 157-160), other letters stay; each syllable is followed by a space.
std::u16string PinyinPreviewText(const PhraseRecord& phrase);

// The damaged-library notice: its own window owned by the foreground window, run modally (the
// owner disabled until it closes). On a speech worker the window is raised from the program's
// pump and the call returns at once, so a binding there never waits for a user. Without a
// window system it is recorded as a speech-thread message box.
void ShowDamagedNotice(sys::Machine& machine, const UiStrings& strings);
// Centres a window on the screen.
void CenterWindow(sys::Machine& machine, win::HWND window);

inline constexpr char kNoticeClass[] = "WinThreadChineseFemaleVoiceInstall";

} // namespace voxling
