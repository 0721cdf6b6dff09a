#include "huefile/file_checks.h"
#include "huefile/input_file.h"
#include "huefile/output_file.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

// A system of names that exist only in the table: it answers what the rules ask and nothing
// else, so the rules are seen deciding from the answers alone, alike on every system.
// How the fake makes and names a file without a name. The file it gives is a real one under a
// name of its own in fake/, named by a real link, so that the rules' bytes and refusals are seen
// on disk.
struct UnnamedAnswers {
    // Why no file is made; 0 makes one.
    int createError = EOPNOTSUPP;
    // Why it cannot be named, other than a name that is taken; 0 names it.
    int nameError = 0;
    // Another program makes the target while the rules write theirs.
    bool takenMeanwhile = false;
};

class FakeFileSystem : public FileSystem {
public:
    explicit FakeFileSystem(std::map<std::string, NameFacts> names, UnnamedAnswers unnamed = {})
        : m_names(std::move(names)), m_unnamed(unnamed)
    {
    }

    NameFacts factsOfName(const std::string &fileName) const override
    {
        asked.push_back(fileName);
        const auto found = m_names.find(fileName);
        if (found != m_names.end())
            return found->second;
        NameFacts nothing;
        nothing.error = ENOENT;
        return nothing;
    }

    std::optional<SystemFile> createUnnamed(const std::string &folder) const override
    {
        unnamedIn.push_back(folder);
        if (m_unnamed.takenMeanwhile)
            WriteBytes(folder + TargetName, TheirBytes);
        if (m_unnamed.createError != 0) {
            errno = m_unnamed.createError;
            return std::nullopt;
        }
        WriteBytes(ScratchName, {});
        return SystemFile::open(ScratchName, SystemFile::Access::Update);
    }

    bool giveFirstName(SystemFile &, const std::string &target) const override
    {
        if (m_unnamed.nameError != 0) {
            errno = m_unnamed.nameError;
            return false;
        }
        return MoveIntoName(ScratchName, target, false);
    }

    static constexpr const char *ScratchName = "fake/unnamed";
    static constexpr const char *TargetName = "new.gpl";
    static inline const std::vector<unsigned char> TheirBytes{'t', 'h', 'e', 'i', 'r', 's'};

    mutable std::vector<std::string> asked;
    mutable std::vector<std::string> unnamedIn;

private:
    std::map<std::string, NameFacts> m_names;
    UnnamedAnswers m_unnamed;
};

// A regular file of this user's that it may write, with one link, reached under its own name.
NameFacts Replaceable(const std::string &resolvedName)
{
    NameFacts facts;
    facts.kind = FileKind::Regular;
    facts.size = 100;
    facts.resolvedName = resolvedName;
    return facts;
}

NameFacts Missing(int error, bool isLink = false)
{
    NameFacts facts;
    facts.error = error;
    facts.isLink = isLink;
    return facts;
}

NameFacts OfKind(FileKind kind)
{
    NameFacts facts;
    facts.kind = kind;
    return facts;
}

template <class Change> NameFacts With(NameFacts facts, Change change)
{
    change(facts);
    return facts;
}

using Way = OutputPlan::Way;

struct OutputRow {
    const char *name;
    NameFacts facts;
    const char *extension;
    Way way;
    // The file that takes the bytes, for a plan that writes.
    const char *target;
    const char *why;
};

