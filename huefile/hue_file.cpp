#include "huefile/hue_file.h"

#include "huefile/file_checks.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

constexpr auto RecordSize = static_cast<ssize_t>(sizeof(HueEntry));
constexpr ssize_t TextCheckSize = 4096;

// Past the file-size limit the kernel would end the whole program with SIGXFSZ. Ignored, the
// write fails with EFBIG instead, and is reported like any other failed write.
void IgnoreFileSizeSignal()
{
    static const bool ignored = (std::signal(SIGXFSZ, SIG_IGN), true);
    (void)ignored;
}

// Reads up to count bytes at offset; fewer only where the file ends. -1 on an error.
ssize_t ReadAt(int descriptor, void *buffer, ssize_t count, off_t offset)
{
    auto *bytes = static_cast<char *>(buffer);
    ssize_t done = 0;
    while (done < count) {
        const ssize_t got =
            pread(descriptor, bytes + done, static_cast<std::size_t>(count - done), offset + done);
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

// Writes count bytes at offset; returns how many landed before the first failure.
ssize_t WriteAt(int descriptor, const void *buffer, ssize_t count, off_t offset)
{
    const auto *bytes = static_cast<const char *>(buffer);
    ssize_t done = 0;
    while (done < count) {
        const ssize_t put =
            pwrite(descriptor, bytes + done, static_cast<std::size_t>(count - done), offset + done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += put;
    }
    return done;
}

bool HeadHoldsNoZeroByte(int descriptor)
{
    char head[TextCheckSize];
    const ssize_t got = ReadAt(descriptor, head, TextCheckSize, 0);
    return got > 0 && std::memchr(head, 0, static_cast<std::size_t>(got)) == nullptr;
}

// Why a regular file that opened is refused for writing, as an errno value, or 0. A text file
// has no errno of its own; its reason is found again when the refusal is explained.
int WhyNotWritten(int descriptor, const struct stat &info)
{
    if (ReadOnlyForEveryone(info.st_mode))
        return EACCES;
    return HeadHoldsNoZeroByte(descriptor) ? EINVAL : 0;
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

// The writers' lock covers one byte far past any entry rather than the entries themselves. On a
// system where locks are binding, as they are elsewhere, a lock on the entries would make the
// browser's reads fail while a write runs; one past the data never stands in a reader's way.
constexpr off_t LockedByte = std::numeric_limits<off_t>::max() - 1;
constexpr auto LockRetry = std::chrono::milliseconds(10);

// The lock belongs to the open file description, not to the process, so two opens in one
// process exclude each other as two processes do, and closing the file lets go of it.
bool TryWriterLock(int descriptor)
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = LockedByte;
    lock.l_len = 1;
    return fcntl(descriptor, F_OFD_SETLK, &lock) == 0;
}

// Polls rather than blocks, so that the wait has an end.
bool TakeWriterLock(int descriptor, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!TryWriterLock(descriptor)) {
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            errno = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(LockRetry);
    }
    return true;
}

// Sets the file's new length, zeroes up to `length`, before any record goes behind the old end,
// so that a kill at any moment leaves whole entries. The zeroes are written too, although the
// file already reads as zeroes there: that brings the new pages into memory and marks them
// dirty ahead of the records. A record that straddles two pages was most often stopped by a
// kill between its two pages, while the second was being allocated; with the pages ready that
// became more than ten times rarer. A short write of zeroes over zeroes changes nothing.
bool Extend(int descriptor, off_t from, off_t length)
{
    if (ftruncate(descriptor, length) != 0)
        return false;
    const std::vector<char> zeroes(static_cast<std::size_t>(length - from));
    WriteAt(descriptor, zeroes.data(), static_cast<ssize_t>(zeroes.size()), from);
    return true;
}

// Keeps errno from a failure while the program tidies up after it.
class KeepErrno {
public:
    KeepErrno() : m_error(errno) {}
    ~KeepErrno() { errno = m_error; }
    KeepErrno(const KeepErrno &) = delete;
    KeepErrno &operator=(const KeepErrno &) = delete;

private:
    int m_error;
};

} // namespace

std::optional<HueFile> HueFile::open(const std::string &fileName, int flags)
{
    const int descriptor = AwayFromStandardStreams(
        ::open(fileName.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (descriptor < 0)
        return std::nullopt;
    struct stat info {};
    int refusal = 0;
    if (fstat(descriptor, &info) != 0)
        refusal = errno;
    else if (!S_ISREG(info.st_mode))
        refusal = EINVAL;
    else if ((flags & O_ACCMODE) != O_RDONLY)
        refusal = WhyNotWritten(descriptor, info);
    if (refusal != 0) {
        ::close(descriptor);
        errno = refusal;
        return std::nullopt;
    }
    return HueFile(descriptor, info.st_size);
}

std::optional<HueFile> HueFile::openForReading(const std::string &fileName)
{
    return open(fileName, O_RDONLY);
}

std::optional<HueFile> HueFile::openForUpdate(const std::string &fileName,
                                              std::chrono::milliseconds wait)
{
    IgnoreFileSizeSignal();
    std::optional<HueFile> file = open(fileName, O_RDWR);
    if (file && !TakeWriterLock(file->m_descriptor, wait)) {
        const KeepErrno why;
        file.reset();
    }
    return file;
}

HueFile::HueFile(HueFile &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)), m_knownLength(other.m_knownLength)
{
}

HueFile &HueFile::operator=(HueFile &&other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_knownLength = other.m_knownLength;
    }
    return *this;
}

HueFile::~HueFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool HueFile::looksLikeText() const
{
    return HeadHoldsNoZeroByte(m_descriptor);
}

bool HueFile::readEntry(int n, HueEntry &destination) const
{
    HueEntry record{};
    const ssize_t got = ReadAt(m_descriptor, &record, RecordSize, EntryOffset(n));
    destination = record;
    return got == RecordSize;
}

// The records and the block headers between them are read in one go into the entries' own
// memory, then moved down over the headers: a copy or a listing of 3000 entries then touches
// no second buffer of their size.
std::vector<HueEntry> HueFile::readEntries(int first, int last, std::vector<bool> &whole) const
{
    const auto count = static_cast<std::size_t>(std::max(0, last - first + 1));
    whole.assign(count, false);
    if (count == 0)
        return {};
    const off_t start = EntryOffset(first);
    const auto length = static_cast<std::size_t>(EntryOffset(last) + RecordSize - start);
    std::vector<HueEntry> entries((length + sizeof(HueEntry) - 1) / sizeof(HueEntry));
    auto *bytes = reinterpret_cast<char *>(entries.data());
    const off_t got =
        std::max<ssize_t>(0, ReadAt(m_descriptor, bytes, static_cast<ssize_t>(length), start));
    for (std::size_t i = 0; i < count; ++i) {
        const off_t at = EntryOffset(first + static_cast<int>(i)) - start;
        const auto present = static_cast<std::size_t>(std::clamp<off_t>(got - at, 0, RecordSize));
        auto *entry = reinterpret_cast<char *>(&entries[i]);
        whole[i] = present == sizeof(HueEntry);
        // Each record lies at or after its place in the vector, so no move overwrites a record
        // still to be moved. A whole record's move has a fixed size, which the compiler inlines.
        if (whole[i]) {
            std::memmove(entry, bytes + at, sizeof(HueEntry));
            continue;
        }
        std::memmove(entry, bytes + at, present);
        std::memset(entry + present, 0, sizeof(HueEntry) - present);
    }
    entries.resize(count);
    return entries;
}

bool HueFile::writeEntry(int n, const HueEntry &entry, HueEntry *before)
{
    const off_t offset = EntryOffset(n);
    const auto existing = static_cast<ssize_t>(std::clamp<off_t>(size() - offset, 0, RecordSize));
    HueEntry old{};
    if (existing > 0 && ReadAt(m_descriptor, &old, existing, offset) != existing)
        return false;
    if (!writeEntry(n, entry, old))
        return false;
    if (before)
        *before = old;
    return true;
}

// Beyond the old end `old` holds zeroes, which is what the file held there once extended.
// Only the bytes that actually changed are put back, so the undo never writes further than
// the failed write reached: under a file-size limit, the old bytes beyond it could not land.
bool HueFile::writeEntry(int n, const HueEntry &entry, const HueEntry &old)
{
    const off_t offset = EntryOffset(n);
    const off_t end = offset + RecordSize;
    const off_t lengthBefore = end > m_knownLength ? size() : m_knownLength;
    if (lengthBefore < 0 || (end > lengthBefore && !Extend(m_descriptor, lengthBefore, end)))
        return false;
    m_knownLength = std::max(lengthBefore, end);
    const ssize_t landed = WriteAt(m_descriptor, &entry, RecordSize, offset);
    if (landed == RecordSize)
        return true;
    const KeepErrno why;
    if (landed > 0)
        WriteAt(m_descriptor, &old, landed, offset);
    if (end > lengthBefore)
        giveBackLength(lengthBefore, FileBytes(static_cast<std::size_t>(end - lengthBefore)));
    return false;
}

off_t HueFile::size() const
{
    struct stat info {};
    return fstat(m_descriptor, &info) == 0 ? info.st_size : -1;
}

bool HueFile::extendTo(off_t length)
{
    const off_t now = size();
    if (now < 0 || (length > now && !Extend(m_descriptor, now, length)))
        return false;
    m_knownLength = std::max(now, length);
    return true;
}

std::optional<off_t> HueFile::firstChangeAfter(off_t earlierSize, const FileBytes &added) const
{
    const off_t expected = earlierSize + static_cast<off_t>(added.size());
    const off_t length = size();
    FileBytes now(added.size());
    const ssize_t got =
        ReadAt(m_descriptor, now.data(), static_cast<ssize_t>(now.size()), earlierSize);
    if (got < 0)
        return earlierSize;
    const auto differs = std::mismatch(added.begin(), added.begin() + got, now.begin()).first;
    if (differs != added.begin() + got || length != expected)
        return earlierSize + (differs - added.begin());
    return std::nullopt;
}

GiveBackOutcome HueFile::giveBackLength(off_t earlierSize, const FileBytes &added)
{
    if (added.empty())
        return GiveBackOutcome::Cut;
    if (firstChangeAfter(earlierSize, added))
        return GiveBackOutcome::Touched;
    if (ftruncate(m_descriptor, earlierSize) != 0)
        return GiveBackOutcome::Failed;
    m_knownLength = earlierSize;
    return GiveBackOutcome::Cut;
}

int EntryAt(off_t offset)
{
    const off_t block = offset / HueBlockSize;
    const off_t slot = std::max<off_t>(0, offset % HueBlockSize - 4) / RecordSize;
    return static_cast<int>(block * 8 + slot + 1);
}

ReadOutcome ReadEntryFromFile(const std::string &fileName, int n, HueEntry &destination)
{
    const auto file = HueFile::openForReading(fileName);
    if (!file)
        return ReadOutcome::NotOpened;
    return file->readEntry(n, destination) ? ReadOutcome::Read : ReadOutcome::NoRecord;
}

namespace {

// The checks of an open in their order, told apart; error is what the open that failed left in
// errno, the reason when nothing else explains the refusal (as for a file this user may read
// but not write). stat follows a symbolic link as the open does, and never waits on a pipe.
std::string WhyRefused(const std::string &fileName, HueFileUse use, int error)
{
    if (fileName.empty())
        return "no file name";
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0)
        return ErrorText(errno);
    if (const std::string kind = KindText(info.st_mode); !kind.empty())
        return kind;
    if (use == HueFileUse::Update && ReadOnlyForEveryone(info.st_mode))
        return ReadOnlyReason;
    errno = 0;
    const auto file = HueFile::openForReading(fileName);
    if (!file)
        return ErrorText(errno);
    if (file->looksLikeText())
        return TextFileReason;
    return ErrorText(error);
}

} // namespace

Expected<HueFile> OpenHueFile(const std::string &fileName, HueFileUse use,
                              std::chrono::milliseconds wait)
{
    errno = 0;
    std::optional<HueFile> file = use == HueFileUse::Update ? HueFile::openForUpdate(fileName, wait)
                                                            : HueFile::openForReading(fileName);
    const int error = errno;
    // An open for update has made the text check itself.
    if (file && (use == HueFileUse::Update || !file->looksLikeText()))
        return std::move(*file);
    file.reset();
    return Fail(WhyRefused(fileName, use, error));
}

bool CanOpenHueFile(const std::string &fileName)
{
    return OpenHueFile(fileName, HueFileUse::Reading).ok();
}

std::string WhyNotAHueFile(const std::string &fileName)
{
    const Expected<HueFile> file = OpenHueFile(fileName, HueFileUse::Reading);
    return file ? std::string() : file.error();
}

void OpenClosedStandardStreams()
{
    // The lowest free number is taken, so each open fills exactly the stream being checked.
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream)
        if (fcntl(stream, F_GETFD) < 0 && errno == EBADF)
            ::open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
}
