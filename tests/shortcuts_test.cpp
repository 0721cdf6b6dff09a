#include "support/test_support.h"

#include "app/qt_colour.h"
#include "huefile/formats/palette_formats.h"
#include "huefile/formats/picture_limit.h"
#include "preview/preview_window.h"
#include "widgets/draw_grid.h"
#include "widgets/find_bar.h"
#include "widgets/picture_box.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHelpEvent>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<unsigned char>;

struct FindStep {
    const char *typed; // replaces the find text; nullptr keeps it
    int key;
    Qt::KeyboardModifiers modifiers;
    int entry; // where the browser cursor stands afterwards
    const char *status;
};

// A window made active, so that its shortcuts take real key presses.
class KeyboardTest : public FormTest {
protected:
    void Activate()
    {
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    QWidget *Focus() const { return QApplication::focusWidget(); }
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(Focus(), static_cast<Qt::Key>(key), modifiers);
    }
    // Each step moves the cursor as an arrow key would, so in "cursor position" mode the
    // entry loads; the bar keeps the focus, and the found row still shows as the browser's own.
    void StepThroughFinds(const std::vector<FindStep> &steps)
    {
        for (const FindStep &step : steps) {
            if (step.typed) {
                QTest::keyClick(Focus(), Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(Focus(), QString::fromUtf8(step.typed));
            }
            Press(step.key, step.modifiers);
            const std::string what = std::string(step.typed ? step.typed : "again");
            EXPECT_EQ(form->HueGrid1->row() + 1, step.entry) << what;
            EXPECT_EQ(form->BrowserRow + 1, step.entry) << what;
            EXPECT_EQ(form->PendingLogLine, "GET ONE   " + QByteArray::number(step.entry)) << what;
            EXPECT_EQ(form->FindEntryBar->status(), QString::fromUtf8(step.status)) << what;
            EXPECT_NE(Focus(), form->HueGrid1) << what;
            EXPECT_TRUE(form->HueGrid1->showsFocus()) << what;
        }
    }
};

// Names without digits, so that only the number typed finds an entry by number.
void NameEntries(const std::string &fileName,
                 const std::vector<std::pair<int, const char *>> &names)
{
    Bytes bytes = ReadBytes(fileName);
    for (int n = 1; n <= MaxEntryNumber; ++n)
        std::memset(bytes.data() + EntryOffset(n) + offsetof(HueEntry, name), 0, HueNameLength);
    for (const auto &[n, name] : names)
        std::memcpy(bytes.data() + EntryOffset(n) + offsetof(HueEntry, name), name,
                    std::strlen(name));
    WriteBytes(fileName, bytes);
}

TEST_F(KeyboardTest, FindMovesTheCursorByNameNumberAndHexWrappingRound)
{
    Open(3000, 3000, 1, 2);
    NameEntries("patch-hues.mul", {{120, "deep Ocean"}});
    NameEntries("hues.mul", {{7, "Ocean blue"}, {2500, "OCEAN"}, {40, "sand"}});
    form->RadioButtonGetColor2->setChecked(true);
    Activate();
    form->HueGrid1->setFocus();
    Press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(form->FindEntryBar->isVisible());

    StepThroughFinds({
        {"ocean", Qt::Key_Return, Qt::NoModifier, 7, ""},
        {nullptr, Qt::Key_Return, Qt::NoModifier, 120, ""},
        {nullptr, Qt::Key_F3, Qt::NoModifier, 2500, ""},
        {nullptr, Qt::Key_F3, Qt::NoModifier, 7, ""},
        {nullptr, Qt::Key_F3, Qt::ShiftModifier, 2500, ""},
        {"$64", Qt::Key_Return, Qt::NoModifier, 100, ""},
        {"0x3E8", Qt::Key_Return, Qt::NoModifier, 1000, ""},
        {"40", Qt::Key_Return, Qt::NoModifier, 40, ""},
        {"SAND", Qt::Key_F3, Qt::ShiftModifier, 40, ""},
        {"violet", Qt::Key_Return, Qt::NoModifier, 40, "no match"},
    });
    Press(Qt::Key_Escape);
    EXPECT_FALSE(form->FindEntryBar->isVisible());
    EXPECT_EQ(Focus(), form->HueGrid1);
    EXPECT_EQ(form->ClientHeight(), ClientHeightFull);
    form->FilenameRead->setFocus();
    EXPECT_FALSE(form->HueGrid1->showsFocus());

    // A find would move the hidden browser and load an entry: while the browser is hidden the
    // bar closes and does not open, and F3 finds nothing.
    Press(Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(Focus(), "ocean");
    form->FilenameRead->setText("missing.mul");
    EXPECT_FALSE(form->FindEntryBar->isVisible());
    const int row = form->HueGrid1->row();
    QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_FALSE(form->FindEntryBar->isVisible());
    QTest::keyClick(form.get(), Qt::Key_F3);
    EXPECT_EQ(form->HueGrid1->row(), row);
}

// Write-file entries of one colour each: blue, empty, red, dark red, red again, white. The
// distances come from the Python script of the colour ranking's table. Only "#" and six hex
// digits make a colour: the bare "c0ffee" finds the dark red entry by its name, and the colour
// looked for next starts afresh at the nearest entry.
TEST_F(KeyboardTest, FindByColourStepsFromTheNearestEntryToTheFarthest)
{
    Open(3000, 6, 1, 2);
    const std::pair<HueColour, const char *> entries[] = {{0x001F, "blue"},      {0, ""},
                                                          {0x7C00, "red"},       {0x6000, "c0ffee"},
                                                          {0x7C00, "red again"}, {0x7FFF, "white"}};
    for (int n = 1; n <= 6; ++n) {
        HueEntry entry{};
        if (n != 2) {
            std::fill(std::begin(entry.colours), std::end(entry.colours), entries[n - 1].first);
            std::strcpy(entry.name, entries[n - 1].second);
        }
        ASSERT_TRUE(WriteEntryInPlace("hues.mul", n, entry));
    }
    form->RadioButtonGetColor2->setChecked(true);
    Activate();
    form->HueGrid1->setFocus();
    Press(Qt::Key_F, Qt::ControlModifier);
    StepThroughFinds({
        {"#FF0000", Qt::Key_F3, Qt::NoModifier, 3, "ΔE 0.0000, 1 of 5"},
        {nullptr, Qt::Key_F3, Qt::NoModifier, 5, "ΔE 0.0000, 2 of 5"},
        {nullptr, Qt::Key_Return, Qt::NoModifier, 4, "ΔE 0.1190, 3 of 5"},
        {nullptr, Qt::Key_F3, Qt::NoModifier, 6, "ΔE 0.4526, 4 of 5"},
        {nullptr, Qt::Key_F3, Qt::NoModifier, 1, "ΔE 0.5371, 5 of 5"},
        {nullptr, Qt::Key_F3, Qt::NoModifier, 3, "ΔE 0.0000, 1 of 5"},
        {nullptr, Qt::Key_F3, Qt::ShiftModifier, 1, "ΔE 0.5371, 5 of 5"},
        {" #0000ff ", Qt::Key_F3, Qt::ShiftModifier, 6, "ΔE 0.6312, 5 of 5"},
        {"c0ffee", Qt::Key_F3, Qt::NoModifier, 4, ""},
        {"#0000ff", Qt::Key_F3, Qt::NoModifier, 1, "ΔE 0.0000, 1 of 5"},
        {nullptr, Qt::Key_F3, Qt::NoModifier, 4, "ΔE 0.4736, 2 of 5"},
    });
    // Every step reads the file afresh: with only empty entries left there is nothing to rank.
    for (int n = 1; n <= 6; ++n)
        ASSERT_TRUE(WriteEntryInPlace("hues.mul", n, HueEntry{}));
    Press(Qt::Key_F3);
    EXPECT_EQ(form->FindEntryBar->status(), "no match");
    EXPECT_EQ(form->HueGrid1->row() + 1, 4);
}

struct DifferenceStep {
    int key;
    Qt::KeyboardModifiers modifiers;
    int entry; // where the browser cursor stands afterwards
    bool noMore;
};

// F4 and Shift+F4 move to the next and previous differing entry as a key move would, stop at
// both ends, and find the differences in the files as they are when pressed.
TEST_F(KeyboardTest, DifferenceStepsMoveAsAKeyAndStopAtTheEnds)
{
    Open(3000, 2999, 1, 1);
    HueEntry changed = PatternEntry(12, 1);
    changed.colours[31] ^= 1;
    ASSERT_TRUE(WriteEntryInPlace("hues.mul", 12, changed));
    changed = PatternEntry(41, 1);
    changed.carried[3] ^= 0x80;
    ASSERT_TRUE(WriteEntryInPlace("hues.mul", 41, changed));
    form->RadioButtonGetColor2->setChecked(true);
    Activate();
    form->HueGrid1->setFocus();
    Press(Qt::Key_F4);
    EXPECT_EQ(form->HueGrid1->row(), 0) << "F4 moves only while the differences are shown";
    Press(Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(form->ShowDifferences);

    const DifferenceStep steps[] = {
        {Qt::Key_F4, Qt::NoModifier, 12, false},    {Qt::Key_F4, Qt::NoModifier, 41, false},
        {Qt::Key_F4, Qt::ShiftModifier, 12, false}, {Qt::Key_F4, Qt::ShiftModifier, 12, true},
        {Qt::Key_F4, Qt::NoModifier, 41, false},    {Qt::Key_F4, Qt::NoModifier, 3000, false},
        {Qt::Key_F4, Qt::NoModifier, 3000, true},
    };
    for (const DifferenceStep &step : steps) {
        Press(step.key, step.modifiers);
        const std::string what = "to " + std::to_string(step.entry);
        EXPECT_EQ(form->HueGrid1->row() + 1, step.entry) << what;
        EXPECT_EQ(form->BrowserRow + 1, step.entry) << what;
        EXPECT_EQ(form->PendingLogLine, "GET ONE   " + QByteArray::number(step.entry)) << what;
        EXPECT_EQ(form->FindEntryBar->isVisible() &&
                      form->FindEntryBar->status() == "no more differences",
                  step.noMore)
            << what;
    }
    // Changed behind the window's back after the last step.
    ASSERT_TRUE(WriteEntryInPlace("hues.mul", 12, PatternEntry(12, 1)));
    changed = PatternEntry(2500, 1);
    changed.name[19] = 'x';
    ASSERT_TRUE(WriteEntryInPlace("hues.mul", 2500, changed));
    Press(Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_EQ(form->HueGrid1->row() + 1, 2500);
    Press(Qt::Key_F4, Qt::ShiftModifier);
    Press(Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_EQ(form->HueGrid1->row() + 1, 41);
    EXPECT_EQ(form->FindEntryBar->status(), "no more differences");

    // Like a find, F4 would move the hidden browser and load an entry.
    form->FilenameRead->setText("missing.mul");
    ASSERT_FALSE(form->GroupBox4->isVisible());
    QTest::keyClick(form.get(), Qt::Key_F4);
    EXPECT_EQ(form->HueGrid1->row() + 1, 41);
}

class UndoTest : public KeyboardTest {
protected:
    void SetUp() override
    {
        Open(3000, 3000, 1, 2);
        original = ReadBytes("hues.mul");
        Activate();
        form->HueGrid1->setFocus();
    }
    void Undo() { Press(Qt::Key_Z, Qt::ControlModifier); }
    void Redo() { Press(Qt::Key_Y, Qt::ControlModifier); }
    // Entry n's colour 0 changed and written back by "Patch it".
    void PatchEntry(int n, HueColour colour)
    {
        bool canSelect = true;
        form->HueGrid1SelectCell(1, n - 1, canSelect);
        form->HueGrid1DblClick();
        form->EditHue.colours[0] = colour;
        form->PatchIt->click();
    }

    Bytes original;
};

TEST_F(UndoTest, WriteBacksAndCopiesAreUndoneAndRedoneByteForByte)
{
    PatchEntry(12, 0x1234);
    const Bytes patched = ReadBytes("hues.mul");
    form->Only1Color->setChecked(false);
    form->NumberFrom->setText("100");
    form->NumberTo->setText("102");
    form->CopyColors->click();
    const Bytes copied = ReadBytes("hues.mul");
    ASSERT_NE(copied, patched);
    form->HueGrid1->setFocus();
    form->MemoLog->clear();

    Undo();
    EXPECT_EQ(ReadBytes("hues.mul"), patched);
    Undo();
    EXPECT_EQ(ReadBytes("hues.mul"), original);
    Undo();
    Redo();
    EXPECT_EQ(ReadBytes("hues.mul"), patched);
    Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(ReadBytes("hues.mul"), copied);
    EXPECT_EQ(LogLines(*form), QStringList({"UNDO RANGE 100 .. 102", "UNDO      12", "REDO      12",
                                            "REDO RANGE 100 .. 102"}));
}

TEST_F(UndoTest, AnAutosavedNameIsUndoneKeystrokeByKeystrokeButNotInsideTheField)
{
    // Without the reload that "cursor position" mode makes after an undo, only undo writes.
    form->RadioButtonGetColor1->setChecked(true);
    bool canSelect = true;
    form->HueGrid1SelectCell(1, 4, canSelect);
    form->HueGrid1DblClick();
    form->AutoSave->setChecked(true);
    form->aktHueName->setFocus();
    form->aktHueName->selectAll();
    QTest::keyClicks(Focus(), "Hi");
    ASSERT_EQ(EntryOnDisk("hues.mul", 5).name, std::string("Hi"));
    // Inside the field the keys undo its text, which autosave writes as any change.
    Undo();
    EXPECT_EQ(form->aktHueName->text(), "entry 5");
    EXPECT_EQ(EntryOnDisk("hues.mul", 5).name, std::string("entry 5"));

    form->HueGrid1->setFocus();
    form->MemoLog->clear();
    for (int i = 0; i < 3; ++i)
        Undo();
    EXPECT_EQ(EntryOnDisk("hues.mul", 5).name, std::string("entry 5"));
    EXPECT_EQ(ReadBytes("hues.mul"), original);
    EXPECT_EQ(LogLines(*form), QStringList({"UNDO      5", "UNDO      5", "UNDO      5"}));

    // Where a platform's fields leave Ctrl+Y to the window, the key is still the field's.
    form->aktHueName->setFocus();
    for (QShortcut *shortcut : form->findChildren<QShortcut *>())
        if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::Key_Y))
            emit shortcut->activated();
    EXPECT_FALSE(LogLines(*form).join('|').contains("REDO"));
}

// A write past the end lengthens the file; its undo gives the file its length back, also
// for a record of zeroes that changed no byte, and its redo lengthens it again. Once someone
// else has appended bytes, the undo is stale and changes nothing.
TEST_F(UndoTest, AnUndoGivesBackTheLengthAWriteAdded)
{
    for (const std::size_t size : {std::size_t(708), std::size_t(660)}) {
        SCOPED_TRACE(size);
        Bytes shorter = original;
        shorter.resize(size);
        WriteBytes("hues.mul", shorter);
        bool canSelect = true;
        form->HueGrid1SelectCell(1, 8, canSelect);
        form->HueGrid1DblClick();
        form->PatchIt->click();
        ASSERT_EQ(ReadBytes("hues.mul").size(), 800u);
        Undo();
        EXPECT_EQ(ReadBytes("hues.mul"), shorter);
        Redo();
        EXPECT_EQ(ReadBytes("hues.mul").size(), 800u);
    }
    Bytes appended = ReadBytes("hues.mul");
    appended.push_back(7);
    WriteBytes("hues.mul", appended);
    form->MemoLog->clear();
    Undo();
    EXPECT_EQ(ReadBytes("hues.mul"), appended);
    EXPECT_EQ(LogLines(*form), QStringList({"!UNDO STALE 10"}));
}

// In "double click" mode the editor keeps its entry, but not one an undo took back: the next
// edit must not write the undone colour again.
TEST_F(UndoTest, AnUndoneEntryLeavesTheEditorInDoubleClickModeToo)
{
    form->RadioButtonGetColor1->setChecked(true);
    const HueEntry before = EntryOnDisk("hues.mul", 4);
    PatchEntry(4, 0x1234);
    Undo();
    EXPECT_TRUE(SameEntry(form->EditHue, before));
    form->EditHue.colours[7] = 0x0042;
    form->PatchIt->click();
    EXPECT_EQ(EntryOnDisk("hues.mul", 4).colours[0], before.colours[0]);
}

TEST_F(UndoTest, AnEntryChangedBehindTheWindowsBackIsNotUndone)
{
    PatchEntry(12, 0x1234);
    const HueEntry theirs = PatternEntry(12, 77);
    ASSERT_TRUE(WriteEntryInPlace("hues.mul", 12, theirs));
    const Bytes before = ReadBytes("hues.mul");
    form->HueGrid1->setFocus();
    form->MemoLog->clear();
    Undo();
    Undo();
    EXPECT_EQ(ReadBytes("hues.mul"), before);
    EXPECT_EQ(LogLines(*form), QStringList({"!UNDO STALE 12"}));

    // A history belongs to one file.
    PatchEntry(13, 0x4321);
    form->FilenameWrite->setText("hues.mul ");
    form->FilenameWrite->setText("hues.mul");
    form->HueGrid1->setFocus();
    const Bytes kept = ReadBytes("hues.mul");
    Undo();
    EXPECT_EQ(ReadBytes("hues.mul"), kept);
}

} // namespace

namespace {

// The tip a control shows where the pointer rests, made as a real tooltip request makes it.
QString TipAt(QWidget *control, const QPoint &pos)
{
    QHelpEvent help(QEvent::ToolTip, pos, control->mapToGlobal(pos));
    QApplication::sendEvent(control, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

TEST_F(KeyboardTest, TipsNameBothSidesOfABrowserRowAndWhyAFileNameIsRed)
{
    Open(3000, 40, 1, 2);
    DrawGrid *grid = form->HueGrid1;
    grid->setTopRow(39);
    const QString row40 = TipAt(grid, grid->cellRect(5, 39).center());
    EXPECT_TRUE(row40.contains("Entry 40 (hex 028)")) << row40.toStdString();
    EXPECT_TRUE(row40.contains("patch-hues.mul: \"entry 40\"")) << row40.toStdString();
    EXPECT_TRUE(row40.contains("hues.mul: \"entry 40\"")) << row40.toStdString();
    EXPECT_TRUE(row40.contains("Colour 4")) << row40.toStdString();
    const QString row41 = TipAt(grid, grid->cellRect(40, 40).center());
    EXPECT_TRUE(row41.contains("hues.mul: not in the file")) << row41.toStdString();
    // With the differences shown, a row's tip says what differs, as the files are now.
    form->ToggleDifferences();
    const QString differing = TipAt(grid, grid->cellRect(40, 40).center());
    EXPECT_TRUE(differing.contains("\nOnly in the read file\n")) << differing.toStdString();
    WriteBytes("hues.mul", ReadBytes("patch-hues.mul"));
    const QString same = TipAt(grid, grid->cellRect(40, 40).center());
    EXPECT_TRUE(same.contains("\nSame in both files\n")) << same.toStdString();

    // Only a name that is free gets the hint how to make a hue file under it.
    const struct {
        const char *name;
        const char *reason;
        bool hint;
    } names[] = {{"missing.mul", "no such file", true},
                 {".", "a folder", false},
                 {"pipe.mul", "a pipe, not a regular file", false},
                 {"notes.txt", "looks like text, not a hue file", false}};
    mkfifo("pipe.mul", 0644);
    WriteBytes("notes.txt", Bytes(10, 't'));
    for (const auto &n : names) {
        form->FilenameWrite->setText(n.name);
        const QString tip = TipAt(form->FilenameWrite, QPoint(5, 5));
        EXPECT_TRUE(tip.contains(n.reason)) << tip.toStdString();
        EXPECT_TRUE(tip.contains(QDir::currentPath())) << tip.toStdString();
        EXPECT_EQ(tip.contains(QString("colvane-cli new ") + n.name), n.hint) << tip.toStdString();
    }

    // The narrow log cuts long lines; its tip is the last line whole.
    const QByteArray longLine =
        "!IMPORT c31.gpl: 31 colours from slot 2 run past slot 31; they fit from slot 1 or lower";
    form->AppendLogLine("GET ONE   1");
    form->AppendLogLine(longLine);
    EXPECT_EQ(TipAt(form->MemoLog, QPoint(5, 5)), QString::fromLatin1(longLine));
}

TEST_F(KeyboardTest, RightClickOnTheBrowserListsTheShortcutsAndSelectsNothing)
{
    Open(100, 100, 1, 2);
    DrawGrid *grid = form->HueGrid1;
    const int rowBefore = form->BrowserRow;
    QStringList listed;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (const QAction *action : menu->actions())
            listed << action->text() + " " + action->shortcut().toString();
        menu->close();
    });
    QTest::mousePress(grid, Qt::RightButton, Qt::NoModifier, grid->cellRect(3, 9).center());
    EXPECT_EQ(form->BrowserRow, rowBefore);
    QTest::mouseRelease(grid, Qt::RightButton, Qt::NoModifier, grid->cellRect(3, 9).center());
    EXPECT_EQ(form->BrowserRow, rowBefore);
    EXPECT_TRUE(listed.contains("Find entry... Ctrl+F")) << listed.join("|").toStdString();
    EXPECT_TRUE(listed.contains("Undo last write Ctrl+Z")) << listed.join("|").toStdString();
    EXPECT_TRUE(listed.contains("Show differences Ctrl+D")) << listed.join("|").toStdString();
    EXPECT_TRUE(listed.contains("Next difference F4")) << listed.join("|").toStdString();
    EXPECT_TRUE(listed.contains("Apply patch... Ctrl+Shift+I")) << listed.join("|").toStdString();
}

} // namespace

namespace {

// The differences saved as a patch turn a copy of the read file into the write file again, as
// one step that Ctrl+Z takes back, and the editor reloads the entry it holds; a patch that no
// longer fits or cannot be read is refused whole, and no hue file is ever the patch written.
TEST_F(UndoTest, APatchOfTheDifferencesAppliesAsOneStepAndIsRefusedWhole)
{
    WriteBytes("hues.mul", ReadBytes("patch-hues.mul"));
    for (int n : {5, 300}) {
        HueEntry changed = PatternEntry(n, 9);
        changed.carried[1] = static_cast<std::uint8_t>(n);
        ASSERT_TRUE(WriteEntryInPlace("hues.mul", n, changed));
    }
    const Bytes patched = ReadBytes("hues.mul");
    EXPECT_TRUE(form->SavePatchTo("changes.huepatch"));
    EXPECT_FALSE(form->SavePatchTo("hues.mul"));
    EXPECT_EQ(ReadBytes("hues.mul"), patched);

    WriteBytes("hues.mul", ReadBytes("patch-hues.mul"));
    form->RadioButtonGetColor1->setChecked(true);
    bool canSelect = true;
    form->HueGrid1SelectCell(1, 4, canSelect);
    EXPECT_TRUE(form->ApplyPatchFrom("changes.huepatch"));
    EXPECT_EQ(ReadBytes("hues.mul"), patched);
    EXPECT_TRUE(SameEntry(form->EditHue, EntryOnDisk("hues.mul", 5)));
    Undo();
    EXPECT_EQ(ReadBytes("hues.mul"), ReadBytes("patch-hues.mul"));

    WriteBytes("bad.huepatch", Bytes{'{'});
    ASSERT_TRUE(WriteEntryInPlace("hues.mul", 300, PatternEntry(1, 1)));
    const Bytes conflicting = ReadBytes("hues.mul");
    EXPECT_FALSE(form->ApplyPatchFrom("changes.huepatch"));
    EXPECT_FALSE(form->ApplyPatchFrom("bad.huepatch"));
    EXPECT_FALSE(form->ApplyPatchFrom("missing.huepatch"));
    EXPECT_EQ(ReadBytes("hues.mul"), conflicting);
    const QStringList lines = LogLines(*form);
    ASSERT_EQ(lines.size(), 7) << lines.join("|").toStdString();
    EXPECT_EQ(lines[0], "EXPORT    changes.huepatch (2 entries)");
    EXPECT_TRUE(lines[1].startsWith("!EXPORT hues.mul: ")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "PATCH     changes.huepatch (2 entries)");
    EXPECT_EQ(lines[3], "UNDO RANGE 5 .. 300");
    EXPECT_EQ(lines[4], "!PATCH changes.huepatch: 1 entry no longer as the patch found them: 300");
    EXPECT_TRUE(lines[5].startsWith("!PATCH bad.huepatch: ")) << lines[5].toStdString();
    EXPECT_TRUE(lines[6].startsWith("!PATCH missing.huepatch: ")) << lines[6].toStdString();
}

class ExchangeTest : public KeyboardTest {
protected:
    void SetUp() override
    {
        Open(100, 100, 1, 2);
        bool canSelect = true;
        form->HueGrid1SelectCell(1, 11, canSelect);
        form->HueGrid1DblClick();
        loaded = form->EditHue;
    }
    HueEntry loaded{};
};

// Each format out of the editor and back in gives the same colours; the formats with a name
// bring it back as well. The picker follows to the imported colour while the selected run
// stays, so "It´s fine" keeps that colour. The log says what happened, and nothing is written.
TEST_F(ExchangeTest, EveryFormatRoundTripsThroughTheEditor)
{
    PressAndDragAcrossEditor(*form, ColoursFrom(3, 10));
    ReleaseOverEditor(*form, 10);
    const Bytes file = ReadBytes("hues.mul");
    const struct {
        const char *name;
        bool carriesName;
    } formats[] = {
        {"e.gpl", true}, {"e.pal", false}, {"e.hex", false}, {"e.json", true}, {"e.png", false}};
    for (const auto &f : formats) {
        form->MemoLog->clear();
        form->PendingLogLine = "GET ONE   12";
        ASSERT_TRUE(form->ExportEntryTo(f.name, std::nullopt))
            << LogLines(*form).join("|").toStdString();
        form->EditHue = PatternEntry(50, 9);
        form->ShowColourInPicker(HueToDisplay(form->EditHue, 10));
        ASSERT_TRUE(form->ImportEntryFrom(f.name, std::nullopt))
            << LogLines(*form).join("|").toStdString();
        EXPECT_EQ(form->PreviewColour(), HueToDisplay(loaded, 10)) << f.name;
        EXPECT_EQ(ChannelFieldTexts(*form), ChannelTexts(HueToDisplay(loaded, 10))) << f.name;
        EXPECT_EQ(form->ImageColorRange->tag(), 3) << f.name;
        EXPECT_TRUE(form->SpreadColorOkay->isEnabled()) << f.name;
        EXPECT_EQ(std::memcmp(form->EditHue.colours, loaded.colours, sizeof loaded.colours), 0)
            << f.name;
        EXPECT_EQ(form->aktHueName->text(), f.carriesName ? "entry 12" : "entry 50") << f.name;
        EXPECT_EQ(LogLines(*form), QStringList({QString("EXPORT    ") + f.name, "GET ONE   12",
                                                QString("IMPORT    ") + f.name}))
            << f.name;
        form->MixColorOkayClick();
        EXPECT_EQ(form->EditHue.colours[10], loaded.colours[10]) << f.name;
        form->EditHue = loaded;
        form->RefreshHueGridEdit();
    }
    EXPECT_EQ(ReadBytes("hues.mul"), file);

    // The dialog offers the entry's name, made safe for a file name, in the last export's
    // folder; a refused export leaves that folder as it was.
    EXPECT_EQ(form->ProposedExportName(), QDir::current().filePath("entry 12.gpl"));
    ASSERT_TRUE(QDir().mkdir("out"));
    ASSERT_TRUE(form->ExportEntryTo("out/a.gpl", std::nullopt));
    EXPECT_FALSE(form->ExportEntryTo("hues.mul", std::nullopt));
    form->aktHueName->setText("a/b:c");
    EXPECT_EQ(form->ProposedExportName(), QDir::current().filePath("out/a_b_c.gpl"));
    form->aktHueName->setText("");
    EXPECT_EQ(form->ProposedExportName(), QDir::current().filePath("out/entry 12.gpl"));
}

// A palette the file layer refuses is refused in the command line's words; a file named "-" is
// that file, never the standard input.
TEST_F(ExchangeTest, ARefusedImportLeavesTheEntryAloneAndAnAutosavedOneIsUndone)
{
    WriteBytes("short.hex", Bytes(31 * 7, 'a'));
    WriteBytes("vast.gpl", Bytes{'G'});
    ASSERT_EQ(truncate("vast.gpl", MaxPaletteFileSize + 1), 0);
    ASSERT_TRUE(QDir().mkdir("folder.gpl"));
    ASSERT_EQ(mkfifo("pipe.gpl", 0644), 0);
    const Bytes file = ReadBytes("hues.mul");
    EXPECT_FALSE(form->ImportEntryFrom("short.hex", std::nullopt));
    const QStringList log = LogLines(*form);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].startsWith("!IMPORT short.hex: ")) << log[0].toStdString();
    const struct {
        const char *name;
        const char *log;
    } refusals[] = {
        {"missing.gpl", "!IMPORT missing.gpl: no such file"},
        {"folder.gpl", "!IMPORT folder.gpl: a folder"},
        {"pipe.gpl", "!IMPORT pipe.gpl: a pipe, not a regular file"},
        {"vast.gpl", "!IMPORT vast.gpl: too large for a palette (more than 16777216 bytes)"},
        {"-", "!IMPORT -: no such file"},
    };
    for (const auto &refusal : refusals) {
        form->MemoLog->clear();
        EXPECT_FALSE(form->ImportEntryFrom(refusal.name, PaletteFormat::Gpl)) << refusal.name;
        EXPECT_EQ(LogLines(*form), QStringList(refusal.log)) << refusal.name;
    }
    EXPECT_TRUE(SameEntry(form->EditHue, loaded));

    ASSERT_TRUE(form->ExportEntryTo("twelve.json", std::nullopt));
    form->RadioButtonGetColor1->setChecked(true);
    bool canSelect = true;
    form->HueGrid1SelectCell(1, 39, canSelect);
    form->AutoSave->setChecked(true);
    ASSERT_TRUE(form->ImportEntryFrom("twelve.json", std::nullopt));
    EXPECT_EQ(
        std::memcmp(EntryOnDisk("hues.mul", 40).colours, loaded.colours, sizeof loaded.colours), 0);
    Activate();
    form->HueGrid1->setFocus();
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ReadBytes("hues.mul"), file);
}

