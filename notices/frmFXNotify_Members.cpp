// The notice window's member channels (strategies, member information, notices), the
// notification of their new entries, the toast with its keyword filter, and item links.
#include "frmFXNotify.h"
#include "frmFXNotify_Scrapers.h"
#include "frmToast.h"

#include "ArticleExtract.h"
#include "InertHtml.h"
#include "core/frmMain.h"
#include "platform/com/ComBase.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Timer.h"
#include "platform/desktop/Window.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/system/CodePage.h"
#include "toolkit/PlayMediaCls.h"
#include "toolkit/clsForward.h"
#include "toolkit/cls_Config.h"
#include "toolkit/mWindow.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <cmath>

namespace {

std::string settingText(const std::string& path, const char* name) {
    cls_Config& c = Config();
    return c.isExistAttrib(path, name) ? c.GetNodeAttrib(path, name) : std::string();
}

bool containsAny(const std::string& text, const std::vector<std::string>& words) {
    return std::any_of(words.begin(), words.end(), [&](const std::string& w) { return text.find(w) != std::string::npos; });
}

} // namespace

std::vector<std::string> frmFXNotify::Keywords(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t p = list.find(';', start);
        // An empty keyword (";;", "; ;") would be found in every text: it is no keyword.
        if (std::string k = forms::Trim(list.substr(start, p == std::string::npos ? p : p - start)); !k.empty())
            out.push_back(std::move(k));
        if (p == std::string::npos) break;
        start = p + 1;
    }
    return out;
}

// ---- Member channels -------------------------------------------------------------------------

struct frmFXNotify::MemberChannel {
    int slot;
    const char* tab;
    const char* word;        // the row's class word and its first cell's tool tip
    const char* rowImage;
    const char* toastLabel;  // what stands before an entry in the toast
};

void frmFXNotify::MemberChannels() {
    static const MemberChannel kChannels[] = {
        {10, "iStrategy", "Strategy", "<img src='istrategy.gif' align='absmiddle'>",
         "<img src='istrategy.gif' align='absbottom'/>&nbsp;<b>Kestrel策略</b>&nbsp;"},
        {11, "iVip", "Vip", "<img src='ivip.gif' align='absmiddle'>",
         "<img src='ivip.gif' align='absbottom'/>&nbsp;<b>Vip服务</b>&nbsp;"},
        {12, "iNotice", "Notice", "<img src='inotice.gif' align='absmiddle'>",
         "<img src='inotice.gif' align='absbottom'/>&nbsp;<b>Kestrel公告</b>&nbsp;"},
    };
    StrategyCount = VipCount = NoticeCount = 0;
    MemberNewFound = false;
    BalloonText.clear();
    int16_t* counts[] = {&StrategyCount, &VipCount, &NoticeCount};
    for (size_t i = 0; i < std::size(kChannels); ++i) {
        ReadingSlot_ = kChannels[i].slot;
        forms::ResumeNext([&] { memberChannel(kChannels[i], *counts[i]); });
    }
    forms::ResumeNext([&] { NotifyMembers(); });
}

