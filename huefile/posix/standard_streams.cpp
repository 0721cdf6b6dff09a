#include "huefile/standard_streams.h"

#include "huefile/hue_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool StandardStreamClosed(int stream)
{
    return fcntl(stream, F_GETFD) < 0 && errno == EBADF;
}

bool StandardStreamIsTerminal(int stream)
{
    return isatty(stream) == 1;
}

FileOffset ReadStandardInputPiece(char *buffer, std::size_t size)
{
    return read(STDIN_FILENO, buffer, size);
}

FileOffset WriteStreamPiece(int descriptor, const char *bytes, std::size_t size)
{
    return write(descriptor, bytes, size);
}

void OpenClosedStandardStreams()
{
    // The lowest free number is taken, so each open fills exactly the stream being checked.
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream)
        if (StandardStreamClosed(stream))
            ::open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
}