// What an -o may replace, decided from the facts alone: the extension is that of the file a
// link resolves to, and each refusal is worded once for both systems.
TEST(OutputRules, DecideFromTheFactsOfTheNameAlone)
{
    const std::string noGpl = "exists and is no gpl file; not replaced";
    const OutputRow rows[] = {
        {"new.gpl", Missing(ENOENT), "gpl", Way::Create, "new.gpl", ""},
        {"dangling.gpl", Missing(ENOENT, true), "gpl", Way::Refuse, "", "a link to nothing"},
        {"hues.mul/new.gpl", Missing(ENOTDIR), "gpl", Way::Refuse, "",
         "a part of the path is not a folder"},
        {"locked/new.gpl", Missing(EACCES), "gpl", Way::Refuse, "", "permission denied"},
        {"folder.gpl", OfKind(FileKind::Folder), "gpl", Way::Refuse, "", "a folder"},
        {"pipe.gpl", OfKind(FileKind::Pipe), "gpl", Way::Stream, "pipe.gpl", ""},
        {"device", OfKind(FileKind::Device), "gpl", Way::Stream, "device", ""},
        {"socket.mul", OfKind(FileKind::Other), "gpl", Way::Stream, "socket.mul", ""},
        {"sea.gpl", Replaceable("/data/sea.gpl"), "gpl", Way::Replace, "/data/sea.gpl", ""},
        {"SEA.GPL", Replaceable("/data/SEA.GPL"), "gpl", Way::Replace, "/data/SEA.GPL", ""},
        {"sea.gpl", Replaceable("/data/Sea.Gpl"), "GPL", Way::Replace, "/data/Sea.Gpl", ""},
        {"sea.gpl", Replaceable(""), "gpl", Way::Replace, "sea.gpl", ""},
        // A link is judged by what it leads to, in either direction.
        {"sea.gpl", Replaceable("/data/hues.mul"), "gpl", Way::Refuse, "", noGpl.c_str()},
        {"palette.mul", Replaceable("/data/sea.gpl"), "gpl", Way::Replace, "/data/sea.gpl", ""},
        {"sea.gpl", Replaceable(""), "hex", Way::Refuse, "",
         "exists and is no hex file; not replaced"},
        {"sea.gplx", Replaceable(""), "gpl", Way::Refuse, "", noGpl.c_str()},
        {"sea.gp", Replaceable(""), "gpl", Way::Refuse, "", noGpl.c_str()},
        {"gpl", Replaceable(""), "gpl", Way::Refuse, "", noGpl.c_str()},
        {".gpl", Replaceable(""), "gpl", Way::Replace, ".gpl", ""},
        {"palette", Replaceable("/data/set.gpl/palette"), "gpl", Way::Refuse, "", noGpl.c_str()},
        {"palette", Replaceable("set.gpl\\palette"), "gpl", Way::Refuse, "", noGpl.c_str()},
        // The checks in their order: the name, then the permissions, then the owner, then the
        // links.
        {"sea.hex", With(Replaceable(""), [](NameFacts &f) { f.readOnlyForEveryone = true; }),
         "gpl", Way::Refuse, "", "exists and is no gpl file; not replaced"},
        {"sea.gpl",
         With(Replaceable(""),
              [](NameFacts &f) {
                  f.readOnlyForEveryone = true;
                  f.actingAsRoot = true;
                  f.writeError = EACCES;
              }),
         "gpl", Way::Refuse, "", "read-only"},
        {"sea.gpl", With(Replaceable(""), [](NameFacts &f) { f.writeError = EACCES; }), "gpl",
         Way::Refuse, "", "permission denied"},
        {"sea.gpl", With(Replaceable(""), [](NameFacts &f) { f.writeError = EROFS; }), "gpl",
         Way::Refuse, "", "read-only file system"},
        {"sea.gpl",
         With(Replaceable(""),
              [](NameFacts &f) {
                  f.ownedByUs = false;
                  f.links = 3;
              }),
         "gpl", Way::Refuse, "",
         "belongs to another user, and a replacement would change its owner"},
        {"sea.gpl",
         With(Replaceable(""),
              [](NameFacts &f) {
                  f.ownedByUs = false;
                  f.actingAsRoot = true;
              }),
         "gpl", Way::Replace, "sea.gpl", ""},
        {"sea.gpl", With(Replaceable(""), [](NameFacts &f) { f.links = 2; }), "gpl", Way::Refuse,
         "", "has 2 hard links, which a replacement would split; not replaced"},
    };
    for (const OutputRow &row : rows) {
        const FakeFileSystem system({{row.name, row.facts}});
        const OutputPlan plan = PlanOutput(system, row.name, row.extension);
        SCOPED_TRACE(std::string(row.name) + " as " + row.extension);
        EXPECT_EQ(plan.way, row.way);
        EXPECT_EQ(plan.why, row.why);
        if (row.way != Way::Refuse) {
            EXPECT_EQ(plan.target, row.target);
        }
        EXPECT_EQ(system.asked, std::vector<std::string>{row.name});
    }
    const FakeFileSystem nothing({});
    const OutputPlan unnamed = PlanOutput(nothing, "", "gpl");
    EXPECT_EQ(unnamed.way, Way::Refuse);
    EXPECT_EQ(unnamed.why, "no file name");
    EXPECT_TRUE(nothing.asked.empty()) << "an empty name is refused before it is looked at";
}

