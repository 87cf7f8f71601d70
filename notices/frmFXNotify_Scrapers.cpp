// The notice window's news-source scrapers: the CaiXun list, the DailyFX news table and technical
// comment, and the member service's analyst list. Pages are read inertly; everything taken from
// them reaches the notice page as escaped text or as a checked link.
#include "frmFXNotify_Scrapers.h"

#include "InertHtml.h"
#include "frmFXNotify.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/DateTime.h"
#include "platform/forms/Strings.h"
#include "platform/net/Http.h"
#include "platform/system/Machine.h"

#include <cctype>
#include <cstdio>

namespace scrapers {
namespace {

// The character before a byte position, whole even when it is more than one byte of UTF-8.
size_t previousCharacter(const std::string& s, size_t pos) {
    if (pos == 0) return 0;
    size_t p = pos - 1;
    while (p > 0 && (static_cast<unsigned char>(s[p]) & 0xC0) == 0x80) --p;
    return p;
}

const std::string kArticleTable = "class=\"articles_tbl\"";

// One or two ASCII digits, at most high; -1 for anything else.
int smallNumber(const std::string& s, int high) {
    if (s.empty() || s.size() > 2) return -1;
    int n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n <= high ? n : -1;
}

} // namespace

std::string cutCaiXun(const std::string& page) {
    const size_t left = page.find("<div class=\"left\">");
    if (left == std::string::npos) return "";
    const size_t right = page.find("<div class=\"right\">", left);
    if (right == std::string::npos) return "";
    // The one character before the right column is left out.
    return page.substr(left, previousCharacter(page, right) - left);
}

std::string cutDailyfxNews(const std::string& page) {
    const size_t first = page.find(kArticleTable);
    if (first == std::string::npos) return "";
    const size_t marker = page.find(kArticleTable, first + 1);
    if (marker == std::string::npos) return "";
    // Nested tables open and close inside the list; every find moves on, so the walk ends.
    int depth = 1;
    size_t found = marker;
    while (depth > 0) {
        found = page.find("table", found + 5);
        if (found == std::string::npos) return "";
        if (page[found - 1] == '<') ++depth;
        else if (page[found - 1] == '/') --depth;
    }
    return "<table " + page.substr(marker, found - marker) + "table>";
}

std::string cutDailyfxTechs(const std::string& page) {
    const size_t marker = page.find(kArticleTable);
    if (marker == std::string::npos) return "";
    const size_t end = page.find("</table", marker);
    if (end == std::string::npos) return "";
    return "<table " + page.substr(marker, end - marker) + "</table>";
}

std::string cutAnalysts(const std::string& page) {
    const size_t start = page.find("<table");
    if (start == std::string::npos) return "";
    const size_t end = page.find("</table>", start);
    if (end == std::string::npos) return "";
    return page.substr(start, end + 8 - start);
}

std::string dailyfxTime(const std::string& date, const std::string& time) {
    const std::string d = forms::Trim(date), month = "月", day = "日";
    const size_t m = d.find(month);
    if (m == std::string::npos || !d.ends_with(day) || m + month.size() > d.size() - day.size()) return "";
    const int mm = smallNumber(d.substr(0, m), 12);
    const int dd = smallNumber(d.substr(m + month.size(), d.size() - day.size() - m - month.size()), 31);
    if (mm < 1 || dd < 1) return "";
    char b[16];
    std::snprintf(b, sizeof b, "%02d/%02d ", mm, dd);
    // The time of day: an hour of one or two digits, a colon and two digits of minutes.
    const std::string t = forms::Trim(time);
    const size_t colon = t.find(':');
    const bool clock = colon != std::string::npos && colon + 3 == t.size() &&
                       smallNumber(t.substr(0, colon), 23) >= 0 && smallNumber(t.substr(colon + 1), 59) >= 0;
    return clock ? b + t + " " : b;
}

std::string firstItems(const std::string& list, const std::string& marker, size_t items, size_t maxBytes) {
    const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    const auto at = [&](size_t p) {
        for (size_t i = 0; i < marker.size(); ++i)
            if (lower(list[p + i]) != lower(marker[i])) return false;
        // "<tr" is no "<track"; a class "line" is no "line2", "line_title" or "line-title".
        const size_t after = p + marker.size();
        if (after >= list.size()) return true;
        const unsigned char next = static_cast<unsigned char>(list[after]);
        return !std::isalnum(next) && next != '_' && next != '-';
    };
    size_t seen = 0, lastFit = 0;
    for (size_t p = 0; p + marker.size() <= list.size(); ++p) {
        if (lower(list[p]) != lower(marker[0]) || !at(p)) continue;
        const size_t start = marker[0] == '<' ? p : list.rfind('<', p);
        if (start == std::string::npos) continue;
        // The item before this one runs past the limit: it goes, and everything after it.
        if (start > maxBytes) return list.substr(0, lastFit);
        if (++seen > items) return list.substr(0, start);
        lastFit = start;
        p += marker.size() - 1;
    }
    return list.size() <= maxBytes ? list : list.substr(0, lastFit);
}

} // namespace scrapers

