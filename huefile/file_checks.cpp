#include "huefile/file_checks.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
        return "locked by another process";
    case EROFS:
        return "read-only file system";
    default: {
        std::string text = std::strerror(error);
        if (!text.empty())
            text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        return text;
    }
    }
}

std::string KindText(mode_t mode)
{
    if (S_ISREG(mode))
        return "";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a pipe, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device, not a regular file";
    return "not a regular file";
}

bool MayWriteFile(const std::string &fileName)
{
    struct stat info {};
    return stat(fileName.c_str(), &info) == 0 && !ReadOnlyForEveryone(info.st_mode) &&
           faccessat(AT_FDCWD, fileName.c_str(), W_OK, AT_EACCESS) == 0;
}

bool SameFileOnDisk(const std::string &a, const std::string &b)
{
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
