#include "huefile/output_file.h"

#include "huefile/file_checks.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

constexpr const char *TakenMeanwhileReason =
    "came to exist while the file was written; not replaced";

OutputPlan Refused(std::string why)
{
    OutputPlan plan;
    plan.why = std::move(why);
    return plan;
}

bool SameLetter(char a, char b)
{
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
}

bool HasExtension(const std::string &fileName, const std::string &extension)
{
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos)
        return false;
    const std::string ending = fileName.substr(dot + 1);
    return ending.find_first_of(NameSeparators) == std::string::npos &&
           std::equal(ending.begin(), ending.end(), extension.begin(), extension.end(), SameLetter);
}

// A rename would replace the target whatever its name, mode, owner or links, so each of them
// is asked first: it is replaced only as writing into it would have been allowed.
std::string WhyNotReplaced(const std::string &target, const NameFacts &facts,
                           const std::string &extension)
{
    if (!HasExtension(target, extension))
        return "exists and is no " + extension + " file; not replaced";
    if (facts.readOnlyForEveryone)
        return ReadOnlyReason;
    if (facts.writeError != 0)
        return ErrorText(facts.writeError);
    if (!facts.actingAsRoot && !facts.ownedByUs)
        return "belongs to another user, and a replacement would change its owner";
    if (facts.links > 1)
        return "has " + std::to_string(facts.links) +
               " hard links, which a replacement would split; not replaced";
    return "";
}

// The folder part of a name, with its separator; empty for a name in the current folder.
std::string FolderOf(const std::string &fileName)
{
    const std::size_t end = fileName.find_last_of(NameSeparators);
    return end == std::string::npos ? std::string() : fileName.substr(0, end + 1);
}

Expected<void> WriteToStream(const std::string &fileName, const std::string &bytes)
{
    std::optional<SystemFile> file = SystemFile::openStream(fileName);
    if (!file)
        return Fail(errno == ENXIO ? NoReaderReason : ErrorText(errno));
    if (!file->writeAll(bytes))
        return Fail(ErrorText(errno ? errno : EIO));
    return Done();
}

// Whether the bytes are all in the file, with the owner and mode of the file it replaces (or a
// new file's mode), and if not, why.
std::string WhyNotFilled(SystemFile &file, const std::string &bytes, const FileKeeps *replaced)
{
    if (!file.writeAll(bytes))
        return ErrorText(errno ? errno : EIO);
    if (replaced && !file.giveOwnerOf(*replaced))
        return "its owner and group cannot be kept (" + ErrorText(errno) + "); not replaced";
    if (!file.giveModeOf(replaced))
        return ErrorText(errno);
    return "";
}

Expected<void> FillTemporary(SystemFile &file, const std::string &bytes, const FileKeeps *replaced)
{
    std::string why = WhyNotFilled(file, bytes, replaced);
    if (!file.close() && why.empty())
        why = ErrorText(errno);
    if (!why.empty())
        return Fail(why);
    return Done();
}

// The temporary's name is short, so that a target name of the longest length still leaves
// room for it. Without `replace`, a file that took the name meanwhile is refused for `taken`.
Expected<void> WriteThroughTemporary(const std::string &target, const FileKeeps *replaced,
                                     const std::string &bytes, bool replace,
                                     const std::string &taken = {})
{
    TemporaryFile temporary;
    SystemFile *file = temporary.create(FolderOf(target), ".colvane-");
    if (!file)
        return Fail(ErrorText(errno));
    if (Expected<void> filled = FillTemporary(*file, bytes, replaced); !filled)
        return filled;
    if (!temporary.moveInto(target, replace))
        return Fail(!replace && errno == EEXIST ? taken : ErrorText(errno));
    return Done();
}

// The reasons a file without a name could not be made that a named temporary does not meet: a
// system, kernel or file system without such files.
bool UnnamedNotSupported(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// A new file is made without a name where the system can, and named only once it is whole, so
// that a program killed while it writes, even by a signal it cannot see, leaves nothing behind.
// Elsewhere it goes through a named temporary, which only an ending signal the program sees
// removes. Either way a file that took the name meanwhile is never replaced, but refused for
// `taken`.
Expected<void> WriteNewFile(const FileSystem &system, const std::string &target,
                            const std::string &bytes, const std::string &taken)
{
    std::optional<SystemFile> file = system.createUnnamed(FolderOf(target));
    if (!file && !UnnamedNotSupported(errno))
        return Fail(ErrorText(errno));
    if (file) {
        if (const std::string why = WhyNotFilled(*file, bytes, nullptr); !why.empty())
            return Fail(why);
        if (system.giveFirstName(*file, target)) {
            // The name is ours now; bytes the close says were lost must not stay under it.
            if (file->close())
                return Done();
            const int error = errno;
            RemoveName(target);
            return Fail(ErrorText(error));
        }
        if (errno == EEXIST)
            return Fail(taken);
        if (errno != ENOENT)
            return Fail(ErrorText(errno));
        // The system could not reach the file to name it, as without /proc mounted.
        file.reset();
    }
    return WriteThroughTemporary(target, nullptr, bytes, false, taken);
}

} // namespace

