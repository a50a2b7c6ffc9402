// Tone and colour drop-out of a scanned side.
//
// Tone: gamma, brightness and contrast are percentages where 100 leaves
// the page as it is; they reach the toolkit's light curve as
//   brightness b: an offset of (b - 100) % of full scale (0..200),
//   contrast c:   the toolkit's contrast c - 100 around mid-grey (0..200),
//   gamma g:      255 * (v / 255) ^ (100 / g), so above 100 lightens the
//                 mid-tones and below darkens them (10..1000).
// Drop-out: one colour channel taken as the grey page, so what is printed
// in that colour (a red form on the red channel) turns as light as paper.
//
// Thread safety: pure functions over images the caller owns.
#pragma once

#include "image_owner.h"

namespace dociva_sdk {

inline constexpr int kToneUnchanged = 100;

struct Tone {
    int gamma = kToneUnchanged;
    int brightness = kToneUnchanged;
    int contrast = kToneUnchanged;
    bool unchanged() const {
        return gamma == kToneUnchanged && brightness == kToneUnchanged && contrast == kToneUnchanged;
    }
};

enum class DropOut { None = 0, Red = 1, Green = 2, Blue = 3 };

// A record's value for gamma, brightness or contrast in our range; not
// set (0 or less) is 100.
int toneGamma(int value);
int toneBrightness(int value);
int toneContrast(int value);
// colorDropOut 1..3; anything else is None.
DropOut dropOutOf(int value);

// The page with tone applied: the page itself when the tone leaves it
// unchanged, empty on failure.
ImageOwner toned(ImageOwner page, const Tone& tone);

// The chosen channel of a colour page as a grey page; the page itself when
// drop-out is off or the page has no colour; empty on failure.
ImageOwner droppedOut(ImageOwner page, DropOut channel);

}  // namespace dociva_sdk
