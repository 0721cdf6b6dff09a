#pragma once

#include "huefile/system_file.h"

#include <string>

// Why a file cannot be used, in the short, lower-case words that both programs show after its
// name: the window in a red name's tooltip, the command line as "colvane-cli: <name>: <why>".
// Each reason is worded here once.

constexpr const char *ReadOnlyReason = "read-only";
constexpr const char *TextFileReason = "looks like text, not a hue file";
constexpr const char *NoReaderReason = "a pipe with no reader";
constexpr const char *LockedReason = "locked by another process";

// The system's reason for a failed call on a file ("no such file", "permission denied").
std::string ErrorText(int error);

// Why a write failed, from the errno it left: ErrorText's words, or, where the system gave no
// reason, that the write failed.
std::string WriteFailureText(int error);

// The system's own words for an error number, starting lower-case to follow a colon.
std::string SystemErrorText(int error);

// What stands behind a name that is no regular file ("a folder", "a pipe, not a regular
// file"), or empty for a regular file.
std::string KindText(FileKind kind);
