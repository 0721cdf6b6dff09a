#pragma once

#include "huefile/file_checks.h"
#include "huefile/system_file.h"

#include <cerrno>
#include <string>

// Appends what `readPiece(buffer, size)` gives (a count, 0 at the end, below 0 with errno set
// on an error) until the end. Why it stopped early, or empty: the read's error, or `tooLarge`
// once more than `limit` bytes came, however much the input grows while it is read.
template <class ReadPiece>
std::string ReadPiecesToEnd(std::string &bytes, FileOffset limit, const std::string &tooLarge,
                            ReadPiece readPiece)
{
    char buffer[65536];
    for (;;) {
        const auto got = readPiece(buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ErrorText(errno);
        if (got == 0)
            return "";
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > static_cast<std::size_t>(limit))
            return tooLarge;
    }
}
