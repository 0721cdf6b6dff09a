#include "huefile/formats/palette_parts.h"
#include "huefile/formats/png_picture.h"

#include <algorithm>

Expected<std::string> WritePng(const HueEntry &entry, int scale)
{
    if (scale < 1 || scale > MaxPngScale)
        return Fail("a cell of " + std::to_string(scale) + " pixels; cells are 1 to " +
                    std::to_string(MaxPngScale) + " pixels");
    RgbaPicture strip = BlankPicture(HueColourCount * scale, scale);
    const std::size_t rowBytes = std::size_t(strip.width) * RgbaBytesPerPixel;
    for (int slot = 0; slot < HueColourCount; ++slot) {
        const Rgb rgb = RgbOf(entry.colours[slot]);
        const std::uint8_t pixel[] = {std::uint8_t(rgb.red), std::uint8_t(rgb.green),
                                      std::uint8_t(rgb.blue), 0xFF};
        for (int x = slot * scale; x < (slot + 1) * scale; ++x)
            std::copy(pixel, pixel + RgbaBytesPerPixel, &strip.bytes[x * RgbaBytesPerPixel]);
    }
    // Every row is the first row again.
    for (int y = 1; y < strip.height; ++y)
        std::copy_n(strip.bytes.begin(), rowBytes, strip.bytes.begin() + y * rowBytes);
    return WritePngPicture(strip);
}

// The cells are squares side by side along the top of the picture; a picture lower than a
// cell, such as a strip one pixel high, is read along its last row.
Expected<ParsedPalette> ParsePng(std::string_view bytes)
{
    const Expected<RgbaPicture> picture = ReadPngPicture(bytes);
    if (!picture)
        return Fail(picture.error());
    if (picture->width % HueColourCount != 0)
        return Fail("a picture " + std::to_string(picture->width) +
                    " pixels wide, which does not split into 32 cells");
    const int cell = picture->width / HueColourCount;
    const int y = std::min(cell / 2, picture->height - 1);
    ParsedPalette palette;
    for (int slot = 0; slot < HueColourCount; ++slot) {
        const std::size_t at =
            (std::size_t(y) * picture->width + slot * cell + cell / 2) * RgbaBytesPerPixel;
        palette.colours.push_back(
            {picture->bytes[at], picture->bytes[at + 1], picture->bytes[at + 2]});
    }
    return palette;
}
