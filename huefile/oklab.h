#pragma once

#include "huefile/hue_entry.h"

// Colour k of a perceptual gradient of span steps from lo to hi. Both ends are read as sRGB
// with each 5-bit channel c standing for c / 31, taken into OKLab, interpolated there in L, a
// and b, and brought back; each channel is rounded to the nearest of 0 to 31 and clamped where
// the colour lies outside what sRGB can show. The result has 5 significant bits per channel,
// as every colour an entry holds.
DisplayColour OklabGradientColour(DisplayColour lo, DisplayColour hi, int k, int span);
