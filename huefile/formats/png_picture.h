#pragma once

#include "huefile/expected.h"
#include "huefile/formats/rgba_picture.h"

#include <string>
#include <string_view>

// Png pictures in and out of memory. Any png colour type and depth is decoded to 8-bit RGBA,
// transparency chunks applied. A picture larger than the picture limit, text or other chunks
// that would take more than a few megabytes, or a damaged file is refused in one short line,
// and the png library never writes to a standard stream.
Expected<RgbaPicture> ReadPngPicture(std::string_view bytes);

// 8-bit RGB when every pixel is opaque, RGBA otherwise.
Expected<std::string> WritePngPicture(const RgbaPicture &picture);
