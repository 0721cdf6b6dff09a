#include "huefile/formats/recolour.h"

#include "huefile/colour.h"

namespace {

// The luminance weights of video, in thousandths, so that no floating point enters a pixel.
int FiveBitLuminance(const std::uint8_t *pixel)
{
    return (pixel[0] * 299 + pixel[1] * 587 + pixel[2] * 114) / 1000 >> 3;
}

void PaintEntryColour(std::uint8_t *pixel, const HueEntry &entry, int level)
{
    const DisplayColour shown = HueWordToDisplay(entry.colours[level]);
    pixel[0] = static_cast<std::uint8_t>(shown & 0xFF);
    pixel[1] = static_cast<std::uint8_t>((shown >> 8) & 0xFF);
    pixel[2] = static_cast<std::uint8_t>((shown >> 16) & 0xFF);
}

} // namespace

RgbaPicture RecolourPicture(RgbaPicture picture, const HueEntry &entry, bool wholeImage)
{
    for (std::size_t at = 0; at + RgbaBytesPerPixel <= picture.bytes.size();
         at += RgbaBytesPerPixel) {
        std::uint8_t *pixel = &picture.bytes[at];
        if (pixel[3] == 0)
            continue;
        const bool grey = pixel[0] == pixel[1] && pixel[1] == pixel[2];
        if (grey)
            PaintEntryColour(pixel, entry, pixel[0] >> 3);
        else if (wholeImage)
            PaintEntryColour(pixel, entry, FiveBitLuminance(pixel));
    }
    return picture;
}