namespace {

constexpr const char* kSeparator = "<HR style='border:1 dashed #987cb9' SIZE=1 >";

// The DailyFX image server's picture that heads a technical comment, reached like the sites are.
std::string techsPicture() {
    const std::string url = frmFXNotify::siteBase(frmFXNotify::kDailyFXSite) +
                            "/tfx_share2/images/menu2/mnu_tn_te_chg_sc.gif";
    const std::string mapped = net::Http::of(sys::Machine::current()).mapUrl(url);
    return inert::checkedLink(mapped, mapped);
}

std::string localStamp() {
    const forms::DateTime now = forms::Now();
    char b[32];
    std::snprintf(b, sizeof b, "%02d/%02d %02d:%02d", forms::Month(now), forms::Day(now), forms::Hour(now),
                  forms::Minute(now));
    return b;
}

} // namespace

std::string frmFXNotify::toastEntry(const char* image, const std::string& time, const std::string& headline,
                                    const std::string& link, const std::string& tail) {
    // The entry's parts are escaped where they are put, so no text of a page can close the
    // attribute or the element it stands in.
    const std::string text = inert::escapeHtml(time) + "&nbsp;" + inert::escapeHtml(headline) + tail;
    const std::string picture = std::string("<img src='") + image + "' align='absbottom'/>&nbsp;";
    if (link.empty()) return picture + "<span>" + text + "</span>";
    return picture + "<span style='text-decoration:underline' class='popupText' data-link='" +
           inert::escapeHtml(link) + "'>" + text + "</span>";
}

void frmFXNotify::gatherToast(const std::string& entry) {
    if (!NewItemsHtml.empty()) NewItemsHtml += kSeparator;
    NewItemsHtml += entry;
}

void frmFXNotify::scrapeSource(int slot) {
    const FeedSource& s = FeedSources.at(static_cast<size_t>(slot));
    switch (slot) {
    case 3: processCaiXun(s.Content, s.URL); break;
    case 2: processDailyfxNews(s.Content); break;
    case 9: processDailyfxTechs(s.Content); break;
    case 16: processAnalysts(s.Content); break;
    default: break;
    }
}

void frmFXNotify::processCaiXun(const std::string& content, const std::string& pageUrl) {
    const std::string part = scrapers::cutCaiXun(content);
    if (part.empty()) return;
    const inert::Fragment page =
        inert::Fragment::parse(scrapers::firstItems(part, "cot_block_line", kItemsPerSource, kListBytes));
    // New is measured against earlier polls, and a row is visible where its tab is open.
    beginRead();
    TabShows = CurrentPane_ == "iAllFX" || CurrentPane_ == "iCaiXun";
    const std::string label = "<Font size='-5' color='#1CB51B'>- 财讯外汇</font>";
    size_t items = 0;
    for (const inert::Element& block : page.byTag("div")) {
        if (items == kItemsPerSource) break;
        forms::ResumeNext([&] {
            if (block.attr("class") != "cot_block_line") return;
            const auto inner = block.descendants("div");
            if (inner.size() != 2) return;
            const auto anchors = inner[0].descendants("a");
            if (anchors.empty()) return;
            ++items;
            const std::string headline = inner[0].text();
            const std::string time = forms::Replace(inner[1].text(), "-", "/");
            if (headline.empty() || alreadySeen(headline) || time.empty()) return;
            // A "###" address is no link, nor is one that does not check out.
            const std::string href = anchors[0].attr("href");
            const std::string link =
                href.find("###") == std::string::npos ? inert::checkedLink(href, pageUrl) : std::string();
            NewsRow row;
            row.className = "CaiXun";
            row.tipWord = "b_CaiXun";
            row.time = time;
            row.textHtml = link.empty() ? inert::escapeHtml(headline) + "&nbsp;" + label
                                        : "<a href='" + inert::escapeHtml(link) +
                                              "' target=_blank style='text-decoration:underline'>" +
                                              inert::escapeHtml(headline) + "&nbsp;</a>" + label;
            row.text = headline + " - 财讯外汇";
            // Before the first batch is shown the table is filtered as a whole; after, row by row.
            row.shown = NewsShown_ ? TabShows && Filter(headline + "/") : TabShows;
            if (!insertRow(row)) return;
            NewFound = true;
            if (PopFilter(headline)) gatherToast(toastEntry("CaiXun.gif", time, headline, link));
        });
    }
}

