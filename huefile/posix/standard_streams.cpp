#include "huefile/standard_streams.h"

#include "huefile/file_checks.h"
#include "huefile/hue_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool StandardStreamClosed(int stream)
{
    return fcntl(stream, F_GETFD) < 0 && errno == EBADF;
}

std::string WriteWhole(int descriptor, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t put = write(descriptor, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return SystemErrorText(put < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return "";
}

bool StandardStreamIsTerminal(int stream)
{
    return isatty(stream) == 1;
}

void OpenClosedStandardStreams()
{
    // The lowest free number is taken, so each open fills exactly the stream being checked.
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream)
        if (StandardStreamClosed(stream))
            ::open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
}
