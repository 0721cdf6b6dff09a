#pragma once

#include "huefile/expected.h"
#include "huefile/system_file.h"

#include <string>

// The file an export writes: a palette, or a picture. Both programs write it only through
// here, so both decide alike what it may replace, on every system.
//
// A new name is created. An existing regular file, its links resolved, is replaced only when
// its name ends in the extension of the format being written, it has a single link, it
// belongs to this user (root may replace anyone's) and this user may write it, which a file
// read-only for everyone never is. A pipe or device is written as it is; a pipe with no
// reader is refused at once. Anything else is refused, and nothing is written.

// What is done with an output name: created, written as a stream, replaced, or refused.
struct OutputPlan {
    enum class Way { Create, Stream, Replace, Refuse } way = Way::Refuse;
    // The file that takes the bytes: for a replacement, the name's links resolved.
    std::string target;
    // The facts of the file a replacement replaces.
    NameFacts replaced;
    // Why the output is refused, in the words that follow its name.
    std::string why;
};

// The plan for writing the format whose extension is given, without the dot ("gpl"), in any
// letter case, decided from what `system` tells of the name.
OutputPlan PlanOutput(const FileSystem &system, const std::string &fileName,
                      const std::string &extension);

// Writes the bytes, or says why nothing was written, as above. A file appears whole or not at
// all. A new file is made without a name and then named, where the system can (Linux), so a
// killed program leaves nothing; a file that came under the name meanwhile is refused, never
// replaced. Otherwise the bytes go to a temporary file beside the target, which then takes its
// name, keeping the owner and mode of the file it replaces. A termination by SIGTERM, SIGINT or
// SIGHUP while such a temporary exists removes it on the way out.
Expected<void> WriteOutputFile(const std::string &fileName, const std::string &extension,
                               const std::string &bytes);
Expected<void> WriteOutputFile(const FileSystem &system, const std::string &fileName,
                               const std::string &extension, const std::string &bytes);

// Creates the file with the bytes, whole or not at all, and as WriteOutputFile makes a new
// file, only when the name does not exist in any form; an existing file, link or pipe is left
// alone.
Expected<void> CreateNewFile(const std::string &fileName, const std::string &bytes);
Expected<void> CreateNewFile(const FileSystem &system, const std::string &fileName,
                             const std::string &bytes);

// Files made in two steps, for a tool that writes several files and names them only once all
// are written. Their failures are worded as the system words an error number, capital and all.
//
// The bytes go whole into a new file of a free name in `folder`; the name it was given.
Expected<std::string> StageFile(const std::string &folder, const std::string &bytes);
// What a staged file's name holds now: Free, a file or link it may replace, or something
// else in the way.
enum class NameHolds { Free, Replaceable, Folder, Other };
Expected<NameHolds> WhatNameHolds(const std::string &name);
// Gives a staged file its name: only a free one, or, with `replace`, over what is there (a
// link is replaced itself, not written through).
Expected<void> NameStagedFile(const std::string &temporary, const std::string &name, bool replace);
// Removes a name; a missing one is no failure.
void RemoveFile(const std::string &name);
