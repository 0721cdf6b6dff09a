#include "huefile/formats/picture_limit.h"

#include <QImage>
#include <QImageReader>
#include <cmath>

namespace {

constexpr int BitsPerPixelUnknown = 32;

// Whole megabytes of the picture as the reader would allocate it: rows padded to 32 bits. A
// header may give sizes whose product overflows any integer, hence floating point.
double Megabytes(const QSize &size, QImage::Format format)
{
    const int bits = format == QImage::Format_Invalid
                         ? BitsPerPixelUnknown
                         : QImage::toPixelFormat(format).bitsPerPixel();
    const double bytesPerLine = std::ceil(double(size.width()) * bits / 32) * 4;
    return std::floor(bytesPerLine * size.height() / (1 << 20));
}

} // namespace

std::optional<std::string> WhyPictureTooLarge(QImageReader &reader)
{
    const int limit = QImageReader::allocationLimit();
    const QSize size = reader.size();
    if (limit <= 0 || !size.isValid())
        return std::nullopt;
    const double megabytes = Megabytes(size, reader.imageFormat());
    if (megabytes <= limit)
        return std::nullopt;
    return "a picture of " + std::to_string(size.width()) + " \u00d7 " +
           std::to_string(size.height()) + " pixels is too large: it takes " +
           std::to_string(static_cast<long long>(megabytes)) + " MB, the limit is " +
           std::to_string(limit) + " MB";
}
