#pragma once

#include "huefile/hue_entry.h"

// The picker's palette: six sectors of 32 hue steps each, left to right red, yellow, green,
// cyan, blue, magenta, and 32 levels per band. A column x is step x % 32 of sector x / 32.
constexpr int PaletteSectorCount = 6;
constexpr int PaletteStepCount = 32;
constexpr int PaletteLevelCount = 32;
constexpr int PaletteWidth = PaletteSectorCount * PaletteStepCount;
// Row 0 is white, then the bright band (rows 1 to 32) and the dark band (rows 33 to 64).
constexpr int PaletteHeight = 1 + 2 * PaletteLevelCount;

// All three channels at 31.
constexpr DisplayColour BrightestDisplayColour = 0xF8F8F8;
// The one colour of the stored palette whose bytes are not multiples of 8.
constexpr DisplayColour PaletteWhite = 0xFFFFFF;

// Dark band: level 0 is the sector's pure hue, each level darkens it one step towards black.
DisplayColour DarkBandColour(int sector, int step, int level);

// Bright band: level 0 is the sector's pure hue, each level lightens it one step towards white.
DisplayColour BrightBandColour(int sector, int step, int level);

// The bright variant that the picker draws: the complement of the dark band colour.
constexpr DisplayColour BrightVariantColour(DisplayColour darkBandColour)
{
    return BrightestDisplayColour - darkBandColour;
}

// Pixel (x, y) of the palette picture stored with the window, 0 <= x < 192, 0 <= y < 65.
DisplayColour StoredPalettePixel(int x, int y);
