#pragma once

#include "huefile/hue_entry.h"

// A 5-bit channel c shows on screen as the byte c * 8, so the brightest byte is 248.
constexpr DisplayColour HueWordToDisplay(HueColour w)
{
    const DisplayColour red = ((w >> 10) & 31) * 8;
    const DisplayColour green = ((w >> 5) & 31) * 8;
    const DisplayColour blue = (w & 31) * 8;
    return red + green * 256 + blue * 65536;
}

inline DisplayColour HueToDisplay(const HueEntry &entry, int index)
{
    return HueWordToDisplay(entry.colours[index]);
}

// Drops the low 3 bits of each channel (truncation); bit 15 of the result is always 0.
constexpr HueColour DisplayToHue(DisplayColour colour)
{
    const unsigned r = (colour >> 3) & 31;
    const unsigned g = (colour >> 11) & 31;
    const unsigned b = (colour >> 19) & 31;
    return static_cast<HueColour>(r * 1024 + g * 32 + b);
}

// 5-bit channels of a display colour.
constexpr int RedOf(DisplayColour colour)
{
    return (colour >> 3) & 31;
}
constexpr int GreenOf(DisplayColour colour)
{
    return (colour >> 11) & 31;
}
constexpr int BlueOf(DisplayColour colour)
{
    return (colour >> 19) & 31;
}

// Display colour from 5-bit channels.
constexpr DisplayColour DisplayFromChannels(int red, int green, int blue)
{
    return (static_cast<DisplayColour>(red) << 3) + (static_cast<DisplayColour>(green) << 11) +
           (static_cast<DisplayColour>(blue) << 19);
}