void frmFXNotify::processDailyfxNews(const std::string& content) {
    const std::string part = scrapers::cutDailyfxNews(content);
    if (part.empty()) return;
    // Each item is a row and its summary's row.
    const inert::Fragment page =
        inert::Fragment::parse(scrapers::firstItems(part, "<tr", 2 * kItemsPerSource + 2, kListBytes));
    const auto tables = page.byTag("table");
    if (tables.empty()) return;
    const auto rows = tables[0].rows();
    beginRead();
    TabShows = CurrentPane_ == "iAllFX" || CurrentPane_ == "iDailyfx";
    const std::string label = "<Font size='-5' color='#FF813A'>- DailyFX</font>";
    size_t items = 0;
    for (size_t i = 1; i < rows.size() && items < kItemsPerSource; ++i) {
        forms::ResumeNext([&] {
            const auto cells = rows[i].cells();
            if (cells.size() != 4) return;
            ++items;
            // The key is what the row's time and text cells read as, so a second poll
            // finds the item it added. A date that cannot be read leaves the row without a time.
            const std::string date = cells[0].text();
            const std::string time = scrapers::dailyfxTime(date, cells[1].text());
            const std::string headline = cells[3].text();
            if (date.empty() || headline.empty()) return;
            if (alreadySeen(inert::normaliseText(time + headline))) return;
            NewsRow row;
            row.className = "Dailyfx";
            row.tipWord = "b_Dailyfx";
            row.time = time;
            row.textHtml = inert::escapeHtml(headline);
            row.text = headline;
            std::string toast;
            const auto next = i + 1 < rows.size() ? rows[i + 1].cells() : std::vector<inert::Element>();
            if (next.size() == 2) {
                const std::string summary = next[1].text();
                const bool repeats = summary.find(headline) != std::string::npos;
                row.textHtml += "&nbsp;" + label;
                row.text += " - DailyFX";
                std::string tail;
                if (!repeats) {
                    row.textHtml += "<br/><font style='color:#0000FF'>" + inert::escapeHtml(summary) + "</font>";
                    row.text += " " + summary;
                    tail = "(<font style='color:#0000FF'>" + inert::escapeHtml(summary) + "</font>)";
                }
                toast = toastEntry("Dailyfx.gif", time, headline, "", tail);
            }
            row.shown = NewsShown_ ? TabShows && Filter(headline + "/") : TabShows;
            if (!insertRow(row)) return;
            NewFound = true;
            if (PopFilter(headline) && !toast.empty()) gatherToast(toast);
        });
    }
}

void frmFXNotify::processDailyfxTechs(const std::string& content) {
    // The comment is three rows: the pair, the title and the comment itself.
    const std::string part = scrapers::cutDailyfxTechs(content);
    if (part.empty()) return;
    const inert::Fragment page = inert::Fragment::parse(scrapers::firstItems(part, "<tr", 3, kListBytes));
    const auto tables = page.byTag("table");
    if (tables.empty()) return;
    const auto rows = tables[0].rows();
    if (rows.size() < 3) return;
    const auto first = rows[0].cells(), third = rows[2].cells();
    if (first.size() < 2 || third.empty()) return;
    // The comment's text tells whether it is new.
    beginRead();
    const std::string key = third[0].text();
    if (key.empty() || alreadySeen(key)) return;
    const std::string title = rows[1].text(), pair = first[1].text(), comment = rows[2].text();
    const std::string itemHtml = "<font style='font-weight:bold'>" + inert::escapeHtml(title) + " --- " +
                                 inert::escapeHtml(pair) +
                                 "</font>&nbsp;<Font size='-5' color='#FF813A'>- DailyFX</font><br/>"
                                 "<font style='color:#0000FF'>" + inert::escapeHtml(comment) + "</font><br/>";
    // The filters weigh the comment's words, not its markup.
    const std::string itemText = title + " --- " + pair + " - DailyFX " + comment;
    const std::string picture = techsPicture();
    const std::string image = picture.empty() ? "" : "<img src='" + inert::escapeHtml(picture) + "'";
    NewsRow row;
    row.className = "Dailyfx";
    row.tipWord = "b_Dailyfx";
    row.time = localStamp();
    row.textHtml = (image.empty() ? "" : image + "><br/>") + itemHtml;
    row.text = itemText;
    // It leaves NewFound alone: on its own it neither sorts the table nor raises the toast.
    TabShows = CurrentPane_ == "iAllFX" || CurrentPane_ == "iDailyfx";
    row.shown = NewsShown_ ? TabShows && Filter(itemText + "/") : TabShows;
    if (!insertRow(row)) return;
    if (PopFilter(itemText))
        gatherToast((image.empty() ? "" : image + " align='absbottom'/>&nbsp;") + itemHtml);
}

void frmFXNotify::processAnalysts(const std::string& content) {
    const std::string part = scrapers::cutAnalysts(content);
    if (part.empty()) return;
    const inert::Fragment page = inert::Fragment::parse(scrapers::firstItems(part, "<tr", kItemsPerSource, kListBytes));
    const auto tables = page.byTag("table");
    if (tables.empty()) return;
    // The analysts become the choices of the filter bar's analyst list.
    std::string html = "<select id='iBriskTech'><option>全部</option><optgroup label='分类'>";
    for (const inert::Element& tr : tables[0].rows()) html += "<option>" + inert::escapeHtml(tr.text()) + "</option>";
    html += "</optgroup></select>";
    // The new list is a new element: its events are bound again.
    el("iBriskTech").outerHTML(html);
    bindEvent("iBriskTech", "onfocusin", "ClosePopup");
    bindEvent("iBriskTech", "onclick", "Filter");
}
