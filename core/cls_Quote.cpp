#include "cls_Quote.h"

#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/speech/SpeechApi.h"
#include "platform/system/CodePage.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// A plain decimal number as the terminal writes prices (sign, digits, one optional point),
// split into its parts: the whole digits without leading zeros, the fraction without trailing.
struct PlainNumber {
    bool negative = false;
    std::string_view whole, fraction;
};
bool plainNumber(std::string_view s, PlainNumber& n) {
    size_t i = 0;
    n.negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) ++i;
    const size_t start = i;
    size_t point = std::string_view::npos;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.' && point == std::string_view::npos) point = i;
        else if (c < '0' || c > '9') return false;
    }
    const size_t end = point == std::string_view::npos ? s.size() : point;
    if (end == start && (point == std::string_view::npos || point + 1 == s.size())) return false;  // no digits
    n.whole = s.substr(start, end - start);
    n.fraction = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
    while (!n.whole.empty() && n.whole.front() == '0') n.whole.remove_prefix(1);
    while (!n.fraction.empty() && n.fraction.back() == '0') n.fraction.remove_suffix(1);
    if (n.whole.empty() && n.fraction.empty()) n.negative = false;  // -0 is 0
    return true;
}

// Compares two plain numbers by value, exactly and without converting them.
int compareNumbers(const PlainNumber& a, const PlainNumber& b) {
    if (a.negative != b.negative) return a.negative ? -1 : 1;
    int c = 0;
    if (a.whole.size() != b.whole.size()) c = a.whole.size() < b.whole.size() ? -1 : 1;
    else if (int w = a.whole.compare(b.whole)) c = w;
    else if (int f = a.fraction.compare(b.fraction)) c = f;  // no trailing zeros: digit order is value order
    c = c < 0 ? -1 : (c > 0 ? 1 : 0);
    return a.negative ? -c : c;
}

int32_t checked32(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        forms::raise(forms::err::Overflow);
    return static_cast<int32_t>(v);
}

} // namespace

std::string cls_Quote::Price() {
    priceText_ = priceMode_ == -1 ? ask_ : bid_;
    return priceText_;
}

void cls_Quote::BID(std::string v) {
    // Texts of different lengths do not order as prices do (9.99 -> 10.01 would read as a fall),
    // so two numbers compare by value and only anything else by its characters.
    if (v == bid_) {  // the most common tick: nothing to parse
        direction_ = 0;
        return;
    }
    PlainNumber now, before;
    int c;
    if (plainNumber(v, now) && plainNumber(bid_, before))
        c = compareNumbers(now, before);
    else
        c = v.compare(bid_);
    direction_ = static_cast<int16_t>(c > 0 ? 1 : (c < 0 ? -1 : 0));
    bid_ = std::move(v);
}

void cls_Quote::VoiceEnable(bool v) {
    voiceEnable_ = v;
    if (!v) lastPoints_ = 0;
}

int64_t QuotePoints(const std::string& price, bool fractionalPip) {
    // Read from the digits: scaling a double by 10^decimals overflowed for prices without a point
    // (a whole price took the scale of its length) and rounded long ones.
    size_t i = 0;
    const bool negative = i < price.size() && price[i] == '-';
    if (i < price.size() && (price[i] == '-' || price[i] == '+')) ++i;
    int64_t points = 0;
    int digits = 0;
    bool point = false;
    for (; i < price.size(); ++i) {
        const char c = price[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') break;
        if (digits == 18) forms::raise(forms::err::Overflow);
        if (points != 0 || c != '0') ++digits;
        points = points * 10 + (c - '0');
    }
    if (fractionalPip) points /= 10;
    return negative ? -points : points;
}

bool cls_Quote::VoiceStatus(int32_t& movement, int32_t& kind, bool fractionalPip) {
    const int64_t points = QuotePoints(Price(), fractionalPip);

    if (lastPoints_ == 0) {
        if (!enableDelta_ && !enableInterval_) return false;
        lastPoints_ = points;
        movement = 0;
        return true;
    }
    if (points == lastPoints_) return false;

    movement = checked32(points - lastPoints_);
    bool fire = false;
    if (enableInterval_) {
        changeCounter_ = checked32(static_cast<int64_t>(changeCounter_) + 1);
        if (changeCounter_ >= voiceInterval_) {
            changeCounter_ = 0;
            fire = true;
            kind = 1;
        }
    }
    if (enableDelta_ && static_cast<int64_t>(voiceDelta_) <= std::llabs(static_cast<int64_t>(movement)))
        fire = true;
    if (fire) lastPoints_ = points;
    return fire;
}

std::string QuoteVoiceText(cls_Quote& quote, int32_t movement, int32_t kind, bool fractionalPip) {
    std::string text = kind != 0 ? quote.IntervalFormat() : quote.DeltaFormat();
    text = forms::Replace(text, "[别名]", quote.Alias());
    const std::string price = quote.Price();
    text = forms::Replace(text, "[价格]", price);
    if (movement != 0) {
        text = forms::Replace(text, "[方向]", movement >= 1 ? "上涨" : "下跌");
        const int64_t size = std::llabs(static_cast<int64_t>(movement));
        text = forms::Replace(text, "[点差]", std::to_string(size) + "点");
    } else {
        // A first announcement has no movement to tell; saying the placeholder itself is noise.
        text = forms::Replace(text, "[方向]", "");
        text = forms::Replace(text, "[点差]", "");
    }
    const std::string tail = fractionalPip ? forms::Left(forms::Right(price, 3), 2) : forms::Right(price, 2);
    return forms::Replace(text, "[尾数]", tail);
}

void AnnounceQuote(win::ISpeechVoice& speech, cls_Quote& quote, int32_t movement, int32_t kind,
                   bool fractionalPip) {
    const std::u16string text = sys::toUtf16(QuoteVoiceText(quote, movement, kind, fractionalPip));
    speech.Speak(text.c_str(), win::SVSFlagsAsync, nullptr);
}
