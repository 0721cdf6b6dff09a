#include "huefile/input_file.h"

#include "huefile/file_checks.h"
#include "huefile/posix/modes.h"
#include "huefile/read_to_end.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why the input could not be read to its end, or empty.
std::string ReadToEnd(int descriptor, std::string &bytes, FileOffset limit,
                      const std::string &tooLarge)
{
    return ReadPiecesToEnd(bytes, limit, tooLarge, [descriptor](char *buffer, std::size_t size) {
        return read(descriptor, buffer, size);
    });
}

// Taken right after a failed open: errno tells why the open failed, the file's kind tells
// why an open that succeeded was refused.
std::string WhyNotOpened(const std::string &fileName, int error)
{
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0)
        return ErrorText(errno);
    const std::string kind = KindText(KindOfMode(info.st_mode));
    return kind.empty() ? ErrorText(error) : kind;
}

} // namespace

Expected<std::string> ReadInputFile(const std::string &fileName, FileOffset limit,
                                    const std::string &tooLarge)
{
    std::string bytes;
    if (fileName == "-") {
        const std::string why = ReadToEnd(STDIN_FILENO, bytes, limit, tooLarge);
        return why.empty() ? Expected<std::string>(std::move(bytes)) : Fail(why);
    }
    const int descriptor = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return Fail(WhyNotOpened(fileName, errno));
    struct stat info {};
    std::string why;
    if (fstat(descriptor, &info) != 0)
        why = ErrorText(errno);
    else if (!KindText(KindOfMode(info.st_mode)).empty())
        why = KindText(KindOfMode(info.st_mode));
    else if (info.st_size > limit)
        why = tooLarge;
    else
        why = ReadToEnd(descriptor, bytes, limit, tooLarge);
    close(descriptor);
    if (!why.empty())
        return Fail(why);
    return bytes;
}