// A palette of fewer than 32 colours goes to the slots from the current colour on, from slot 0
// while none is selected, and the other colours stay. The editor's menu imports as Ctrl+I does,
// through the same dialog, but the entry keeps its name.
TEST_F(ExchangeTest, FewerColoursStartAtTheCurrentColourAndTheMenuKeepsTheName)
{
    std::string gpl = "GIMP Palette\nName: sixteen\n";
    for (int i = 0; i < 16; ++i)
        gpl += std::to_string(i * 8 + 7) + " 0 0\n";
    WriteBytes("s16.gpl", Bytes(gpl.begin(), gpl.end()));
    const auto expectSixteenFrom = [&](int first) {
        for (int c = 0; c < HueColourCount; ++c) {
            const bool taken = c >= first && c < first + 16;
            EXPECT_EQ(form->EditHue.colours[c],
                      taken ? (loaded.colours[c] & 0x8000) | (c - first) << 10 : loaded.colours[c])
                << "from " << first << ", slot " << c;
        }
    };
    ASSERT_EQ(form->EditColourIndex, -1);
    ASSERT_TRUE(form->ImportEntryFrom("s16.gpl", std::nullopt));
    expectSixteenFrom(0);
    EXPECT_EQ(form->aktHueName->text(), "sixteen");

    form->EditHue = loaded;
    form->RefreshHueGridEdit();
    PressAndDragAcrossEditor(*form, {8});
    ReleaseOverEditor(*form, 8);
    QString title;
    QTimer dialogWatch;
    QObject::connect(&dialogWatch, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle();
            // Typed as a user would: the dialog's selection follows its folder listing, which
            // another thread fills in its own time.
            auto *typed = dialog->findChild<QLineEdit *>("fileNameEdit");
            if (typed)
                typed->setText(QDir::current().absoluteFilePath("s16.gpl"));
            QMetaObject::invokeMethod(dialog, typed ? "accept" : "reject");
        }
    });
    dialogWatch.start(20);
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        menu->close();
        for (QAction *action : menu->actions()) {
            if (action->text() == "Import keeping the name\u2026")
                action->trigger();
        }
    });
    const QPoint cell = EditorCellCentre(*form, 20);
    QTest::mousePress(form->HueGridEdit, Qt::RightButton, Qt::NoModifier, cell);
    QTest::mouseRelease(form->HueGridEdit, Qt::RightButton, Qt::NoModifier, cell);
    EXPECT_EQ(title, "Import a palette into the editor, keeping the name");
    expectSixteenFrom(8);
    EXPECT_EQ(form->aktHueName->text(), "entry 12");
    EXPECT_EQ(LogLines(*form).mid(LogLines(*form).size() - 2),
              QStringList({"IMPORT    s16.gpl (16 colours, into #0 .. #15)",
                           "IMPORT    s16.gpl (16 colours, into #8 .. #23)"}));
}

