#pragma once

#include "huefile/system_file.h"

#include <sys/stat.h>

// What a file's mode says, for the POSIX side of the file layer alone.

inline FileKind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::Pipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileKind::Device;
    return FileKind::Other;
}

// A file that has no write permission bit at all was made read-only on purpose, so it is
// read-only for everyone: root, whom the system lets write it anyway, included.
constexpr bool ReadOnlyForEveryone(mode_t mode)
{
    return (mode & 0222) == 0;
}
