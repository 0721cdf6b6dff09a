#include "support/test_support.h"

#include "huefile/colour.h"
#include "huefile/formats/palette_formats.h"
#include "huefile/hue_file.h"
#include "huefile/write_journal.h"
#include "widgets/draw_grid.h"
#include "widgets/picture_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolTip>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int EntryCount = 16;
constexpr int NameOffset = 68;

// Another writer of the write file beside the window: a second open through the core, or the
// command line run as a process, as a script does it.
enum class OtherWriter { Core, CommandLine };

const char *WriterName(OtherWriter writer)
{
    return writer == OtherWriter::Core ? "a second open" : "colvane-cli";
}

// Puts new colours and a new name into entry n of hues.mul behind the window's back.
void WriteBehindTheWindow(OtherWriter writer, int n, const char *name, int seed)
{
    HueEntry entry = PatternEntry(n, seed);
    std::snprintf(entry.name, sizeof entry.name, "%s", name);
    if (writer == OtherWriter::Core) {
        auto file = HueFile::openForUpdate("hues.mul");
        ASSERT_TRUE(file && WriteOneEntry(*file, n, entry, Flushes::KillOnly));
        return;
    }
    const Expected<std::string> palette = ExportEntry(entry, n, PaletteFormat::Gpl);
    ASSERT_TRUE(palette.ok());
    WriteBytes("script.gpl", std::vector<unsigned char>(palette->begin(), palette->end()));
    const ProcessOutcome run = RunCommand(
        COLVANE_CLI_PATH, {"import", "hues.mul", std::to_string(n), "script.gpl", "--name", name});
    ASSERT_EQ(run.status, 0) << run.err;
}

// The write-back lines of the log, without the edits' own.
QStringList WriteBackLines(const TForm1 &form)
{
    return LogLines(form).filter(QRegularExpression("^(PATCHING|!STALE|!ERROR)"));
}

