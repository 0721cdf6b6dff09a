#include "huefile/standard_streams.h"

#include "huefile/file_checks.h"

#include <cerrno>

Expected<void> WriteWhole(int descriptor, std::string_view bytes)
{
    while (!bytes.empty()) {
        const FileOffset put = WriteStreamPiece(descriptor, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return Fail(SystemErrorText(put < 0 ? errno : EIO));
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return Done();
}
