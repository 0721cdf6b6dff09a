#include "support/test_support.h"

#include "app/qt_colour.h"
#include "huefile/colour.h"
#include "widgets/draw_grid.h"
#include "widgets/picture_box.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

// The road of an edit end to end, with real mouse events on the real window: pick an entry in
// the browser, a colour in the editor, a new colour on the palette, and accept it with
// autosave on; then the file, the log and the browser must all tell the same story.
namespace {

constexpr int FileEntries = 24;
constexpr int FirstWriteColumn = 34;

// At the widget's centre unless a point is given.
void Click(QWidget *widget, QPoint pos = QPoint())
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
}

QPoint BrowserCell(const TForm1 &form, int col, int row)
{
    return form.HueGrid1->cellRect(col, row).center();
}

QByteArray MixLine(int index, DisplayColour colour)
{
    return "DEF COL# " + QByteArray::number(index) + " R" + QByteArray::number(RedOf(colour)) +
           " G" + QByteArray::number(GreenOf(colour)) + " B" + QByteArray::number(BlueOf(colour));
}

// The file as it was, with colour `index` of entry n replaced.
std::vector<unsigned char> WithColour(std::vector<unsigned char> bytes, int n, int index,
                                      HueColour word)
{
    const auto at = static_cast<std::size_t>(EntryOffset(n)) + 2 * index;
    bytes[at] = static_cast<unsigned char>(word & 0xFF);
    bytes[at + 1] = static_cast<unsigned char>(word >> 8);
    return bytes;
}

class TypicalRoadTest : public FormTest {
protected:
    void SetUp() override
    {
        Open(FileEntries, FileEntries, 1, 0);
        ASSERT_EQ(form->ClientHeight(), ClientHeightFull);
        ASSERT_TRUE(form->RadioButtonGetColor2->isChecked());
        Click(form->AutoSave);
        ASSERT_TRUE(form->AutoSave->isChecked());
    }
};

TEST_F(TypicalRoadTest, MixOnEntryTwelveReachesTheFileTheLogAndTheBrowser)
{
    const std::vector<unsigned char> before = ReadBytes("hues.mul");

    // The browser row labelled 12. Its name differs from the one shown, so with autosave on
    // the name sync writes the entry straight back, unchanged.
    Click(form->HueGrid1, BrowserCell(*form, 5, 11));
    const HueEntry entry12 = PatternEntry(12);
    EXPECT_TRUE(SameEntry(form->EditHue, entry12));
    EXPECT_EQ(form->NumberFrom->text(), "12");
    EXPECT_EQ(form->PendingLogLine, "GET ONE   12");
    EXPECT_EQ(form->aktHueName->text(), "entry 12");
    EXPECT_EQ(LogLines(*form), QStringList{"PATCHING  12"});
    EXPECT_EQ(ReadBytes("hues.mul"), before);

    // Editor colour 5: the picker and the range bar show it.
    Click(form->HueGridEdit, EditorCellCentre(*form, 5));
    const DisplayColour stored = HueToDisplay(entry12, 5);
    EXPECT_EQ(form->EditColourIndex, 5);
    EXPECT_EQ(form->PreviewColour(), stored);
    EXPECT_EQ(ChannelFieldTexts(*form), ChannelTexts(stored));
    const QImage bar = form->ImageColorRange->picture();
    EXPECT_EQ(bar.pixelColor(9 * 5 + 4, 1), form->palette().color(QPalette::Highlight));
    EXPECT_EQ(bar.pixelColor(9 * 5 + 4, bar.height() - 2), ToQColor(stored));
    EXPECT_TRUE(form->MixColorOkay->isEnabled());

    // A press on the palette replaces the preview.
    const QPoint pick(0, 33);
    const DisplayColour picked =
        FromQColor(form->ImageColorSelectionRGB->pixel(pick.x(), pick.y()));
    ASSERT_NE(picked, stored);
    QTest::mousePress(form->ImageColorSelectionRGB, Qt::LeftButton, {}, pick);
    QTest::mouseRelease(form->ImageColorSelectionRGB, Qt::LeftButton, {}, pick);
    EXPECT_EQ(form->PreviewColour(), picked);

    Click(form->MixColorOkay);
    const HueColour word = DisplayToHue(picked);
    EXPECT_EQ(form->EditHue.colours[5], word);
    EXPECT_EQ(LogLines(*form),
              (QStringList{"PATCHING  12", "GET ONE   12", MixLine(5, picked), "PATCHING  12"}));
    EXPECT_EQ(ReadBytes("hues.mul"), WithColour(before, 12, 5, word));

    // The browser reads the written entry back: new colour on the write side of row 12 only.
    const QImage browser = form->HueGrid1->grab().toImage();
    EXPECT_EQ(browser.pixelColor(BrowserCell(*form, FirstWriteColumn + 5, 11)),
              ToQColor(HueWordToDisplay(word)));
    EXPECT_EQ(browser.pixelColor(BrowserCell(*form, 1 + 5, 11)),
              ToQColor(HueToDisplay(PatternEntry(12, 1), 5)));

    // A second mix on the same entry logs only its own lines; the load was logged once.
    Click(form->HueGridEdit, EditorCellCentre(*form, 6));
    Click(form->MixColorOkay);
    const DisplayColour second = HueToDisplay(entry12, 6);
    EXPECT_EQ(LogLines(*form).mid(4), (QStringList{MixLine(6, second), "PATCHING  12"}));
    EXPECT_EQ(EntryOnDisk("hues.mul", 12).colours[6], entry12.colours[6]);
}

// Colour 3 pure red and colour 9 pure blue in entry 1, which the start-up loads; the drag,
// in either direction, leaves the run 3 to 9 for the spread.
TEST(TypicalRoadSpread, DragThenSpreadWritesTheGradientInEitherDirection)
{
    const struct {
        const char *what;
        int from;
        int to;
    } cases[] = {{"forward", 3, 9}, {"backward", 9, 3}};
    const HueColour gradient[] = {0x7C00, 0x6405, 0x500A, 0x3C0F, 0x2814, 0x1419, 0x001F};
    for (const auto &c : cases) {
        TempFolder folder;
        WriteHueFile("patch-hues.mul", FileEntries, 1);
        WriteHueFile("hues.mul", FileEntries);
        const std::vector<unsigned char> before =
            WithColour(WithColour(ReadBytes("hues.mul"), 1, 3, 0x7C00), 1, 9, 0x001F);
        WriteBytes("hues.mul", before);
        auto form = ShowForm();
        Click(form->AutoSave);

        PressAndDragAcrossEditor(*form, ColoursFrom(c.from, c.to));
        ReleaseOverEditor(*form, c.to);
        ASSERT_TRUE(form->SpreadColorOkay->isEnabled()) << c.what;
        Click(form->SpreadColorOkay);

        const HueEntry written = EntryOnDisk("hues.mul", 1);
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(written.colours[3 + i], gradient[i]) << c.what << ", colour " << 3 + i;
        EXPECT_EQ(LogLines(*form),
                  (QStringList{"DEF RANGE #3 R31 G0 B0 .. #9 R0 G0 B31", "PATCHING  1"}))
            << c.what;
        EXPECT_FALSE(form->SpreadColorOkay->isEnabled()) << c.what;
    }
}

} // namespace