// The log's tip where the pointer rests on its pane, as the toolkit asks for it.
QString LogTip(TForm1 &form)
{
    QWidget *pane = form.MemoLog->viewport();
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), pane->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(pane, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

class WriteBackTest : public FormTest {
protected:
    void SetUp() override
    {
        WriteHueFile("patch-hues.mul", EntryCount, 100);
        WriteHueFile("hues.mul", EntryCount);
        original = ReadBytes("hues.mul");
        form = ShowForm();
    }

    // What a load from the browser leaves behind: the entry in memory, its name in the
    // field, its line held back. Done with autosave off, so nothing is written.
    void Load(int n)
    {
        form->BrowserRow = n - 1;
        form->EditHue = EntryOnDisk("hues.mul", n);
        form->aktHueName->setText(
            QString::fromLatin1(form->EditHue.name, qstrnlen(form->EditHue.name, 20)));
        form->PendingLogLine = "GET ONE   " + QByteArray::number(n);
    }

    // A load as the browser makes it, in "double click" mode and with autosave off.
    void LoadFromBrowser(int n)
    {
        form->AutoSave->setChecked(false);
        form->RadioButtonGetColor1->setChecked(true);
        bool canSelect = true;
        form->HueGrid1SelectCell(1, n - 1, canSelect);
        form->HueGrid1DblClick();
    }

    void Mix(int index, int red, int green, int blue)
    {
        form->EditColourIndex = index;
        form->EditRED->setText(QString::number(red));
        form->EditGREEN->setText(QString::number(green));
        form->EditBLUE->setText(QString::number(blue));
        form->SetPreviewColour(DisplayFromChannels(red, green, blue));
        form->MixColorOkayClick();
    }

    // The original file with entry n replaced by the given record.
    std::vector<unsigned char> OriginalWith(int n, const HueEntry &entry) const
    {
        std::vector<unsigned char> bytes = original;
        std::memcpy(bytes.data() + EntryOffset(n), &entry, sizeof entry);
        return bytes;
    }

    std::vector<unsigned char> original;
};

TEST_F(WriteBackTest, PatchItWritesEntryWithTypedNameAtBrowserRow)
{
    const struct {
        const char *label;
        QString typed;
        QByteArray stored;
    } cases[] = {
        {"empty", "", QByteArray(20, '\0')},
        {"seven characters", "Seven77", QByteArray("Seven77") + QByteArray(13, '\0')},
        {"twenty characters, no terminator", "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST"},
        {"Latin-1 characters as single bytes", QString::fromUtf8("Grün°"),
         QByteArray("Gr\xFCn\xB0") + QByteArray(15, '\0')},
    };
    for (const auto &c : cases) {
        Load(12);
        form->EditHue.colours[4] = 0x1234;
        HueEntry expected = form->EditHue;
        std::memcpy(expected.name, c.stored.constData(), sizeof expected.name);
        form->aktHueName->setText(c.typed);
        form->MemoLog->clear();
        form->PatchItClick();

        const auto bytes = ReadBytes("hues.mul");
        const auto *name =
            reinterpret_cast<const char *>(bytes.data()) + EntryOffset(12) + NameOffset;
        EXPECT_EQ(QByteArray(name, 20), c.stored) << c.label;
        EXPECT_EQ(bytes, OriginalWith(12, expected)) << c.label;
        EXPECT_EQ(LogLines(*form), QStringList({"PATCHING  12"})) << c.label;
        EXPECT_EQ(form->PendingLogLine, "GET ONE   12") << c.label;
    }
}

// The write file's name was green at its check; since then the file went, or became one
// that is not written: read-only (for root as well), or text.
TEST_F(WriteBackTest, WriteFileThatCannotBeWrittenLogsErrorAndKeepsNameInMemory)
{
    const struct {
        const char *what;
        std::function<void()> breakFile;
    } cases[] = {
        {"removed", [] { std::remove("hues.mul"); }},
        {"read-only", [] { chmod("hues.mul", 0444); }},
        {"text", [] { WriteBytes("hues.mul", std::vector<unsigned char>(2000, 't')); }},
    };
    for (const auto &c : cases) {
        WriteHueFile("hues.mul", EntryCount);
        form->MemoLog->clear();
        Load(3);
        const HueEntry before = form->EditHue;
        form->aktHueName->setText("renamed");
        c.breakFile();
        const bool existed = FileExists("hues.mul");
        const auto bytes = ReadBytes("hues.mul");
        form->PatchItClick();
        EXPECT_EQ(LogLines(*form), QStringList({"!ERROR"})) << c.what;
        EXPECT_TRUE(SameEntry(before, form->EditHue)) << c.what;
        EXPECT_EQ(FileExists("hues.mul"), existed) << c.what;
        EXPECT_EQ(ReadBytes("hues.mul"), bytes) << c.what;
        chmod("hues.mul", 0644);
    }
}

TEST_F(WriteBackTest, AutoSaveDisablesPatchItAndWritesNothingByItself)
{
    ASSERT_TRUE(form->PatchIt->isEnabled());
    form->AutoSave->setChecked(true);
    EXPECT_FALSE(form->PatchIt->isEnabled());
    EXPECT_EQ(ReadBytes("hues.mul"), original);
    EXPECT_TRUE(LogLines(*form).isEmpty());
    form->AutoSave->setChecked(false);
    EXPECT_TRUE(form->PatchIt->isEnabled());
}

TEST_F(WriteBackTest, TypingFiveLettersWithAutoSaveWritesFiveTimes)
{
    Load(12);
    form->aktHueName->clear();
    form->AutoSave->setChecked(true);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->aktHueName->setFocus();
    QTest::keyClicks(form->aktHueName, "Hello");

    EXPECT_EQ(LogLines(*form), QStringList(5, "PATCHING  12"));
    const HueEntry written = EntryOnDisk("hues.mul", 12);
    EXPECT_EQ(QByteArray(written.name, 20), QByteArray("Hello") + QByteArray(15, '\0'));
}

TEST_F(WriteBackTest, NameFieldRefusesCharactersBeyondOneByte)
{
    form->aktHueName->setText("abc");
    form->aktHueName->insert(QString::fromUtf8("€"));
    EXPECT_EQ(form->aktHueName->text(), "abc");
    form->aktHueName->insert(QString::fromUtf8("é"));
    EXPECT_EQ(form->aktHueName->text(), QString::fromUtf8("abcé"));
}

// The log orders with autosave on: each edit logs the held-back line once, before its own
// line, and its write-back line after it.
TEST_F(WriteBackTest, EditsWithAutoSaveLogHeldBackLineOnceThenTheirOwnThenTheWrite)
{
    Load(12);
    form->AutoSave->setChecked(true);
    Mix(5, 31, 16, 0);
    Mix(6, 1, 2, 3);
    form->ImageColorRange->setTag(10);
    form->EditColourIndex = 6;
    form->SpreadColorOkayClick();

    const QStringList lines = LogLines(*form);
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines.mid(0, 5), QStringList({"GET ONE   12", "DEF COL# 5 R31 G16 B0", "PATCHING  12",
                                            "DEF COL# 6 R1 G2 B3", "PATCHING  12"}));
    EXPECT_TRUE(lines[5].startsWith("DEF RANGE #6 R1 G2 B3 .. #10 R")) << lines[5].toStdString();
    EXPECT_EQ(lines[6], "PATCHING  12");
    EXPECT_EQ(EntryOnDisk("hues.mul", 12).colours[5], 0x7E00);
}

