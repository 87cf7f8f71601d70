#pragma once
// The engine's settings dialog: a tree of pages editing the engine settings, and a phrase search
// with its pinyin preview.
#include "EngineSettings.h"
#include "EngineUI.h"
#include "PhraseDictionary.h"

#include "platform/system/WinTypes.h"

namespace sys { class Machine; }

namespace voxling {

// Control ids of the dialog and its pages.
namespace dlg {
constexpr int OK = 300, Cancel = 350, VoiceTitle = 204, WebLink = 209, SupportLink = 211, HelpText = 210;
constexpr int Tree = 1001;
constexpr int PauseGroup = 218, ShortLabel = 219, LongLabel = 220, ShortCombo = 213, LongCombo = 214;
constexpr int StyleCombo = 223, ReadPunctuation = 215, ReadSentence = 216;
constexpr int NumberGroup = 221, Digits = 216, Value = 217, Money = 233;
constexpr int Surname = 232;
constexpr int WordEdit = 225, Search = 226, FoundText = 230, Reading = 228, WordSettings = 229;
} // namespace dlg

// Runs the dialog modally over parent. held: the settings the engine holds; the dialog loads the
// registry's values over them, and on OK they take the values shown (brought into range), which
// are saved. phrases: where the word page looks phrases up (may be null: nothing is found).
// True when the user pressed OK.
bool RunSettingsDialog(sys::Machine& machine, const UiStrings& ui, win::HWND parent, EngineSettings& held,
                       const PhraseDictionary* phrases);

// A number as typed into a combo box: an optional sign and the leading digits (none: 0), kept
// within 32 bits; the settings' own ranges apply afterwards.
int32_t TypedNumber(std::string_view text);

} // namespace voxling