struct InputRow {
    FileFacts facts;
    const char *why;
};

// An input that opened is read only as a regular file of at most the limit; one that did not
// open is explained by what stands behind its name, else by the open's own reason.
TEST(InputRules, RefuseAnythingButARegularFileWithinTheLimit)
{
    const std::string tooLarge = "too large for a palette";
    const InputRow opened[] = {
        {{FileKind::Regular, false, 0}, ""},
        {{FileKind::Regular, true, 1000}, ""},
        {{FileKind::Regular, false, 1001}, "too large for a palette"},
        {{FileKind::Folder, false, 0}, "a folder"},
        {{FileKind::Pipe, false, 0}, "a pipe, not a regular file"},
        {{FileKind::Device, false, 5000}, "a device, not a regular file"},
        {{FileKind::Other, false, 0}, "not a regular file"},
    };
    for (const InputRow &row : opened) {
        const Expected<void> accepted = InputMayBeRead(row.facts, 1000, tooLarge);
        EXPECT_EQ(accepted ? std::string() : accepted.error(), row.why) << row.why;
    }

    const FakeFileSystem system({{"hues.gpl", Replaceable("")},
                                 {"pipe.gpl", OfKind(FileKind::Pipe)},
                                 {"folder.gpl", OfKind(FileKind::Folder)},
                                 {"hidden/x.gpl", Missing(EACCES)}});
    EXPECT_EQ(WhyInputDidNotOpen(system, "missing.gpl", EACCES), "no such file");
    EXPECT_EQ(WhyInputDidNotOpen(system, "hidden/x.gpl", ENOENT), "permission denied");
    EXPECT_EQ(WhyInputDidNotOpen(system, "pipe.gpl", ENXIO), "a pipe, not a regular file");
    EXPECT_EQ(WhyInputDidNotOpen(system, "folder.gpl", EISDIR), "a folder");
    EXPECT_EQ(WhyInputDidNotOpen(system, "hues.gpl", EACCES), "permission denied");
}