TEST_F(WriteBackTest, PatchItLeavesHeldBackLineForTheNextEdit)
{
    Load(12);
    form->PatchItClick();
    Mix(5, 31, 16, 0);
    EXPECT_EQ(LogLines(*form),
              QStringList({"PATCHING  12", "GET ONE   12", "DEF COL# 5 R31 G16 B0"}));
}

// The editor's refresh puts the stored name back into the field, which with autosave on
// writes the entry before the edit logs anything; the typed name is lost.
TEST_F(WriteBackTest, UnsavedTypedNameIsReplacedAndWrittenBeforeTheEditsLines)
{
    Load(12);
    form->aktHueName->setText("typed");
    form->AutoSave->setChecked(true);
    Mix(5, 31, 16, 0);
    EXPECT_EQ(LogLines(*form), QStringList({"PATCHING  12", "GET ONE   12", "DEF COL# 5 R31 G16 B0",
                                            "PATCHING  12"}));
    EXPECT_EQ(QByteArray(EntryOnDisk("hues.mul", 12).name), "entry 12");
    EXPECT_EQ(EntryOnDisk("hues.mul", 12).colours[5], 0x7E00);
}

// Nothing the user did not change is written: not the editor's entry into a write file
// chosen after it was loaded, not an entry that a failed load left in the editor under the
// new number, and not the bytes behind a name's end when the name shown is the stored one.
TEST_F(WriteBackTest, WritesNoBytesTheUserDidNotChange)
{
    const auto loadFromBrowser = [&](int n) {
        bool canSelect = true;
        form->HueGrid1SelectCell(1, n - 1, canSelect);
        form->HueGrid1DblClick();
    };
    const auto logEndsWith = [&](const QString &line) { return LogLines(*form).last() == line; };

    // A name typed but not saved, then autosave, then another write file.
    WriteHueFile("other.mul", EntryCount, 7);
    const auto other = ReadBytes("other.mul");
    loadFromBrowser(12);
    form->aktHueName->setText("typed");
    form->AutoSave->setChecked(true);
    form->FilenameWrite->setText("other.mul");
    EXPECT_EQ(ReadBytes("other.mul"), other);
    form->FilenameWrite->setText("hues.mul");
    EXPECT_EQ(ReadBytes("hues.mul"), original);

    // A load while the write file cannot be opened, then the file is back.
    ASSERT_EQ(std::rename("hues.mul", "away.mul"), 0);
    loadFromBrowser(14);
    ASSERT_EQ(std::rename("away.mul", "hues.mul"), 0);
    Mix(5, 31, 16, 0);
    EXPECT_TRUE(logEndsWith("!ERROR"));
    form->PatchItClick();
    EXPECT_TRUE(logEndsWith("!ERROR"));
    WriteHueFile("palette.gpl", 0);
    EXPECT_FALSE(form->ImportEntryFrom("palette.gpl", std::nullopt));
    EXPECT_TRUE(logEndsWith("!IMPORT palette.gpl: no entry is loaded into the editor"))
        << LogLines(*form).last().toStdString();
    EXPECT_FALSE(form->ExportEntryTo("exported.gpl", std::nullopt));
    EXPECT_EQ(ReadBytes("hues.mul"), original);

    // Bytes behind the end of a stored name survive its autosaved sync, and an undo of a typed
    // letter leaves the redo in place.
    auto withTail = original;
    std::memcpy(withTail.data() + EntryOffset(3) + NameOffset + 8, "\0ZZ", 3);
    WriteBytes("hues.mul", withTail);
    loadFromBrowser(3);
    EXPECT_TRUE(logEndsWith("PATCHING  3"));
    EXPECT_EQ(ReadBytes("hues.mul"), withTail);
    form->aktHueName->setText("entry 3X");
    form->UndoLastWrite();
    EXPECT_EQ(ReadBytes("hues.mul"), withTail);
    form->RedoLastWrite();
    EXPECT_EQ(QByteArray(EntryOnDisk("hues.mul", 3).name), "entry 3X");
}

