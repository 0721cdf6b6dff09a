#include "support/files.h"
#include "support/killed_write.h"
#include "support/process.h"

#include "huefile/formats/png_picture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

// colvane-cli as a user runs it, built for the system the tests run on: Linux, or Windows
// under wine. Only what the system changes is tested here: names, standard streams in binary,
// refusals in the same words, and the results of one build against another's.

namespace {

using Arguments = std::vector<std::string>;

ProcessOutcome RunCli(const Arguments &arguments, const std::string &input = {})
{
    return RunCommand(COLVANE_CLI_PATH, arguments, input);
}

bool SameColours(const HueEntry &a, const HueEntry &b)
{
    return std::equal(std::begin(a.colours), std::end(a.colours), std::begin(b.colours));
}

std::string Text(const std::vector<unsigned char> &bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Hue files and files that are not, side by side in the current folder.
void LayOutFolder()
{
    WriteHueFile("hues.mul", 40);
    WriteHueFile("patch-hues.mul", 24, 3);
    WriteHueFile("locked.mul", 8);
    ASSERT_TRUE(MakeReadOnly("locked.mul"));
    WriteBytes("notes.txt", std::vector<unsigned char>(200, 'n'));
    ASSERT_TRUE(std::filesystem::create_directory("folder.mul"));
    WriteBytes("locked.gpl", {'G'});
    ASSERT_TRUE(MakeReadOnly("locked.gpl"));
    WriteBytes("linked.gpl", {'G'});
    std::filesystem::create_hard_link("linked.gpl", "link.gpl");
}

class CliAsProcess : public ::testing::Test {
protected:
    void SetUp() override { LayOutFolder(); }
    TempFolder folder;
};

// Every format, through a file and through the standard streams, where a stream left in text
// mode would turn each line break into two bytes and end a png at its first byte 26.
TEST_F(CliAsProcess, EveryFormatCarriesAnEntryThroughFilesAndStandardStreams)
{
    int target = 1;
    for (const std::string format : {"gpl", "pal", "hex", "json", "png"}) {
        for (const bool throughStreams : {false, true}) {
            const int source = target + 10;
            const std::string exported = "entry." + format;
            const ProcessOutcome out = RunCli({"export", "hues.mul", std::to_string(source), "-f",
                                               format, "-o", throughStreams ? "-" : exported});
            ASSERT_EQ(out.status, 0) << format << ": " << out.err;
            const ProcessOutcome in = RunCli({"import", "patch-hues.mul", std::to_string(target),
                                              "-f", format, throughStreams ? "-" : exported},
                                             throughStreams ? out.out : std::string());
            ASSERT_EQ(in.status, 0)
                << format << (throughStreams ? " by streams: " : ": ") << in.err;
            EXPECT_TRUE(SameColours(EntryOnDisk("patch-hues.mul", target), PatternEntry(source)))
                << format << (throughStreams ? " by streams" : " by file");
            ++target;
        }
    }
}

struct Refusal {
    Arguments arguments;
    std::string message;
};

// A refusal is one line with the same words on every system, and leaves every file as it was.
TEST_F(CliAsProcess, RefusalsSayWhyInTheSameWords)
{
    const std::vector<unsigned char> locked = ReadBytes("locked.mul");
    const std::vector<unsigned char> notes = ReadBytes("notes.txt");
    const Refusal refusals[] = {
        {{"list", "missing.mul"}, "missing.mul: no such file"},
        {{"list", "folder.mul"}, "folder.mul: a folder"},
        {{"list", "notes.txt"}, "notes.txt: looks like text, not a hue file"},
        {{"list", "hues.mul/1"}, "hues.mul/1: a part of the path is not a folder"},
        {{"copy", "hues.mul", "locked.mul", "1"}, "locked.mul: read-only"},
        {{"import", "locked.mul", "1", "notes.txt", "-f", "gpl"}, "locked.mul: read-only"},
        {{"export", "hues.mul", "1", "-f", "gpl", "-o", "notes.txt"},
         "notes.txt: exists and is no gpl file; not replaced"},
        {{"export", "hues.mul", "1", "-f", "gpl", "-o", "folder.mul"}, "folder.mul: a folder"},
        {{"export", "hues.mul", "1", "-f", "gpl", "-o", "locked.gpl"}, "locked.gpl: read-only"},
        {{"export", "hues.mul", "1", "-f", "gpl", "-o", "link.gpl"},
         "link.gpl: has 2 hard links, which a replacement would split; not replaced"},
        {{"import", "hues.mul", "1", "missing.gpl"}, "missing.gpl: no such file"},
    };
    for (const Refusal &r : refusals) {
        const ProcessOutcome outcome = RunCli(r.arguments);
        EXPECT_EQ(outcome.status, 2) << r.message;
        EXPECT_EQ(outcome.err, "colvane-cli: " + r.message + "\n");
    }
    EXPECT_EQ(ReadBytes("locked.mul"), locked);
    EXPECT_EQ(ReadBytes("notes.txt"), notes);
    EXPECT_EQ(ReadBytes("link.gpl"), std::vector<unsigned char>{'G'});
}

// Whatever command opens a file that a kill left half written first puts the write back, says so
// once on standard error, and then does what it was asked on the file as it was.
TEST_F(CliAsProcess, TheNextCommandRollsAnInterruptedWriteBack)
{
    struct Case {
        Arguments arguments;
        int status;
        std::string out; // the output's start
    };
    const std::vector<unsigned char> before = ReadBytes("hues.mul");
    const Case cases[] = {
        {{"list", "hues.mul"}, 0, "   1  used     entry 1\n"},
        {{"show", "hues.mul", "38"}, 0, ""},
        {{"diff", "hues.mul", "hues.mul"}, 0, ""},
        {{"copy", "hues.mul", "patch-hues.mul", "1"}, 0, "GET ONE   1\n"},
        {{"recover", "hues.mul"}, 0, "hues.mul: 10 entries put back\n"},
    };
    const std::string told =
        "colvane-cli: hues.mul: an interrupted write of 10 entries was rolled back\n";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.front());
        WriteBytes("hues.mul", before);
        // Entries 35 to 44 of 40: in place and past the end, one of them torn.
        ASSERT_TRUE(KillDuring("hues.mul", {PlanOf(35, 10, 9), 6, true}));
        ASSERT_NE(ReadBytes("hues.mul"), before);
        const ProcessOutcome outcome = RunCli(c.arguments);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.err, told);
        EXPECT_EQ(outcome.out.substr(0, c.out.size()), c.out);
        EXPECT_EQ(ReadBytes("hues.mul"), before);
        EXPECT_FALSE(FileExists(JournalOf("hues.mul")));
        const ProcessOutcome again = RunCli({"recover", "hues.mul"});
        EXPECT_EQ(again.out + again.err, "hues.mul: no interrupted write\n");
    }
}