// An export replaces only a palette file of its own format with a single link that may be
// written, whatever a link in front of it is called; anything else is refused and nothing is
// written. A hard link to either hue file is that hue file.
TEST_F(ExchangeTest, ARefusedExportWritesNothing)
{
    WriteHueFile("other.mul", 10, 3);
    ASSERT_EQ(symlink("other.mul", "sea.gpl"), 0);
    ASSERT_EQ(symlink("hues.mul", "hues.gpl"), 0);
    ASSERT_EQ(symlink("nothing.gpl", "dangling.gpl"), 0);
    ASSERT_TRUE(form->ExportEntryTo("locked.gpl", std::nullopt));
    ASSERT_EQ(chmod("locked.gpl", 0444), 0);
    ASSERT_TRUE(form->ExportEntryTo("twin.gpl", std::nullopt));
    ASSERT_EQ(link("twin.gpl", "twin2.gpl"), 0);
    ASSERT_TRUE(QDir().mkdir("folder.gpl"));
    ASSERT_EQ(mkfifo("pipe.gpl", 0644), 0);
    ASSERT_EQ(link("patch-hues.mul", "read.gpl"), 0);
    ASSERT_EQ(link("hues.mul", "write.gpl"), 0);
    const struct {
        const char *name;
        const char *log;
    } refusals[] = {
        {"sea.gpl", "!EXPORT sea.gpl: exists and is no gpl file; not replaced"},
        {"hues.gpl", "!EXPORT hues.gpl: a hue file is never overwritten"},
        {"read.gpl", "!EXPORT read.gpl: a hue file is never overwritten"},
        {"write.gpl", "!EXPORT write.gpl: a hue file is never overwritten"},
        {"locked.gpl", "!EXPORT locked.gpl: read-only"},
        {"twin.gpl", "!EXPORT twin.gpl: has 2 hard links, which a replacement would split; not "
                     "replaced"},
        {"dangling.gpl", "!EXPORT dangling.gpl: a link to nothing"},
        {"folder.gpl", "!EXPORT folder.gpl: a folder"},
        {"pipe.gpl", "!EXPORT pipe.gpl: a pipe with no reader"},
    };
    const auto contents = FolderSnapshot();
    for (const auto &refusal : refusals) {
        form->MemoLog->clear();
        EXPECT_FALSE(form->ExportEntryTo(refusal.name, std::nullopt)) << refusal.name;
        EXPECT_EQ(LogLines(*form), QStringList(refusal.log)) << refusal.name;
        EXPECT_EQ(FolderSnapshot(), contents) << refusal.name;
    }
}

