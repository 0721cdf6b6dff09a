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
