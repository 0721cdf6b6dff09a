#pragma once

#include <optional>
#include <string>

class QImageReader;

// Why the reader's picture is too large to decode, worked out from the size its header gives
// before any pixel is decoded: "a picture of 20000 × 20000 pixels is too large: it takes
// 1525 MB, the limit is 128 MB". Nothing when it fits, when there is no limit, or when the
// header gives no size. Only the header is read, so the reader can go on to decode.
std::optional<std::string> WhyPictureTooLarge(QImageReader &reader);
