#include "huefile/system_file.h"

#include "huefile/posix/modes.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileFacts FactsOf(const struct stat &info)
{
    return {KindOfMode(info.st_mode), ReadOnlyForEveryone(info.st_mode), info.st_size};
}

// A program started with standard input, output or error closed would get one of those
// numbers for a hue file, and the next warning "to standard error" would be written into it.
// The file is moved to a higher number, so such a stray write finds no file at all.
int AwayFromStandardStreams(int descriptor)
{
    if (descriptor < 0 || descriptor > STDERR_FILENO)
        return descriptor;
    const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(descriptor);
    return moved;
}

constexpr off_t LockedByte = std::numeric_limits<off_t>::max() - 1;

} // namespace

std::optional<FileFacts> FactsOfName(const std::string &fileName)
{
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0)
        return std::nullopt;
    return FactsOf(info);
}

std::optional<SystemFile> SystemFile::open(const std::string &fileName, Access access)
{
    const int flags = access == Access::Read ? O_RDONLY : O_RDWR;
    const int descriptor = AwayFromStandardStreams(
        ::open(fileName.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (descriptor < 0)
        return std::nullopt;
    return SystemFile(descriptor);
}

void SystemFile::close()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
    m_handle = -1;
}

std::optional<FileFacts> SystemFile::facts() const
{
    struct stat info {};
    if (fstat(static_cast<int>(m_handle), &info) != 0)
        return std::nullopt;
    return FactsOf(info);
}

FileOffset SystemFile::size() const
{
    struct stat info {};
    return fstat(static_cast<int>(m_handle), &info) == 0 ? info.st_size : -1;
}

FileOffset SystemFile::readAt(void *buffer, FileOffset count, FileOffset offset) const
{
    auto *bytes = static_cast<char *>(buffer);
    FileOffset done = 0;
    while (done < count) {
        const ssize_t got = pread(static_cast<int>(m_handle), bytes + done,
                                  static_cast<std::size_t>(count - done), offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

FileOffset SystemFile::writeAt(const void *buffer, FileOffset count, FileOffset offset)
{
    const auto *bytes = static_cast<const char *>(buffer);
    FileOffset done = 0;
    while (done < count) {
        const ssize_t put = pwrite(static_cast<int>(m_handle), bytes + done,
                                   static_cast<std::size_t>(count - done), offset + done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += put;
    }
    return done;
}

bool SystemFile::setLength(FileOffset length)
{
    return ftruncate(static_cast<int>(m_handle), length) == 0;
}

bool SystemFile::tryWriterLock()
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = LockedByte;
    lock.l_len = 1;
    return fcntl(static_cast<int>(m_handle), F_OFD_SETLK, &lock) == 0;
}

bool MayWriteFile(const std::string &fileName)
{
    struct stat info {};
    return stat(fileName.c_str(), &info) == 0 && !FactsOf(info).readOnlyForEveryone &&
           faccessat(AT_FDCWD, fileName.c_str(), W_OK, AT_EACCESS) == 0;
}

bool SameFileOnDisk(const std::string &a, const std::string &b)
{
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void IgnoreFileSizeSignal()
{
    static const bool ignored = (std::signal(SIGXFSZ, SIG_IGN), true);
    (void)ignored;
}