// Other programs' drags may carry the URL format with no URL, or a URL that is no local
// file: the editor takes none of them, and a local palette file it imports.
TEST_F(ExchangeTest, OnlyALocalFileDroppedOnTheEditorIsTaken)
{
    ASSERT_TRUE(form->ExportEntryTo("dropped.gpl", std::nullopt));
    form->MemoLog->clear();
    form->EditHue = PatternEntry(50, 9);
    const HueEntry before = form->EditHue;
    const struct {
        const char *what;
        QByteArray uriList;
        bool taken;
    } drags[] = {
        {"no URL", "", false},
        {"a line end only", "\r\n", false},
        {"a remote file", "http://example.invalid/dropped.gpl\r\n", false},
        {"a local file",
         QUrl::fromLocalFile(QDir::current().absoluteFilePath("dropped.gpl")).toEncoded() + "\r\n",
         true},
    };
    for (const auto &drag : drags) {
        SCOPED_TRACE(drag.what);
        QMimeData data;
        data.setData("text/uri-list", drag.uriList);
        const QPoint at = form->HueGridEdit->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->HueGridEdit, &enter);
        EXPECT_EQ(enter.isAccepted(), drag.taken);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->HueGridEdit, &drop);
        EXPECT_EQ(SameEntry(form->EditHue, before), !drag.taken);
    }
    EXPECT_EQ(LogLines(*form), QStringList({"GET ONE   12", "IMPORT    dropped.gpl"}));
}

