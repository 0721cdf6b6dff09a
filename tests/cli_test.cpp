#include "support/test_support.h"

#include "cli/commands.h"

#include <QDir>
#include <QProcess>
#include <sstream>
#include <sys/stat.h>

// colvane-cli run as a process on real files, and its copy called directly where a fault must
// be injected into the process doing the writes.

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Arguments separated by single spaces. A run that does not end within 20 s, as one blocked on
// a pipe would, fails the test instead of hanging it.
Outcome RunCli(const QString &arguments)
{
    QProcess process;
    process.start(COLVANE_CLI_PATH, arguments.split(' ', Qt::SkipEmptyParts));
    process.closeWriteChannel();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {-1, "", "did not finish"};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

QStringList FolderContents()
{
    return QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                                     QDir::Name);
}

void WriteText(const std::string &fileName, const std::string &text)
{
    WriteBytes(fileName, std::vector<unsigned char>(text.begin(), text.end()));
}

// Two hue files of different lengths and contents, a pipe, a folder, and palette files.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteHueFile("hues.mul", 100, 1);
        WriteHueFile("patch.mul", 120, 2);
        ASSERT_EQ(mkfifo("pipe.mul", 0644), 0);
        ASSERT_TRUE(QDir().mkdir("folder.mul"));
        std::string colours;
        for (int i = 0; i < 31; ++i)
            colours += "160 176 192\n";
        WriteText("short.pal", "JASC-PAL\n0100\n31\n" + colours);
        WriteText("long.gpl", "GIMP Palette\nName: abcdefghijklmnopqrstu\n0 0 0\n" + colours);
    }

    TempFolder folder;
};

struct Refusal {
    const char *arguments;
    int status;
    // The whole of standard error; empty where only its form is checked.
    std::string error;
};

// Every refusal is one line on standard error with status 2, and leaves every file as it was:
// nothing created, nothing truncated, not even the hue file an import names.
TEST_F(CliTest, RefusesWithOneLineAndTouchesNothing)
{
    const Refusal refusals[] = {
        {"list nosuch.mul", 2, "colvane-cli: nosuch.mul: no such file\n"},
        {"list folder.mul", 2, "colvane-cli: folder.mul: is a directory\n"},
        {"list pipe.mul", 2, "colvane-cli: pipe.mul: is a pipe, not a regular file\n"},
        {"import pipe.mul 1 short.pal", 2,
         "colvane-cli: pipe.mul: is a pipe, not a regular file\n"},
        {"import folder.mul 1 short.pal", 2, "colvane-cli: folder.mul: is a directory\n"},
        {"import nosuch.mul 1 short.pal", 2, "colvane-cli: nosuch.mul: no such file\n"},
        {"import hues.mul 1 pipe.mul -f hex", 2,
         "colvane-cli: pipe.mul: is a pipe, not a regular file\n"},
        {"import hues.mul 1 short.pal", 2,
         "colvane-cli: short.pal: 31 colours, an entry holds 32\n"},
        {"import hues.mul 1 long.gpl", 2,
         "colvane-cli: long.gpl: the name \"abcdefghijklmnopqrstu\" has 21 characters, an entry "
         "holds 20\n"},
        {"import hues.mul 1 short.txt", 2,
         "colvane-cli: short.txt: cannot tell the format from the name; give it with -f\n"},
        {"copy patch.mul pipe.mul 1", 2, "colvane-cli: pipe.mul: is a pipe, not a regular file\n"},
        {"copy patch.mul nosuch.mul 1..5", 2, "colvane-cli: nosuch.mul: no such file\n"},
        {"show hues.mul 101", 2,
         "colvane-cli: hues.mul: no entry 101: the file ends at entry 100\n"},
        {"show hues.mul 3001", 2, "colvane-cli: show: N: 3001 is no entry number (1 to 3000)\n"},
        {"export hues.mul 1..2 -f hex", 2,
         "colvane-cli: export: a range exports only as json, not as hex\n"},
        {"export hues.mul 1 -f gpl -o hues.mul", 2,
         "colvane-cli: hues.mul: is the hue file being exported, which is never overwritten\n"},
        {"export hues.mul 1 -f gpl -o folder.mul", 2, "colvane-cli: folder.mul: is a directory\n"},
        {"diff hues.mul folder.mul", 2, "colvane-cli: folder.mul: is a directory\n"},
        {"preview hues.mul 1 short.pal -o out.png", 2,
         "colvane-cli: short.pal: not a picture this program can read\n"},
        {"preview hues.mul 1 pipe.mul -o out.png", 2,
         "colvane-cli: pipe.mul: is a pipe, not a regular file\n"},
        {"copy patch.mul hues.mul 5..1", 2, ""},
        {"find hues.mul", 2, ""},
        {"frobnicate", 2, ""},
        {"export hues.mul 1", 2, ""},
        {"diff hues.mul hues.mul", 0, ""},
        {"diff hues.mul patch.mul", 1, ""},
    };
    const auto hues = ReadBytes("hues.mul");
    const auto patch = ReadBytes("patch.mul");
    const QStringList contents = FolderContents();
    for (const Refusal &refusal : refusals) {
        const Outcome outcome = RunCli(refusal.arguments);
        EXPECT_EQ(outcome.status, refusal.status) << refusal.arguments;
        if (!refusal.error.empty())
            EXPECT_EQ(outcome.err, refusal.error) << refusal.arguments;
        else if (refusal.status == 2)
            EXPECT_TRUE(outcome.err.rfind("colvane-cli: ", 0) == 0 &&
                        outcome.err.find('\n') == outcome.err.size() - 1)
                << refusal.arguments << ": " << outcome.err;
        else
            EXPECT_EQ(outcome.err, "") << refusal.arguments;
        EXPECT_EQ(ReadBytes("hues.mul"), hues) << refusal.arguments;
        EXPECT_EQ(ReadBytes("patch.mul"), patch) << refusal.arguments;
        EXPECT_EQ(FolderContents(), contents) << refusal.arguments;
    }
}

