#include "support/test_support.h"

#include "app/qt_colour.h"
#include "huefile/colour.h"
#include "widgets/picture_box.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int BarHeight = 31;
constexpr int StripRows = 5;
const QColor ButtonFace(0xC0, 0xC1, 0xC2);
const QColor InactiveCaption(0x80, 0x81, 0x82);
const QColor ActiveCaption(0x10, 0x20, 0xF0);
const QColor Untouched(0x01, 0x02, 0x03);

constexpr HueColour Word(int red, int green, int blue)
{
    return static_cast<HueColour>(red * 1024 + green * 32 + blue);
}

class RangeBarTest : public FormTest {
protected:
    void SetUp() override
    {
        Open(16, 16, 100, 0);
        startUpButtonFace = form->palette().color(QPalette::Button);
        QPalette palette = form->palette();
        palette.setColor(QPalette::Button, ButtonFace);
        palette.setColor(QPalette::Mid, InactiveCaption);
        palette.setColor(QPalette::Highlight, ActiveCaption);
        form->setPalette(palette);
    }

    // A colour no drawing uses, so every pixel the bar leaves alone can be told apart.
    void FillBarWithUntouched()
    {
        form->ImageColorRange->fillRect(0, 0, 289, BarHeight, Untouched);
    }

    QRgb Pixel(int x, int y) const
    {
        return form->ImageColorRange->picture().pixel(x, y) & 0xFFFFFF;
    }

    // Every pixel of rows [top, bottom) of slot i has the colour.
    void ExpectSlotRows(int i, int top, int bottom, const QColor &colour) const
    {
        for (int x = 9 * i + 1; x < 9 * i + 9; ++x)
            for (int y = top; y < bottom; ++y)
                ASSERT_EQ(Pixel(x, y), colour.rgb() & 0xFFFFFF)
                    << "slot " << i << " at (" << x << ", " << y << ")";
    }

    void ExpectGapsUntouched() const
    {
        for (int x = 0; x <= 288; x += 9)
            for (int y = 0; y < BarHeight; ++y)
                ASSERT_EQ(Pixel(x, y), Untouched.rgb() & 0xFFFFFF)
                    << "gap at (" << x << ", " << y << ")";
    }

    void Spread(int selected, int anchor)
    {
        form->EditColourIndex = selected;
        form->ImageColorRange->setTag(anchor);
        form->SpreadColorOkayClick();
    }

    // The channel fields first: the picker may recompute the preview from them.
    void ComposeInPicker(const char *red, const char *green, const char *blue,
                         DisplayColour preview)
    {
        form->EditRED->setText(red);
        form->EditGREEN->setText(green);
        form->EditBLUE->setText(blue);
        form->SetPreviewColour(preview);
    }

    QColor startUpButtonFace;
};

struct SpreadCase {
    const char *name;
    int lower;
    HueColour lowerWord;
    int upper;
    HueColour upperWord;
    // Colours lower to upper after the spread.
    std::vector<HueColour> expected;
};

std::vector<HueColour> Reds(std::initializer_list<int> reds)
{
    std::vector<HueColour> words;
    for (int red : reds)
        words.push_back(Word(red, 0, 0));
    return words;
}

std::vector<HueColour> WhiteToBlack()
{
    std::vector<HueColour> words;
    for (int c = 31; c >= 1; --c)
        words.push_back(Word(c, c, c));
    words.push_back(0);
    return words;
}

// Colours 3 to 9 from pure red to pure blue.
const std::vector<HueColour> RedToBlue = {0x7C00, 0x6405, 0x500A, 0x3C0F, 0x2814, 0x1419, 0x001F};