void frmFXNotify::memberChannel(const MemberChannel& ch, int16_t& count) {
    const FeedSource& source = FeedSources[static_cast<size_t>(ch.slot)];
    const auto table = article::TableRule(source.Content);
    if (!table) return;
    const std::string fragment = forms::Replace(scrapers::firstItems(*table, "<tr", kItemsPerSource, kListBytes),
                                                "href='sub", "href='" + siteBase(kMemberSite) + "/sub");
    // Read where nothing runs; only text and checked links leave it.
    const inert::Fragment page = inert::Fragment::parse(fragment);
    const auto tables = page.byTag("table");
    if (tables.empty()) return;

    TabShows = CurrentPane_ == "iAllFX" || CurrentPane_ == ch.tab;
    beginRead();
    const bool notice = std::string(ch.word) == "Notice";
    size_t items = 0;
    for (const inert::Element& tr : tables[0].rows()) {
        if (items++ == kItemsPerSource) break;
        std::string title, link, category;
        std::vector<inert::Element> cells;
        forms::ResumeNext([&] {
            cells = tr.cells();
            const auto anchors = cells.at(0).descendants("a");
            title = forms::Trim(anchors.at(1).text());
            link = inert::checkedLink(anchors.at(1).attr("href"), source.URL);
        });
        // A row without its title link ends the channel's list.
        if (title.empty()) break;
        if (alreadySeen(title)) continue;
        forms::ResumeNext([&] {
            category = cells.at(1).text();
            std::erase_if(category, [](char c) { return c == '[' || c == ']'; });
        });

        NewsRow row;
        row.className = ch.word;
        row.tipWord = ch.word;
        row.time = category;
        row.text = title;
        row.textHtml = std::string(ch.rowImage) + "&nbsp;" +
                       (link.empty() ? inert::escapeHtml(title)
                                     : "<a href='" + inert::escapeHtml(link) +
                                           "' target=_blank style='text-decoration:underline'>" + inert::escapeHtml(title) +
                                           "</a>");
        // Notices show on their tabs unfiltered; the other channels pass the filter bar.
        row.shown = notice || !NewsShown_ ? TabShows : TabShows && Filter(title + "/");
        bool queued = false;
        forms::ResumeNext([&] { queued = insertRow(row); });
        if (!queued) continue;
        NewFound = true;
        if (NewsShown_) {
            // Every new member entry goes into the toast; the keyword filter is for news.
            gatherToast(std::string(ch.toastLabel) + "<span style='text-decoration:underline' class='popupText'" +
                        (link.empty() ? "" : " data-link='" + inert::escapeHtml(link) + "'") + ">" +
                        inert::escapeHtml(category) + "&nbsp;" + inert::escapeHtml(title) + "</span>");
            BalloonText += category + " " + title + "\r\n";
            ++count;
            MemberNewFound = true;
        }
    }
}

void frmFXNotify::NotifyMembers() {
    if (!MemberNewFound) return;
    const std::string node = "Settings/Brisk";
    // The settings' "brisk" switch is the service alerts' master switch: off, nothing announces.
    if (!storedFlag(node, "WarnChecked")) return;
    forms::ResumeNext([&] {
        if (m_Main::MainForm)
            m_Main::MainForm->ShowBalloonTip(BalloonText + "点击冒泡显示内容.", "Kestrel交易提醒", 1, "Brisk");
    });
    const bool strategy = storedFlag(node, "Strategy"), vip = storedFlag(node, "Vip"), notice = storedFlag(node, "Notice");
    if (storedFlag(node, "Sound")) {
        forms::ResumeNext([&] {
            if (!m_PlayMedia) m_PlayMedia = std::make_shared<PlayMediaCls>();
            // Only news of a channel the user asked to hear of rings.
            const bool play = (strategy && StrategyCount > 0) || (vip && VipCount > 0) || (notice && NoticeCount > 0);
            const std::string file = settingText(node, "SoundFile");
            // A bare file name of the sound folder; anything else names no sound of ours.
            const bool bare = !file.empty() && file.find_first_of("\\/:") == std::string::npos && file != "." && file != "..";
            if (play && bare && m_PlayMedia->OpenMedia(m_Main::AppDir + "Sound\\" + file)) m_PlayMedia->Play();
        });
    }
    if (storedFlag(node, "Voice")) {
        forms::ResumeNext([&] {
            if (!m_Speech) {
                win::CLSID clsid{};
                if (win::FAILED(win::CLSIDFromProgID(u"Sapi.SpVoice", &clsid)) ||
                    win::FAILED(win::CoCreateInstance(clsid, nullptr, win::CLSCTX_ALL, win::IID_ISpeechVoice,
                                                      m_Speech.putVoid())))
                    m_Speech.reset();
            }
            std::string text;
            if (vip) text += "会员服务有" + std::to_string(VipCount) + "条新信息!";
            if (strategy) text += "策略服务有" + std::to_string(StrategyCount) + "条新信息!";
            if (notice) text += "Kestrel公告有" + std::to_string(NoticeCount) + "条新信息!";
            if (m_Speech && !text.empty()) m_Speech->Speak(sys::toUtf16(text).c_str(), win::SVSFlagsAsync, nullptr);
        });
    }
}

