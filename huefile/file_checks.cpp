#include "huefile/file_checks.h"

#include <cctype>
#include <cerrno>
#include <cstring>

std::string ErrorText(int error)
{
    switch (error) {
    case 0:
        return "cannot be opened";
    case ENOENT:
        return "no such file";
    case EACCES:
    case EPERM:
        return "permission denied";
    case EISDIR:
        return "a folder";
    case ENOTDIR:
        return "a part of the path is not a folder";
    case ENOSPC:
        return "no space left on the device";
    case EFBIG:
        return "file too large";
    case EWOULDBLOCK:
        return LockedReason;
    case EROFS:
        return "read-only file system";
    default:
        return SystemErrorText(error);
    }
}

std::string WriteFailureText(int error)
{
    return error ? ErrorText(error) : "the write failed";
}

std::string SystemErrorText(int error)
{
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string KindText(FileKind kind)
{
    switch (kind) {
    case FileKind::Regular:
        return "";
    case FileKind::Folder:
        return "a folder";
    case FileKind::Pipe:
        return "a pipe, not a regular file";
    case FileKind::Device:
        return "a device, not a regular file";
    case FileKind::Other:
        break;
    }
    return "not a regular file";
}
