#include "support/killed_write.h"
#include "support/test_support.h"

#include "cli/commands.h"
#include "huefile/entry_bytes.h"
#include "huefile/formats/picture_limit.h"
#include "huefile/hue_file.h"
#include "widgets/picture_box.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QtEndian>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <map>
#include <optional>
#include <poll.h>
#include <rapidcheck/gtest.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

void WriteText(const std::string &fileName, const std::string &text)
{
    WriteBytes(fileName, std::vector<unsigned char>(text.begin(), text.end()));
}

constexpr QRgb StripColour = 0x102030;

QByteArray PngStrip()
{
    QImage strip(HueColourCount, 1, QImage::Format_RGB32);
    strip.fill(StripColour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    strip.save(&buffer, "PNG");
    return png;
}

std::vector<unsigned char> Bytes(const QByteArray &bytes)
{
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

// A strip of 32 pixels with a colour-profile chunk too short to hold a profile, over which the
// picture library warns and still decodes the picture.
std::vector<unsigned char> PngWithBrokenProfile()
{
    QByteArray png = PngStrip();
    // Name "x", its end, compression 0, then a compressed stream without the length in front.
    const QByteArray data = QByteArray("x", 1) + QByteArray(2, '\0') +
                            qCompress(QByteArray("garbage").repeated(10)).mid(4);
    const int afterHeader = 33;
    png.insert(afterHeader, QByteArray::fromStdString(PngChunk("iCCP", data.toStdString())));
    return Bytes(png);
}

// Two hue files of different lengths and contents, one of them again read-only, a text file, a
// pipe, a folder, palette files and broken pictures.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteHueFile("hues.mul", 100, 1);
        WriteHueFile("patch.mul", 120, 2);
        WriteHueFile("readonly.mul", 100, 1);
        ASSERT_EQ(chmod("readonly.mul", 0444), 0);
        WriteText("notes.txt", "a line of text\n");
        ASSERT_EQ(mkfifo("pipe.mul", 0644), 0);
        ASSERT_TRUE(QDir().mkdir("folder.mul"));
        std::string colours;
        for (int i = 0; i < 31; ++i)
            colours += "160 176 192\n";
        WriteText("short.pal", "JASC-PAL\n0100\n31\n" + colours);
        WriteText("good.pal", "JASC-PAL\n0100\n32\n" + colours + "0 0 0\n");
        WriteText("long.gpl", "GIMP Palette\nName: abcdefghijklmnopqrstu\n0 0 0\n" + colours);
        WriteText("control.gpl",
                  "GIMP Palette\nName: \xC2\x9B" + std::string(20, 'c') + "€\n0 0 0\n" + colours);
        WriteText("bytes.json", "{\"name\": \"\xFF");
        // Pictures the picture library gives up on: one cut off inside its image data, one
        // whose image data fails its checksum, which shows only after the last row.
        QByteArray png = PngStrip();
        const qsizetype data = png.indexOf("IDAT");
        WriteBytes("cut.png", Bytes(png.left(data + 8)));
        png[data + 4 + qFromBigEndian<quint32>(png.constData() + data - 4)] ^= 0x55;
        WriteBytes("checksum.png", Bytes(png));
        WriteText("huge.png", PngHeaderOfSize(20000, 20000));
        WriteText("version2.huepatch", "{\"colvane-patch\": 2, \"entries\": []}");
        // Entry 1 as patch.mul holds it, which hues.mul does not.
        WriteText("stale.huepatch", WritePatch({{1, PatternEntry(1, 2), PatternEntry(1, 3)}}));
    }

    TempFolder folder;
};

struct Refusal {
    const char *arguments;
    int status;
    // The whole of standard error; empty where only its form is checked.
    std::string error;
    // How long another process's write holds a file from the start, and which.
    std::chrono::milliseconds heldFor{0};
    const char *held = "hues.mul";
};

// Holds the writers' lock on a hue file for a while from another thread, and so from another
// open of the file, as another process's write would.
std::thread HoldWriterLock(const std::string &fileName, std::chrono::milliseconds heldFor)
{
    std::optional<HueFile> file = Held(HueFile::openForUpdate(fileName));
    EXPECT_TRUE(file.has_value()) << fileName;
    return std::thread([held = std::move(file), heldFor]() mutable {
        std::this_thread::sleep_for(heldFor);
        held.reset();
    });
}

