#pragma once
// The pinyin strip: a window the engine makes inside a host window that offers one, showing the
// phrase being spoken with its pinyin and reading; and the tone-marked letters a preview line
// stands for.
#include "EngineUI.h"
#include "PhraseDictionary.h"

#include "platform/system/WinTypes.h"

#include <memory>
#include <string>

namespace sys { class Machine; }

namespace voxling {

// The letters the phonetic font draws for a preview line's glyph codes, as Unicode text (UTF-8):
// 129..160 become the tone-marked a, e, i, o, u, ü, m and n; a bare v is ü.
std::string PinyinDisplayText(std::u16string_view preview);

class PinyinStrip {
public:
    // Walks the foreground window's descendants, depth first, for one with a direct child of
    // class "TallisVoiceShowByOstrel" and makes the strip inside that child. nullptr when there is
    // no foreground window, no host or no window system.
    static std::unique_ptr<PinyinStrip> create(sys::Machine* machine, const UiStrings& ui);
    ~PinyinStrip();
    PinyinStrip(const PinyinStrip&) = delete;
    PinyinStrip& operator=(const PinyinStrip&) = delete;

    // Shows a phrase; safe from the speaking thread (the strip repaints from the pump).
    void show(const PhraseRecord& phrase);
    win::HWND hwnd() const;

    struct Model;

private:
    explicit PinyinStrip(std::shared_ptr<Model> model) : model_(std::move(model)) {}
    std::shared_ptr<Model> model_;
};

} // namespace voxling
