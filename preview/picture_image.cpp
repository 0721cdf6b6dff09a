#include "preview/picture_image.h"

#include "huefile/formats/picture_limit.h"
#include "huefile/formats/recolour.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>

namespace {

// Whatever the byte order of the machine, this format keeps the bytes red, green, blue, alpha.
constexpr QImage::Format RgbaFormat = QImage::Format_RGBA8888;

constexpr int BitsPerPixelUnknown = 32;

} // namespace

RgbaPicture PictureOf(const QImage &image)
{
    const QImage rgba = image.convertToFormat(RgbaFormat);
    RgbaPicture picture{rgba.width(), rgba.height(), {}};
    const std::size_t rowBytes = std::size_t(rgba.width()) * RgbaBytesPerPixel;
    picture.bytes.resize(rowBytes * rgba.height());
    for (int y = 0; y < rgba.height(); ++y)
        std::copy_n(rgba.constScanLine(y), rowBytes, picture.bytes.begin() + y * rowBytes);
    return picture;
}

QImage ImageOf(const RgbaPicture &picture)
{
    QImage image(picture.width, picture.height, RgbaFormat);
    const std::size_t rowBytes = std::size_t(picture.width) * RgbaBytesPerPixel;
    for (int y = 0; y < picture.height; ++y)
        std::copy_n(picture.bytes.begin() + y * rowBytes, rowBytes, image.scanLine(y));
    return image;
}

QImage RecolourImage(const QImage &image, const HueEntry &entry, bool wholeImage)
{
    return ImageOf(RecolourPicture(PictureOf(image), entry, wholeImage));
}

std::optional<std::string> WhyImageTooLarge(QImageReader &reader)
{
    const QSize size = reader.size();
    if (!size.isValid())
        return std::nullopt;
    const QImage::Format format = reader.imageFormat();
    const int bits = format == QImage::Format_Invalid
                         ? BitsPerPixelUnknown
                         : QImage::toPixelFormat(format).bitsPerPixel();
    return WhyPictureTooLarge(std::uint64_t(size.width()), std::uint64_t(size.height()), bits);
}

Expected<QImage> ImageFromBytes(const std::string &bytes)
{
    // Read where they lie rather than copied: a picture file may take a hundred megabytes.
    QByteArray view = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&view);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (const auto tooLarge = WhyImageTooLarge(reader))
        return Fail(*tooLarge);
    QImage image = reader.read();
    if (image.isNull())
        return Fail(reader.errorString().toStdString());
    return image;
}
