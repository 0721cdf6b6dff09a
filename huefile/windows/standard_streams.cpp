#include "huefile/standard_streams.h"

#include "huefile/hue_file.h"

#include <algorithm>
#include <fcntl.h>
#include <io.h>

namespace {

// One call moves at most what an unsigned counts; larger requests go in pieces.
constexpr unsigned LargestPiece = 1u << 30;

unsigned PieceOf(std::size_t size)
{
    return static_cast<unsigned>(std::min<std::size_t>(size, LargestPiece));
}

} // namespace

// The C library answers -2 for a stream that has no console or file behind it.
bool StandardStreamClosed(int stream)
{
    return _get_osfhandle(stream) < 0;
}

bool StandardStreamIsTerminal(int stream)
{
    return _isatty(stream) != 0;
}

// In text mode the C library would stop reading at the first byte 26.
FileOffset ReadStandardInputPiece(char *buffer, std::size_t size)
{
    _setmode(StandardInput, _O_BINARY);
    return _read(StandardInput, buffer, PieceOf(size));
}

FileOffset WriteStreamPiece(int descriptor, const char *bytes, std::size_t size)
{
    return _write(descriptor, bytes, PieceOf(size));
}

// Also turns the three streams to binary: in text mode the C library would write every line
// break of a palette as two bytes and stop reading standard input at the first byte 26.
void OpenClosedStandardStreams()
{
    for (int stream = StandardInput; stream <= StandardError; ++stream) {
        if (StandardStreamClosed(stream)) {
            const int null = _open("NUL", stream == StandardInput ? _O_RDONLY : _O_WRONLY);
            if (null >= 0 && null != stream) {
                _dup2(null, stream);
                _close(null);
            }
        }
        _setmode(stream, _O_BINARY);
    }
}
