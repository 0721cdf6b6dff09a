#pragma once

#include <string>
#include <sys/types.h>

// Why a file cannot be used, in the short, lower-case words that both programs show after its
// name: the window in a red name's tooltip, the command line as "colvane-cli: <name>: <why>".
// Each reason is worded here once.

constexpr const char *ReadOnlyReason = "read-only";
constexpr const char *TextFileReason = "looks like text, not a hue file";

// The system's reason for a failed call on a file ("no such file", "permission denied").
std::string ErrorText(int error);

// What stands behind a name that is no regular file ("a folder", "a pipe, not a regular
// file"), or empty for a regular file.
std::string KindText(mode_t mode);

// A file that has no write permission bit at all was made read-only on purpose, so it is
// read-only for everyone: root, whom the system lets write it anyway, included.
constexpr bool ReadOnlyForEveryone(mode_t mode)
{
    return (mode & 0222) == 0;
}

// Whether this process, with the permissions it acts with now, may write the file; a file
// that is read-only for everyone never.
bool MayWriteFile(const std::string &fileName);

// Whether two names lead, through any links, to one file.
bool SameFileOnDisk(const std::string &a, const std::string &b);
