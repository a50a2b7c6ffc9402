#include "output/file_name_generate.h"

#include "platform/path.h"
#include "platform/text.h"

namespace {

constexpr std::size_t kMaxUnits = platform::kMaxPathUnits;

// Replaces the first occurrence of token; returns where the replacement
// starts (npos when the token is absent). The result is cut to 259 units.
std::size_t replaceFirst(std::u16string& s, std::u16string_view token, std::u16string_view by) {
    const std::size_t at = s.find(token);
    if (at == std::u16string::npos) return at;
    s.replace(at, token.size(), by);
    if (s.size() > kMaxUnits) s.resize(kMaxUnits);
    return at;
}

// The SDK writes its counter where the expansion leaves this place.
std::u16string counterPlace(int digits) { return text::format(u"%%0%dd", digits); }

}  // namespace

CFileNameGenerate::CFileNameGenerate(const char16_t* p) : CFileNameGenerate(p, Clock()) {}

CFileNameGenerate::CFileNameGenerate(const char16_t* p, Clock clock) : clock_(std::move(clock)) {
    pattern = text::cut(text::view(p), kMaxUnits);
    int value = 0;
    for (int n = 0; n < 9; ++n) {
        value = value * 10 + 9;
        maxCounter[n] = value;
    }
}

CFileNameGenerate::~CFileNameGenerate() = default;

int CFileNameGenerate::Generate(char16_t* buffer, int size, bool* hasCounter) {
    if (hasCounter) *hasCounter = false;
    counterOffset_ = std::u16string::npos;
    if (!buffer || size <= 0) return 0;

    const platform::LocalTime t = clock_ ? clock_() : platform::localTime();
    std::u16string s = pattern.empty() ? std::u16string(kDefaultPattern) : pattern;

    replaceFirst(s, u"%YYYY%", text::format(u"%d", t.year));
    replaceFirst(s, u"%MM%", text::format(u"%02d", t.month));
    replaceFirst(s, u"%DD%", text::format(u"%02d", t.day));
    replaceFirst(s, u"%HH%", text::format(u"%02d", t.hour));
    replaceFirst(s, u"%MIN%", text::format(u"%02d", t.minute));
    replaceFirst(s, u"%SEC%", text::format(u"%02d", t.second));
    replaceFirst(s, u"%MSEC%", text::format(u"%d", t.milliseconds));
    replaceFirst(s, u"%BARCODE_NUMBER%", u"Not_Found");

    counterDigits = 0;
    std::size_t placeLength = 0;
    for (int n = 1; n <= 9; ++n) {
        const std::u16string place = counterPlace(n);
        const std::size_t at = replaceFirst(s, text::format(u"%%COUNTER%d%%", n), place);
        if (at == std::u16string::npos) continue;
        counterDigits = n;
        counterOffset_ = at;
        placeLength = place.size();
        break;
    }

    const std::size_t written = text::copyBounded(buffer, static_cast<std::size_t>(size), s);
    // A place cut off by the 259-unit limit or the caller's buffer is no
    // place the SDK could fill.
    if (counterOffset_ != std::u16string::npos && counterOffset_ + placeLength > written)
        counterOffset_ = std::u16string::npos;
    if (hasCounter) *hasCounter = counterOffset_ != std::u16string::npos;
    return static_cast<int>(written);
}

std::u16string CFileNameGenerate::Example(std::u16string_view generated) const {
    std::u16string out(generated);
    if (counterOffset_ == std::u16string::npos || counterDigits < 1) return out;
    const std::u16string place = counterPlace(counterDigits);
    if (counterOffset_ + place.size() > out.size() || out.compare(counterOffset_, place.size(), place) != 0) return out;
    out.replace(counterOffset_, place.size(), std::u16string(static_cast<std::size_t>(counterDigits - 1), u'0') + u"1");
    return out;
}
