#pragma once

#include <cstdint>
#include <vector>

// A picture as rows of pixels, four bytes each in the order red, green, blue, alpha, with no
// padding between rows: the form the png layer decodes to and encodes from, and the one the
// recolouring works on, so that neither needs a toolkit's image class.
struct RgbaPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;
};

constexpr int RgbaBytesPerPixel = 4;

// An opaque black picture of that size.
inline RgbaPicture BlankPicture(int width, int height)
{
    RgbaPicture picture{width, height, {}};
    picture.bytes.resize(static_cast<std::size_t>(width) * height * RgbaBytesPerPixel);
    for (std::size_t alpha = 3; alpha < picture.bytes.size(); alpha += RgbaBytesPerPixel)
        picture.bytes[alpha] = 0xFF;
    return picture;
}
