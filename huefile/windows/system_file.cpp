#include "huefile/system_file.h"

#include "huefile/windows/system_calls.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iterator>
#include <limits>

// On Windows a regular file is one on a disk: GetFileType says FILE_TYPE_DISK for it, and it
// carries neither the folder nor the device attribute. Pipes, consoles, serial ports and the
// null device are refused as on Linux. The read-only attribute stands for a mode without write
// bits, an open for writing for the permission check, and the link count of
// GetFileInformationByHandle for st_nlink. Files carry no owner that a replacement would
// change: the new file takes the folder's permissions, as the old one had.

namespace {

// Opens never keep others from reading, writing, renaming or deleting the file: the writers'
// lock alone keeps two writers apart, as on Linux.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// One call moves at most what a DWORD counts; larger requests go in pieces.
constexpr FileOffset LargestPiece = 1 << 30;

HANDLE HandleOf(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

DWORD PieceOf(FileOffset count)
{
    return static_cast<DWORD>(std::min(count, LargestPiece));
}

FileKind KindOf(HANDLE file, const BY_HANDLE_FILE_INFORMATION &information)
{
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return FileKind::Folder;
    switch (GetFileType(file)) {
    case FILE_TYPE_DISK:
        return information.dwFileAttributes & FILE_ATTRIBUTE_DEVICE ? FileKind::Device
                                                                    : FileKind::Regular;
    case FILE_TYPE_PIPE:
        return FileKind::Pipe;
    case FILE_TYPE_CHAR:
        return FileKind::Device;
    default:
        return FileKind::Other;
    }
}

std::optional<FileFacts> FactsOfHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION &information)
{
    if (GetFileType(file) != FILE_TYPE_DISK)
        return FileFacts{KindOf(file, {}), false, 0};
    if (!GetFileInformationByHandle(file, &information)) {
        FailWithSystemError();
        return std::nullopt;
    }
    const auto size =
        (static_cast<FileOffset>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return FileFacts{KindOf(file, information),
                     (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0, size};
}

constexpr FileOffset LockedByte = std::numeric_limits<FileOffset>::max() - 1;

// The name of the file behind an open handle, every link resolved.
std::string ResolvedName(HANDLE file)
{
    wchar_t resolved[32768];
    const DWORD length = GetFinalPathNameByHandleW(file, resolved, std::size(resolved), 0);
    if (length == 0 || length >= std::size(resolved))
        return "";
    return Utf8Name(std::wstring(resolved, length));
}

// An open for writing stands for the permission check: whatever keeps it from opening keeps a
// replacement from writing.
bool OpensForWriting(const std::string &fileName)
{
    const HANDLE file = CreateFileW(WideName(fileName).c_str(), GENERIC_WRITE, ShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

} // namespace

NameFacts FactsOfName(const std::string &fileName)
{
    NameFacts facts;
    const DWORD attributes = GetFileAttributesW(WideName(fileName).c_str());
    const bool named = attributes != INVALID_FILE_ATTRIBUTES;
    facts.isLink = named && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    // An open that asks nothing of the file but its facts: folders included, never waiting.
    const HANDLE file = CreateFileW(WideName(fileName).c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailWithSystemErrorFor(fileName);
        facts.error = errno;
        // Whatever the name holds that its target does not is a link that leads nowhere.
        facts.isLink = facts.isLink || (facts.error == ENOENT && named);
        return facts;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const std::optional<FileFacts> known = FactsOfHandle(file, information);
    if (!known) {
        facts.error = errno;
        CloseHandle(file);
        return facts;
    }
    static_cast<FileFacts &>(facts) = *known;
    facts.identity = {GetFileType(file) == FILE_TYPE_DISK, information.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                          information.nFileIndexLow};
    facts.links = static_cast<long>(std::max<DWORD>(1, information.nNumberOfLinks));
    if (facts.kind == FileKind::Regular)
        facts.resolvedName = ResolvedName(file);
    CloseHandle(file);
    facts.writeError = facts.kind == FileKind::Regular && OpensForWriting(fileName) ? 0 : EACCES;
    return facts;
}

std::optional<SystemFile> SystemFile::open(const std::string &fileName, Access access)
{
    const DWORD rights = access == Access::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const HANDLE file = CreateFileW(WideName(fileName).c_str(), rights, ShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // A folder opens only with backup semantics; without them it is refused as a folder.
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(WideName(fileName).c_str());
        SetLastError(error);
        FailWithSystemErrorFor(fileName);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            errno = EISDIR;
        return std::nullopt;
    }
    return SystemFile(reinterpret_cast<std::intptr_t>(file));
}

std::optional<SystemFile> SystemFile::openStream(const std::string &fileName)
{
    const HANDLE file = CreateFileW(WideName(fileName).c_str(), GENERIC_WRITE, ShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailWithSystemError();
        return std::nullopt;
    }
    return SystemFile(reinterpret_cast<std::intptr_t>(file));
}

bool SystemFile::close()
{
    const bool closed = m_handle == -1 || CloseHandle(HandleOf(m_handle)) || FailWithSystemError();
    m_handle = -1;
    return closed;
}

std::optional<FileFacts> SystemFile::facts() const
{
    BY_HANDLE_FILE_INFORMATION information{};
    return FactsOfHandle(HandleOf(m_handle), information);
}

FileIdentity SystemFile::identity() const
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(HandleOf(m_handle)) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(HandleOf(m_handle), &information))
        return {};
    return {true, information.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                information.nFileIndexLow};
}

FileOffset SystemFile::size() const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(HandleOf(m_handle), &size))
        return FailWithSystemError(), -1;
    return size.QuadPart;
}

FileOffset SystemFile::readPieceAt(void *buffer, FileOffset count, FileOffset offset) const
{
    OVERLAPPED at = OverlappedAt(offset);
    DWORD got = 0;
    if (ReadFile(HandleOf(m_handle), buffer, PieceOf(count), &got, &at))
        return got;
    if (GetLastError() == ERROR_HANDLE_EOF)
        return 0;
    return FailWithSystemError(), -1;
}

FileOffset SystemFile::writePieceAt(const void *buffer, FileOffset count, FileOffset offset)
{
    OVERLAPPED at = OverlappedAt(offset);
    DWORD put = 0;
    if (WriteFile(HandleOf(m_handle), buffer, PieceOf(count), &put, &at))
        return put;
    return FailWithSystemError(), -1;
}

FileOffset SystemFile::writePiece(const void *buffer, FileOffset count)
{
    DWORD put = 0;
    if (WriteFile(HandleOf(m_handle), buffer, PieceOf(count), &put, nullptr))
        return put;
    return FailWithSystemError(), -1;
}

bool SystemFile::setLength(FileOffset length)
{
    // Reads and writes name their offsets, so the file pointer serves this call alone.
    LARGE_INTEGER end{};
    end.QuadPart = length;
    return (SetFilePointerEx(HandleOf(m_handle), end, nullptr, FILE_BEGIN) &&
            SetEndOfFile(HandleOf(m_handle))) ||
           FailWithSystemError();
}

bool SystemFile::flush()
{
    return FlushFileBuffers(HandleOf(m_handle)) || FailWithSystemError();
}

// Windows keeps a new file's name with the file: flushing the file keeps both.
bool FlushFolder(const std::string &)
{
    return true;
}

// A file's permissions come from its folder, as the hue file's did. A leading dot hides no
// name here, so the attribute does.
std::optional<SystemFile> SystemFile::createNew(const std::string &fileName, const FileKeeps &)
{
    const HANDLE file = CreateFileW(WideName(fileName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    ShareAll, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailWithSystemErrorFor(fileName);
        return std::nullopt;
    }
    return SystemFile(reinterpret_cast<std::intptr_t>(file));
}

namespace {

// A network redirector whose server takes no locks answers that the request is not supported,
// which the file layer reads as a file system without locks, as ENOLCK from fcntl.
bool TryLockedByte(std::intptr_t handle, DWORD flags)
{
    OVERLAPPED at = OverlappedAt(LockedByte);
    if (LockFileEx(HandleOf(handle), flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return true;
    const DWORD error = GetLastError();
    FailWithSystemError();
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION)
        errno = ENOLCK;
    if (errno == EWOULDBLOCK)
        errno = EAGAIN;
    return false;
}

} // namespace

bool SystemFile::tryWriterLock()
{
    return TryLockedByte(m_handle, LOCKFILE_EXCLUSIVE_LOCK);
}

bool SystemFile::tryReaderLock()
{
    return TryLockedByte(m_handle, 0);
}

// Windows names every file it makes, so the rules make theirs under a temporary name.
std::optional<SystemFile> SystemFile::createUnnamed(const std::string &)
{
    errno = EOPNOTSUPP;
    return std::nullopt;
}

bool SystemFile::giveFirstName(const std::string &)
{
    errno = EOPNOTSUPP;
    return false;
}

bool SystemFile::giveOwnerOf(const FileKeeps &)
{
    return true;
}

bool SystemFile::giveModeOf(const FileKeeps *)
{
    return true;
}

namespace {

// The temporary file under way, for the console's Ctrl+C and close handler, which runs on a
// thread of its own: a fixed buffer, and a flag raised only once the name in it is whole.
wchar_t PendingName[32768];
std::atomic<bool> NamePending{false};

BOOL WINAPI RemovePendingOnTheWayOut(DWORD)
{
    if (NamePending.exchange(false))
        DeleteFileW(PendingName);
    return FALSE; // the program ends as it would have
}

} // namespace

TemporaryFile::TemporaryFile()
{
    SetConsoleCtrlHandler(RemovePendingOnTheWayOut, TRUE);
}

TemporaryFile::~TemporaryFile()
{
    m_file.reset();
    if (NamePending.exchange(false))
        DeleteFileW(PendingName);
    SetConsoleCtrlHandler(RemovePendingOnTheWayOut, FALSE);
}

// The name takes the process and a tick count, and the next tick when that is taken.
SystemFile *TemporaryFile::create(const std::string &folder, const std::string &prefix)
{
    const std::wstring start = WideName(folder + prefix);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::wstring name = start + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(GetTickCount() + attempt);
        if (name.size() >= std::size(PendingName)) {
            errno = ENAMETOOLONG;
            return nullptr;
        }
        name.copy(PendingName, name.size());
        PendingName[name.size()] = L'\0';
        const HANDLE file = CreateFileW(PendingName, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            NamePending = true;
            m_file = SystemFile(reinterpret_cast<std::intptr_t>(file));
            return &*m_file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            FailWithSystemError();
            return nullptr;
        }
    }
    errno = EEXIST;
    return nullptr;
}

std::string TemporaryFile::name() const
{
    return Utf8Name(PendingName);
}

bool TemporaryFile::moveInto(const std::string &target, bool replace)
{
    if (!MoveIntoName(name(), target, replace))
        return false;
    NamePending = false;
    return true;
}

void TemporaryFile::keep()
{
    NamePending = false;
}

// MoveFileExW replaces the old name in one step, or, not told to replace, fails when the name
// is taken.
bool MoveIntoName(const std::string &from, const std::string &to, bool replace)
{
    const DWORD how = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return MoveFileExW(WideName(from).c_str(), WideName(to).c_str(), how) || FailWithSystemError();
}

bool RemoveName(const std::string &name)
{
    return DeleteFileW(WideName(name).c_str()) || FailWithSystemError();
}

void IgnoreFileSizeSignal() {}
