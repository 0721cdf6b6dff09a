#include "huefile/formats/palette_parts.h"
#include "huefile/formats/picture_limit.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>

Expected<std::string> WritePng(const HueEntry &entry, int scale)
{
    if (scale < 1 || scale > MaxPngScale)
        return Fail("a cell of " + std::to_string(scale) + " pixels; cells are 1 to " +
                    std::to_string(MaxPngScale) + " pixels");
    QImage strip(HueColourCount * scale, scale, QImage::Format_RGB32);
    for (int slot = 0; slot < HueColourCount; ++slot) {
        const Rgb rgb = RgbOf(entry.colours[slot]);
        const QRgb pixel = qRgb(rgb.red, rgb.green, rgb.blue);
        for (int y = 0; y < scale; ++y) {
            auto *row = reinterpret_cast<QRgb *>(strip.scanLine(y));
            std::fill(row + slot * scale, row + (slot + 1) * scale, pixel);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!strip.save(&buffer, "PNG"))
        return Fail("the picture could not be encoded as png");
    return bytes.toStdString();
}

// The cells are squares side by side along the top of the picture; a picture lower than a
// cell, such as a strip one pixel high, is read along its last row.
Expected<ParsedPalette> ParsePng(std::string_view bytes)
{
    // With detection on, a reader told "png" would still decode a gif or whatever the bytes are.
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    if (const auto tooLarge = WhyPictureTooLarge(reader))
        return Fail(*tooLarge);
    QImage picture;
    if (!reader.read(&picture))
        return Fail("not a png picture");
    if (picture.width() % HueColourCount != 0)
        return Fail("a picture " + std::to_string(picture.width()) +
                    " pixels wide, which does not split into 32 cells");
    const int cell = picture.width() / HueColourCount;
    const int y = std::min(cell / 2, picture.height() - 1);
    ParsedPalette palette;
    for (int slot = 0; slot < HueColourCount; ++slot) {
        const QRgb pixel = picture.pixel(slot * cell + cell / 2, y);
        palette.colours.push_back({qRed(pixel), qGreen(pixel), qBlue(pixel)});
    }
    return palette;
}