// Each way the editor writes its entry back, with a script's write between the load and the
// write: nothing is written, the log says "!STALE" once however often autosave tries again,
// and the editor holds what it would have written.
TEST_F(WriteBackTest, AWriteOverAnotherWritersChangeWritesNothingAndSaysStaleOnce)
{
    HueEntry palette = PatternEntry(3, 77);
    std::snprintf(palette.name, sizeof palette.name, "imported");
    const Expected<std::string> gpl = ExportEntry(palette, 1, PaletteFormat::Gpl);
    ASSERT_TRUE(gpl.ok());
    WriteBytes("imported.gpl", std::vector<unsigned char>(gpl->begin(), gpl->end()));
    const auto selectRun = [&](int selected, int anchor) {
        form->EditColourIndex = selected;
        form->ImageColorRange->setTag(anchor);
    };
    const struct {
        const char *what;
        bool autoSave;
        std::function<void()> write;
    } kinds[] = {
        {"Patch it", false,
         [&] {
             form->EditHue.colours[2] ^= 0x1F;
             form->PatchItClick();
         }},
        {"a typed letter", true, [&] { QTest::keyClick(form->aktHueName, Qt::Key_X); }},
        {"It's fine", true, [&] { Mix(5, 31, 16, 0); }},
        {"a spread", true,
         [&] {
             selectRun(2, 9);
             form->SpreadColorOkayClick();
         }},
        {"a spread in OKLab", true,
         [&] {
             selectRun(9, 2);
             form->SpreadRunInOklab();
         }},
        {"a run rotated", true,
         [&] {
             selectRun(3, 9);
             form->ApplyRunOperation(TForm1::RunOperation::RotateLeft);
         }},
        {"a paste", true,
         [&] {
             QMimeData data;
             data.setText("#ff8000\n#00ff00");
             selectRun(4, 4);
             form->PasteColours(&data);
         }},
        {"an import", true, [&] { form->ImportEntryFrom("imported.gpl", std::nullopt); }},
    };
    const auto start = [&](bool autoSave) {
        WriteHueFile("hues.mul", EntryCount);
        LoadFromBrowser(14);
        form->AutoSave->setChecked(autoSave);
        form->MemoLog->clear();
    };
    for (const auto &kind : kinds) {
        // Autosave tries again at the next edit; "Patch it" pressed again is the way to keep
        // the editor's version, tried elsewhere.
        const int writes = kind.autoSave ? 2 : 1;
        std::vector<HueEntry> edited;
        std::vector<QString> names;
        start(kind.autoSave);
        for (int i = 0; i < writes; ++i) {
            kind.write();
            edited.push_back(form->EditHue);
            names.push_back(form->aktHueName->text());
            ASSERT_TRUE(SameEntry(EntryOnDisk("hues.mul", 14), form->EditHue)) << kind.what;
        }
        ASSERT_FALSE(WriteBackLines(*form).filter("PATCHING  14").isEmpty()) << kind.what;

        for (const OtherWriter writer : {OtherWriter::Core, OtherWriter::CommandLine}) {
            const std::string where = std::string(kind.what) + ", " + WriterName(writer);
            start(kind.autoSave);
            WriteBehindTheWindow(writer, 14, "script 14", 3);
            const auto script = ReadBytes("hues.mul");
            for (int i = 0; i < writes; ++i) {
                kind.write();
                EXPECT_EQ(ReadBytes("hues.mul"), script) << where << ", write " << i;
                EXPECT_EQ(WriteBackLines(*form), QStringList({"!STALE    14"}))
                    << where << ", write " << i;
                EXPECT_TRUE(SameEntry(form->EditHue, edited[i])) << where << ", write " << i;
                EXPECT_EQ(form->aktHueName->text(), names[i]) << where << ", write " << i;
            }
        }
    }
}

