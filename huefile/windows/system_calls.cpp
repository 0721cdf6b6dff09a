#include "huefile/windows/system_calls.h"

#include <cerrno>

std::wstring WideName(const std::string &fileName)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, fileName.data(),
                                           static_cast<int>(fileName.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, fileName.data(), static_cast<int>(fileName.size()), wide.data(),
                        length);
    return wide;
}

std::string Utf8Name(const std::wstring &wide)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string name(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), name.data(), length,
                        nullptr, nullptr);
    return name;
}

namespace {

int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_LOCK_FAILED:
    case ERROR_IO_PENDING:
        return EWOULDBLOCK;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
    default:
        return EIO;
    }
}

} // namespace

bool FailWithSystemError()
{
    errno = ErrnoOf(GetLastError());
    return false;
}

// Windows says "path not found" also when a part of the path is a file; that is told apart.
bool FailWithSystemErrorFor(const std::string &fileName)
{
    const DWORD error = GetLastError();
    FailWithSystemError();
    if (error != ERROR_PATH_NOT_FOUND && error != ERROR_DIRECTORY)
        return false;
    for (std::size_t end = fileName.find_first_of("/\\"); end != std::string::npos;
         end = fileName.find_first_of("/\\", end + 1)) {
        const DWORD attributes = GetFileAttributesW(WideName(fileName.substr(0, end)).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            errno = ENOTDIR;
            break;
        }
    }
    return false;
}

OVERLAPPED OverlappedAt(long long offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
    return at;
}