// An export replaces its own earlier file through a temporary beside it, and leaves none.
TEST_F(CliAsProcess, CopyDiffAndReplacedExportsLeaveWholeFiles)
{
    // A name no 8-bit code page spells whole: Windows passes it on only in the wide command line.
    const std::string wideName = "\u0127ue-\u03A9-\u4E09.mul";
    WriteHueFile(wideName, 8, 5);
    ASSERT_EQ(RunCli({"copy", "hues.mul", wideName, "2"}).status, 0);
    EXPECT_TRUE(SameEntry(EntryOnDisk(wideName, 2), PatternEntry(2)));
    EXPECT_EQ(RunCli({"list", wideName}).status, 0);
    EXPECT_EQ(RunCli({"diff", "hues.mul", "hues.mul"}).status, 0);
    EXPECT_EQ(RunCli({"diff", "hues.mul", "patch-hues.mul"}).status, 1);
    ASSERT_EQ(RunCli({"copy", "hues.mul", "patch-hues.mul", "1..16", "--to", "30"}).status, 0);
    for (const int n : {1, 16})
        EXPECT_TRUE(SameEntry(EntryOnDisk("patch-hues.mul", n + 29), PatternEntry(n))) << n;
    for (const int entry : {3, 4}) {
        const ProcessOutcome out =
            RunCli({"export", "hues.mul", std::to_string(entry), "-f", "gpl", "-o", "entry.gpl"});
        ASSERT_EQ(out.status, 0) << out.err;
    }
    const ProcessOutcome again = RunCli({"export", "hues.mul", "4", "-f", "gpl"});
    EXPECT_EQ(Text(ReadBytes("entry.gpl")), again.out);
    int names = 0;
    for (const auto &entry : std::filesystem::directory_iterator("."))
        names += entry.path().filename().string().rfind(".colvane-", 0) == 0;
    EXPECT_EQ(names, 0);
}

// Runs the same commands with this build and with another one, the Windows build under wine
// for example, each in its own copy of the folder, and compares every output and every file:
// bytes for hue files and text, pixels for png pictures.
class BuildAgainstBuild : public ::testing::Test {
protected:
    TempFolder folder;
};

