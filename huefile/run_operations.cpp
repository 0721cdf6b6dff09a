#include "huefile/run_operations.h"

#include "huefile/colour.h"
#include "huefile/gradient.h"
#include "huefile/oklab.h"

#include <algorithm>
#include <utility>

void SpreadRun(HueEntry &entry, int lower, int upper, SpreadSpace space)
{
    const int span = upper - lower;
    if (span < 1)
        return;
    const DisplayColour lo = HueToDisplay(entry, lower);
    const DisplayColour hi = HueToDisplay(entry, upper);
    if (space == SpreadSpace::Rgb) {
        for (int j = lower; j < upper; ++j)
            entry.colours[j] = DisplayToHue(GradientColour(lo, hi, j - lower, span));
        return;
    }
    for (int j = lower + 1; j < upper; ++j)
        entry.colours[j] = DisplayToHue(OklabGradientColour(lo, hi, j - lower, span));
}

void ReverseRun(HueEntry &entry, int lower, int upper)
{
    std::reverse(entry.colours + lower, entry.colours + upper + 1);
}

void RotateRun(HueEntry &entry, int lower, int upper, bool left)
{
    HueColour *first = entry.colours + lower;
    HueColour *end = entry.colours + upper + 1;
    if (first == end)
        return;
    std::rotate(first, left ? first + 1 : end - 1, end);
}

void SwapRunEnds(HueEntry &entry, int lower, int upper)
{
    std::swap(entry.colours[lower], entry.colours[upper]);
}
