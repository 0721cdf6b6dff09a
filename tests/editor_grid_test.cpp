#include "support/test_support.h"

#include "app/qt_colour.h"
#include "huefile/colour.h"
#include "widgets/draw_grid.h"
#include "widgets/picture_box.h"
#include "widgets/track_bar.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>

namespace {

constexpr int Idle = 0;
constexpr int Dragging = 1;
constexpr int Pressed = 2;

int ColumnOf(int colour)
{
    return colour + 1;
}

void Press(TForm1 &form, int colour)
{
    QTest::mousePress(form.HueGridEdit, Qt::LeftButton, {}, EditorCellCentre(form, colour));
}

void DragTo(TForm1 &form, int colour)
{
    MoveWithButtonsHeld(form.HueGridEdit, EditorCellCentre(form, colour));
}

// From colour `from` down across the label and up again into colour `to`.
std::vector<int> BackOverTheLabel(int from, int to)
{
    std::vector<int> path = ColoursFrom(from, 0);
    path.push_back(EditorLabel);
    for (int c : ColoursFrom(0, to))
        path.push_back(c);
    return path;
}

int Anchor(const TForm1 &form)
{
    return form.ImageColorRange->tag();
}

int MouseState(const TForm1 &form)
{
    return form.HueGridEdit->tag();
}

// The label cell on white, drawn with a black pen in the grid's font.
template <typename Draw> QImage LabelCell(const TForm1 &form, Draw draw)
{
    const QRect cell = form.HueGridEdit->cellRect(0, 0);
    QImage image(cell.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(form.HueGridEdit->font());
    painter.setPen(Qt::black);
    draw(painter, QRect(QPoint(0, 0), cell.size()));
    return image;
}

QImage PaintedLabel(TForm1 &form)
{
    return LabelCell(form, [&form](QPainter &painter, const QRect &rect) {
        form.HueGridEditDrawCell(&painter, 0, 0, rect);
    });
}

// The expected text drawn single-line, left-aligned, vertically centred.
QImage LabelWithText(const TForm1 &form, const QString &text)
{
    return LabelCell(form, [&text](QPainter &painter, const QRect &rect) {
        painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    });
}

QColor SwatchOnScreen(TForm1 &form, int colour)
{
    return form.HueGridEdit->grab().toImage().pixelColor(EditorCellCentre(form, colour));
}

void SetStoredName(HueEntry &entry, const char *bytes, std::size_t length)
{
    std::memset(entry.name, 0, sizeof entry.name);
    std::memcpy(entry.name, bytes, length);
}

class EditorGridTest : public FormTest {
protected:
    void SetUp() override
    {
        Open(16, 16, 1, 0);
        ASSERT_EQ(form->ClientHeight(), ClientHeightFull);
    }
};

TEST_F(EditorGridTest, RangeBarSlotsLieUnderTheColourColumnsWithStripsShowingAboveAndBelow)
{
    const QRect bar = form->ImageColorRange->geometry();
    const QRect grid = form->HueGridEdit->geometry();
    for (int i = 0; i < HueColourCount; ++i) {
        const QRect cell = form->HueGridEdit->cellRect(ColumnOf(i), 0).translated(grid.topLeft());
        EXPECT_EQ(cell.left(), bar.left() + 9 * i + 1) << "slot " << i;
        EXPECT_EQ(cell.right(), bar.left() + 9 * i + 8) << "slot " << i;
    }
    EXPECT_EQ(grid.top() - bar.top(), 4);
    EXPECT_EQ(bar.bottom() - grid.bottom(), 4);

    // The grid covers the bar; the strips above and below are the bar's own.
    const QPoint overlap = form->HueGridEdit->geometry().center();
    EXPECT_EQ(form->GroupBox5->childAt(overlap), form->HueGridEdit);
    EXPECT_EQ(form->GroupBox5->childAt(bar.left() + 9 * 5 + 4, bar.top() + 1),
              form->ImageColorRange);

    // On screen the marker of a selected colour shows just above that colour's cell.
    QTest::mouseClick(form->HueGridEdit, Qt::LeftButton, {}, EditorCellCentre(*form, 5));
    const QImage group = form->GroupBox5->grab().toImage();
    const QColor marker = form->palette().color(QPalette::Highlight);
    EXPECT_EQ(group.pixelColor(bar.left() + 9 * 5 + 4, bar.top() + 1), marker);
    EXPECT_NE(group.pixelColor(bar.left() + 9 * 4 + 4, bar.top() + 1), marker);
}

TEST_F(EditorGridTest, LabelShowsTheEntryNumberThatAWriteBackGoesTo)
{
    const struct {
        int browserRow;
        const char *label;
    } cases[] = {{0, "    1 [0001]"},
                 {9, "   10 [000a]"},
                 {41, "   42 [002a]"},
                 {255, "  256 [0100]"},
                 {2999, " 3000 [0bb8]"}};
    ASSERT_NE(LabelWithText(*form, "    1 [0001]"), LabelWithText(*form, "   10 [000a]"))
        << "the test font draws no text";
    for (const auto &c : cases) {
        form->BrowserRow = c.browserRow;
        EXPECT_EQ(PaintedLabel(*form), LabelWithText(*form, c.label)) << c.label;
    }
}

TEST_F(EditorGridTest, SwatchesShowTheLoadedEntryAndBlackWhileNothingIsLoaded)
{
    const HueEntry entry1 = PatternEntry(1);
    ASSERT_TRUE(SameEntry(form->EditHue, entry1));
    for (int i = 0; i < HueColourCount; ++i)
        EXPECT_EQ(SwatchOnScreen(*form, i), ToQColor(HueToDisplay(entry1, i))) << "colour " << i;

    form->EditHueLoaded = false;
    form->RefreshHueGridEdit();
    for (int i = 0; i < HueColourCount; ++i)
        EXPECT_EQ(SwatchOnScreen(*form, i), QColor(Qt::black)) << "colour " << i;
}

TEST_F(EditorGridTest, RefreshPutsTheStoredNameIntoTheNameField)
{
    const struct {
        const char *what;
        const char *bytes;
        std::size_t length;
        QString shown;
    } cases[] = {
        {"short name", "blue", 4, "blue"},
        {"empty name", "", 0, ""},
        {"bytes after the terminator", "abc\0xyz", 7, "abc"},
        {"twenty characters, no terminator", "ABCDEFGHIJKLMNOPQRST", 20, "ABCDEFGHIJKLMNOPQRST"},
        {"8-bit character", "Caf\xE9", 4, QString::fromUtf8("Café")},
    };
    for (const auto &c : cases) {
        SetStoredName(form->EditHue, c.bytes, c.length);
        form->RefreshHueGridEdit();
        EXPECT_EQ(form->aktHueName->text(), c.shown) << c.what;
    }
}

TEST_F(EditorGridTest, NameChangeFiresOnlyWhenTheStoredNameDiffersAndAutosavesThen)
{
    QSignalSpy changes(form->aktHueName, &QLineEdit::textChanged);
    form->AutoSave->setChecked(true);
    form->RefreshHueGridEdit();
    EXPECT_EQ(changes.count(), 0);
    EXPECT_TRUE(LogLines(*form).isEmpty());

    SetStoredName(form->EditHue, "renamed", 7);
    form->RefreshHueGridEdit();
    form->RefreshHueGridEdit();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(LogLines(*form), QStringList{"PATCHING  1"});
    EXPECT_STREQ(EntryOnDisk("hues.mul", 1).name, "renamed");
}

TEST_F(EditorGridTest, ProgramRefreshReplacesATypedName)
{
    form->aktHueName->selectAll();
    QTest::keyClicks(form->aktHueName, "typed");
    ASSERT_EQ(form->aktHueName->text(), "typed");
    form->RefreshHueGridEdit();
    EXPECT_EQ(form->aktHueName->text(), "entry 1");
}

// A repaint that the windowing system asks for, as when the window is uncovered, only paints.
TEST_F(EditorGridTest, WindowSystemRepaintKeepsATypedName)
{
    form->aktHueName->selectAll();
    QTest::keyClicks(form->aktHueName, "typed");
    QSignalSpy changes(form->aktHueName, &QLineEdit::textChanged);

    form->HueGridEdit->update();
    Settle();
    form->HueGridEdit->repaint();
    form->hide();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    Settle();

    EXPECT_EQ(form->aktHueName->text(), "typed");
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(EditorGridTest, ClickSelectsOneColourAndAnchorsTheRangeAtIt)
{
    Press(*form, 7);
    EXPECT_EQ(MouseState(*form), Pressed);
    ReleaseOverEditor(*form, 7);
    EXPECT_EQ(MouseState(*form), Idle);

    const DisplayColour colour = HueToDisplay(form->EditHue, 7);
    EXPECT_EQ(form->EditColourIndex, 7);
    EXPECT_EQ(Anchor(*form), 7);
    EXPECT_EQ(form->PreviewColour(), colour);
    EXPECT_EQ(ChannelFieldTexts(*form), ChannelTexts(colour));
    EXPECT_TRUE(form->MixColorOkay->isEnabled());
    EXPECT_FALSE(form->SpreadColorOkay->isEnabled());
}

TEST_F(EditorGridTest, DragSelectsARunWithTheEndThatFollowsTheMouse)
{
    const struct {
        const char *what;
        std::vector<int> path;
        int selected;
        int anchor;
    } cases[] = {
        {"forward", ColoursFrom(3, 10), 10, 3},
        {"backward", ColoursFrom(10, 3), 3, 10},
        {"from the label", {EditorLabel, 0, 1, 2, 3, 4}, 4, 0},
        {"back over the label", BackOverTheLabel(10, 2), 2, 10},
    };
    for (const auto &c : cases) {
        PressAndDragAcrossEditor(*form, c.path);
        EXPECT_EQ(MouseState(*form), Dragging) << c.what;
        ReleaseOverEditor(*form, c.path.back());
        EXPECT_EQ(MouseState(*form), Idle) << c.what;
        EXPECT_EQ(form->EditColourIndex, c.selected) << c.what;
        EXPECT_EQ(Anchor(*form), c.anchor) << c.what;
        EXPECT_EQ(form->PreviewColour(), HueToDisplay(form->EditHue, c.selected)) << c.what;
        EXPECT_TRUE(form->MixColorOkay->isEnabled()) << c.what;
        EXPECT_TRUE(form->SpreadColorOkay->isEnabled()) << c.what;
    }
}

TEST_F(EditorGridTest, DraggingOntoTheLabelDisablesBothButtonsAndKeepsTheColour)
{
    PressAndDragAcrossEditor(*form, {4, 3, 2, 1, 0, EditorLabel});
    EXPECT_FALSE(form->MixColorOkay->isEnabled());
    EXPECT_FALSE(form->SpreadColorOkay->isEnabled());
    EXPECT_EQ(form->EditColourIndex, 0);
    EXPECT_EQ(Anchor(*form), 4);
    DragTo(*form, 1);
    EXPECT_EQ(Anchor(*form), 4);
    EXPECT_TRUE(form->SpreadColorOkay->isEnabled());
    ReleaseOverEditor(*form, 1);
}

// When the pointer leaves the pressed cell with its first move, that cell's selection still
// sees the press and leaves the range bar alone; the next cell shows the run.
TEST_F(EditorGridTest, FirstMoveStraightIntoAnotherCellLeavesTheRangeBarAlone)
{
    Press(*form, 3);
    const QImage barAfterPress = form->ImageColorRange->picture();
    DragTo(*form, 7);
    EXPECT_EQ(form->EditColourIndex, 7);
    EXPECT_EQ(MouseState(*form), Dragging);
    EXPECT_EQ(form->ImageColorRange->picture(), barAfterPress);
    EXPECT_FALSE(form->SpreadColorOkay->isEnabled());

    DragTo(*form, 8);
    EXPECT_NE(form->ImageColorRange->picture(), barAfterPress);
    EXPECT_TRUE(form->SpreadColorOkay->isEnabled());
    ReleaseOverEditor(*form, 8);
    EXPECT_EQ(Anchor(*form), 3);
    EXPECT_EQ(form->EditColourIndex, 8);
}

TEST_F(EditorGridTest, KeyMovesSelectSingleColours)
{
    PressAndDragAcrossEditor(*form, ColoursFrom(2, 6));
    ReleaseOverEditor(*form, 6);
    ASSERT_TRUE(form->SpreadColorOkay->isEnabled());
    QTest::keyClick(form->HueGridEdit, Qt::Key_Right);
    QTest::keyClick(form->HueGridEdit, Qt::Key_Right);
    EXPECT_EQ(form->EditColourIndex, 8);
    EXPECT_EQ(Anchor(*form), 8);
    EXPECT_FALSE(form->SpreadColorOkay->isEnabled());
}

// The focus given back to the grid when its window becomes active may come after the press
// that activated the window; it leaves the press alone, so the drag shows its whole run.
TEST_F(EditorGridTest, ReceivingTheFocusResetsTheMouseStateButActivatingTheWindowDoesNot)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->aktHueName->setFocus();
    form->HueGridEdit->setTag(Dragging);
    form->HueGridEdit->setFocus();
    EXPECT_EQ(MouseState(*form), Idle);

    Press(*form, 3);
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_TRUE(form->HueGridEdit->hasFocus());
    EXPECT_EQ(MouseState(*form), Pressed);
    DragTo(*form, 4);
    DragTo(*form, 6);
    ReleaseOverEditor(*form, 6);
    EXPECT_EQ(Anchor(*form), 3);
    EXPECT_EQ(form->EditColourIndex, 6);
    EXPECT_TRUE(form->SpreadColorOkay->isEnabled());
}

TEST_F(EditorGridTest, LoadAfterTheLabelWasSelectedSelectsTheRememberedColourAgain)
{
    QTest::mouseClick(form->HueGridEdit, Qt::LeftButton, {}, EditorCellCentre(*form, 4));
    QTest::mouseClick(form->HueGridEdit, Qt::LeftButton, {}, EditorCellCentre(*form, EditorLabel));
    EXPECT_FALSE(form->MixColorOkay->isEnabled());
    EXPECT_EQ(Anchor(*form), 0);
    EXPECT_EQ(form->EditColourIndex, 4);
    form->BrowserRow = 6;
    form->HueGrid1DblClick();
    EXPECT_TRUE(form->MixColorOkay->isEnabled());
    EXPECT_EQ(form->PreviewColour(), HueToDisplay(PatternEntry(7), 4));
    EXPECT_EQ(form->aktHueName->text(), "entry 7");
}

TEST(EditorGridWithoutWriteFile, ShowsEntryOneInBlackAndSelectsBlack)
{
    TempFolder folder;
    WriteHueFile("patch-hues.mul", 16);
    auto form = ShowForm();
    ASSERT_FALSE(form->EditHueLoaded);

    EXPECT_EQ(PaintedLabel(*form), LabelWithText(*form, "    1 [0001]"));
    for (int i = 0; i < HueColourCount; ++i)
        EXPECT_EQ(SwatchOnScreen(*form, i), QColor(Qt::black)) << "colour " << i;
    EXPECT_EQ(form->aktHueName->text(), "");

    form->ShowColourInPicker(0xF8F8F8);
    bool canSelect = true;
    form->HueGridEditSelectCell(ColumnOf(12), 0, canSelect);
    EXPECT_EQ(form->PreviewColour(), 0u);
    for (TrackBar *bar : {form->TrackBarRED, form->TrackBarGREEN, form->TrackBarBLUE})
        EXPECT_EQ(bar->position(), 31);
    EXPECT_EQ(ChannelFieldTexts(*form), QStringList({"0", "0", "0"}));
    EXPECT_EQ(form->EditColourIndex, 12);
}

// What a copy and a paste carry: text for other programs, exact words and a whole entry between
// two windows of this program. A paste starts at the selected colour, keeps bit 15 of the
// words it replaces, ends at colour 31, is one write and one undo step under autosave, and a
// text that holds anything but colours changes nothing.
TEST_F(EditorGridTest, CopyAndPasteCarryColoursAndEntriesAsTheShortcutsSay)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QClipboard *clipboard = QGuiApplication::clipboard();
    const auto key = [](QWidget *on, Qt::KeyboardModifiers modifiers) {
        on->setFocus();
        QTest::keyClick(on, Qt::Key_C, modifiers);
    };
    const auto paste = [&](int at) {
        Press(*form, at);
        QTest::mouseRelease(form->HueGridEdit, Qt::LeftButton, {}, EditorCellCentre(*form, at));
        form->HueGridEdit->setFocus();
        QTest::keyClick(form->HueGridEdit, Qt::Key_V, Qt::ControlModifier);
    };
    form->EditHue.colours[20] |= 0x8000;
    const HueEntry start = form->EditHue;

    PressAndDragAcrossEditor(*form, ColoursFrom(6, 2));
    ReleaseOverEditor(*form, 2);
    key(form->HueGridEdit, Qt::ControlModifier);
    QString text;
    for (int c = 2; c <= 6; ++c) {
        const DisplayColour shown = HueToDisplay(start, c);
        text +=
            QString::asprintf("#%02x%02x%02x\n", shown & 0xFF, (shown >> 8) & 0xFF, shown >> 16);
    }
    EXPECT_EQ(clipboard->text(), text);
    paste(29);
    paste(20);
    for (int c = 0; c < HueColourCount; ++c) {
        const int from = c >= 29 ? c - 27 : c >= 20 && c <= 24 ? c - 18 : c;
        EXPECT_EQ(form->EditHue.colours[c],
                  (start.colours[c] & 0x8000) | (start.colours[from] & 0x7FFF))
            << c;
    }
    EXPECT_EQ(LogLines(*form).mid(LogLines(*form).size() - 2),
              (QStringList{"PASTE     #29 .. #31", "PASTE     #20 .. #24"}));

    form->AutoSave->setChecked(true);
    const QStringList refusals[] = {{"orange", "!PASTE \"orange\" is no colour"},
                                    {"", "!PASTE no colour"}};
    for (const QStringList &refusal : refusals) {
        clipboard->setText(refusal[0]);
        const HueEntry before = form->EditHue;
        paste(0);
        EXPECT_EQ(LogLines(*form).constLast(), refusal[1]);
        EXPECT_TRUE(SameEntry(form->EditHue, before));
    }
    clipboard->setText("rgb(255, 128, 0)");
    const std::vector<unsigned char> fileBefore = ReadBytes("hues.mul");
    paste(31);
    EXPECT_EQ(form->EditHue.colours[31], 0x7E00);
    EXPECT_EQ(LogLines(*form).mid(LogLines(*form).size() - 2),
              (QStringList{"PASTE     #31 .. #31", "PATCHING  1"}));
    EXPECT_TRUE(SameEntry(EntryOnDisk("hues.mul", 1), form->EditHue));
    form->UndoLastWrite();
    EXPECT_EQ(ReadBytes("hues.mul"), fileBefore);

    // The browser copies what the files hold; the read file's entry 3 replaces the whole
    // entry in the editor, its name included, wherever the selected colour is.
    bool canSelect = true;
    form->HueGrid1SelectCell(1, 2, canSelect);
    key(form->HueGrid1, Qt::ControlModifier | Qt::ShiftModifier);
    const HueEntry copied = EntryOnDisk("patch-hues.mul", 3);
    form->HueGrid1SelectCell(1, 0, canSelect);
    form->AutoSave->setChecked(false);
    paste(17);
    EXPECT_EQ(form->aktHueName->text(),
              QString::fromLatin1(copied.name, qstrnlen(copied.name, 20)));
    for (int c = 0; c < HueColourCount; ++c)
        EXPECT_EQ(form->EditHue.colours[c] & 0x7FFF, copied.colours[c] & 0x7FFF) << c;
    EXPECT_EQ(LogLines(*form).constLast(), "PASTE     #0 .. #31");
    key(form->HueGrid1, Qt::ControlModifier);
    EXPECT_TRUE(clipboard->mimeData()->hasFormat("application/x-colvane-entry"));
    EXPECT_EQ(clipboard->text().count('\n'), HueColourCount);
}

} // namespace