std::vector<std::string> FilesIn(const std::string &path)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(path))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Png pictures may be compressed differently and still be the same picture.
void ExpectSameResult(const std::string &what, const std::string &mine, const std::string &other,
                      bool picture)
{
    if (!picture) {
        EXPECT_EQ(mine, other) << what;
        return;
    }
    const Expected<RgbaPicture> a = ReadPngPicture(mine);
    const Expected<RgbaPicture> b = ReadPngPicture(other);
    ASSERT_TRUE(a && b) << what;
    EXPECT_EQ(a->width, b->width) << what;
    EXPECT_EQ(a->bytes, b->bytes) << what;
}

bool EndsWith(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(BuildAgainstBuild, ListExportImportCopyAndDiffGiveTheSameResults)
{
    const char *other = std::getenv("COLVANE_OTHER_CLI");
    if (!other || !*other)
        GTEST_SKIP() << "COLVANE_OTHER_CLI names no other build; `make windows` sets it to "
                        "the Windows build, run under wine";
    const std::string wine =
        std::getenv("COLVANE_OTHER_RUNNER") ? std::getenv("COLVANE_OTHER_RUNNER") : "";
    const std::vector<Arguments> runs = {
        {"list", "hues.mul"},
        {"export", "hues.mul", "7", "-f", "gpl", "-o", "7.gpl"},
        {"export", "hues.mul", "8", "-f", "pal", "-o", "8.pal"},
        {"export", "hues.mul", "9", "-f", "hex", "-o", "9.hex"},
        {"export", "hues.mul", "10..12", "-f", "json", "-o", "10.json"},
        {"export", "hues.mul", "13", "-f", "png", "-o", "13.png"},
        {"export", "hues.mul", "14", "-f", "png"},
        {"import", "patch-hues.mul", "2", "7.gpl"},
        {"import", "patch-hues.mul", "3", "13.png"},
        {"import", "patch-hues.mul", "30", "8.pal"},
        {"copy", "hues.mul", "patch-hues.mul", "1..8", "--to", "100"},
        {"diff", "hues.mul", "patch-hues.mul"},
        {"diff", "hues.mul", "patch-hues.mul", "--json"},
        {"list", "notes.txt"},
        {"copy", "hues.mul", "locked.mul", "1"},
        // A gpl name that links to a hue file is no gpl file; a link to a gpl file is written
        // through, and stays a link.
        {"export", "hues.mul", "5", "-f", "gpl", "-o", "sea.gpl"},
        {"export", "hues.mul", "6", "-f", "gpl", "-o", "palette.mul"},
    };
    for (const std::string side : {"mine", "other"}) {
        std::filesystem::create_directory(side);
        std::filesystem::current_path(side);
        LayOutFolder();
        // Made here, since the other system may make no symbolic link itself, as wine does not.
        WriteBytes("palette.gpl", {'G'});
        for (const auto &[target, link] :
             {std::pair("patch-hues.mul", "sea.gpl"), std::pair("palette.gpl", "palette.mul")}) {
            std::error_code error;
            std::filesystem::create_symlink(target, link, error);
            ASSERT_FALSE(error) << link << ": " << error.message();
        }
        std::filesystem::current_path("..");
    }
    for (const Arguments &run : runs) {
        std::filesystem::current_path("mine");
        const ProcessOutcome mine = RunCli(run);
        std::filesystem::current_path("../other");
        Arguments otherArguments = run;
        std::string program = other;
        if (!wine.empty()) {
            otherArguments.insert(otherArguments.begin(), other);
            program = wine;
        }
        const ProcessOutcome theirs = RunCommand(program, otherArguments);
        std::filesystem::current_path("..");
        const std::string what = run[0] + " " + run[1];
        EXPECT_EQ(mine.status, theirs.status) << what;
        EXPECT_EQ(mine.err, theirs.err) << what;
        const bool picture = std::find(run.begin(), run.end(), "png") != run.end() &&
                             std::find(run.begin(), run.end(), "-o") == run.end();
        ExpectSameResult(what, mine.out, theirs.out, picture);
    }
    for (const std::string link :
         {"mine/sea.gpl", "mine/palette.mul", "other/sea.gpl", "other/palette.mul"})
        EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(link))) << link;
    ASSERT_EQ(FilesIn("mine"), FilesIn("other"));
    for (const std::string &name : FilesIn("mine"))
        ExpectSameResult(name, Text(ReadBytes("mine/" + name)), Text(ReadBytes("other/" + name)),
                         EndsWith(name, ".png"));
}

} // namespace