// ---- The toast -------------------------------------------------------------------------------

bool frmFXNotify::PopFilter(const std::string& Text) {
    if (!NewsShown_) return false;
    const auto include = Keywords(forms::Trim(settingText("Settings/FXNews", "Include")));
    const auto exclude = Keywords(forms::Trim(settingText("Settings/FXNews", "Exclude")));
    bool passed = include.empty() || containsAny(Text, include);
    if (containsAny(Text, exclude)) passed = false;
    return passed;
}

void frmFXNotify::bindToast() {
    // The page asks for its toast through two hidden buttons; the toast is a window of ours.
    if (!popupWin_) popupWin_ = std::make_shared<frmToast>();
    popupWin_->Source(Document);
    const std::pair<const char*, const char*> kBindings[] = {{"iPopup", "iPopup"}, {"Duration", "PopupClose"}};
    for (const auto& binding : kBindings) {
        forms::ResumeNext([&] {
            const auto& [id, member] = binding;
            web::HTMLElement e = Document.all(id);
            if (e.isNull()) return;
            auto forward = std::make_shared<clsForward>();
            forward->Set_Destination(popupWin_, member);
            e.setEvent("onclick", forward);
        });
    }
}

void frmFXNotify::ShowToast(const std::string& html, bool newFound) {
    // The text is kept even when the toast is switched off.
    if (html.empty() || !newFound) return;
    ToastHtml_ = html;
    if (!storedFlag("Settings/FXNews/Popup", "Checked")) return;
    // The toast takes at most a third of the screen's height; its text scrolls beyond.
    bool laidOut = false;
    forms::ResumeNext([&] {
        web::HTMLElement body = el("popupWin_BodyText"), box = el("popupWin");
        body.style().set("height", "");
        body.innerHTML(html);
        box.style().display("");
        const long maxHeight = std::lround(win::GetSystemMetrics(win::SM_CYSCREEN) / 3.0);
        if (box.offsetHeight() > maxHeight) body.style().set("height", std::to_string(maxHeight) + "px");
        laidOut = true;
    });
    if (!laidOut) return;
    // Another program filling the screen holds the toast back; the desktop does not count.
    if (storedFlag("Settings/FXNews/Popup/DetectFSApp", "Checked")) {
        const win::HWND front = win::GetForegroundWindow();
        const std::string cls = front ? mWindow::GetClassNameString(front) : std::string();
        win::RECT r{};
        if (front && cls != "WorkerW" && cls != "Progman" && win::GetWindowRect(front, &r) &&
            r.right - r.left >= win::GetSystemMetrics(win::SM_CXSCREEN) &&
            r.bottom - r.top >= win::GetSystemMetrics(win::SM_CYSCREEN))
            return;
    }
    // No duration leaves the toast up until it is closed.
    std::string duration;
    if (storedFlag("Settings/FXNews/Popup/Duration", "Checked")) {
        const double ms = settingNumber(settingText("Settings/FXNews/Popup/Duration", "SelValue")) * 1000;
        if (std::isfinite(ms)) duration = forms::CStr(ms);
    }
    forms::ResumeNext([&] {
        el("Duration").value(duration);
        el("iPopup").FireEvent("onClick");
    });
}

// ---- Item links ------------------------------------------------------------------------------

void frmFXNotify::ClickLink() {
    std::string address;
    forms::ResumeNext([&] { address = forms::Trim(el("iLink").value()); });
    // Only a web address reaches the viewer; the page hands over whatever it was given.
    const std::string checked = inert::checkedLink(address, address);
    if (checked.empty()) return;
    if (OpenItem) OpenItem(checked);
}
