#include "huefile/system_file.h"

#include "huefile/posix/modes.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileFacts FactsOf(const struct stat &info)
{
    return {KindOfMode(info.st_mode), ReadOnlyForEveryone(info.st_mode), info.st_size};
}

int Descriptor(std::intptr_t handle)
{
    return static_cast<int>(handle);
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

mode_t NewFileMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

NameFacts FactsOfName(const std::string &fileName)
{
    NameFacts facts;
    struct stat name {};
    facts.isLink = lstat(fileName.c_str(), &name) == 0 && S_ISLNK(name.st_mode);
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0) {
        facts.error = errno;
        return facts;
    }
    static_cast<FileFacts &>(facts) = FactsOf(info);
    facts.identity = {true, static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
    facts.links = static_cast<long>(info.st_nlink);
    facts.ownedByUs = info.st_uid == geteuid();
    facts.actingAsRoot = geteuid() == 0;
    facts.writeError = faccessat(AT_FDCWD, fileName.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
    facts.keeps = {static_cast<long>(info.st_uid), static_cast<long>(info.st_gid),
                   static_cast<unsigned>(info.st_mode & 07777)};
    char resolved[PATH_MAX];
    if (facts.kind == FileKind::Regular && realpath(fileName.c_str(), resolved))
        facts.resolvedName = resolved;
    return facts;
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

// The open does not wait; the writes then do, as a stream's writer expects.
std::optional<SystemFile> SystemFile::openStream(const std::string &fileName)
{
    const int descriptor = ::open(fileName.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    SystemFile file(descriptor);
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags >= 0 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0)
        return file;
    const int error = errno;
    file.close();
    errno = error;
    return std::nullopt;
}

bool SystemFile::close()
{
    const bool closed = m_handle < 0 || ::close(Descriptor(m_handle)) == 0;
    m_handle = -1;
    return closed;
}

std::optional<FileFacts> SystemFile::facts() const
{
    struct stat info {};
    if (fstat(Descriptor(m_handle), &info) != 0)
        return std::nullopt;
    return FactsOf(info);
}

FileIdentity SystemFile::identity() const
{
    struct stat info {};
    if (fstat(Descriptor(m_handle), &info) != 0)
        return {};
    return {true, static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

FileOffset SystemFile::size() const
{
    struct stat info {};
    return fstat(Descriptor(m_handle), &info) == 0 ? info.st_size : -1;
}

FileOffset SystemFile::readPieceAt(void *buffer, FileOffset count, FileOffset offset) const
{
    return pread(Descriptor(m_handle), buffer, static_cast<std::size_t>(count), offset);
}

FileOffset SystemFile::writePieceAt(const void *buffer, FileOffset count, FileOffset offset)
{
    return pwrite(Descriptor(m_handle), buffer, static_cast<std::size_t>(count), offset);
}

FileOffset SystemFile::writePiece(const void *buffer, FileOffset count)
{
    return write(Descriptor(m_handle), buffer, static_cast<std::size_t>(count));
}

bool SystemFile::setLength(FileOffset length)
{
    return ftruncate(Descriptor(m_handle), length) == 0;
}

bool SystemFile::flush()
{
    return fsync(Descriptor(m_handle)) == 0;
}

bool FlushFolder(const std::string &folder)
{
    const int descriptor =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool flushed = fsync(descriptor) == 0;
    ::close(descriptor);
    return flushed;
}

// The mode is set again after the open, which the user's umask may have narrowed.
std::optional<SystemFile> SystemFile::createNew(const std::string &fileName, const FileKeeps &like)
{
    const auto mode = static_cast<mode_t>(like.mode & 0666);
    const int descriptor = AwayFromStandardStreams(::open(
        fileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode));
    if (descriptor < 0)
        return std::nullopt;
    SystemFile file(descriptor);
    fchmod(descriptor, mode);
    return file;
}

namespace {

// A kernel older than open-file-description locks refuses F_OFD_SETLK with EINVAL, and will
// refuse it at every later try as well: from then on the process takes classic record locks.
// Those belong to the process rather than to the open, so two opens of one file in one process
// no longer exclude each other, and closing any descriptor of the file in the process lets go
// of the lock; the callers are told so in system_file.h.
std::atomic<bool> ClassicLocksOnly{false};

bool TryLockedByte(std::intptr_t handle, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = LockedByte;
    lock.l_len = 1;
    if (!ClassicLocksOnly) {
        if (fcntl(Descriptor(handle), F_OFD_SETLK, &lock) == 0)
            return true;
        if (errno != EINVAL)
            return false;
        ClassicLocksOnly = true;
    }
    return fcntl(Descriptor(handle), F_SETLK, &lock) == 0;
}

} // namespace

bool SystemFile::tryWriterLock()
{
    return TryLockedByte(m_handle, F_WRLCK);
}

bool SystemFile::tryReaderLock()
{
    return TryLockedByte(m_handle, F_RDLCK);
}

// The file is made where it will be named, since a link cannot cross file systems. Its mode
// is given later by giveModeOf, as a named temporary's is.
std::optional<SystemFile> SystemFile::createUnnamed(const std::string &folder)
{
#ifdef O_TMPFILE
    const int descriptor = AwayFromStandardStreams(
        ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (descriptor < 0)
        return std::nullopt;
    return SystemFile(descriptor);
#else
    (void)folder;
    errno = EOPNOTSUPP;
    return std::nullopt;
#endif
}

// Linked through the process's own view of its descriptors: a link by descriptor alone
// (AT_EMPTY_PATH) asks for a privilege this program does not have. Without /proc mounted the
// link fails with ENOENT.
bool SystemFile::giveFirstName(const std::string &target)
{
    const std::string self = "/proc/self/fd/" + std::to_string(Descriptor(m_handle));
    return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool SystemFile::giveOwnerOf(const FileKeeps &replaced)
{
    return fchown(Descriptor(m_handle), static_cast<uid_t>(replaced.owner),
                  static_cast<gid_t>(replaced.group)) == 0;
}

bool SystemFile::giveModeOf(const FileKeeps *replaced)
{
    return fchmod(Descriptor(m_handle),
                  replaced ? static_cast<mode_t>(replaced->mode) : NewFileMode()) == 0;
}

namespace {

constexpr int EndingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The temporary file under way, for the signal handler: a fixed buffer, since a handler may
// not allocate, and a flag raised only once the name in it is whole.
char PendingName[PATH_MAX];
volatile std::sig_atomic_t NamePending = 0;

// What the ending signals did before a temporary file took them over; one exists at a time.
struct sigaction PreviousActions[std::size(EndingSignals)];
bool Taken[std::size(EndingSignals)];

extern "C" void RemovePendingAndEnd(int signalNumber)
{
    if (NamePending)
        unlink(PendingName);
    std::signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

} // namespace

// Only signals left at their default action are taken over: one that the program ignores, as
// under nohup, or handles itself stays as it is.
TemporaryFile::TemporaryFile()
{
    struct sigaction removing {};
    removing.sa_handler = RemovePendingAndEnd;
    // A second signal waits until the first has removed the file.
    sigemptyset(&removing.sa_mask);
    for (const int signalNumber : EndingSignals)
        sigaddset(&removing.sa_mask, signalNumber);
    for (std::size_t i = 0; i < std::size(EndingSignals); ++i) {
        sigaction(EndingSignals[i], nullptr, &PreviousActions[i]);
        Taken[i] = !(PreviousActions[i].sa_flags & SA_SIGINFO) &&
                   PreviousActions[i].sa_handler == SIG_DFL &&
                   sigaction(EndingSignals[i], &removing, nullptr) == 0;
    }
}

TemporaryFile::~TemporaryFile()
{
    m_file.reset();
    if (NamePending)
        unlink(PendingName);
    NamePending = 0;
    for (std::size_t i = 0; i < std::size(EndingSignals); ++i)
        if (Taken[i])
            sigaction(EndingSignals[i], &PreviousActions[i], nullptr);
}

// The signals wait while the file is created, so that none finds a file whose name is not yet
// known.
SystemFile *TemporaryFile::create(const std::string &folder, const std::string &prefix)
{
    const std::string pattern = folder + prefix + "XXXXXX";
    if (pattern.size() >= sizeof PendingName) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    sigset_t ending;
    sigset_t previous;
    sigemptyset(&ending);
    for (const int signalNumber : EndingSignals)
        sigaddset(&ending, signalNumber);
    pthread_sigmask(SIG_BLOCK, &ending, &previous);
    std::memcpy(PendingName, pattern.c_str(), pattern.size() + 1);
    const int descriptor = mkstemp(PendingName);
    const int error = errno;
    NamePending = descriptor >= 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    if (descriptor < 0)
        return nullptr;
    m_file = SystemFile(descriptor);
    return &*m_file;
}

std::string TemporaryFile::name() const
{
    return PendingName;
}

bool TemporaryFile::moveInto(const std::string &target, bool replace)
{
    if (!MoveIntoName(PendingName, target, replace))
        return false;
    NamePending = 0;
    return true;
}

void TemporaryFile::keep()
{
    NamePending = 0;
}

// A free name is taken with a new link, which fails when the name exists in any form, even as
// a link to nothing.
bool MoveIntoName(const std::string &from, const std::string &to, bool replace)
{
    if (replace)
        return rename(from.c_str(), to.c_str()) == 0;
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    unlink(from.c_str());
    return true;
}

bool RemoveName(const std::string &name)
{
    return unlink(name.c_str()) == 0;
}

void IgnoreFileSizeSignal()
{
    static const bool ignored = (std::signal(SIGXFSZ, SIG_IGN), true);
    (void)ignored;
}
