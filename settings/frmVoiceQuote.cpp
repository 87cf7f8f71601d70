#include "frmVoiceQuote.h"

#include "core/frmMain.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Win.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/system/Machine.h"
#include "toolkit/cDropDown.h"
#include "toolkit/cls_PopupMenu.h"
#include "toolkit/m_Main.h"

#include <limits>

namespace {

std::string boolText(bool v) { return v ? "True" : "False"; }

} // namespace

frmVoiceQuote::frmVoiceQuote() : VoiceQuoteDialog("frmVoiceQuote") {
    design.caption = "语音报价设置";
    design.borderStyle = forms::vbFixedDialog;
    design.minButton = design.maxButton = false;
    design.showInTaskbar = false;
    design.width = 6450;
    design.height = 4200;
}

frmVoiceQuote::~frmVoiceQuote() = default;

std::optional<int32_t> frmVoiceQuote::WholeNumber(const std::string& text) {
    const size_t b = text.find_first_not_of(" \t");
    const size_t e = text.find_last_not_of(" \t");
    if (b == std::string::npos) return std::nullopt;
    int64_t v = 0;
    for (size_t i = b; i <= e; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > std::numeric_limits<int32_t>::max()) return std::nullopt;
    }
    return static_cast<int32_t>(v);
}

// ---- Life ---------------------------------------------------------------------------------

void frmVoiceQuote::Form_Load() {
    cDropDown1 = std::make_unique<cDropDown>(*this);
    cDropDown1->DeactivateForm = [this] {
        // The unload may drop the program's reference; the window outlives its own handler.
        [[maybe_unused]] auto self = shared_from_this();
        Unload();
    };
    loadPage(hWnd(), m_Main::PageBase + "VoiceSet.htm");
}

void frmVoiceQuote::pageComplete() {
    bindEvent("SelTimeFormat", "onclick", "SelTimeFormat_Click");
    bindEvent("SelPIPFormat", "onclick", "SelPIPFormat_Click");
    fitToPage();
    el("iVoiceCheck").focus();
}

void frmVoiceQuote::fitToPage() {
    const web::HTMLElement layout = el("iLayoutDiv");
    long top = 0;
    for (web::HTMLElement e = layout; e && e.tagName() != "BODY"; e = e.offsetParent()) top += e.offsetTop();
    const long clientWidth = layout.offsetWidth();
    const long clientHeight = layout.offsetHeight() + top;
    const long tppX = win::TwipsPerPixelX, tppY = win::TwipsPerPixelY;
    const long width = clientWidth * tppX + (Width() - ScaleWidth());
    const long height = clientHeight * tppY + (Height() - ScaleHeight());
    // Until the opener shows it the dialog stands in the middle of the work area.
    win::RECT area{};
    m_Main::GetWorkArea(area);
    const long left = ((area.left + area.right) * tppX - width) / 2;
    const long topTwips = ((area.top + area.bottom) * tppY - height) / 2;
    Move(std::max(0L, left), std::max(0L, topTwips), width, height);
    WebBrowser1->Move(0, 0, static_cast<int>(ScaleWidth() / tppX), static_cast<int>(ScaleHeight() / tppY));
}

void frmVoiceQuote::Form_Activate() { m_Main::SetTopMost(hWnd()); }

void frmVoiceQuote::Form_QueryUnload(int&, int) {
    // Closing never fails: a page that cannot be read hands nothing back.
    try {
        Closed c;
        c.voice = el("iVoiceCheck").checked();
        c.delta = el("iPIP").checked();
        c.interval = el("iTime").checked();
        c.deltaValue = takeNumber("legPIPValue", givenDelta_);
        c.intervalValue = takeNumber("legTimeValue", givenInterval_);
        c.deltaFormat = el("PIPFormat").value();
        c.intervalFormat = el("timeFormat").value();
        c.state = VoiceStateText();
        c.done = true;
        closed_ = std::move(c);
    } catch (const std::exception&) {
        return;
    }
    // A dialog its opener never filled has nothing of the record to hand back.
    if (!filled_ || !m_Main::MainForm) return;
    m_Main::MainForm->SaveVoice(ID_);
}

int32_t frmVoiceQuote::takeNumber(const std::string& fieldId, const std::string& given) {
    const web::HTMLElement field = el(fieldId);
    if (auto v = WholeNumber(field.value())) return *v;
    // Emptied, pasted over or too large: refused, the opener's value stays.
    field.value(given);
    return WholeNumber(given).value_or(0);
}

void frmVoiceQuote::Form_Unload(int&) {
    if (m_Main::VoiceQuoteForm == this) m_Main::ReleaseVoiceQuote();
    if (auto* machine = sys::Machine::currentOrNull(); machine && WebBrowser1) {
        // The page's forwarders hold this window; let them go once the unload is over.
        std::shared_ptr<frmVoiceQuote> self = shared_from_this();
        machine->post([self] {});
    }
    unloadPage();
}

// ---- Page access --------------------------------------------------------------------------

web::HTMLElement frmVoiceQuote::el(const std::string& id) const {
    web::HTMLElement e = Document.all(id);
    if (!e) forms::raise(forms::err::ObjectRequired, "frmVoiceQuote");
    return e;
}

