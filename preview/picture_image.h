#pragma once

#include "huefile/expected.h"
#include "huefile/formats/rgba_picture.h"
#include "huefile/hue_entry.h"

#include <QImage>
#include <optional>
#include <string>

class QImageReader;

// The window reads every picture format the toolkit reads; the recolouring and the picture
// limit it shares with the command line work on plain RGBA pictures, so its images pass
// through one on the way.
RgbaPicture PictureOf(const QImage &image);
QImage ImageOf(const RgbaPicture &picture);

QImage RecolourImage(const QImage &image, const HueEntry &entry, bool wholeImage);

// Why the reader's picture is over the picture limit, worked out from the size its header
// gives before any pixel is decoded. Nothing when it fits or when the header gives no size.
// Only the header is read, so the reader can go on to decode.
std::optional<std::string> WhyImageTooLarge(QImageReader &reader);

// The picture that a file's bytes hold, its format told from the bytes themselves, or why
// there is none: the toolkit's reason, or the picture limit's, which a header's size breaks
// before any pixel is decoded.
Expected<QImage> ImageFromBytes(const std::string &bytes);