// A grey ramp of the 32 levels takes the entry's 32 colours; a coloured pixel keeps its colour
// unless the whole image is recoloured, and a transparent one stays transparent.
TEST_F(ExchangeTest, ThePreviewRecoloursGreyLevelsByTheEntryAndFollowsItsEdits)
{
    QImage ramp(34, 1, QImage::Format_ARGB32);
    for (int level = 0; level < 32; ++level)
        ramp.setPixel(level, 0, qRgb(level * 8 + 3, level * 8 + 3, level * 8 + 3));
    ramp.setPixel(32, 0, qRgb(200, 10, 10));
    ramp.setPixel(33, 0, qRgba(0, 0, 0, 0));
    ASSERT_TRUE(ramp.save("ramp.png"));

    Activate();
    Press(Qt::Key_P, Qt::ControlModifier);
    ASSERT_NE(form->Preview, nullptr);
    EXPECT_TRUE(form->Preview->isVisible());
    EXPECT_EQ(form->ClientHeight(), ClientHeightFull);
    ASSERT_TRUE(form->Preview->loadImage("ramp.png"));
    const auto expectEntryColours = [&](const HueEntry &entry) {
        const QImage shown = form->Preview->shownImage();
        for (int level = 0; level < 32; ++level)
            EXPECT_EQ(shown.pixel(level, 0) & 0xFFFFFF,
                      ToQColor(HueToDisplay(entry, level)).rgb() & 0xFFFFFF)
                << "level " << level;
        EXPECT_EQ(shown.pixel(32, 0), qRgb(200, 10, 10));
        EXPECT_EQ(qAlpha(shown.pixel(33, 0)), 0);
    };
    expectEntryColours(loaded);
    bool canSelect = true;
    form->HueGrid1SelectCell(1, 13, canSelect);
    expectEntryColours(EntryOnDisk("hues.mul", 14));
}