// An entry exported and imported back onto itself changes no byte, whatever the format keeps
// from the entry and whatever it carries itself.
TEST_F(CliTest, ExportThenImportBackChangesNothing)
{
    const auto before = ReadBytes("hues.mul");
    for (const PaletteFormat format : AllPaletteFormats) {
        const QString name = "e5." + QString::fromStdString(FormatName(format));
        const Outcome exported = RunCli("export hues.mul 5 -f " +
                                        QString::fromStdString(FormatName(format)) + " -o " + name);
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_EQ(exported.out, "");
        const Outcome toStandardOutput =
            RunCli("export hues.mul 5 -f " + QString::fromStdString(FormatName(format)));
        const auto written = ReadBytes(name.toStdString());
        EXPECT_EQ(toStandardOutput.out, std::string(written.begin(), written.end()));
        const Outcome imported = RunCli("import hues.mul 5 " + name);
        EXPECT_EQ(imported.status, 0) << name.toStdString() << ": " << imported.err;
        EXPECT_EQ(imported.out, "imported " + name.toStdString() + " into entry 5: \"entry 5\"\n");
        EXPECT_EQ(ReadBytes("hues.mul"), before) << name.toStdString();
    }
}

TEST_F(CliTest, DiffNamesTheEntryAndTheSlotsThatDiffer)
{
    HueEntry changed = PatternEntry(42, 1);
    changed.colours[3] ^= 1;
    changed.colours[4] ^= 1;
    changed.colours[9] ^= 1;
    WriteHueFile("other.mul", 100, 1);
    ASSERT_TRUE(WriteEntryInPlace("other.mul", 42, changed));
    const Outcome outcome = RunCli("diff hues.mul other.mul");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "  42  \"entry 42\"  \"entry 42\"  slots 3-4 9\n");
}

// A file of three entries, the second all zeroes, and a fourth only partly written.
TEST_F(CliTest, ListsEntriesUpToWhereTheFileEndsAndFindsFreeOnes)
{
    WriteHueFile("small.mul", 3, 1);
    ASSERT_TRUE(WriteEntryInPlace("small.mul", 2, HueEntry{}));
    auto bytes = ReadBytes("small.mul");
    bytes.resize(bytes.size() + 20, 7);
    WriteBytes("small.mul", bytes);
    const std::pair<QString, std::string> runs[] = {
        {"list small.mul",
         "   1  used     entry 1\n   2  empty\n   3  used     entry 3\n   4  missing\n"},
        {"find small.mul --empty", "   2  empty\n4..3000  missing\n"},
        {"find small.mul ENTRY", "   1  used     entry 1\n   3  used     entry 3\n"},
    };
    for (const auto &[arguments, out] : runs) {
        const Outcome outcome = RunCli(arguments);
        EXPECT_EQ(outcome.status, 0) << arguments.toStdString() << ": " << outcome.err;
        EXPECT_EQ(outcome.out, out) << arguments.toStdString();
    }
}

