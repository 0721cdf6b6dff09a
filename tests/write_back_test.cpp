#include "support/test_support.h"

#include "huefile/colour.h"
#include "widgets/picture_box.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int EntryCount = 16;
constexpr int NameOffset = 68;

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

} // namespace