std::vector<std::string> NamesIn(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct NewFileRow {
    const char *what;
    UnnamedAnswers unnamed;
    // Whether the file was made without a name and named; else through a named temporary, or
    // not at all.
    bool namedUnnamed;
    // The reason for a refusal, or "" for a file made; "taken" for the way's own reason for a
    // name that came to be meanwhile.
    std::string why;
};

// A new file is made without a name and then named; where the system makes none, or cannot
// name it, it goes through a named temporary instead. A name that another program takes
// meanwhile is refused either way and keeps that program's bytes, and no way leaves a
// temporary behind. Both ways of making a new file follow the one rule.
TEST(OutputRules, ANewFileIsNamedOnlyWhenWholeAndNeverOverAnother)
{
    const NewFileRow rows[] = {
        {"made and named", {0, 0, false}, true, ""},
        {"no such files on this system", {EOPNOTSUPP, 0, false}, false, ""},
        {"a kernel that takes the flag for a folder", {EISDIR, 0, false}, false, ""},
        {"a file system without them", {EINVAL, 0, false}, false, ""},
        {"no /proc to name it through", {0, ENOENT, false}, false, ""},
        {"a folder it may not write", {EACCES, 0, false}, false, "permission denied"},
        {"a full disk when naming", {0, ENOSPC, false}, false, ErrorText(ENOSPC)},
        {"taken while written", {0, 0, true}, false, "taken"},
        {"taken while a temporary was written", {EOPNOTSUPP, 0, true}, false, "taken"},
        {"taken, and no /proc", {0, ENOENT, true}, false, "taken"},
    };
    const std::vector<unsigned char> ours{'o', 'u', 'r', 's', '\n'};
    const std::string target = std::string("out/") + FakeFileSystem::TargetName;
    struct Way {
        const char *name;
        std::string taken;
        Expected<void> (*write)(const FileSystem &, const std::string &, const std::string &);
    };
    const Way ways[] = {
        {"new", "exists already, and only a new file is made",
         [](const FileSystem &system, const std::string &name, const std::string &bytes) {
             return CreateNewFile(system, name, bytes);
         }},
        {"export", "came to exist while the file was written; not replaced",
         [](const FileSystem &system, const std::string &name, const std::string &bytes) {
             return WriteOutputFile(system, name, "gpl", bytes);
         }},
    };
    for (const Way &way : ways) {
        for (const NewFileRow &row : rows) {
            SCOPED_TRACE(std::string(way.name) + ", " + row.what);
            const TempFolder folder;
            std::filesystem::create_directory("out");
            std::filesystem::create_directory("fake");
            const FakeFileSystem system({}, row.unnamed);
            const Expected<void> written =
                way.write(system, target, std::string(ours.begin(), ours.end()));
            const std::string why = row.why == "taken" ? way.taken : row.why;
            EXPECT_EQ(written ? std::string() : written.error(), why);
            EXPECT_EQ(system.unnamedIn, std::vector<std::string>{"out/"});
            if (row.unnamed.takenMeanwhile)
                EXPECT_EQ(ReadBytes(target), FakeFileSystem::TheirBytes);
            else if (why.empty())
                EXPECT_EQ(ReadBytes(target), ours);
            else
                EXPECT_FALSE(FileExists(target));
            const bool madeOne = row.unnamed.takenMeanwhile || why.empty();
            EXPECT_EQ(NamesIn("out"), madeOne ? std::vector<std::string>{FakeFileSystem::TargetName}
                                              : std::vector<std::string>{})
                << "a temporary was left";
            EXPECT_EQ(FileExists(FakeFileSystem::ScratchName),
                      row.unnamed.createError == 0 && !row.namedUnnamed)
                << "the unnamed file was named, or never made";
        }
    }
}

// Whether the system here makes symbolic links for this user: Windows asks for a privilege or
// the developer mode, and wine makes none at all (the Windows build meets links made on Linux in
// BuildAgainstBuild instead).
bool MadeSymbolicLink(const std::string &target, const std::string &link, std::string &why)
{
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    if (error)
        why = "this system makes no symbolic link here: " + error.message();
    else if (!std::filesystem::is_symlink(std::filesystem::symlink_status(link, error)))
        why = "the system said it made a symbolic link, but there is none";
    return why.empty();
}

// The real system's answers lead to the same decision: a gpl name that links to a hue file is
// no gpl file, and a link to a gpl file is written through, the link itself staying a link.
TEST(OutputRules, ALinkIsJudgedByTheFileItLeadsTo)
{
    const TempFolder folder;
    WriteHueFile("hues.mul", 9);
    const std::vector<unsigned char> hues = ReadBytes("hues.mul");
    std::string why;
    if (!MadeSymbolicLink("hues.mul", "sea.gpl", why))
        GTEST_SKIP() << why;
    const Expected<void> refused = WriteOutputFile("sea.gpl", "gpl", "GIMP Palette\n");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "exists and is no gpl file; not replaced");
    EXPECT_EQ(ReadBytes("hues.mul"), hues);

    WriteBytes("real.gpl", {'o', 'l', 'd', '\n'});
    ASSERT_TRUE(MadeSymbolicLink("real.gpl", "palette.mul", why)) << why;
    const Expected<void> written = WriteOutputFile("palette.mul", "gpl", "new\n");
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(ReadBytes("real.gpl"), (std::vector<unsigned char>{'n', 'e', 'w', '\n'}));
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status("palette.mul")));
    EXPECT_EQ(ReadBytes("hues.mul"), hues);
}

} // namespace