std::string frmVoiceQuote::VoiceStateText() const {
    return boolText(el("iTime").checked()) + "|" + el("legTimeValue").value() + "|" + el("timeFormat").value() + "|" +
           boolText(el("iPIP").checked()) + "|" + el("legPIPValue").value() + "|" + el("PIPFormat").value();
}

// ---- Setters ------------------------------------------------------------------------------

void frmVoiceQuote::VoiceEnable(bool on) {
    const web::HTMLElement box = el("iVoiceCheck");
    box.checked(on);
    box.FireEvent("onClick");
    box.focus();
    snapshot_ = VoiceStateText();
    filled_ = true;
}

bool frmVoiceQuote::SETChanged() { return (closed_.done ? closed_.state : VoiceStateText()) != snapshot_; }

void frmVoiceQuote::setTrigger(const std::string& box, bool on) {
    auto click = [this](const std::string& id, bool checked) {
        const web::HTMLElement e = el(id);
        e.checked(checked);
        e.FireEvent("onClick");
    };
    wantedTriggers_[box] = on;
    click(box, on);
    // The page keeps one trigger on: a switch-off refused while the other was still off goes
    // through once the other is on, whichever the opener set first.
    for (const auto& [other, wanted] : wantedTriggers_)
        if (other != box && el(other).checked() != wanted) click(other, wanted);
}

void frmVoiceQuote::VoiceDelta(const std::string& points) {
    givenDelta_ = points;
    el("legPIPValue").value(points);
}

void frmVoiceQuote::VoiceInterval(const std::string& seconds) {
    givenInterval_ = seconds;
    el("legTimeValue").value(seconds);
}

void frmVoiceQuote::IntervalFormat(const std::string& text) { el("timeFormat").value(text); }

void frmVoiceQuote::DeltaFormat(const std::string& text) { el("PIPFormat").value(text); }

// ---- Placeholder menu ---------------------------------------------------------------------

void frmVoiceQuote::SelFormat() {
    const web::HTMLElement active = Document.activeElement();
    placeholderMenu(active && active.id() == "SelTimeFormat" ? "timeFormat" : "PIPFormat");
}

void frmVoiceQuote::SelTimeFormat_Click() { placeholderMenu("timeFormat"); }

void frmVoiceQuote::SelPIPFormat_Click() { placeholderMenu("PIPFormat"); }

void frmVoiceQuote::placeholderMenu(const std::string& targetId) {
    const web::HTMLElement target = el(targetId);
    std::string text = target.value();
    bool marked[5] = {};
    bool any = false;
    for (int i = 0; i < 5; ++i) any |= marked[i] = forms::InStr(text, kPlaceholders[i]) > 0;

    win::POINT cursor{};
    win::GetCursorPos(&cursor);
    cls_PopupMenu menu;
    for (int i = 0; i < 5; ++i)
        if (!marked[i]) menu.AddMenuItem(kPlaceholders[i], 0, i + 1);
    if (any) {
        menu.AddMenuItem("-", 2048, 0);
        menu.CreateSubmenu("删除(&D)");
        for (int i = 0; i < 5; ++i)
            if (marked[i]) menu.AddSubmenuItem(kPlaceholders[i], 0, 100 + i + 1);
    }
    const int32_t chosen = menu.TrackMenu(hWnd(), cursor.x, cursor.y);
    if (chosen >= 1 && chosen <= 5) text += kPlaceholders[chosen - 1];
    else if (chosen >= 101 && chosen <= 105) text = forms::Replace(text, kPlaceholders[chosen - 101], "");
    else return;
    target.value(text);
}

// ---- Members by name ----------------------------------------------------------------------

const forms::MemberTable& frmVoiceQuote::memberTable() const {
    using forms::Variant;
    using F = frmVoiceQuote;
    static const auto table =
        forms::Members<F>()
            .let("ID", [](F& f, const Variant& v) { f.ID(v.toString()); })
            .property("VoiceEnable", [](F& f) { return f.VoiceEnable(); }, [](F& f, const Variant& v) { f.VoiceEnable(v.toBool()); })
            .get("SETChanged", [](F& f) { return f.SETChanged(); })
            .property("EnableDelta", [](F& f) { return f.EnableDelta(); }, [](F& f, const Variant& v) { f.EnableDelta(v.toBool()); })
            .property("EnableInterval", [](F& f) { return f.EnableInterval(); },
                      [](F& f, const Variant& v) { f.EnableInterval(v.toBool()); })
            .property("VoiceDelta", [](F& f) { return f.VoiceDelta(); }, [](F& f, const Variant& v) { f.VoiceDelta(v.toString()); })
            .property("VoiceInterval", [](F& f) { return f.VoiceInterval(); },
                      [](F& f, const Variant& v) { f.VoiceInterval(v.toString()); })
            .property("IntervalFormat", [](F& f) { return f.IntervalFormat(); },
                      [](F& f, const Variant& v) { f.IntervalFormat(v.toString()); })
            .property("DeltaFormat", [](F& f) { return f.DeltaFormat(); }, [](F& f, const Variant& v) { f.DeltaFormat(v.toString()); })
            .method("SelFormat", [](F& f) { f.SelFormat(); })
            .get("Busy", [](F& f) { return f.Busy(); })
            .method("SelTimeFormat_Click", [](F& f) { f.SelTimeFormat_Click(); })
            .method("SelPIPFormat_Click", [](F& f) { f.SelPIPFormat_Click(); });
    return table;
}
