#pragma once

#include "huefile/hue_entry.h"

// A colour in OKLab: lightness L from 0 (black) to 1 (white), and the opponent axes a (green to
// red) and b (blue to yellow).
struct Oklab {
    double L;
    double a;
    double b;
};

// A colour whose sRGB channels are given from 0 to 1.
Oklab OklabFromSrgb(double red, double green, double blue);

// What a colour typed or pasted as 8-bit channels looks like: each byte c stands for c / 255.
Oklab OklabOfScreenColour(DisplayColour colour);

// What an entry's colour word looks like: each 5-bit channel c stands for c / 31, as the
// gradient below reads them.
Oklab OklabOfHueColour(HueColour word);

// The perceptual difference of two colours, ΔE: their distance in L, a and b.
double OklabDistance(const Oklab &x, const Oklab &y);

// Colour k of a perceptual gradient of span steps from lo to hi. Both ends are read as sRGB
// with each 5-bit channel c standing for c / 31, taken into OKLab, interpolated there in L, a
// and b, and brought back; each channel is rounded to the nearest of 0 to 31 and clamped where
// the colour lies outside what sRGB can show. The result has 5 significant bits per channel,
// as every colour an entry holds.
DisplayColour OklabGradientColour(DisplayColour lo, DisplayColour hi, int k, int span);
