#pragma once

#include "huefile/hue_entry.h"

#include <vector>

// How far an entry lies from a colour, in OKLab ΔE: from its closest colour, or from all 32
// on average.
enum class ColourMeasure { Nearest, Mean };

// An entry number (from 1) and its distance to the colour looked for.
struct RankedEntry {
    int entry = 0;
    double distance = 0;
};

// The entries entries[i] (entry i + 1) from the nearest to `target` to the farthest; entries
// at the same distance keep their order. Entries that are not whole (whole[i] false) and
// empty ones (IsEmptyEntry) are left out: they hold no colour anyone chose.
// The target's 8-bit channels are read as they are; the entries' 5-bit ones as c / 31.
std::vector<RankedEntry> RankByColour(const std::vector<HueEntry> &entries,
                                      const std::vector<bool> &whole, DisplayColour target,
                                      ColourMeasure measure);
