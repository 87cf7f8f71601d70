#include "PinyinStrip.h"

#include "WindowSystem.h"

#include "platform/speech/SpeechThread.h"

#include <cstring>
#include <mutex>

namespace voxling {

using namespace win;

namespace {

constexpr const char* kHostClass = "TallisVoiceShowByOstrel";
constexpr int kStripId = 99997;

// Tone 1..4 of each tone-carrying letter, in glyph-code order from 129.
constexpr const char* kToned[8][4] = {
    {"ā", "á", "ǎ", "à"}, {"ē", "é", "ě", "è"}, {"ī", "í", "ǐ", "ì"},         {"ō", "ó", "ǒ", "ò"},
    {"ū", "ú", "ǔ", "ù"}, {"ǖ", "ǘ", "ǚ", "ǜ"}, {"m̄", "ḿ", "m̌", "m̀"}, {"n̄", "ń", "ň", "ǹ"},
};

HFONT makeFont(const WindowSystemCalls& ws, const char* face, int height, LONG weight) {
    LOGFONTA lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return ws.CreateFontIndirect(&lf);
}

} // namespace

std::string PinyinDisplayText(std::u16string_view preview) {
    std::string out;
    for (char16_t c : preview) {
        if (c >= 129 && c <= 160) out += kToned[(c - 129) / 4][(c - 129) % 4];
        else if (c == u'v') out += "ü";
        else if (c < 0x80) out.push_back(static_cast<char>(c));
        else out += sys::fromUtf16(std::u16string_view(&c, 1));
    }
    return out;
}

struct PinyinStrip::Model {
    sys::Machine* machine = nullptr;
    const WindowSystemCalls* ws = nullptr;
    const UiStrings* ui = nullptr;
    HWND hwnd = 0;
    WNDPROC previous = 0, mine = 0;
    HFONT titleFont = 0, pinyinFont = 0, readingFont = 0;
    std::mutex mutex;
    PhraseRecord phrase;

    void paint() {
        PhraseRecord p;
        {
            std::lock_guard lock(mutex);
            p = phrase;
        }
        PAINTSTRUCT ps;
        const HDC dc = ws->BeginPaint(hwnd, &ps);
        if (!dc) return;
        if (p.text.size() > 1) {
            RECT client;
            ws->GetClientRect(hwnd, &client);
            ws->SetBkMode(dc, TRANSPARENT);
            RECT top{0, 0, client.right, 20};
            ws->SelectFont(dc, titleFont);
            ws->SetTextColor(dc, RGB(128, 0, 0));
            ws->DrawText(dc, sys::fromUtf16(p.text), &top, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
            RECT middle{0, 20, client.right, 40};
            ws->SelectFont(dc, pinyinFont);
            ws->SetTextColor(dc, RGB(128, 0, 128));
            ws->DrawText(dc, PinyinDisplayText(PinyinPreviewText(p)), &middle, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
            RECT bottom{0, 40, client.right, client.bottom};
            ws->SelectFont(dc, readingFont);
            ws->SetTextColor(dc, RGB(0, 0, 0));
            ws->DrawText(dc, sys::fromUtf16(p.reading), &bottom, DT_LEFT | DT_NOPREFIX);
        }
        ws->EndPaint(hwnd, &ps);
    }

    void destroy() {
        if (ws->IsWindow(hwnd)) ws->DestroyWindow(hwnd);
        if (mine) ws->releaseWndProc(mine);
        for (HFONT f : {titleFont, pinyinFont, readingFont})
            if (f) ws->DeleteFont(f);
        hwnd = 0;
        mine = 0;
    }
};

std::unique_ptr<PinyinStrip> PinyinStrip::create(sys::Machine* machine, const UiStrings& ui) {
    const WindowSystemCalls* ws = windowSystem(machine);
    // The window system belongs to the program's thread; a speech worker does not walk it.
    if (!ws || speech::onSpeechThread(*machine)) return nullptr;
    const HWND foreground = ws->GetForegroundWindow();
    if (!foreground) return nullptr;
    HWND host = 0;
    for (HWND at = foreground; at && !host;) {
        host = ws->FindWindowEx(at, 0, kHostClass, nullptr);
        if (host) break;
        HWND next = ws->GetWindow(at, GW_CHILD);
        while (!next && at && at != foreground) {
            next = ws->GetWindow(at, GW_HWNDNEXT);
            if (!next) at = ws->GetParent(at);
        }
        at = next;
    }
    if (!host) return nullptr;

    auto model = std::make_shared<Model>();
    model->machine = machine;
    model->ws = ws;
    model->ui = &ui;
    RECT client;
    ws->GetClientRect(host, &client);
    model->hwnd = ws->CreateWindowEx(0, "Static", "", WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom, host,
                                     kStripId, 0);
    if (!model->hwnd) return nullptr;
    model->titleFont = makeFont(*ws, ui.dialogFont, 17, FW_BOLD);
    model->pinyinFont = makeFont(*ws, "Kingsoft Phonetic Plain", 14, FW_NORMAL);
    model->readingFont = makeFont(*ws, ui.dialogFont, 14, FW_NORMAL);
    std::weak_ptr<Model> weak = model;
    model->mine = ws->registerWndProc([weak](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        auto m = weak.lock();
        if (!m) return 0;
        if (msg == WM_PAINT) m->paint();
        return m->ws->CallWindowProc(m->previous, h, msg, wParam, lParam);
    });
    model->previous = ws->SetWindowLong(model->hwnd, GWL_WNDPROC, model->mine);
    ws->ShowWindow(model->hwnd, SW_SHOW);
    return std::unique_ptr<PinyinStrip>(new PinyinStrip(std::move(model)));
}

PinyinStrip::~PinyinStrip() {
    sys::Machine* m = model_->machine;
    if (speech::onSpeechThread(*m)) {
        m->post([model = model_] { model->destroy(); });
        return;
    }
    model_->destroy();
}

void PinyinStrip::show(const PhraseRecord& phrase) {
    {
        std::lock_guard lock(model_->mutex);
        model_->phrase = phrase;
    }
    std::weak_ptr<Model> weak = model_;
    model_->machine->post([weak] {
        if (auto m = weak.lock(); m && m->ws->IsWindow(m->hwnd)) {
            m->ws->InvalidateRect(m->hwnd, nullptr, TRUE);
            m->ws->UpdateWindow(m->hwnd);
        }
    });
}

HWND PinyinStrip::hwnd() const { return model_->hwnd; }

} // namespace voxling
