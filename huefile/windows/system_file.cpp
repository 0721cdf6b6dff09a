#include "huefile/system_file.h"

#include "huefile/windows/system_calls.h"

#include <algorithm>
#include <cerrno>
#include <limits>

// On Windows a regular file is one on a disk: GetFileType says FILE_TYPE_DISK for it, and it
// carries neither the folder nor the device attribute. Pipes, consoles, serial ports and the
// null device are refused as on Linux.

namespace {

// Opens never keep others from reading, writing, renaming or deleting the file: the writers'
// lock alone keeps two writers apart, as on Linux.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE HandleOf(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
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

std::optional<FileFacts> FactsOfHandle(HANDLE file)
{
    if (GetFileType(file) != FILE_TYPE_DISK)
        return FileFacts{KindOf(file, {}), false, 0};
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) {
        FailWithSystemError();
        return std::nullopt;
    }
    const auto size =
        (static_cast<FileOffset>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return FileFacts{KindOf(file, information),
                     (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0, size};
}

// An open that asks nothing of the file but its facts: folders included, never waiting.
HANDLE OpenForFacts(const std::string &fileName)
{
    return CreateFileW(WideName(fileName).c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::optional<BY_HANDLE_FILE_INFORMATION> InformationOfName(const std::string &fileName)
{
    const HANDLE file = OpenForFacts(fileName);
    if (file == INVALID_HANDLE_VALUE) {
        FailWithSystemError();
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(file, &information);
    if (!known)
        FailWithSystemError();
    CloseHandle(file);
    return known ? std::optional(information) : std::nullopt;
}

constexpr FileOffset LockedByte = std::numeric_limits<FileOffset>::max() - 1;

} // namespace

std::optional<FileFacts> FactsOfName(const std::string &fileName)
{
    const HANDLE file = OpenForFacts(fileName);
    if (file == INVALID_HANDLE_VALUE) {
        FailWithSystemErrorFor(fileName);
        return std::nullopt;
    }
    std::optional<FileFacts> facts = FactsOfHandle(file);
    CloseHandle(file);
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

void SystemFile::close()
{
    if (m_handle != -1)
        CloseHandle(HandleOf(m_handle));
    m_handle = -1;
}

std::optional<FileFacts> SystemFile::facts() const
{
    return FactsOfHandle(HandleOf(m_handle));
}

FileOffset SystemFile::size() const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(HandleOf(m_handle), &size))
        return FailWithSystemError(), -1;
    return size.QuadPart;
}

// One call moves at most what a DWORD counts; larger requests go in pieces.
constexpr FileOffset LargestPiece = 1 << 30;

FileOffset SystemFile::readAt(void *buffer, FileOffset count, FileOffset offset) const
{
    auto *bytes = static_cast<char *>(buffer);
    FileOffset done = 0;
    while (done < count) {
        OVERLAPPED at = OverlappedAt(offset + done);
        DWORD got = 0;
        const auto piece = static_cast<DWORD>(std::min(count - done, LargestPiece));
        if (!ReadFile(HandleOf(m_handle), bytes + done, piece, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return FailWithSystemError(), -1;
        }
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
        OVERLAPPED at = OverlappedAt(offset + done);
        DWORD put = 0;
        const auto piece = static_cast<DWORD>(std::min(count - done, LargestPiece));
        if (!WriteFile(HandleOf(m_handle), bytes + done, piece, &put, &at)) {
            FailWithSystemError();
            break;
        }
        if (put == 0)
            break;
        done += put;
    }
    return done;
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

bool SystemFile::tryWriterLock()
{
    OVERLAPPED at = OverlappedAt(LockedByte);
    if (LockFileEx(HandleOf(m_handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &at))
        return true;
    FailWithSystemError();
    if (errno == EWOULDBLOCK)
        errno = EAGAIN;
    return false;
}

bool MayWriteFile(const std::string &fileName)
{
    const std::optional<FileFacts> facts = FactsOfName(fileName);
    if (!facts || facts->kind != FileKind::Regular || facts->readOnlyForEveryone)
        return false;
    const HANDLE file = CreateFileW(WideName(fileName).c_str(), GENERIC_WRITE, ShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool SameFileOnDisk(const std::string &a, const std::string &b)
{
    const auto first = InformationOfName(a);
    const auto second = InformationOfName(b);
    return first && second && first->dwVolumeSerialNumber == second->dwVolumeSerialNumber &&
           first->nFileIndexHigh == second->nFileIndexHigh &&
           first->nFileIndexLow == second->nFileIndexLow;
}

void IgnoreFileSizeSignal() {}