// Every refusal is one line on standard error with status 2, and leaves every file as it was:
// nothing created, nothing truncated, not even the hue file an import names. A text file is
// no hue file to read or write, and a read-only one is not written, not even by root. A write,
// and every read, waits up to 2 s for another process's write to the same file: one that ends
// sooner is waited for, one that goes on longer is refused.
TEST_F(CliTest, RefusesWithOneLineAndTouchesNothing)
{
    const Refusal refusals[] = {
        {"list nosuch.mul", 2, "colvane-cli: nosuch.mul: no such file\n"},
        {"list folder.mul", 2, "colvane-cli: folder.mul: a folder\n"},
        {"list pipe.mul", 2, "colvane-cli: pipe.mul: a pipe, not a regular file\n"},
        {"import pipe.mul 1 short.pal", 2, "colvane-cli: pipe.mul: a pipe, not a regular file\n"},
        {"import folder.mul 1 short.pal", 2, "colvane-cli: folder.mul: a folder\n"},
        {"import nosuch.mul 1 short.pal", 2, "colvane-cli: nosuch.mul: no such file\n"},
        {"import hues.mul 1 pipe.mul -f hex", 2,
         "colvane-cli: pipe.mul: a pipe, not a regular file\n"},
        {"import hues.mul 1 short.pal --at 2", 2,
         "colvane-cli: short.pal: 31 colours from slot 2 run past slot 31; they fit from slot 1 "
         "or lower\n"},
        {"import hues.mul 1 long.gpl --from 32", 2,
         "colvane-cli: long.gpl: the palette holds 32 colours (0-31), none from 32 on\n"},
        {"import hues.mul 1 long.gpl --at 32", 2,
         "colvane-cli: import: --at: 32 is no colour slot (0 to 31)\n"},
        {"import hues.mul 1 long.gpl --from x", 2,
         "colvane-cli: import: --from: \"x\" is no colour index (0 or more)\n"},
        {"import hues.mul 1 long.gpl --name x --keep-name", 2,
         "colvane-cli: import: --name excludes --keep-name\n"},
        {"import hues.mul 1 short.txt", 2,
         "colvane-cli: short.txt: cannot tell the format from the name; give it with -f\n"},
        {"copy patch.mul pipe.mul 1", 2, "colvane-cli: pipe.mul: a pipe, not a regular file\n"},
        {"copy patch.mul nosuch.mul 1..5", 2, "colvane-cli: nosuch.mul: no such file\n"},
        {"list notes.txt", 2, "colvane-cli: notes.txt: looks like text, not a hue file\n"},
        {"import notes.txt 1 good.pal", 2,
         "colvane-cli: notes.txt: looks like text, not a hue file\n"},
        {"copy notes.txt hues.mul 1", 2,
         "colvane-cli: notes.txt: looks like text, not a hue file\n"},
        {"copy patch.mul notes.txt 1..5", 2,
         "colvane-cli: notes.txt: looks like text, not a hue file\n"},
        {"import readonly.mul 1 good.pal", 2, "colvane-cli: readonly.mul: read-only\n"},
        {"copy patch.mul readonly.mul 1", 2, "colvane-cli: readonly.mul: read-only\n"},
        {"copy patch.mul readonly.mul 1..5", 2, "colvane-cli: readonly.mul: read-only\n"},
        {"diff hues.mul readonly.mul", 0, ""},
        {"show hues.mul 101", 2,
         "colvane-cli: hues.mul: no entry 101: the file ends at entry 100\n"},
        {"show hues.mul 3001", 2, "colvane-cli: show: N: 3001 is no entry number (1 to 3000)\n"},
        {"export hues.mul 1..2 -f hex", 2,
         "colvane-cli: export: a range exports only as json, not as hex\n"},
        {"export hues.mul 1 -f gpl -o hues.mul", 2,
         "colvane-cli: hues.mul: is the hue file being exported, which is never overwritten\n"},
        {"export hues.mul 1 -f gpl -o folder.mul", 2, "colvane-cli: folder.mul: a folder\n"},
        {"diff hues.mul folder.mul", 2, "colvane-cli: folder.mul: a folder\n"},
        {"preview hues.mul 1 short.pal -o out.png", 2,
         "colvane-cli: short.pal: not a png picture\n"},
        {"preview hues.mul 1 huge.png -o out.png", 2,
         "colvane-cli: huge.png: a picture of 20000 × 20000 pixels is too large: it takes "
         "1525 MB, the limit is " +
             std::to_string(PictureLimitMegabytes) + " MB\n"},
        {"preview hues.mul 1 pipe.mul -o out.png", 2,
         "colvane-cli: pipe.mul: a pipe, not a regular file\n"},
        {"import hues.mul 1 control.gpl", 2,
         "colvane-cli: control.gpl: the name \"\\xc2\\x9b" + std::string(20, 'c') +
             "€\" holds \"€\", which is no Latin-1 character; give another with --name, or keep "
             "the entry's with --keep-name\n"},
        {"import hues.mul 1 bytes.json", 2,
         "colvane-cli: bytes.json: not json: line 1, column 11: expected UTF-8 text\n"},
        {"import hues.mul 1 checksum.png", 2, ""},
        {"import hues.mul 1 cut.png", 2, ""},
        {"preview hues.mul 1 checksum.png -o out.png", 2, ""},
        {"preview hues.mul 1 cut.png -o -", 2, ""},
        {"copy patch.mul hues.mul 5..1", 2, ""},
        {"find hues.mul", 2, ""},
        {"find hues.mul --near ff800", 2, "colvane-cli: find: --near: \"ff800\" is no colour\n"},
        {"find hues.mul --near #f80,#000", 2,
         "colvane-cli: find: --near: \"#f80,#000\" names 2 colours, not one\n"},
        {"find hues.mul --near ff8000 --count 0", 2, ""},
        {"find hues.mul entry --mean", 2, ""},
        {"find hues.mul entry --near ff8000", 2, ""},
        {"find notes.txt --near ff8000", 2,
         "colvane-cli: notes.txt: looks like text, not a hue file\n"},
        {"frobnicate", 2, ""},
        {"export hues.mul 1", 2, ""},
        {"diff hues.mul hues.mul", 0, ""},
        {"diff hues.mul patch.mul", 1, ""},
        {"import hues.mul 1 short.pal", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
        {"copy patch.mul hues.mul 1..5", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
        {"copy hues.mul hues.mul 7", 0, "", std::chrono::milliseconds(400)},
        {"copy hues.mul patch.mul 1..5", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
        {"list hues.mul", 0, "", std::chrono::milliseconds(400)},
        {"list hues.mul", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
        {"show hues.mul 5", 0, "", std::chrono::milliseconds(400)},
        {"find hues.mul --near ff8000", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
        {"diff hues.mul patch.mul", 1, "", std::chrono::milliseconds(400), "patch.mul"},
        {"diff hues.mul patch.mul", 2, "colvane-cli: patch.mul: locked by another process\n",
         std::chrono::milliseconds(3500), "patch.mul"},
        {"export hues.mul 1 -f gpl", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
        {"textconv hues.mul", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
        {"merge hues.mul hues.mul patch.mul -o merged.mul", 2,
         "colvane-cli: hues.mul: locked by another process\n", std::chrono::milliseconds(3500)},
        {"apply version2.huepatch hues.mul", 2,
         "colvane-cli: version2.huepatch: \"colvane-patch\": version 2; this program reads "
         "version 1\n"},
        {"apply nosuch.huepatch hues.mul", 2, "colvane-cli: nosuch.huepatch: no such file\n"},
        {"apply pipe.mul hues.mul", 2, "colvane-cli: pipe.mul: a pipe, not a regular file\n"},
        {"apply stale.huepatch hues.mul", 1, ""},
        {"apply stale.huepatch hues.mul --check", 1, ""},
        {"apply stale.huepatch hues.mul --check --force", 2, ""},
        {"apply stale.huepatch readonly.mul --force", 2, "colvane-cli: readonly.mul: read-only\n"},
        {"apply stale.huepatch notes.txt --force", 2,
         "colvane-cli: notes.txt: looks like text, not a hue file\n"},
        {"apply stale.huepatch pipe.mul --force", 2,
         "colvane-cli: pipe.mul: a pipe, not a regular file\n"},
        {"apply stale.huepatch hues.mul --force", 2,
         "colvane-cli: hues.mul: locked by another process\n", std::chrono::milliseconds(3500)},
        {"diff hues.mul patch.mul --patch -o hues.mul", 2,
         "colvane-cli: hues.mul: is a hue file being compared, which is never overwritten\n"},
        {"diff hues.mul patch.mul --patch -o notes.txt", 2, ""},
        {"merge hues.mul hues.mul patch.mul -o patch.mul", 2,
         "colvane-cli: patch.mul: exists already, and only a new file is made\n"},
        {"merge hues.mul hues.mul patch.mul -o pipe.mul", 2,
         "colvane-cli: pipe.mul: exists already, and only a new file is made\n"},
        {"merge hues.mul readonly.mul patch.mul", 2, "colvane-cli: readonly.mul: read-only\n"},
        {"merge hues.mul notes.txt patch.mul", 2,
         "colvane-cli: notes.txt: looks like text, not a hue file\n"},
        {"merge folder.mul hues.mul patch.mul", 2, "colvane-cli: folder.mul: a folder\n"},
        {"merge nosuch.mul hues.mul nosuch.mul", 2, "colvane-cli: nosuch.mul: no such file\n"},
        {"merge hues.mul hues.mul patch.mul --ours --theirs", 2, ""},
        {"merge hues.mul patch.mul hues.mul", 2,
         "colvane-cli: patch.mul: locked by another process\n", std::chrono::milliseconds(3500),
         "patch.mul"},
        {"new hues.mul", 2, "colvane-cli: hues.mul: exists already, and only a new file is made\n"},
        {"new pipe.mul --entries 8", 2,
         "colvane-cli: pipe.mul: exists already, and only a new file is made\n"},
        {"new folder.mul", 2,
         "colvane-cli: folder.mul: exists already, and only a new file is made\n"},
        {"new fresh.mul --entries 0", 2, ""},
        {"new fresh.mul --entries 3001", 2, ""},
        {"new fresh.mul --entries many", 2, ""},
        {"textconv pipe.mul", 2, "colvane-cli: pipe.mul: a pipe, not a regular file\n"},
        {"spread hues.mul 1 3..4", 2,
         "colvane-cli: 3..4: a run of 2 colours; a spread needs 3 or more\n"},
        {"reverse hues.mul 1 5..5", 2,
         "colvane-cli: 5..5: a run of 1 colour; a reverse needs 2 or more\n"},
        {"spread hues.mul 1 0..32", 2,
         "colvane-cli: spread: A..B: 32 is no colour slot (0 to 31)\n"},
        {"reverse hues.mul 1 9..2", 2, ""},
        {"reverse hues.mul 1 7", 2, ""},
        {"spread hues.mul 1 0..31 --space hsv", 2, ""},
        {"spread hues.mul 101 0..31", 2,
         "colvane-cli: hues.mul: no entry 101: the file ends at entry 100\n"},
        {"reverse readonly.mul 1 0..31", 2, "colvane-cli: readonly.mul: read-only\n"},
        {"reverse notes.txt 1 0..31", 2,
         "colvane-cli: notes.txt: looks like text, not a hue file\n"},
        {"spread hues.mul 1 0..31", 2, "colvane-cli: hues.mul: locked by another process\n",
         std::chrono::milliseconds(3500)},
    };
    const auto contents = FolderSnapshot();
    for (const Refusal &refusal : refusals) {
        std::thread holder;
        if (refusal.heldFor.count() > 0)
            holder = HoldWriterLock(refusal.held, refusal.heldFor);
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
        EXPECT_EQ(FolderSnapshot(), contents) << refusal.arguments;
    }
}

#ifdef COLVANE_LOCK_REFUSAL_SHIM
// A run of the command line whose locks fail as tests/lock_refusal_shim.cpp makes them fail:
// those of the open with ofdError, classic ones with classicError (0: not at all). A runtime
// of sanitizers wants to come first among the preloaded libraries; the shim carries none of
// their calls, so it may come before it.
Outcome RunCliWithLockRefusals(const QString &arguments, int ofdError, int classicError)
{
    const QString sanitizerOptions = qEnvironmentVariable("ASAN_OPTIONS");
    return RunProgram(COLVANE_CLI_PATH, arguments.split(' ', Qt::SkipEmptyParts), {},
                      {{"LD_PRELOAD", COLVANE_LOCK_REFUSAL_SHIM},
                       {"COLVANE_TEST_OFD_LOCK_ERRNO", QString::number(ofdError)},
                       {"COLVANE_TEST_CLASSIC_LOCK_ERRNO", QString::number(classicError)},
                       {"ASAN_OPTIONS", sanitizerOptions + (sanitizerOptions.isEmpty() ? "" : ":") +
                                            "verify_asan_link_order=0"}});
}

struct LockRefusal {
    const char *arguments;
    int ofdError;
    int classicError;
    // Another process's write holds hues.mul for 3.5 s from the start.
    bool held;
    int status;
    // The whole of standard error.
    std::string error;
    // Writes hues.mul, or makes merged.mul.
    bool writes;
};

// A file system that takes no locks refuses them with ENOLCK or EOPNOTSUPP: a write goes on
// without one, says so once on standard error and otherwise runs as it would with a lock;
// a reader says nothing. A kernel without locks of the open refuses those with EINVAL: the
// classic record lock taken instead still keeps another process's write out, and the reads
// and writes of one run, a copy within one file included, do not lock each other out. A lock
// refused as held elsewhere is waited for and then refused, as always.
TEST_F(CliTest, LocksAFileSystemRefusesAreNoneToTakeOrClassicOnes)
{
    const std::string noLocks =
        "colvane-cli: hues.mul: this file system takes no locks; writing without one\n";
    const std::string locked = "colvane-cli: hues.mul: locked by another process\n";
    const LockRefusal refusals[] = {
        {"import hues.mul 1 good.pal", ENOLCK, 0, false, 0, noLocks, true},
        {"copy patch.mul hues.mul 1..5", EOPNOTSUPP, 0, false, 0, noLocks, true},
        {"copy hues.mul hues.mul 1..4 --to 3", ENOLCK, 0, false, 0, noLocks, true},
        {"spread hues.mul 1 0..31", ENOLCK, 0, false, 0, noLocks, true},
        {"apply stale.huepatch hues.mul --force", EOPNOTSUPP, 0, false, 0, noLocks, true},
        {"list hues.mul", ENOLCK, 0, false, 0, "", false},
        {"diff hues.mul patch.mul", EOPNOTSUPP, 0, false, 1, "", false},
        {"import hues.mul 1 good.pal", EINVAL, ENOLCK, false, 0, noLocks, true},
        {"import hues.mul 1 good.pal", EINVAL, 0, false, 0, "", true},
        {"copy patch.mul hues.mul 1..5", EINVAL, 0, false, 0, "", true},
        {"copy hues.mul hues.mul 1..4 --to 3", EINVAL, 0, false, 0, "", true},
        {"merge hues.mul hues.mul patch.mul -o merged.mul", EINVAL, 0, false, 0, "", true},
        {"import hues.mul 1 good.pal", EINVAL, 0, true, 2, locked, false},
        {"list hues.mul", EINVAL, 0, true, 2, locked, false},
        {"import hues.mul 1 good.pal", EAGAIN, 0, false, 2, locked, false},
        {"list hues.mul", EAGAIN, 0, false, 2, locked, false},
    };
    const auto before = FolderSnapshot();
    const auto hues = ReadBytes("hues.mul");
    const auto restore = [&hues] {
        WriteBytes("hues.mul", hues);
        std::remove("merged.mul");
    };
    for (const LockRefusal &refusal : refusals) {
        const std::string what = std::string(refusal.arguments) + " with errno " +
                                 std::to_string(refusal.ofdError) + ", " +
                                 std::to_string(refusal.classicError);
        std::thread holder;
        if (refusal.held)
            holder = HoldWriterLock("hues.mul", std::chrono::milliseconds(3500));
        const Outcome outcome =
            RunCliWithLockRefusals(refusal.arguments, refusal.ofdError, refusal.classicError);
        if (holder.joinable())
            holder.join();
        EXPECT_EQ(outcome.status, refusal.status) << what;
        EXPECT_EQ(outcome.err, refusal.error) << what;
        const auto after = FolderSnapshot();
        EXPECT_EQ(after != before, refusal.writes) << what;
        restore();
        if (refusal.status == 2)
            continue;
        // The same run where locks are taken: the same output, the same files.
        const Outcome locking = RunCli(refusal.arguments);
        EXPECT_EQ(locking.status, outcome.status) << what;
        EXPECT_EQ(locking.out, outcome.out) << what;
        EXPECT_EQ(FolderSnapshot(), after) << what;
        restore();
    }
}
#endif

#ifdef COLVANE_LOCK_REFUSAL_SHIM
// Without locks a journal beside the file may be a live write's: writes wait for recover by
// hand, reads show the file as it was before the write, and recover puts it back.
TEST_F(CliTest, WithoutLocksAJournalWaitsForRecoverByHand)
{
    const auto before = ReadBytes("hues.mul");
    WriteBytes("before.mul", before);
    ASSERT_TRUE(KillDuring("hues.mul", {PlanOf(2, 6, 4), 3, false}));
    const auto left = ReadBytes("hues.mul");
    const Outcome refused = RunCliWithLockRefusals("import hues.mul 1 good.pal", ENOLCK, 0);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("until colvane-cli recover is run on it"), std::string::npos)
        << refused.err;
    EXPECT_EQ(ReadBytes("hues.mul"), left);
    const Outcome read = RunCliWithLockRefusals("list hues.mul", ENOLCK, 0);
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.out, RunCli("list before.mul").out);
    EXPECT_EQ(read.err.substr(read.err.find('\n') + 1),
              "colvane-cli: hues.mul: an interrupted write of 6 entries is not rolled back yet; "
              "read as it was before that write\n");
    // The reader tells what the refused writer was told.
    EXPECT_NE(refused.err.find(read.err.substr(0, read.err.find('\n'))), std::string::npos);
    EXPECT_EQ(ReadBytes("hues.mul"), left);
    const Outcome recovered = RunCliWithLockRefusals("recover hues.mul", ENOLCK, 0);
    EXPECT_EQ(recovered.status, 0);
    EXPECT_EQ(recovered.out, "hues.mul: 6 entries put back\n");
    EXPECT_EQ(ReadBytes("hues.mul"), before);
    EXPECT_EQ(RunCliWithLockRefusals("import hues.mul 1 good.pal", ENOLCK, 0).status, 0);
}
#endif

// A merge's base that is missing, or named below a file, holds no entries, as an empty one
// does; a link that leads nowhere is no missing base but a mistake, refused with nothing
// written.
TEST_F(CliTest, AMissingMergeBaseIsEmptyButALinkToNothingIsRefused)
{
    WriteText("empty.mul", "");
    ASSERT_EQ(symlink("nothing.mul", "dangling.mul"), 0);
    const Outcome fromEmpty = RunCli("merge empty.mul hues.mul patch.mul -o from-empty.mul");
    const auto merged = ReadBytes("from-empty.mul");
    ASSERT_FALSE(merged.empty()) << fromEmpty.err;
    for (const char *base : {"nosuch.mul", "notes.txt/base.mul"}) {
        const Outcome outcome = RunCli(QString("merge %1 hues.mul patch.mul -o out.mul").arg(base));
        EXPECT_EQ(outcome.status, fromEmpty.status) << base << ": " << outcome.err;
        EXPECT_EQ(ReadBytes("out.mul"), merged) << base;
        ASSERT_EQ(unlink("out.mul"), 0) << base;
    }
    const auto contents = FolderSnapshot();
    const Outcome dangling = RunCli("merge dangling.mul hues.mul patch.mul -o out.mul");
    EXPECT_EQ(dangling.status, 2);
    EXPECT_EQ(dangling.err, "colvane-cli: dangling.mul: no such file\n");
    EXPECT_EQ(FolderSnapshot(), contents);
}

// Two hue files of one length with the same entries; the block headers of a part that a write
// extended hold what the writer put there.
bool SameEntries(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b)
{
    if (a.size() != b.size())
        return false;
    for (int n = 1; EntryOffset(n) + sizeof(HueEntry) <= a.size(); ++n)
        if (!std::equal(a.begin() + EntryOffset(n), a.begin() + EntryOffset(n) + sizeof(HueEntry),
                        b.begin() + EntryOffset(n)))
            return false;
    return true;
}

struct MergeAbsence {
    // Copied to ours.mul and theirs.mul; the base is full.mul.
    const char *ours;
    const char *theirs;
    const char *options;
    int status;
    // The side that lacks the entries first..last, which the base and the other side hold.
    const char *absentIn;
    int first;
    int last;
};

// A side that ends early, or is cut inside an entry, deleted nothing: every entry it lacks
// that the base and the other side hold is listed as a conflict, and OURS keeps it unless
// --theirs is given, which zeroes it and says so, as apply does, or takes THEIRS's entry.
// Without an option the exit status tells git that the merge needs a person; -o writes the
// same result to a new file.
TEST_F(CliTest, MergeKeepsEntriesASideLacksInsteadOfZeroingThem)
{
    WriteHueFile("full.mul", 3000, 1);
    WriteHueFile("cut2500.mul", 2500, 1);
    WriteHueFile("cut2000.mul", 2000, 1);
    std::vector<unsigned char> torn = ReadBytes("full.mul");
    torn.resize(static_cast<std::size_t>(EntryOffset(2500) + 40));
    WriteBytes("torn.mul", torn);
    const MergeAbsence cases[] = {
        {"full.mul", "cut2500.mul", "", 1, "THEIRS", 2501, 3000},
        {"full.mul", "cut2500.mul", "--ours", 0, "THEIRS", 2501, 3000},
        {"full.mul", "cut2500.mul", "--theirs", 0, "THEIRS", 2501, 3000},
        {"full.mul", "torn.mul", "", 1, "THEIRS", 2500, 3000},
        {"cut2500.mul", "full.mul", "", 1, "OURS", 2501, 3000},
        {"cut2500.mul", "full.mul", "--ours", 0, "OURS", 2501, 3000},
        {"cut2500.mul", "full.mul", "--theirs", 0, "OURS", 2501, 3000},
        {"cut2000.mul", "cut2500.mul", "", 1, "OURS", 2001, 2500},
        {"cut2000.mul", "cut2500.mul", "--theirs", 0, "OURS", 2001, 2500},
        {"cut2500.mul", "cut2000.mul", "--theirs", 0, "THEIRS", 2001, 2500},
        {"full.mul", "cut2500.mul", "-o out.mul", 1, "THEIRS", 2501, 3000},
        {"full.mul", "torn.mul", "--theirs -o out.mul", 0, "THEIRS", 2500, 3000},
    };
    for (const MergeAbsence &merge : cases) {
        const std::string what = std::string(merge.ours) + " " + merge.theirs + " " + merge.options;
        const std::vector<unsigned char> ours = ReadBytes(merge.ours);
        WriteBytes("ours.mul", ours);
        WriteBytes("theirs.mul", ReadBytes(merge.theirs));
        const bool toNewFile = std::strstr(merge.options, "-o ") != nullptr;
        const bool theirSide = std::strstr(merge.options, "--theirs") != nullptr;
        const bool zeroes = theirSide && std::string(merge.absentIn) == "THEIRS";
        const std::string written = toNewFile ? "out.mul" : "ours.mul";

        const Outcome outcome =
            RunCli(QString("merge full.mul ours.mul theirs.mul ") + merge.options);
        EXPECT_EQ(outcome.status, merge.status) << what;
        std::string conflicts, zeroed;
        std::vector<unsigned char> expected = theirSide && !zeroes ? ReadBytes("theirs.mul") : ours;
        for (int n = merge.first; n <= merge.last; ++n) {
            conflicts += "colvane-cli: " + written + ": conflict in entry " + std::to_string(n) +
                         ": absent in " + merge.absentIn + "\n";
            if (!zeroes)
                continue;
            zeroed += "zeroed entry " + std::to_string(n) +
                      ": absent in THEIRS, and files are never cut\n";
            std::fill_n(expected.begin() + EntryOffset(n), sizeof(HueEntry), 0);
        }
        EXPECT_EQ(outcome.err, conflicts) << what;
        const int changed = theirSide ? merge.last - merge.first + 1 : 0;
        EXPECT_EQ(outcome.out,
                  zeroed + (toNewFile ? "merged theirs.mul and ours.mul into out.mul\n"
                                      : "merged theirs.mul into ours.mul: " +
                                            std::to_string(changed) + " entries written\n"))
            << what;
        EXPECT_TRUE(SameEntries(ReadBytes(written), expected)) << what;
        EXPECT_TRUE(SameEntries(ReadBytes("ours.mul"), toNewFile ? ours : expected)) << what;
        if (toNewFile) {
            ASSERT_EQ(unlink("out.mul"), 0) << what;
        }
    }
}

// An entry exported and imported back onto itself changes no byte, whatever the format keeps
// from the entry and whatever it carries itself. Standard output, by default or as "-o -",
// gets the bytes the output file gets, and no file is named "-".
TEST_F(CliTest, ExportThenImportBackChangesNothing)
{
    const auto before = ReadBytes("hues.mul");
    for (const PaletteFormat format : AllPaletteFormats) {
        const QString name = "e5." + QString::fromStdString(FormatName(format));
        const QString exportEntry =
            "export hues.mul 5 -f " + QString::fromStdString(FormatName(format));
        const Outcome exported = RunCli(exportEntry + " -o " + name);
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_EQ(exported.out, "");
        const auto written = ReadBytes(name.toStdString());
        for (const QString &toStandardOutput : {QString(), QString(" -o -")})
            EXPECT_EQ(RunCli(exportEntry + toStandardOutput).out,
                      std::string(written.begin(), written.end()))
                << toStandardOutput.toStdString();
        const Outcome imported = RunCli("import hues.mul 5 " + name);
        EXPECT_EQ(imported.status, 0) << name.toStdString() << ": " << imported.err;
        EXPECT_EQ(imported.out, "imported " + name.toStdString() + " into entry 5: \"entry 5\"\n");
        EXPECT_EQ(ReadBytes("hues.mul"), before) << name.toStdString();
    }
    ASSERT_EQ(RunCli("preview hues.mul 5 e5.png -o recoloured.png").status, 0);
    const auto recoloured = ReadBytes("recoloured.png");
    EXPECT_EQ(RunCli("preview hues.mul 5 e5.png -o -").out,
              std::string(recoloured.begin(), recoloured.end()));
    EXPECT_FALSE(FileExists("-"));
}

// Each entry that differs is one line: both names as they print (controls as \xNN, Latin-1 as
// UTF-8, "missing" where a file lacks the entry), then what differs: slots, name, carried bytes.
TEST_F(CliTest, DiffNamesTheEntryAndTheSlotsThatDiffer)
{
    const auto renamed = [](HueEntry &entry, const char *name) {
        std::memset(entry.name, 0, sizeof entry.name);
        std::memcpy(entry.name, name, std::strlen(name));
    };
    const std::pair<std::function<void(HueEntry &)>, std::string> changes[] = {
        {[](HueEntry &entry) {
             entry.colours[3] ^= 1;
             entry.colours[4] ^= 1;
             entry.colours[9] ^= 1;
         },
         "\"entry 42\"  slots 3-4 9"},
        {[&](HueEntry &entry) { renamed(entry, "caf\xe9\x01\x85"); },
         "\"caf\xc3\xa9\\x01\\x85\"  name"},
        {[&](HueEntry &entry) {
             entry.colours[0] ^= 1;
             entry.colours[31] ^= 1;
             entry.carried[2] ^= 1;
             renamed(entry, "\xff\x7f twenty characters");
         },
         "\"\xc3\xbf\\x7f twenty characters\"  slots 0 31, name, carried bytes"},
        {[&](HueEntry &entry) {
             entry.carried[0] ^= 1;
             renamed(entry, "e");
         },
         "\"e\"  name, carried bytes"},
        {[](HueEntry &entry) { entry.carried[0] ^= 1; }, "\"entry 46\"  carried bytes"},
    };
    WriteHueFile("other.mul", 100, 1);
    std::string expected;
    int n = 42;
    for (const auto &[change, shown] : changes) {
        HueEntry entry = PatternEntry(n, 1);
        change(entry);
        ASSERT_TRUE(WriteEntryInPlace("other.mul", n, entry));
        expected +=
            "  " + std::to_string(n) + "  \"entry " + std::to_string(n) + "\"  " + shown + "\n";
        ++n;
    }
    ASSERT_TRUE(WriteEntryInPlace("other.mul", 101, PatternEntry(101, 1)));
    expected += " 101  missing  \"entry 101\"\n";
    const Outcome outcome = RunCli("diff hues.mul other.mul");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, expected);
    // A name of all 20 bytes has no zero to end it.
    const std::string listed = RunCli("list other.mul").out;
    EXPECT_NE(listed.find("  43  used     caf\xc3\xa9\\x01\\x85\n  44  used     "
                          "\xc3\xbf\\x7f twenty characters\n"),
              std::string::npos)
        << listed;
}

// A file of three entries, the second all zeroes, and a fourth only partly written. Imports
// into it say what they took and where, and whether the name was cut.
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
        // Distances from the Python script of the colour ranking's table; the empty entry 2
        // and the partial entry 4 are not ranked.
        {"find small.mul --near 000000 --count 1", "   1  0.1752  entry 1\n"},
        {"find small.mul --near #00ff00", "   3  0.5702  entry 3\n   1  0.6290  entry 1\n"},
        {"find small.mul --near #0f0 --mean", "   3  0.6484  entry 3\n   1  0.6932  entry 1\n"},
        // Neither file holds entry 4 whole, so there is nothing of it to compare.
        {"diff small.mul other.mul", ""},
        {"new made.mul --entries 9", "made made.mul with 9 empty entries\n"},
        {"find made.mul --empty", "1..9  empty\n10..3000  missing\n"},
        {"new full.mul", "made full.mul with 3000 empty entries\n"},
        {"find full.mul --empty", "1..3000  empty\n"},
        {"import small.mul 3 short.pal --at 1", "imported short.pal into entry 3: \"entry 3\" "
                                                "(31 colours, into #1 .. #31)\n"},
        {"import small.mul 3 long.gpl --from 31 --keep-name",
         "imported long.gpl into entry 3: \"entry 3\" (32 colours, 31-31 taken, into #0)\n"},
        {"import small.mul 1 long.gpl",
         "imported long.gpl into entry 1: \"abcdefghijklmnopqrst\" (name cut to 20 characters)\n"},
    };
    for (const auto &[arguments, out] : runs) {
        const Outcome outcome = RunCli(arguments);
        EXPECT_EQ(outcome.status, 0) << arguments.toStdString() << ": " << outcome.err;
        EXPECT_EQ(outcome.out, out) << arguments.toStdString();
    }
}

// Entry k of 88 has only byte k - 1 set, to its top bit alone, so that a rule reading fewer
// bytes than the record's 88, or a colour without bit 15, calls one of them empty. Entry 89 is
// all zeroes, as the help says an empty entry is.
TEST_F(CliTest, AnyByteOfTheRecordMakesAnEntryUsed)
{
    WriteHueFile("bits.mul", 89);
    for (int n = 1; n <= 89; ++n) {
        HueEntry entry{};
        if (n <= 88)
            reinterpret_cast<unsigned char *>(&entry)[n - 1] = 0x80;
        ASSERT_TRUE(WriteEntryInPlace("bits.mul", n, entry));
    }
    const std::string listed = RunCli("list bits.mul").out;
    for (int n = 1; n <= 88; ++n)
        EXPECT_NE(listed.find(QString("%1  used").arg(n, 4).toStdString()), std::string::npos)
            << "entry " << n << " in\n"
            << listed;
    EXPECT_NE(listed.find("  89  empty\n"), std::string::npos) << listed;
    EXPECT_EQ(RunCli("find bits.mul --empty").out, "  89  empty\n90..3000  missing\n");
    EXPECT_NE(RunCli("list --help").out.find(std::string(EmptyEntryRule)), std::string::npos);
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
    int fileEntries = 100;
    // Standard error: the entries skipped because their targets would lie past 3000.
    std::string skipped = "";
};

// Within one file every target receives its source as it was before the copy, whichever way
// the ranges overlap, and a target past the end extends the file. Targets end at 3000: the
// log names only the entries copied, and standard error the ones skipped.
TEST_F(CliTest, SameFileCopyMovesABlock)
{
    const BlockMove moves[] = {
        {"copy hues.mul hues.mul 1..10 --to 5", "GET RANGE 1 .. 10\nPUT RANGE 5 .. 14\n", 1, 5, 10},
        {"copy hues.mul hues.mul 5..14 --to 1", "GET RANGE 5 .. 14\nPUT RANGE 1 .. 10\n", 5, 1, 10},
        {"copy hues.mul hues.mul 95..100 --to 98", "GET RANGE 95 .. 100\nPUT RANGE 98 .. 103\n", 95,
         98, 6},
        {"copy hues.mul hues.mul 2990..3000 --to 2995",
         "GET RANGE 2990 .. 2995\nPUT RANGE 2995 .. 3000\n", 2990, 2995, 6, 3000,
         "colvane-cli: hues.mul: entries 2996 .. 3000 are not copied; targets end at entry 3000\n"},
        {"copy hues.mul hues.mul 2990..2999 --to 2992",
         "GET RANGE 2990 .. 2998\nPUT RANGE 2992 .. 3000\n", 2990, 2992, 9, 3000,
         "colvane-cli: hues.mul: entry 2999 is not copied; targets end at entry 3000\n"},
    };
    for (const BlockMove &move : moves) {
        WriteHueFile("hues.mul", move.fileEntries, 1);
        const Outcome outcome = RunCli(move.arguments);
        EXPECT_EQ(outcome.status, 0) << move.arguments << ": " << outcome.err;
        EXPECT_EQ(outcome.out, move.log);
        EXPECT_EQ(outcome.err, move.skipped);
        const int last = std::max(move.fileEntries, move.targetFrom + move.count - 1);
        const auto bytes = ReadBytes("hues.mul");
        ASSERT_EQ(bytes.size(), static_cast<std::size_t>(EntryOffset(last) + 88));
        for (int n = 1; n <= last; ++n) {
            const bool target = n >= move.targetFrom && n < move.targetFrom + move.count;
            const HueEntry source =
                PatternEntry(target ? move.sourceFrom + (n - move.targetFrom) : n, 1);
            EXPECT_EQ(std::memcmp(bytes.data() + EntryOffset(n), &source, sizeof source), 0)
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

// The patch from patch.mul (120 entries) to hues.mul (100) zeroes the 20 that hues.mul lacks
// and says so, keeping the file's length; a second apply finds every entry changed and writes
// nothing; taken back, it restores every byte. Forced, it names only what it overwrote.
TEST_F(CliTest, PatchAppliesRefusesConflictsForcesAndTakesBack)
{
    ASSERT_EQ(RunCli("diff patch.mul hues.mul --patch -o p.huepatch").status, 1);
    WriteHueFile("t.mul", 120, 2);
    const auto original = ReadBytes("t.mul");
    const Outcome applied = RunCli("apply p.huepatch t.mul");
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_NE(applied.out.find("zeroed entry 120: the patch leaves it absent, and files are "
                               "never cut\napplied p.huepatch to t.mul: 120 entries written\n"),
              std::string::npos)
        << applied.out;
    EXPECT_EQ(ReadBytes("t.mul").size(), original.size());
    EXPECT_TRUE(SameEntry(EntryOnDisk("t.mul", 100), PatternEntry(100, 1)));
    EXPECT_TRUE(SameEntry(EntryOnDisk("t.mul", 101), HueEntry{}));

    const auto patched = ReadBytes("t.mul");
    const Outcome again = RunCli("apply p.huepatch t.mul");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("conflict: entry 101 (slots 0..31; name; carried bytes)\n"),
              std::string::npos);
    EXPECT_NE(again.out.find("120 of 120 entries conflict; nothing was written\n"),
              std::string::npos);
    EXPECT_EQ(ReadBytes("t.mul"), patched);
    EXPECT_EQ(RunCli("apply --reverse p.huepatch t.mul --check").out,
              "the patch applies: 120 entries\n");
    ASSERT_EQ(RunCli("apply --reverse p.huepatch t.mul").status, 0);
    EXPECT_EQ(ReadBytes("t.mul"), original);

    HueEntry changed = PatternEntry(3, 2);
    changed.carried[1] = 7;
    ASSERT_TRUE(WriteEntryInPlace("t.mul", 3, changed));
    const Outcome forced = RunCli("apply p.huepatch t.mul --force");
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(forced.out.substr(0, forced.out.find("zeroed")),
              "overwrote entry 3 (carried bytes)\n");
    EXPECT_EQ(ReadBytes("t.mul"), patched);
}

// When a write fails partway, the entries written before it get their bytes back and the file
// its length.
TEST_F(CliTest, FailedApplyPutsEveryEntryBack)
{
    ASSERT_EQ(RunCli("diff hues.mul patch.mul --patch -o p.huepatch").status, 1);
    const auto original = ReadBytes("hues.mul");
    std::ostringstream out;
    std::optional<CommandResult> result;
    {
        const FileSizeLimit limit(EntryOffset(110) + 40);
        result.emplace(RunApply({"p.huepatch", "hues.mul", ApplyMode::Apply, false}, out));
    }
    ASSERT_FALSE(*result);
    EXPECT_EQ(result->error(), "hues.mul: entry 110 could not be written (file too large); "
                               "every entry is as it was");
    EXPECT_EQ(ReadBytes("hues.mul"), original);
}

// A real repository wired up as the README says: two branches change different entries, one
// entry's colours on one side and its name on the other, and slot 0 of one entry on both
// sides; their side also lost its last two entries to a tool that cut the file. The merge
// combines the first three, reports the fourth and keeps the two entries it lacks, reporting
// them too; diffs show entry lines.
TEST(CliGit, MergesEntriesFieldByFieldAndDiffsThemAsText)
{
    const TempFolder folder;
    const auto git = [](const QString &arguments) {
        return RunProgram("git", arguments.split(' '));
    };
    if (git("--version").status != 0)
        GTEST_SKIP() << "git is not installed";
    const QString cli = COLVANE_CLI_PATH;
    for (const char *setup :
         {"init -q -b main", "config user.email a@b.c", "config user.name A",
          "config commit.gpgsign false", "config merge.colvane.name hue-entries"})
        ASSERT_EQ(git(setup).status, 0) << setup;
    ASSERT_EQ(RunProgram("git", {"config", "diff.colvane.textconv", cli + " textconv"}).status, 0);
    ASSERT_EQ(RunProgram("git", {"config", "merge.colvane.driver", cli + " merge %O %A %B"}).status,
              0);
    WriteText(".gitattributes", "*.mul diff=colvane merge=colvane\n");
    WriteHueFile("hues.mul", 10, 1);
    ASSERT_EQ(git("add .gitattributes hues.mul").status, 0);
    ASSERT_EQ(git("commit -q -m base").status, 0);

    const auto change = [&](int n, const std::function<void(HueEntry &)> &edit) {
        HueEntry entry = EntryOnDisk("hues.mul", n);
        edit(entry);
        ASSERT_TRUE(WriteEntryInPlace("hues.mul", n, entry));
    };
    const auto recolour = [](HueEntry &entry) { entry.colours[9] ^= 0x1F; };
    const auto rename = [](HueEntry &entry) { std::strncpy(entry.name, "renamed", 20); };
    ASSERT_EQ(git("checkout -q -b theirs").status, 0);
    WriteHueFile("hues.mul", 8, 1);
    change(2, recolour);
    change(3, rename);
    change(5, [](HueEntry &entry) { entry.colours[0] = 1; });
    ASSERT_EQ(git("commit -q -a -m theirs").status, 0);
    ASSERT_EQ(git("checkout -q main").status, 0);
    change(4, recolour);
    change(3, recolour);
    change(5, [](HueEntry &entry) { entry.colours[0] = 2; });
    ASSERT_EQ(git("commit -q -a -m ours").status, 0);

    const Outcome diff = git("diff main theirs");
    EXPECT_NE(diff.out.find("\n+   3  \"renamed\"  "), std::string::npos) << diff.out;
    EXPECT_NE(diff.out.find("\n-   4  \"entry 4\"  "), std::string::npos) << diff.out;

    const Outcome merged = git("merge theirs");
    EXPECT_EQ(merged.status, 1);
    EXPECT_NE(merged.out.find("CONFLICT"), std::string::npos) << merged.out;
    EXPECT_NE(merged.err.find("conflict in entry 5: slot 0"), std::string::npos) << merged.err;
    for (const char *absent :
         {"conflict in entry 9: absent in THEIRS\n", "conflict in entry 10: absent in THEIRS\n"})
        EXPECT_NE(merged.err.find(absent), std::string::npos) << merged.err;
    HueEntry expected[10];
    for (int n = 1; n <= 10; ++n)
        expected[n - 1] = PatternEntry(n, 1);
    for (const int n : {2, 3, 4})
        recolour(expected[n - 1]);
    rename(expected[2]);
    expected[4].colours[0] = 2;
    for (int n = 1; n <= 10; ++n)
        EXPECT_TRUE(SameEntry(EntryOnDisk("hues.mul", n), expected[n - 1])) << n;
    EXPECT_EQ(ReadBytes("hues.mul").size(), static_cast<std::size_t>(EntryOffset(10) + 88));
}

struct OutputRefusal {
    QStringList arguments;
    std::string error;
};

// -o replaces only a file of the format being written, also through a link, that this user may
// write, and never one the command reads; a pipe without a reader is refused at once instead of
// waited for. A read-only file is refused to root as well.
TEST_F(CliTest, RefusesOutputsItMustNotReplace)
{
    WriteText("readonly.hex", "ffffff\n");
    ASSERT_EQ(chmod("readonly.hex", 0444), 0);
    WriteText("linked.hex", "ffffff\n");
    ASSERT_EQ(link("linked.hex", "twin.hex"), 0);
    ASSERT_EQ(symlink("nothing.hex", "dangling.hex"), 0);
    ASSERT_EQ(symlink("patch.mul", "sea.hex"), 0);
    WriteBytes("picture.png", PngWithBrokenProfile());
    ASSERT_EQ(symlink("picture.png", "picture-link.png"), 0);
    const QStringList hex = {"export", "hues.mul", "6", "-f", "hex", "-o"};
    const QStringList preview = {"preview", "hues.mul", "1", "picture.png", "-o"};
    const OutputRefusal refusals[] = {
        {hex + QStringList{"patch.mul"}, "patch.mul: exists and is no hex file; not replaced"},
        {preview + QStringList{"patch.mul"}, "patch.mul: exists and is no png file; not replaced"},
        {hex + QStringList{"readonly.hex"}, "readonly.hex: read-only"},
        {hex + QStringList{"sea.hex"}, "sea.hex: exists and is no hex file; not replaced"},
        {hex + QStringList{"linked.hex"},
         "linked.hex: has 2 hard links, which a replacement would split; not replaced"},
        {hex + QStringList{"dangling.hex"}, "dangling.hex: a link to nothing"},
        {hex + QStringList{"pipe.mul"}, "pipe.mul: a pipe with no reader"},
        {preview + QStringList{"picture-link.png"},
         "picture-link.png: is the picture being recoloured, which is never overwritten"},
        {hex + QStringList{""}, "-o: no output file name"},
        {preview + QStringList{""}, "-o: no output file name"},
    };
    const auto contents = FolderSnapshot();
    for (const OutputRefusal &refusal : refusals) {
        const Outcome outcome = RunCli(refusal.arguments);
        const std::string arguments = refusal.arguments.join(' ').toStdString();
        EXPECT_EQ(outcome.status, 2) << arguments;
        EXPECT_EQ(outcome.err, "colvane-cli: " + refusal.error + "\n") << arguments;
        EXPECT_EQ(FolderSnapshot(), contents) << arguments;
    }
}

// What the caller did to standard output.
enum StandardOutput { OutputClosed, OutputFull };

struct LostOutput {
    const char *arguments;
    StandardOutput output;
    int status;
    std::string error;
    bool changesHues;
};

// A command that cannot write its output or its report to standard output fails, and says what
// it changed before it found out; a closed one is found out before anything changes. A command
// that writes only to -o FILE needs no standard output.
TEST_F(CliTest, StandardOutputClosedOrFullIsTrouble)
{
    if (!FileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to fill standard output with";
    WriteBytes("strip.png", Bytes(PngStrip()));
    const std::string closed = "colvane-cli: standard output: is closed; nothing was done\n";
    const std::string full = "colvane-cli: standard output: no space left on device\n";
    const std::string reportLost =
        ", but reporting it on standard output failed (no space left on device)\n";
    const LostOutput runs[] = {
        {"list hues.mul", OutputClosed, 2, closed, false},
        {"export hues.mul 1 -f hex", OutputClosed, 2, closed, false},
        {"export hues.mul 1 -f hex -o -", OutputClosed, 2, closed, false},
        {"preview hues.mul 1 strip.png -o -", OutputClosed, 2, closed, false},
        {"import hues.mul 3 strip.png", OutputClosed, 2, closed, false},
        {"copy patch.mul hues.mul 1..3", OutputClosed, 2, closed, false},
        {"--help", OutputClosed, 2, "colvane-cli: standard output: is closed\n", false},
        {"export hues.mul 1 -f hex -o e1.hex", OutputClosed, 0, "", false},
        {"preview hues.mul 1 strip.png -o e1.png", OutputClosed, 0, "", false},
        {"list hues.mul", OutputFull, 2, full, false},
        {"preview hues.mul 1 strip.png -o -", OutputFull, 2, full, false},
        {"--version", OutputFull, 2, full, false},
        {"import hues.mul 3 strip.png", OutputFull, 2,
         "colvane-cli: hues.mul: entry 3 was imported" + reportLost, true},
        {"copy patch.mul hues.mul 1..3", OutputFull, 2,
         "colvane-cli: hues.mul: the copy was written" + reportLost, true},
    };
    const auto closeOutput = [] { close(STDOUT_FILENO); };
    const auto fillOutput = [] { dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO); };
    for (const LostOutput &run : runs) {
        WriteHueFile("hues.mul", 100, 1);
        const auto before = ReadBytes("hues.mul");
        const Outcome outcome = RunCli(QString(run.arguments).split(' '),
                                       run.output == OutputClosed ? closeOutput : fillOutput);
        EXPECT_EQ(outcome.status, run.status) << run.arguments;
        EXPECT_EQ(outcome.err, run.error) << run.arguments;
        EXPECT_EQ(ReadBytes("hues.mul") != before, run.changesHues) << run.arguments;
    }
    EXPECT_EQ(ReadBytes("e1.hex").size(), 32u * 7);
    EXPECT_TRUE(QImage("e1.png").size() == QSize(HueColourCount, 1));
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

// One byte over a local socket, carrying one descriptor.
struct DescriptorMessage {
    char byte = 0;
    iovec content{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr header{nullptr, 0, &content, 1, control, sizeof control, 0};

    explicit DescriptorMessage(int descriptor = -1)
    {
        cmsghdr *passed = CMSG_FIRSTHDR(&header);
        *passed = {CMSG_LEN(sizeof(int)), SOL_SOCKET, SCM_RIGHTS};
        std::memcpy(CMSG_DATA(passed), &descriptor, sizeof descriptor);
    }
    int descriptor() const
    {
        int descriptor = -1;
        std::memcpy(&descriptor, CMSG_DATA(CMSG_FIRSTHDR(&header)), sizeof descriptor);
        return descriptor;
    }
};

// Holds the program at its first fchmod, which it makes on its filled temporary file just
// before the rename: a filter that the child installs before the program starts hands that
// call to the test, which never answers it. The filter's listener comes over a socket.
class HeldAtFchmod {
public:
    HeldAtFchmod() { socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_sockets); }
    ~HeldAtFchmod()
    {
        for (const int descriptor : {m_sockets[0], m_sockets[1], m_listener})
            close(descriptor);
    }
    HeldAtFchmod(const HeldAtFchmod &) = delete;
    HeldAtFchmod &operator=(const HeldAtFchmod &) = delete;

    // In the child, before the program starts.
    void install() const
    {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 3),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fchmod, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
        prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
        DescriptorMessage message(static_cast<int>(syscall(
            SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &program)));
        sendmsg(m_sockets[1], &message.header, 0);
    }

    // Waits until the program is held in its fchmod.
    bool held()
    {
        pollfd ready{m_sockets[0], POLLIN, 0};
        DescriptorMessage message;
        if (poll(&ready, 1, 20000) != 1 || recvmsg(m_sockets[0], &message.header, 0) != 1)
            return false;
        m_listener = message.descriptor();
        ready = {m_listener, POLLIN, 0};
        return m_listener >= 0 && poll(&ready, 1, 20000) == 1;
    }

private:
    int m_sockets[2] = {-1, -1};
    int m_listener = -1;
};

constexpr int EndingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Starts colvane-cli held at its first fchmod, which it makes on its filled output file just
// before naming it; false when it never got there.
bool StartedHeld(QProcess &process, HeldAtFchmod &hold, const QStringList &arguments)
{
    process.setChildProcessModifier([&hold] {
        for (const int ending : EndingSignals)
            std::signal(ending, SIG_DFL);
        hold.install();
    });
    process.start(COLVANE_CLI_PATH, arguments);
    return hold.held();
}

// An export that replaces a file, held while its temporary file exists and sent an ending
// signal, removes the temporary and ends by that signal, whatever the test's own signals were.
TEST_F(CliTest, AnEndingSignalLeavesNoTemporaryFile)
{
#ifndef __x86_64__
    GTEST_SKIP() << "the filter that holds the program knows only x86-64 system calls";
#endif
    WriteHueFile("all.mul", 100, 3);
    WriteText("1.hex", "ffffff\n");
    const auto contents = FolderSnapshot();
    for (const int signalNumber : EndingSignals) {
        HeldAtFchmod hold;
        QProcess process;
        ASSERT_TRUE(
            StartedHeld(process, hold, {"export", "all.mul", "1", "-f", "hex", "-o", "1.hex"}))
            << strsignal(signalNumber);
        EXPECT_EQ(FolderSnapshot().size(), contents.size() + 1) << "no temporary file";
        kill(static_cast<pid_t>(process.processId()), signalNumber);
        EXPECT_TRUE(process.waitForFinished(20000)) << strsignal(signalNumber);
        EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << strsignal(signalNumber);
        EXPECT_EQ(process.exitCode(), signalNumber) << strsignal(signalNumber);
        EXPECT_EQ(FolderSnapshot(), contents) << strsignal(signalNumber);
    }
}

// A new file is written without a name, so a program killed while it writes one, even by a
// signal it cannot catch, leaves nothing behind: not while it writes, not after. Regression:
// killed merges into a new file left their temporaries in the output folder.
TEST_F(CliTest, AKilledWriteOfANewFileLeavesNothing)
{
#ifndef __x86_64__
    GTEST_SKIP() << "the filter that holds the program knows only x86-64 system calls";
#endif
    const auto contents = FolderSnapshot();
    const QStringList runs[] = {
        {"new", "made.mul"},
        {"merge", "hues.mul", "hues.mul", "patch.mul", "--theirs", "-o", "merged.mul"},
        {"export", "hues.mul", "1", "-f", "gpl", "-o", "1.gpl"},
    };
    for (const QStringList &arguments : runs) {
        const std::string run = arguments.join(' ').toStdString();
        HeldAtFchmod hold;
        QProcess process;
        ASSERT_TRUE(StartedHeld(process, hold, arguments)) << run;
        EXPECT_EQ(FolderSnapshot(), contents) << run << ": a file can be seen while written";
        kill(static_cast<pid_t>(process.processId()), SIGKILL);
        EXPECT_TRUE(process.waitForFinished(20000)) << run;
        EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << run;
        EXPECT_EQ(FolderSnapshot(), contents) << run;
    }
    // Not held, each makes its file with the user's default mode, and nothing else.
    const mode_t mask = umask(0);
    umask(mask);
    for (const QStringList &arguments : runs) {
        const Outcome outcome = RunCli(arguments.join(' '));
        EXPECT_EQ(outcome.status, 0) << outcome.err;
    }
    const auto after = FolderSnapshot();
    EXPECT_EQ(after.size(), contents.size() + std::size(runs));
    for (const char *made : {"made.mul", "merged.mul", "1.gpl"}) {
        struct stat info {};
        ASSERT_EQ(stat(made, &info), 0) << made;
        EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask) << made;
    }
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
    for (const char *command : {"", "list ", "show ", "export ", "import ", "copy ", "diff ",
                                "find ", "preview ", "apply ", "merge ", "textconv ", "new "}) {
        const Outcome outcome = RunCli(QString(command) + "--help");
        EXPECT_EQ(outcome.status, 0) << command;
        EXPECT_NE(outcome.out.find("Usage: colvane-cli"), std::string::npos) << command;
    }
    EXPECT_EQ(RunCli("--version").out, std::string("colvane-cli ") + COLVANE_VERSION + "\n");
    EXPECT_NE(RunCli("preview --help").out.find("IMAGE is read as png"), std::string::npos);
}

// The program starts as fast as a plain one only while it loads no toolkit, nor what a toolkit
// brings along, nor the shared C++ library, whose symbols it would bind at every start.
TEST_F(CliTest, LoadsNoToolkit)
{
    const Outcome loaded = RunProgram("ldd", {COLVANE_CLI_PATH});
    if (loaded.status != 0)
        GTEST_SKIP() << "ldd cannot list the libraries here: " << loaded.err;
    ASSERT_NE(loaded.out.find("libspng"), std::string::npos) << loaded.out;
    std::vector<const char *> absent = {"libQt", "libX11",        "libxcb",      "libEGL",
                                        "libGL", "libfontconfig", "libharfbuzz", "libicu"};
    // The C++ library is linked in; the sanitizers' own runtime loads it all the same.
#ifndef __SANITIZE_ADDRESS__
    absent.push_back("libstdc++");
#endif
    for (const char *library : absent)
        EXPECT_EQ(loaded.out.find(library), std::string::npos) << library << " in\n" << loaded.out;
}

// The command line's rgb spread and the window's "Spread is fine" write the same words, bit 15
// and the upper end's word included, whichever end of the run was selected first; the reverse
// leaves every other byte of the entry alone and, done twice, gives the entry back.
RC_GTEST_PROP(CliRunOperations, RgbSpreadWritesWhatTheWindowWrites, ())
{
    const TempFolder folder;
    HueEntry entry = PatternEntry(1);
    for (HueColour &word : entry.colours)
        word = *rc::gen::arbitrary<HueColour>();
    WriteHueFile("hues.mul", 2);
    RC_ASSERT(WriteEntryInPlace("hues.mul", 1, entry));
    const int lower = *rc::gen::inRange(0, HueColourCount - 2);
    const int upper = *rc::gen::inRange(lower + 2, HueColourCount);
    const bool upwards = *rc::gen::arbitrary<bool>();

    auto form = ShowForm();
    form->EditHue = entry;
    form->EditHueLoaded = true;
    form->EditColourIndex = upwards ? upper : lower;
    form->ImageColorRange->setTag(upwards ? lower : upper);
    form->SpreadColorOkayClick();

    std::ostringstream out;
    RunRequest request{"hues.mul", 1, {lower, upper}, RunRequest::Spread, SpreadSpace::Rgb};
    RC_ASSERT(RunRunOperation(request, out).ok());
    RC_ASSERT(SameEntry(EntryOnDisk("hues.mul", 1), form->EditHue));
    RC_ASSERT(QString::fromStdString(out.str()) == LogLines(*form).constLast() + "\n");

    RC_ASSERT(WriteEntryInPlace("hues.mul", 1, entry));
    request.operation = RunRequest::Reverse;
    RC_ASSERT(RunRunOperation(request, out).ok());
    const HueEntry reversed = EntryOnDisk("hues.mul", 1);
    for (int slot = 0; slot < HueColourCount; ++slot) {
        const bool inRun = slot >= lower && slot <= upper;
        RC_ASSERT(reversed.colours[slot] == entry.colours[inRun ? lower + upper - slot : slot]);
    }
    RC_ASSERT(std::memcmp(reversed.carried, entry.carried, sizeof entry.carried) == 0);
    RC_ASSERT(std::memcmp(reversed.name, entry.name, sizeof entry.name) == 0);
    RC_ASSERT(RunRunOperation(request, out).ok());
    RC_ASSERT(SameEntry(EntryOnDisk("hues.mul", 1), entry));
}

} // namespace