// The road of a script's import between a load and a letter typed with autosave, by real
// clicks and keys. Loading the row takes the script's version; "Patch it", with autosave off,
// keeps the editor's, but only over what the file held when it said "!STALE".
TEST_F(WriteBackTest, AStaleEntryIsResolvedByLoadingItOrByPatchItOverWhatWasFound)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    DrawGrid *grid = form->HueGrid1;
    grid->setTopRow(8);
    const QPoint row14 = grid->cellRect(5, 13).center();
    QTest::mouseClick(form->AutoSave, Qt::LeftButton);
    ASSERT_TRUE(form->AutoSave->isChecked());
    QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, row14);
    ASSERT_EQ(form->aktHueName->text(), "entry 14");
    form->MemoLog->clear();

    WriteBehindTheWindow(OtherWriter::CommandLine, 14, "script 14", 3);
    const auto script = ReadBytes("hues.mul");
    const HueEntry scripts = EntryOnDisk("hues.mul", 14);
    QTest::mouseClick(form->aktHueName, Qt::LeftButton);
    QTest::keyClick(form->aktHueName, Qt::Key_End);
    QTest::keyClicks(form->aktHueName, "ab");
    EXPECT_EQ(ReadBytes("hues.mul"), script);
    EXPECT_EQ(LogLines(*form), QStringList({"!STALE    14"}));
    EXPECT_EQ(form->aktHueName->text(), "entry 14ab");

    // The tip explains the line while the pane shows it, last or not, and no longer after.
    const QString explained = "!STALE    14: entry 14 of the write file has changed";
    EXPECT_TRUE(LogTip(*form).startsWith("!STALE    14\n\n" + explained))
        << LogTip(*form).toStdString();
    form->AppendLogLine("GET ONE   3");
    EXPECT_TRUE(LogTip(*form).startsWith("GET ONE   3\n\n" + explained))
        << LogTip(*form).toStdString();
    for (int i = 0; i < 40; ++i)
        form->AppendLogLine("GET ONE   4");
    EXPECT_EQ(LogTip(*form), "GET ONE   4");

    // Loading the row again takes the file's version, and the next letter is written.
    QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, row14);
    EXPECT_TRUE(SameEntry(form->EditHue, scripts));
    EXPECT_EQ(form->aktHueName->text(), "script 14");
    form->MemoLog->clear();
    QTest::mouseClick(form->aktHueName, Qt::LeftButton);
    QTest::keyClick(form->aktHueName, Qt::Key_End);
    QTest::keyClicks(form->aktHueName, "c");
    EXPECT_EQ(WriteBackLines(*form), QStringList({"PATCHING  14"}));
    EXPECT_EQ(QByteArray(EntryOnDisk("hues.mul", 14).name), "script 14c");

    // Keeping the editor's version: autosave off, then "Patch it", which finds the file changed
    // once more since the stale line and says so again, then writes over that.
    WriteBehindTheWindow(OtherWriter::CommandLine, 14, "script 2", 5);
    QTest::keyClicks(form->aktHueName, "d");
    const HueEntry editors = form->EditHue;
    QTest::mouseClick(form->AutoSave, Qt::LeftButton);
    ASSERT_TRUE(form->PatchIt->isEnabled());
    WriteBehindTheWindow(OtherWriter::Core, 14, "script 3", 7);
    const auto third = ReadBytes("hues.mul");
    QTest::mouseClick(form->PatchIt, Qt::LeftButton);
    EXPECT_EQ(ReadBytes("hues.mul"), third);
    QTest::mouseClick(form->PatchIt, Qt::LeftButton);
    EXPECT_EQ(WriteBackLines(*form),
              QStringList({"PATCHING  14", "!STALE    14", "!STALE    14", "PATCHING  14"}));
    EXPECT_TRUE(SameEntry(EntryOnDisk("hues.mul", 14), editors));
    EXPECT_EQ(QByteArray(editors.name), "script 14cd");
}