// The preview never waits on a pipe, names a picture too large to read as such, recolours
// nothing while it is closed, shows a picture that a zoom would make gigabytes large at a lower
// zoom and says so, and shows black where the editor does.
TEST_F(ExchangeTest, ThePreviewStaysCheapAndShowsWhatTheEditorShows)
{
    QImage grey(3000, 3000, QImage::Format_RGB32);
    grey.fill(qRgb(123, 123, 123));
    ASSERT_TRUE(grey.save("grey.png"));
    ASSERT_EQ(mkfifo("pipe.png", 0644), 0);
    const std::string huge = PngHeaderOfSize(30000, 10000);
    WriteBytes("huge.png", std::vector<unsigned char>(huge.begin(), huge.end()));
    form->ShowPreviewClick();
    PreviewWindow &preview = *form->Preview;
    const auto texts = [&] {
        QStringList all;
        for (const QLabel *label : preview.findChildren<QLabel *>())
            all << label->text();
        return all;
    };
    EXPECT_FALSE(preview.loadImage("pipe.png"));
    EXPECT_TRUE(texts().contains("pipe.png: a pipe, not a regular file"))
        << texts().join("|").toStdString();
    // Past what the picture limit lets the whole file take, it is not read at all.
    const qint64 fileLimit = qint64(PictureLimitMegabytes) << 20;
    WriteBytes("vast.png", Bytes{0x89});
    ASSERT_EQ(truncate("vast.png", fileLimit + 1), 0);
    EXPECT_FALSE(preview.loadImage("vast.png"));
    EXPECT_TRUE(texts().contains(
        QString("vast.png: too large for a picture (more than %1 bytes)").arg(fileLimit)))
        << texts().join("|").toStdString();
    EXPECT_FALSE(preview.loadImage("huge.png"));
    EXPECT_TRUE(texts().contains(QString("huge.png: a picture of 30000 × 10000 pixels is too "
                                         "large: it takes 1144 MB, the limit is %1 MB")
                                     .arg(PictureLimitMegabytes)))
        << texts().join("|").toStdString();
    ASSERT_TRUE(preview.loadImage("grey.png"));
    const auto shownColour = [&] { return preview.shownImage().pixel(0, 0) & 0xFFFFFF; };
    const auto levelColour = [](const HueEntry &entry) {
        return ToQColor(HueToDisplay(entry, 15)).rgb() & 0xFFFFFF;
    };
    EXPECT_EQ(shownColour(), levelColour(loaded));

    preview.findChild<QComboBox *>()->setCurrentIndex(1);
    EXPECT_EQ(preview.shownImage().size(), grey.size());
    EXPECT_TRUE(texts().contains("grey.png (shown at 1x: 2x would be too large)"))
        << texts().join("|").toStdString();

    preview.hide();
    bool canSelect = true;
    form->HueGrid1SelectCell(1, 19, canSelect);
    EXPECT_EQ(shownColour(), levelColour(loaded)) << "recoloured while closed";
    preview.show();
    EXPECT_EQ(shownColour(), levelColour(EntryOnDisk("hues.mul", 20)));
    EXPECT_EQ(preview.windowTitle(), "Colvane - preview of entry 20 of hues.mul on grey.png");

    // The picture is saved at 1x as shown, and only where an export may write: never over a
    // hue file, and whole.
    const Bytes hueFile = ReadBytes("hues.mul");
    EXPECT_FALSE(preview.savePicture("hues.mul"));
    EXPECT_EQ(ReadBytes("hues.mul"), hueFile);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(preview.savePicture("saved.png")) << texts().join("|").toStdString();
        const QImage saved("saved.png");
        EXPECT_EQ(saved.size(), grey.size());
        EXPECT_EQ(saved.pixel(0, 0) & 0xFFFFFF, levelColour(EntryOnDisk("hues.mul", 20)));
    }

    ASSERT_EQ(std::rename("hues.mul", "away.mul"), 0);
    form->HueGrid1SelectCell(1, 20, canSelect);
    EXPECT_EQ(shownColour(), 0u) << "the editor shows black";
}

} // namespace
