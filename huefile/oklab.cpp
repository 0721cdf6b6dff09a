#include "huefile/oklab.h"

#include "huefile/colour.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double ChannelTop = 31.0;

struct LinearRgb {
    double red;
    double green;
    double blue;
};

double Linear(double encoded)
{
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

double Encoded(double linear)
{
    return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

Oklab ToOklab(const LinearRgb &c)
{
    const double l =
        std::cbrt(0.4122214708 * c.red + 0.5363325363 * c.green + 0.0514459929 * c.blue);
    const double m =
        std::cbrt(0.2119034982 * c.red + 0.6806995451 * c.green + 0.1073969566 * c.blue);
    const double s =
        std::cbrt(0.0883024619 * c.red + 0.2817188376 * c.green + 0.6299787005 * c.blue);
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
            1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

LinearRgb FromOklab(const Oklab &c)
{
    const double l = std::pow(c.L + 0.3963377774 * c.a + 0.2158037573 * c.b, 3);
    const double m = std::pow(c.L - 0.1055613458 * c.a - 0.0638541728 * c.b, 3);
    const double s = std::pow(c.L - 0.0894841775 * c.a - 1.2914855480 * c.b, 3);
    return {4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s,
            -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s,
            -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s};
}

// Out-of-gamut colours come back with linear values below 0 or above 1; clamping the encoded
// value keeps the nearest channel a hue file can hold.
int Channel(double linear)
{
    const double encoded = linear < 0 ? 0.0 : Encoded(std::min(linear, 1.0));
    return static_cast<int>(std::lround(std::clamp(encoded, 0.0, 1.0) * ChannelTop));
}

double Between(double from, double to, double t)
{
    return from + (to - from) * t;
}

} // namespace

Oklab OklabFromSrgb(double red, double green, double blue)
{
    return ToOklab({Linear(red), Linear(green), Linear(blue)});
}

Oklab OklabOfScreenColour(DisplayColour colour)
{
    constexpr double ByteTop = 255.0;
    return OklabFromSrgb((colour & 0xFF) / ByteTop, ((colour >> 8) & 0xFF) / ByteTop,
                         ((colour >> 16) & 0xFF) / ByteTop);
}

Oklab OklabOfHueColour(HueColour word)
{
    const DisplayColour colour = HueWordToDisplay(word);
    return OklabFromSrgb(RedOf(colour) / ChannelTop, GreenOf(colour) / ChannelTop,
                         BlueOf(colour) / ChannelTop);
}

double OklabDistance(const Oklab &x, const Oklab &y)
{
    return std::hypot(x.L - y.L, x.a - y.a, x.b - y.b);
}

DisplayColour OklabGradientColour(DisplayColour lo, DisplayColour hi, int k, int span)
{
    const Oklab from = OklabOfHueColour(DisplayToHue(lo));
    const Oklab to = OklabOfHueColour(DisplayToHue(hi));
    const double t = static_cast<double>(k) / span;
    const LinearRgb mixed =
        FromOklab({Between(from.L, to.L, t), Between(from.a, to.a, t), Between(from.b, to.b, t)});
    return DisplayFromChannels(Channel(mixed.red), Channel(mixed.green), Channel(mixed.blue));
}
