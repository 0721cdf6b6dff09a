#include "huefile/formats/picture_limit.h"

#include <cmath>

namespace {

// Whole megabytes of the picture as a decoder would allocate it: rows padded to 32 bits. A
// header may give sizes whose product overflows any integer, hence floating point.
double Megabytes(std::uint64_t width, std::uint64_t height, int bitsPerPixel)
{
    const double bytesPerLine = std::ceil(double(width) * bitsPerPixel / 32) * 4;
    return std::floor(bytesPerLine * double(height) / (1 << 20));
}

} // namespace

std::optional<std::string> WhyPictureTooLarge(std::uint64_t width, std::uint64_t height,
                                              int bitsPerPixel)
{
    const double megabytes = Megabytes(width, height, bitsPerPixel);
    if (megabytes <= PictureLimitMegabytes)
        return std::nullopt;
    return "a picture of " + std::to_string(width) + " \u00d7 " + std::to_string(height) +
           " pixels is too large: it takes " + std::to_string(static_cast<long long>(megabytes)) +
           " MB, the limit is " + std::to_string(PictureLimitMegabytes) + " MB";
}