// Swatches are terminal escapes; they appear only when asked for, which the program does when
// standard output is a terminal.
TEST_F(CliTest, ShowsSwatchesOnlyForATerminal)
{
    const Outcome piped = RunCli("show hues.mul 5");
    EXPECT_EQ(piped.status, 0);
    EXPECT_NE(piped.out.find("name     entry 5\n"), std::string::npos);
    EXPECT_EQ(piped.out.find('\x1b'), std::string::npos);
    std::ostringstream out;
    ASSERT_TRUE(RunShow({"hues.mul", 5, false, true}, out));
    EXPECT_NE(out.str().find("\x1b[48;2;"), std::string::npos);
}

struct BlockMove {
    const char *arguments;
    const char *log;
    int sourceFrom;
    int targetFrom;
    int count;
};

// Within one file every target receives its source as it was before the copy, whichever way
// the ranges overlap, and a target past the end extends the file.
TEST_F(CliTest, SameFileCopyMovesABlock)
{
    const BlockMove moves[] = {
        {"copy hues.mul hues.mul 1..10 --to 5", "GET RANGE 1 .. 10\nPUT RANGE 5 .. 14\n", 1, 5, 10},
        {"copy hues.mul hues.mul 5..14 --to 1", "GET RANGE 5 .. 14\nPUT RANGE 1 .. 10\n", 5, 1, 10},
        {"copy hues.mul hues.mul 95..100 --to 98", "GET RANGE 95 .. 100\nPUT RANGE 98 .. 103\n", 95,
         98, 6},
    };
    for (const BlockMove &move : moves) {
        WriteHueFile("hues.mul", 100, 1);
        const Outcome outcome = RunCli(move.arguments);
        EXPECT_EQ(outcome.status, 0) << move.arguments << ": " << outcome.err;
        EXPECT_EQ(outcome.out, move.log);
        const int last = std::max(100, move.targetFrom + move.count - 1);
        EXPECT_EQ(ReadBytes("hues.mul").size(), static_cast<std::size_t>(EntryOffset(last) + 88));
        for (int n = 1; n <= last; ++n) {
            const bool target = n >= move.targetFrom && n < move.targetFrom + move.count;
            const int source = target ? move.sourceFrom + (n - move.targetFrom) : n;
            EXPECT_TRUE(SameEntry(EntryOnDisk("hues.mul", n), PatternEntry(source, 1)))
                << move.arguments << ", entry " << n;
        }
    }
}

// The first target that does not fit under the size limit stops the copy; the entries before
// it stay copied and the message says where it stopped.
TEST_F(CliTest, FailedRangeCopySaysWhereItStopped)
{
    std::ostringstream out;
    std::optional<CommandResult> result;
    {
        const FileSizeLimit limit(EntryOffset(104) + 40);
        result.emplace(RunCopy({"patch.mul", "hues.mul", {95, 110, true}, std::nullopt}, out));
    }
    ASSERT_FALSE(*result);
    EXPECT_EQ(result->error(), "hues.mul: entry 104 could not be written (file too large) and the "
                               "copy stopped there; 95 .. 103 are copied");
    EXPECT_EQ(out.str(), "GET RANGE 95 .. 110\nPUT RANGE 95 .. 110\n");
    EXPECT_EQ(ReadBytes("hues.mul").size(), static_cast<std::size_t>(EntryOffset(103) + 88));
    EXPECT_TRUE(SameEntry(EntryOnDisk("hues.mul", 103), PatternEntry(103, 2)));
}

TEST_F(CliTest, HelpOnEverySubcommandAndVersion)
{
    for (const char *command :
         {"", "list ", "show ", "export ", "import ", "copy ", "diff ", "find ", "preview "}) {
        const Outcome outcome = RunCli(QString(command) + "--help");
        EXPECT_EQ(outcome.status, 0) << command;
        EXPECT_NE(outcome.out.find("Usage: colvane-cli"), std::string::npos) << command;
    }
    EXPECT_EQ(RunCli("--version").out, std::string("colvane-cli ") + COLVANE_VERSION + "\n");
}

} // namespace
