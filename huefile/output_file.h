#pragma once

#include <string>

// The file an export writes: a palette, or a picture. Both programs write it only through
// here, so both decide alike what it may replace.
//
// A new name is created. An existing regular file, its links resolved, is replaced only when
// its name ends in the extension of the format being written, it has a single link, it
// belongs to this user (root may replace anyone's) and this user may write it, which a file
// read-only for everyone never is. A pipe or device is written as it is; a pipe with no
// reader is refused at once. Anything else is refused, and nothing is written.

// Why the output may not be written, or empty when it may. extension is the format's, without
// the dot ("gpl"), in any letter case.
std::string WhyOutputIsRefused(const std::string &fileName, const std::string &extension);

// Writes the bytes, or says why nothing was written, as above; empty when they were. A file
// appears whole or not at all: the bytes go to a temporary file beside it, which then takes
// its name, keeping the owner and mode of the file it replaces. A termination by SIGTERM,
// SIGINT or SIGHUP while the temporary exists removes it on the way out.
std::string WriteOutputFile(const std::string &fileName, const std::string &extension,
                            const std::string &bytes);

// Creates the file with the bytes, whole or not at all, only when the name does not exist in
// any form; an existing file, link or pipe is left alone. Empty when it was made, else why not.
std::string CreateNewFile(const std::string &fileName, const std::string &bytes);
