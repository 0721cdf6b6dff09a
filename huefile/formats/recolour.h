#pragma once

#include "huefile/formats/rgba_picture.h"
#include "huefile/hue_entry.h"

// A picture recoloured by one entry, to judge the entry on artwork. A grey pixel's 5-bit level
// (0 to 31) picks that colour of the entry; other pixels keep their colour, or, with
// wholeImage, are picked by their 5-bit luminance as well. A pixel's alpha stays as it is, so
// transparent pixels stay transparent.
RgbaPicture RecolourPicture(RgbaPicture picture, const HueEntry &entry, bool wholeImage);