OutputPlan PlanOutput(const FileSystem &system, const std::string &fileName,
                      const std::string &extension)
{
    if (fileName.empty())
        return Refused("no file name");
    const NameFacts facts = system.factsOfName(fileName);
    OutputPlan plan;
    plan.target = fileName;
    if (facts.error != 0) {
        if (facts.error != ENOENT)
            return Refused(ErrorText(facts.error));
        if (facts.isLink)
            return Refused("a link to nothing");
        plan.way = OutputPlan::Way::Create;
        return plan;
    }
    if (facts.kind == FileKind::Folder)
        return Refused(KindText(facts.kind));
    if (facts.kind != FileKind::Regular) {
        plan.way = OutputPlan::Way::Stream;
        return plan;
    }
    if (!facts.resolvedName.empty())
        plan.target = facts.resolvedName;
    plan.replaced = facts;
    plan.why = WhyNotReplaced(plan.target, facts, extension);
    plan.way = plan.why.empty() ? OutputPlan::Way::Replace : OutputPlan::Way::Refuse;
    return plan;
}

Expected<void> WriteOutputFile(const FileSystem &system, const std::string &fileName,
                               const std::string &extension, const std::string &bytes)
{
    const OutputPlan plan = PlanOutput(system, fileName, extension);
    switch (plan.way) {
    case OutputPlan::Way::Create:
        // The name was free when the plan was made; a file that came meanwhile was never
        // asked whether it may be replaced.
        return WriteNewFile(system, plan.target, bytes, TakenMeanwhileReason);
    case OutputPlan::Way::Replace:
        return WriteThroughTemporary(plan.target, &plan.replaced.keeps, bytes, true);
    case OutputPlan::Way::Stream:
        return WriteToStream(plan.target, bytes);
    case OutputPlan::Way::Refuse:
        break;
    }
    return Fail(plan.why);
}

Expected<void> WriteOutputFile(const std::string &fileName, const std::string &extension,
                               const std::string &bytes)
{
    return WriteOutputFile(TheFileSystem(), fileName, extension, bytes);
}

Expected<void> CreateNewFile(const FileSystem &system, const std::string &fileName,
                             const std::string &bytes)
{
    if (fileName.empty())
        return Fail("no file name");
    return WriteNewFile(system, fileName, bytes, "exists already, and only a new file is made");
}

Expected<void> CreateNewFile(const std::string &fileName, const std::string &bytes)
{
    return CreateNewFile(TheFileSystem(), fileName, bytes);
}

// A staged file that cannot be filled goes with its temporary object; one filled stays for
// NameStagedFile.
Expected<std::string> StageFile(const std::string &folder, const std::string &bytes)
{
    TemporaryFile temporary;
    SystemFile *file = temporary.create(folder + "/", ".colvane-samples-");
    if (!file)
        return Fail(std::strerror(errno));
    int failure = 0;
    if (!file->writeAll(bytes) || !file->giveModeOf(nullptr))
        failure = errno ? errno : EIO;
    if (!file->close() && failure == 0)
        failure = errno;
    if (failure != 0)
        return Fail(std::strerror(failure));
    temporary.keep();
    return temporary.name();
}

// A link is replaced itself, wherever it leads or fails to.
Expected<NameHolds> WhatNameHolds(const std::string &name)
{
    const NameFacts facts = FactsOfName(name);
    if (facts.isLink)
        return NameHolds::Replaceable;
    if (facts.error == ENOENT)
        return NameHolds::Free;
    if (facts.error != 0)
        return Fail(std::strerror(facts.error));
    if (facts.kind == FileKind::Folder)
        return NameHolds::Folder;
    return facts.kind == FileKind::Regular ? NameHolds::Replaceable : NameHolds::Other;
}

Expected<void> NameStagedFile(const std::string &temporary, const std::string &name, bool replace)
{
    if (!MoveIntoName(temporary, name, replace))
        return Fail(std::strerror(errno));
    return Done();
}

void RemoveFile(const std::string &name)
{
    RemoveName(name);
}
