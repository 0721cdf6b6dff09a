#include "support/test_support.h"

#include "cli/commands.h"
#include "huefile/hue_file.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// colvane-cli run as a process on real files, and its copy called directly where a fault must
// be injected into the process doing the writes.

namespace {

using Outcome = ProcessOutcome;

Outcome RunCli(const QStringList &arguments, const std::function<void()> &inChild = {})
{
    return RunProgram(COLVANE_CLI_PATH, arguments, inChild);
}

// Arguments separated by single spaces.
Outcome RunCli(const QString &arguments)
{
    return RunCli(arguments.split(' ', Qt::SkipEmptyParts));
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

// Every name in the folder with its kind and what it holds, a regular file's bytes (as a hash,
// for short messages) or a link's target; a pipe is not read, which would block.
std::map<std::string, std::string> FolderSnapshot()
{
    std::map<std::string, std::string> snapshot;
    for (const QString &name : FolderContents()) {
        const std::string fileName = name.toStdString();
        struct stat info {};
        lstat(fileName.c_str(), &info);
        std::string &held = snapshot[fileName] = std::to_string(info.st_mode) + ":";
        if (S_ISREG(info.st_mode)) {
            const auto bytes = ReadBytes(fileName);
            held +=
                std::to_string(std::hash<std::string>()(std::string(bytes.begin(), bytes.end())));
        } else if (S_ISLNK(info.st_mode)) {
            held += QFile::symLinkTarget(name).toStdString();
        }
    }
    return snapshot;
}

std::uint32_t Crc32(const QByteArray &bytes)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray BigEndian(std::uint32_t value)
{
    return QByteArray(1, static_cast<char>(value >> 24)) + static_cast<char>(value >> 16) +
           static_cast<char>(value >> 8) + static_cast<char>(value);
}

constexpr QRgb StripColour = 0x102030;

// A strip of 32 pixels with a colour-profile chunk too short to hold a profile, over which the
// picture library warns and still decodes the picture.
std::vector<unsigned char> PngWithBrokenProfile()
{
    QImage strip(HueColourCount, 1, QImage::Format_RGB32);
    strip.fill(StripColour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    strip.save(&buffer, "PNG");
    // Name "x", its end, compression 0, then a compressed stream without the length in front.
    const QByteArray body = QByteArray("iCCPx", 5) + QByteArray(2, '\0') +
                            qCompress(QByteArray("garbage").repeated(10)).mid(4);
    const int afterHeader = 33;
    png.insert(afterHeader, BigEndian(body.size() - 4) + body + BigEndian(Crc32(body)));
    return std::vector<unsigned char>(png.begin(), png.end());
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
        WriteText("control.gpl",
                  "GIMP Palette\nName: \xC2\x9B" + std::string(20, 'c') + "\n0 0 0\n" + colours);
        WriteText("bytes.json", "{\"name\": \"\xFF");
    }

    TempFolder folder;
};

struct Refusal {
    const char *arguments;
    int status;
    // The whole of standard error; empty where only its form is checked.
    std::string error;
    // How long another process's write holds hues.mul from the start.
    std::chrono::milliseconds heldFor{0};
};

// Holds the writers' lock on a hue file for a while from another thread, and so from another
// open of the file, as another process's write would.
std::thread HoldWriterLock(const std::string &fileName, std::chrono::milliseconds heldFor)
{
    std::optional<HueFile> file = HueFile::openForUpdate(fileName);
    EXPECT_TRUE(file.has_value()) << fileName;
    return std::thread([held = std::move(file), heldFor]() mutable {
        std::this_thread::sleep_for(heldFor);
        held.reset();
    });
}

// Every refusal is one line on standard error with status 2, and leaves every file as it was:
// nothing created, nothing truncated, not even the hue file an import names. A write waits up
// to 2 s for another process's write to the same file.
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
        {"import hues.mul 1 control.gpl", 2,
         "colvane-cli: control.gpl: the name \"\\xc2\\x9b" + std::string(20, 'c') +
             "\" has 21 characters, an entry holds 20\n"},
        {"import hues.mul 1 bytes.json", 2,
         "colvane-cli: bytes.json: not json: parse error at line 1, column 11: syntax error while "
         "parsing value - invalid string: ill-formed UTF-8 byte; last read: '\"\\xff'\n"},
        {"copy patch.mul hues.mul 5..1", 2, ""},
        {"find hues.mul", 2, ""},
        {"frobnicate", 2, ""},
        {"export hues.mul 1", 2, ""},
        {"diff hues.mul hues.mul", 0, ""},
        {"diff hues.mul patch.mul", 1, ""},
        {"import hues.mul 1 short.pal", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
        {"copy patch.mul hues.mul 1..5", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
        {"copy hues.mul hues.mul 7", 0, "", std::chrono::milliseconds(400)},
    };
    const auto hues = ReadBytes("hues.mul");
    const auto patch = ReadBytes("patch.mul");
    const QStringList contents = FolderContents();
    for (const Refusal &refusal : refusals) {
        std::thread holder;
        if (refusal.heldFor.count() > 0)
            holder = HoldWriterLock("hues.mul", refusal.heldFor);
        const Outcome outcome = RunCli(refusal.arguments);
        if (holder.joinable())
            holder.join();
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
    bytes.back() = 8;
    WriteBytes("other.mul", bytes);
    const std::pair<QString, std::string> runs[] = {
        {"list small.mul",
         "   1  used     entry 1\n   2  empty\n   3  used     entry 3\n   4  missing\n"},
        {"find small.mul --empty", "   2  empty\n4..3000  missing\n"},
        {"find small.mul ENTRY", "   1  used     entry 1\n   3  used     entry 3\n"},
        // Neither file holds entry 4 whole, so there is nothing of it to compare.
        {"diff small.mul other.mul", ""},
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

struct OutputRefusal {
    QStringList arguments;
    std::string error;
};

// -o replaces only a file of the format being written that this user may write, and never one
// the command reads; a pipe without a reader is refused at once instead of waited for.
TEST_F(CliTest, RefusesOutputsItMustNotReplace)
{
    WriteText("readonly.hex", "ffffff\n");
    ASSERT_EQ(chmod("readonly.hex", 0444), 0);
    WriteText("linked.hex", "ffffff\n");
    ASSERT_EQ(link("linked.hex", "twin.hex"), 0);
    ASSERT_EQ(symlink("nothing.hex", "dangling.hex"), 0);
    WriteBytes("picture.png", PngWithBrokenProfile());
    ASSERT_EQ(symlink("picture.png", "picture-link.png"), 0);
    const QStringList hex = {"export", "hues.mul", "6", "-f", "hex", "-o"};
    const QStringList preview = {"preview", "hues.mul", "1", "picture.png", "-o"};
    const OutputRefusal refusals[] = {
        {hex + QStringList{"patch.mul"}, "patch.mul: exists and is no hex file; not replaced"},
        {preview + QStringList{"patch.mul"}, "patch.mul: exists and is no png file; not replaced"},
        {hex + QStringList{"readonly.hex"}, "readonly.hex: permission denied"},
        {hex + QStringList{"linked.hex"},
         "linked.hex: has 2 hard links, which a replacement would split; not replaced"},
        {hex + QStringList{"dangling.hex"}, "dangling.hex: is a link to nothing"},
        {hex + QStringList{"pipe.mul"}, "pipe.mul: is a pipe with no reader"},
        {preview + QStringList{"picture-link.png"},
         "picture-link.png: is the picture being recoloured, which is never overwritten"},
        {hex + QStringList{""}, "-o: no output file name"},
        {preview + QStringList{""}, "-o: no output file name"},
    };
    const auto contents = FolderSnapshot();
    for (const OutputRefusal &refusal : refusals) {
        const Outcome outcome = RunCli(refusal.arguments, DropPermissionOverrides);
        const std::string arguments = refusal.arguments.join(' ').toStdString();
        EXPECT_EQ(outcome.status, 2) << arguments;
        EXPECT_EQ(outcome.err, "colvane-cli: " + refusal.error + "\n") << arguments;
        EXPECT_EQ(FolderSnapshot(), contents) << arguments;
    }
}

// The toolkit's warnings about a picture reach no one: not standard error, and not the hue
// file that takes descriptor 2 when the caller closed it.
TEST_F(CliTest, PictureWarningsReachNeitherTheUserNorAFile)
{
    WriteBytes("warns.png", PngWithBrokenProfile());
    auto expected = ReadBytes("hues.mul");
    HueEntry imported = PatternEntry(3, 1);
    const HueColour word = (0x10 >> 3) << 10 | (0x20 >> 3) << 5 | 0x30 >> 3;
    std::fill(std::begin(imported.colours), std::end(imported.colours), word);
    std::memcpy(expected.data() + EntryOffset(3), &imported, sizeof imported);
    const auto closeStandardError = [] { close(STDERR_FILENO); };
    for (const bool closed : {false, true}) {
        WriteHueFile("hues.mul", 100, 1);
        const Outcome outcome = RunCli({"import", "hues.mul", "3", "warns.png"},
                                       closed ? closeStandardError : std::function<void()>());
        EXPECT_EQ(outcome.status, 0) << closed;
        EXPECT_EQ(outcome.err, "") << closed;
        EXPECT_EQ(ReadBytes("hues.mul"), expected) << closed;
    }
}

// Standard input, which has no size to ask for first, is cut off as a large file is; a
// file-size limit refuses the output and leaves no temporary file behind; an output name of
// the longest length is written.
TEST_F(CliTest, StaysWithinLimits)
{
    constexpr long TooLarge = (16L << 20) + 1;
    WriteText("large.hex", std::string(TooLarge, '0'));
    const auto contents = FolderSnapshot();
    const Outcome large = RunCli({"import", "hues.mul", "1", "-", "-f", "hex"},
                                 [] { dup2(open("large.hex", O_RDONLY), STDIN_FILENO); });
    EXPECT_EQ(large.err, "colvane-cli: -: too large for a palette (more than 16777216 bytes)\n");
    const Outcome limited =
        RunCli({"export", "hues.mul", "1..100", "-f", "json", "-o", "all.json"}, [] {
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit size{};
            getrlimit(RLIMIT_FSIZE, &size);
            size.rlim_cur = 4096;
            setrlimit(RLIMIT_FSIZE, &size);
        });
    EXPECT_EQ(limited.status, 2);
    EXPECT_EQ(limited.err, "colvane-cli: all.json: file too large\n");
    EXPECT_EQ(FolderSnapshot(), contents);
    const std::string longest = std::string(251, 'n') + ".hex";
    const Outcome written =
        RunCli({"export", "hues.mul", "1", "-f", "hex", "-o", QString::fromStdString(longest)});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(ReadBytes(longest).size(), 32u * 7);
}

// A replaced file keeps its owner, group and mode, as writing into it would have kept them.
TEST_F(CliTest, ReplacedOutputKeepsOwnerAndMode)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    WriteText("owned.hex", "ffffff\n");
    ASSERT_EQ(chown("owned.hex", 1234, 5678), 0);
    ASSERT_EQ(chmod("owned.hex", 0604), 0);
    ASSERT_EQ(RunCli("export hues.mul 1 -f hex -o owned.hex").status, 0);
    struct stat info {};
    ASSERT_EQ(stat("owned.hex", &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(info.st_size, 32 * 7);
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