const SpreadCase SpreadCases[] = {
    {"red to blue", 3, 0x7C00, 9, 0x001F, RedToBlue},
    {"falling channel truncates toward zero", 0, Word(17, 0, 0), 16, 0,
     Reds({17, 16, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0})},
    {"rising channel truncates toward zero", 0, 0, 16, Word(17, 0, 0),
     Reds({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17})},
    {"white to black over the whole entry", 0, 0x7FFF, 31, 0, WhiteToBlack()},
    {"bit 15 dropped at the lower end, kept at the upper",
     2,
     0xFC00,
     4,
     0x801F,
     {0x7C00, Word(15, 0, 15), 0x801F}},
    {"span 1 rewrites only the lower end", 6, 0x8123, 7, 0x8456, {0x0123, 0x8456}},
};

TEST_F(RangeBarTest, SpreadWritesTruncatedGradientAndNeverTheUpperEnd)
{
    for (const SpreadCase &c : SpreadCases) {
        form->EditHue.colours[c.lower] = c.lowerWord;
        form->EditHue.colours[c.upper] = c.upperWord;
        const HueEntry before = form->EditHue;
        Spread(c.upper, c.lower);
        for (int i = 0; i < HueColourCount; ++i) {
            const bool inRange = i >= c.lower && i <= c.upper;
            const HueColour expected = inRange ? c.expected[i - c.lower] : before.colours[i];
            EXPECT_EQ(form->EditHue.colours[i], expected) << c.name << ", colour " << i;
        }
    }
}

TEST_F(RangeBarTest, SpreadLogsItsLineAndDisablesTheButton)
{
    form->EditHue.colours[3] = 0x7C00;
    form->EditHue.colours[9] = 0x001F;
    form->PendingLogLine = "GET ONE   12";
    form->SpreadColorOkay->setEnabled(true);
    Spread(9, 3);
    EXPECT_EQ(LogLines(*form),
              QStringList({"GET ONE   12", "DEF RANGE #3 R31 G0 B0 .. #9 R0 G0 B31"}));
    EXPECT_FALSE(form->SpreadColorOkay->isEnabled());
    EXPECT_TRUE(form->PendingLogLine.isEmpty());
}

TEST_F(RangeBarTest, AnchorAboveSelectionGivesTheSameGradientWithTheMarkerMoved)
{
    form->EditHue.colours[3] = 0x7C00;
    form->EditHue.colours[9] = 0x03E0;
    const HueEntry original = form->EditHue;

    Spread(9, 3);
    const HueEntry upward = form->EditHue;
    form->EditHue = original;
    FillBarWithUntouched();
    Spread(3, 9);

    EXPECT_TRUE(SameEntry(upward, form->EditHue));
    const QStringList lines = LogLines(*form);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], lines[1]);
    ExpectSlotRows(3, 0, StripRows, ActiveCaption);
    ExpectSlotRows(9, 0, StripRows, InactiveCaption);
}

TEST_F(RangeBarTest, ClearingPaintsEverySlotButtonFaceAndLeavesGapsAndSpreadButton)
{
    for (int i = 0; i < HueColourCount; ++i)
        ExpectSlotRows(i, 0, BarHeight, startUpButtonFace);

    FillBarWithUntouched();
    form->SpreadColorOkay->setEnabled(true);
    form->DrawColorRange(-1, -1, false);
    for (int i = 0; i < HueColourCount; ++i)
        ExpectSlotRows(i, 0, BarHeight, ButtonFace);
    ExpectGapsUntouched();
    EXPECT_TRUE(form->SpreadColorOkay->isEnabled());
}

TEST_F(RangeBarTest, SingleColourShowsMarkerAndItsColourOnly)
{
    FillBarWithUntouched();
    form->SpreadColorOkay->setEnabled(true);
    form->DrawColorRange(5, 5, false);
    for (int i = 0; i < HueColourCount; ++i)
        if (i != 5)
            ExpectSlotRows(i, 0, BarHeight, ButtonFace);
    ExpectSlotRows(5, 0, StripRows, ActiveCaption);
    ExpectSlotRows(5, StripRows, BarHeight - StripRows, Untouched);
    ExpectSlotRows(5, BarHeight - StripRows, BarHeight, ToQColor(HueToDisplay(form->EditHue, 5)));
    ExpectGapsUntouched();
    EXPECT_FALSE(form->SpreadColorOkay->isEnabled());
}

