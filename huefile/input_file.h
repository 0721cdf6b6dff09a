#pragma once

#include "huefile/expected.h"
#include "huefile/system_file.h"

#include <string>

// The whole of an input file, such as a palette, or why it cannot be read, in the words of
// huefile/file_checks.h. "-" is standard input, read as it is. Never blocks: a pipe or device
// named as input is refused. More than `limit` bytes is refused too, however much the input
// grows while it is read, and for standard input, which has no size to ask for beforehand.
Expected<std::string> ReadInputFile(const std::string &fileName, FileOffset limit,
                                    const std::string &tooLarge);

// The rules ReadInputFile follows, for any system's answers. Why an input that did not open
// (the open's errno was `openError`) is not read: what stands behind the name, or the open's
// own reason.
std::string WhyInputDidNotOpen(const FileSystem &system, const std::string &fileName,
                               int openError);
// Whether an input that opened, whose facts these are, is read, or why not.
Expected<void> InputMayBeRead(const FileFacts &facts, FileOffset limit,
                              const std::string &tooLarge);
