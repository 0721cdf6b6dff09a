#include "huefile/standard_streams.h"

#include "huefile/file_checks.h"
#include "huefile/hue_file.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>

namespace {

constexpr unsigned LargestPiece = 1u << 30;

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

std::string WriteWhole(int descriptor, std::string_view bytes)
{
    while (!bytes.empty()) {
        const unsigned piece =
            static_cast<unsigned>(std::min<std::size_t>(bytes.size(), LargestPiece));
        const int put = _write(descriptor, bytes.data(), piece);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return SystemErrorText(put < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return "";
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