// In "double click" mode "Patch it" writes to the browser's entry, which the editor may never
// have loaded: that write is not checked, the next one to the same entry is. The window's own
// copy in this mode changes the loaded entry behind the editor as a script would.
TEST_F(WriteBackTest, OnlyEntriesTheEditorSawAreCheckedAndTheWindowsOwnCopyCounts)
{
    LoadFromBrowser(14);
    bool canSelect = true;
    form->HueGrid1SelectCell(1, 4, canSelect);
    WriteBehindTheWindow(OtherWriter::Core, 5, "script 5", 3);
    form->MemoLog->clear();
    form->PatchItClick();
    EXPECT_TRUE(SameEntry(EntryOnDisk("hues.mul", 5), form->EditHue));
    WriteBehindTheWindow(OtherWriter::Core, 5, "script 5 again", 4);
    const auto script = ReadBytes("hues.mul");
    form->PatchItClick();
    EXPECT_EQ(ReadBytes("hues.mul"), script);
    EXPECT_EQ(LogLines(*form), QStringList({"PATCHING  5", "!STALE    5"}));

    form->HueGrid1SelectCell(1, 13, canSelect);
    form->CopyColorsClick();
    const auto copied = ReadBytes("hues.mul");
    ASSERT_TRUE(SameEntry(EntryOnDisk("hues.mul", 14), PatternEntry(14, 100)));
    ASSERT_EQ(form->aktHueName->text(), "entry 14");
    form->AutoSave->setChecked(true);
    form->aktHueName->insert("x");
    EXPECT_EQ(ReadBytes("hues.mul"), copied);
    EXPECT_EQ(WriteBackLines(*form), QStringList({"PATCHING  5", "!STALE    5", "!STALE    14"}));
}

#ifdef COLVANE_LOCK_REFUSAL_SHIM_LINKED
// Makes every lock of this process fail with `error` while it lives, through the stand-in for
// fcntl that this test is linked with (tests/lock_refusal_shim.cpp).
class LockRefusals {
public:
    explicit LockRefusals(int error)
    {
        qputenv("COLVANE_TEST_OFD_LOCK_ERRNO", QByteArray::number(error));
        qputenv("COLVANE_TEST_CLASSIC_LOCK_ERRNO", QByteArray::number(error));
    }
    ~LockRefusals()
    {
        qunsetenv("COLVANE_TEST_OFD_LOCK_ERRNO");
        qunsetenv("COLVANE_TEST_CLASSIC_LOCK_ERRNO");
    }
    LockRefusals(const LockRefusals &) = delete;
    LockRefusals &operator=(const LockRefusals &) = delete;
};

// On a file system that takes no locks the window's writes go on and say so once, in a line
// that leaves the held-back load line for the next edit; a lock held elsewhere still fails the
// write with "!ERROR" and no notice.
TEST_F(WriteBackTest, WritesWithoutLocksWhereTheFileSystemTakesNoneAndSaysSoOnce)
{
    const QString notice =
        "NOTICE    hues.mul: this file system takes no locks; writing without one";
    const struct {
        int error;
        QStringList lines;
        bool written;
    } cases[] = {
        {ENOLCK,
         {notice, "PATCHING  12", "GET ONE   12", "DEF COL# 5 R31 G16 B0", "PATCHING  12"},
         true},
        {EAGAIN, {"!ERROR", "GET ONE   12", "DEF COL# 5 R31 G16 B0", "!ERROR"}, false},
    };
    for (const auto &c : cases) {
        WriteHueFile("hues.mul", EntryCount);
        form.reset();
        form = ShowForm();
        Load(12);
        {
            const LockRefusals refusals(c.error);
            const Expected<HueFile> probe = HueFile::openForReading("hues.mul");
            ASSERT_TRUE(c.error == EAGAIN ? !probe.ok() : probe.ok() && probe->holdsNoLock())
                << "the lock refusals are not in effect: errno " << c.error;
            form->PatchItClick();
            form->AutoSave->setChecked(true);
            Mix(5, 31, 16, 0);
        }
        EXPECT_EQ(LogLines(*form), c.lines) << "errno " << c.error;
        EXPECT_EQ(EntryOnDisk("hues.mul", 12).colours[5] == 0x7E00, c.written)
            << "errno " << c.error;
    }
}
#endif

} // namespace
