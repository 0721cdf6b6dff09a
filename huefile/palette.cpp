#include "huefile/palette.h"

#include "huefile/colour.h"

#include <algorithm>

namespace {

constexpr int MaxChannel = 31;

// The quantities each sector's channels are made of: e fades the pure hue with the level,
// h is how far the step has run past the level (the first level + 1 steps stay equal), and
// m is the larger of step and level.
struct StepAndLevel {
    int e;
    int h;
    int m;
    int j;
};

StepAndLevel Quantities(int step, int level)
{
    return {MaxChannel - level, step >= level ? step - level : 0, std::max(step, level), level};
}

} // namespace

DisplayColour DarkBandColour(int sector, int step, int level)
{
    const auto [e, h, m, j] = Quantities(step, level);
    switch (sector) {
    case 0:
        return DisplayFromChannels(e, h, 0);
    case 1:
        return DisplayFromChannels(e - h, e, 0);
    case 2:
        return DisplayFromChannels(0, e, h);
    case 3:
        return DisplayFromChannels(0, e - h, e);
    case 4:
        return DisplayFromChannels(h, 0, e);
    default:
        return DisplayFromChannels(e, 0, e - h);
    }
}

DisplayColour BrightBandColour(int sector, int step, int level)
{
    const auto [e, h, m, j] = Quantities(step, level);
    switch (sector) {
    case 0:
        return DisplayFromChannels(MaxChannel, m, j);
    case 1:
        return DisplayFromChannels(MaxChannel - h, MaxChannel, j);
    case 2:
        return DisplayFromChannels(j, MaxChannel, m);
    case 3:
        return DisplayFromChannels(j, MaxChannel - h, MaxChannel);
    case 4:
        return DisplayFromChannels(m, j, MaxChannel);
    default:
        return DisplayFromChannels(MaxChannel, j, MaxChannel - h);
    }
}

DisplayColour StoredPalettePixel(int x, int y)
{
    if (y == 0)
        return PaletteWhite;
    const int sector = x / PaletteStepCount;
    const int step = x % PaletteStepCount;
    // Both bands meet at level 0 in rows 32 and 33, the pure hues.
    if (y <= PaletteLevelCount)
        return BrightBandColour(sector, step, PaletteLevelCount - y);
    return DarkBandColour(sector, step, y - PaletteLevelCount - 1);
}