TEST_F(RangeBarTest, RangePreviewShowsGradientWithoutChangingTheEntry)
{
    form->EditHue.colours[3] = 0x7C00;
    form->EditHue.colours[9] = 0x801F;
    const HueEntry before = form->EditHue;
    FillBarWithUntouched();
    form->DrawColorRange(3, 9, false);
    for (int i = 3; i <= 9; ++i) {
        ExpectSlotRows(i, 0, StripRows, i == 3 ? ActiveCaption : InactiveCaption);
        ExpectSlotRows(i, BarHeight - StripRows, BarHeight,
                       ToQColor(HueWordToDisplay(RedToBlue[i - 3])));
    }
    ExpectSlotRows(2, 0, BarHeight, ButtonFace);
    ExpectSlotRows(10, 0, BarHeight, ButtonFace);
    ExpectGapsUntouched();
    EXPECT_TRUE(SameEntry(before, form->EditHue));
    EXPECT_TRUE(LogLines(*form).isEmpty());
}

TEST_F(RangeBarTest, SpreadButtonNeedsAColourStrictlyBetweenTheEnds)
{
    const struct {
        int first, second;
        bool enabled;
    } cases[] = {{5, 5, false}, {5, 6, false}, {6, 5, false},
                 {5, 7, true},  {7, 5, true},  {0, 31, true}};
    for (const auto &c : cases) {
        form->SpreadColorOkay->setEnabled(!c.enabled);
        form->DrawColorRange(c.first, c.second, false);
        EXPECT_EQ(form->SpreadColorOkay->isEnabled(), c.enabled) << c.first << " to " << c.second;
    }
}

TEST_F(RangeBarTest, MixWritesPreviewColourAndLogsFieldTexts)
{
    form->EditColourIndex = 5;
    form->MixColorOkay->setEnabled(true);
    ComposeInPicker("31", "16", "0", 0x0080F8);
    form->MixColorOkayClick();
    EXPECT_EQ(form->EditHue.colours[5], 0x7E00);
    EXPECT_EQ(LogLines(*form), QStringList({"DEF COL# 5 R31 G16 B0"}));
    EXPECT_TRUE(form->MixColorOkay->isEnabled());
}

TEST_F(RangeBarTest, MixWithEmptyRedFieldTakesRedFromPreviewAndLogsEmptyText)
{
    form->EditColourIndex = 5;
    ComposeInPicker("", "16", "0", 0x0080F8);
    form->MixColorOkayClick();
    EXPECT_EQ(form->EditHue.colours[5], 0x7E00);
    EXPECT_EQ(LogLines(*form), QStringList({"DEF COL# 5 R G16 B0"}));
}

TEST_F(RangeBarTest, MixWithoutSelectedColourChangesNothingButStillAutosaves)
{
    const HueEntry before = form->EditHue;
    form->MixColorOkayClick();
    EXPECT_TRUE(SameEntry(before, form->EditHue));
    EXPECT_TRUE(LogLines(*form).isEmpty());

    form->AutoSave->setChecked(true);
    form->MixColorOkayClick();
    EXPECT_EQ(LogLines(*form), QStringList({"PATCHING  1"}));
}

TEST_F(RangeBarTest, MixAfterSpreadEnablesSpreadAgain)
{
    Spread(9, 3);
    ASSERT_FALSE(form->SpreadColorOkay->isEnabled());
    ComposeInPicker("1", "2", "3", DisplayFromChannels(1, 2, 3));
    form->MixColorOkayClick();
    EXPECT_TRUE(form->SpreadColorOkay->isEnabled());
    ExpectSlotRows(9, 0, StripRows, ActiveCaption);
    ExpectSlotRows(9, BarHeight - StripRows, BarHeight, ToQColor(DisplayFromChannels(1, 2, 3)));
}

} // namespace
