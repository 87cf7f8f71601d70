#pragma once
// The run-time's Format for the patterns this program uses, in the zh-CN locale.
//
// Numbers:
//   "0" digit or zero, "#" digit or nothing, "." decimal point, "," thousands grouping between
//   digit placeholders (a "," with no placeholder after it divides by 1000), "%" (times 100),
//   "\x" and "..." literals, other characters as they stand; up to three sections
//   "positive;negative;zero". Rounding is half away from zero on the value's 15 significant
//   digits, so Format(1.005, "0.00") is "1.01". Examples: "0.00", "00", "000.00", "0.00000",
//   "#,##0", "#,##0.00", "0%".
//   Named: "General Number", "Fixed", "Standard", "Percent", "Currency" (¥), "Yes/No",
//   "True/False", "On/Off".
// Dates and times:
//   yyyy yy y(day of year) q m mm mmm mmmm (month; minutes after h/hh or before s/ss) d dd
//   ddd dddd (星期一) ddddd (short date) dddddd (long date) w ww h hh n nn s ss ttttt c,
//   AM/PM am/pm A/P a/p (12-hour clock) and AMPM (上午/下午). "/" and ":" are written as they
//   stand. Examples: "yyyy-mm-dd", "hh:mm:ss", "hh:nn", "yyyy-mm-dd hh:nn:ss", "mm/dd hh:nn",
//   "dddd".
//   Named: "General Date", "Long Date", "Medium Date", "Short Date", "Long Time", "Medium Time",
//   "Short Time".
// An empty pattern gives the value as CStr gives it. A number given a date pattern is read as a
// date serial; a text is formatted as the number or the date it holds, otherwise returned as is.
#include "DateTime.h"
#include "Variant.h"

#include <string>
#include <string_view>

namespace forms {

std::string Format(double v, std::string_view pattern = {});
std::string Format(DateTime d, std::string_view pattern = {});
std::string Format(std::string_view text, std::string_view pattern = {});
inline std::string Format(const char* text, std::string_view pattern = {}) {
    return Format(std::string_view(text), pattern);
}
inline std::string Format(const std::string& text, std::string_view pattern = {}) {
    return Format(std::string_view(text), pattern);
}
std::string Format(const Variant& v, std::string_view pattern = {});

} // namespace forms
