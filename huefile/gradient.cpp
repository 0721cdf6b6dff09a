#include "huefile/gradient.h"

namespace {

int ChannelStep(DisplayColour lo, DisplayColour hi, int shift, int k, int span)
{
    const int low = static_cast<int>((lo >> shift) & 0xFF);
    const int high = static_cast<int>((hi >> shift) & 0xFF);
    // C++ integer division truncates toward zero, as the gradient requires.
    return (low + (high - low) * k / span) & 0xF8;
}

} // namespace

DisplayColour GradientColour(DisplayColour lo, DisplayColour hi, int k, int span)
{
    const DisplayColour red = ChannelStep(lo, hi, 0, k, span);
    const DisplayColour green = ChannelStep(lo, hi, 8, k, span);
    const DisplayColour blue = ChannelStep(lo, hi, 16, k, span);
    return red + green * 256 + blue * 65536;
}
