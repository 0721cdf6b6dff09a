#pragma once

#include "huefile/hue_entry.h"

// What the editor's run operations and the command line's spread and reverse do to the colours
// from lower to upper, both ends included, 0 <= lower <= upper < 32.

enum class SpreadSpace { Rgb, Oklab };

// Rgb writes the linear gradient from the lower end up to but not including the upper end,
// every word composed afresh; the upper end keeps its word. Oklab writes only the colours
// between the ends, so both ends keep their words, bit 15 included.
void SpreadRun(HueEntry &entry, int lower, int upper, SpreadSpace space);

// These move whole words, bit 15 with them.
void ReverseRun(HueEntry &entry, int lower, int upper);
void RotateRun(HueEntry &entry, int lower, int upper, bool left);
void SwapRunEnds(HueEntry &entry, int lower, int upper);
