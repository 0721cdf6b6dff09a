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

// Files made in two steps, for a tool that writes several files and names them only once all
// are written: the bytes go whole into a new file of a free name in `folder`, which then takes
// its own name. Each returns 0 when it worked, else the system's error number. `temporary`
// receives the name the file was given (empty when none was made).
int StageFile(const std::string &folder, const std::string &bytes, std::string &temporary);
// What a staged file's name holds now: Free, a file or link it may replace, or something
// else in the way; `error` is set for Unknown.
enum class NameHolds { Free, Replaceable, Folder, Other, Unknown };
NameHolds WhatNameHolds(const std::string &name, int &error);
// Gives a staged file its name: only a free one, or, with `replace`, over what is there (a
// link is replaced itself, not written through).
int NameStagedFile(const std::string &temporary, const std::string &name, bool replace);
// Removes a name; a missing one is no failure.
void RemoveFile(const std::string &name);
