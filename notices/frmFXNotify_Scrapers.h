#pragma once
// How the news sites' pages are cut down to the part that holds their items. Each cut is plain
// text work on the page as downloaded; an empty result means the page does not have the part.
#include <string>

namespace scrapers {

// The CaiXun list: from its left column's opening tag to just before its right column's.
std::string cutCaiXun(const std::string& page);
// The DailyFX news table: the second table marked as an article table, nested tables included.
std::string cutDailyfxNews(const std::string& page);
// The DailyFX technical comment: the first article table, to the end of its first table tag.
std::string cutDailyfxTechs(const std::string& page);
// The analyst list: the first table of the page.
std::string cutAnalysts(const std::string& page);

// A DailyFX date and time as the news table's time cell shows them: "3月5日" and "14:30" give
// "03/05 14:30 ". Empty for a date that is not a month 1-12 and a day 1-31 of one or two digits
// each; a time of day that is no clock ("H:MM", "HH:MM") is left out.
std::string dailyfxTime(const std::string& date, const std::string& time);

// A list cut down to its first items, so that a huge page is read only as far as the items that
// will be taken: the text before the start of item number items + 1, and before the last item
// that would reach past maxBytes. An item starts at the tag that holds the marker ("<tr", or a
// class name such as "cot_block_line"), found without regard to case.
std::string firstItems(const std::string& list, const std::string& marker, size_t items, size_t maxBytes);

} // namespace scrapers
