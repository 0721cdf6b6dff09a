#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The most memory one decoded picture may take; a larger one is refused before any pixel is
// decoded, since a header of a few bytes can ask for gigabytes.
constexpr int PictureLimitMegabytes = 128;

// Why a picture of that size, at that many bits a pixel with rows padded to 32 bits, is too
// large to decode: "a picture of 20000 × 20000 pixels is too large: it takes 1525 MB, the
// limit is 128 MB". Nothing when it fits.
std::optional<std::string> WhyPictureTooLarge(std::uint64_t width, std::uint64_t height,
                                              int bitsPerPixel = 32);
