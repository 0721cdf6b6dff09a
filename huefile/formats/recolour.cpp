#include "huefile/formats/recolour.h"

#include "huefile/colour.h"

namespace {

// The luminance weights of video, in thousandths, so that no floating point enters a pixel.
int FiveBitLuminance(QRgb pixel)
{
    return (qRed(pixel) * 299 + qGreen(pixel) * 587 + qBlue(pixel) * 114) / 1000 >> 3;
}

QRgb EntryColour(const HueEntry &entry, int level, int alpha)
{
    const DisplayColour shown = HueWordToDisplay(entry.colours[level]);
    return qRgba(shown & 0xFF, (shown >> 8) & 0xFF, (shown >> 16) & 0xFF, alpha);
}

} // namespace

QImage RecolourImage(const QImage &image, const HueEntry &entry, bool wholeImage)
{
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const QRgb pixel = line[x];
            if (qAlpha(pixel) == 0)
                continue;
            const bool grey = qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel);
            if (grey)
                line[x] = EntryColour(entry, qRed(pixel) >> 3, qAlpha(pixel));
            else if (wholeImage)
                line[x] = EntryColour(entry, FiveBitLuminance(pixel), qAlpha(pixel));
        }
    }
    return result;
}
