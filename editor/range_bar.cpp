#include "app/tform1.h"

#include "app/qt_colour.h"
#include "huefile/colour.h"
#include "huefile/gradient.h"
#include "huefile/run_operations.h"
#include "widgets/picture_box.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace {

// Slot i covers the 8 pixel columns 9i + 1 to 9i + 8, so it lies under the editor grid's
// column of colour i and the columns between the slots, under the grid lines, stay unpainted.
constexpr int SlotPitch = 9;
constexpr int SlotWidth = 8;
// The grid covers the middle of the bar; only these strips above and below it show.
constexpr int StripHeight = 5;

bool IsColourIndex(int index)
{
    return index >= 0 && index < HueColourCount;
}

int SlotLeft(int index)
{
    return SlotPitch * index + 1;
}

// The bar has no surface until it is first drawn; the surface then takes the control's size.
int BarHeight(const PictureBox &bar)
{
    return bar.picture().isNull() ? bar.height() : bar.picture().height();
}

void FillSlot(PictureBox &bar, int index, const QColor &colour)
{
    bar.fillRect(SlotLeft(index), 0, SlotLeft(index) + SlotWidth, BarHeight(bar), colour);
}

void FillTopStrip(PictureBox &bar, int index, const QColor &colour)
{
    bar.fillRect(SlotLeft(index), 0, SlotLeft(index) + SlotWidth, StripHeight, colour);
}

void FillBottomStrip(PictureBox &bar, int index, DisplayColour colour)
{
    const int height = BarHeight(bar);
    bar.fillRect(SlotLeft(index), height - StripHeight, SlotLeft(index) + SlotWidth, height,
                 ToQColor(colour));
}

// Slots outside the range are cleared over their full height; inside it only the top strip
// is marked, because the bottom strips are about to show the gradient.
void MarkRange(PictureBox &bar, const QPalette &palette, int lower, int upper, int first)
{
    for (int i = 0; i < HueColourCount; ++i) {
        if (i < lower || i > upper)
            FillSlot(bar, i, palette.color(QPalette::Button));
        else
            FillTopStrip(bar, i, palette.color(QPalette::Mid));
    }
    if (IsColourIndex(first))
        FillTopStrip(bar, first, palette.color(QPalette::Highlight));
}

QByteArray ChannelsText(DisplayColour colour)
{
    return " R" + QByteArray::number(RedOf(colour)) + " G" + QByteArray::number(GreenOf(colour)) +
           " B" + QByteArray::number(BlueOf(colour));
}

QByteArray SpreadLine(int lower, DisplayColour lo, int upper, DisplayColour hi)
{
    return "DEF RANGE #" + QByteArray::number(lower) + ChannelsText(lo) + " .. #" +
           QByteArray::number(upper) + ChannelsText(hi);
}

// The channel fields go into the line as they stand, an empty field as an empty value.
QByteArray MixLine(int index, const QLineEdit &red, const QLineEdit &green, const QLineEdit &blue)
{
    return "DEF COL# " + QByteArray::number(index) + " R" + red.text().toLatin1() + " G" +
           green.text().toLatin1() + " B" + blue.text().toLatin1();
}

} // namespace

void TForm1::ConnectRangeBar()
{
    connect(MixColorOkay, &QPushButton::clicked, this, &TForm1::MixColorOkayClick);
    connect(SpreadColorOkay, &QPushButton::clicked, this, &TForm1::SpreadColorOkayClick);
}

// The gradient runs from the lower to the upper end whichever of them is the anchor. The
// upper end is shown but never written, so its word, bit 15 included, stays as it was; every
// word the gradient does write is composed afresh and so has bit 15 clear, the lower end too.
void TForm1::DrawColorRange(int first, int second, bool apply)
{
    const int lower = std::min(first, second);
    const int upper = std::max(first, second);
    MarkRange(*ImageColorRange, palette(), lower, upper, first);
    if (!IsColourIndex(lower) || !IsColourIndex(upper))
        return;

    const int span = upper - lower;
    SpreadColorOkay->setEnabled(span > 1);
    const DisplayColour lo = HueToDisplay(EditHue, lower);
    const DisplayColour hi = HueToDisplay(EditHue, upper);
    for (int j = lower; j < upper; ++j) {
        const DisplayColour step = GradientColour(lo, hi, j - lower, span);
        FillBottomStrip(*ImageColorRange, j, step);
        if (apply)
            EditHue.colours[j] = DisplayToHue(step);
    }
    FillBottomStrip(*ImageColorRange, upper, hi);
    if (!apply)
        return;

    RefreshHueGridEdit();
    FlushPendingLogLine();
    AppendLogLine(SpreadLine(lower, lo, upper, hi));
}

// The refresh of the editor grid may already autosave (its name sync can change the name
// field), which is why that write comes before the held-back line and the mix line.
void TForm1::MixColorOkayClick()
{
    if (IsColourIndex(EditColourIndex)) {
        EditHue.colours[EditColourIndex] = DisplayToHue(PreviewColour());
        RefreshHueGridEdit();
        FlushPendingLogLine();
        AppendLogLine(MixLine(EditColourIndex, *EditRED, *EditGREEN, *EditBLUE));
        DrawColorRange(EditColourIndex, ImageColorRange->tag(), false);
    }
    if (AutoSave->isChecked())
        PatchItClick();
}

// The range on the bar stays, but a second spread needs a new selection or a mix first.
void TForm1::SpreadColorOkayClick()
{
    DrawColorRange(EditColourIndex, ImageColorRange->tag(), true);
    SpreadColorOkay->setEnabled(false);
    if (AutoSave->isChecked())
        PatchItClick();
}

// The button's line with the space named after it; both ends keep their words.
void TForm1::SpreadRunInOklab()
{
    const auto run = SelectedRun();
    if (!EditHueLoaded || !run || run->second - run->first < 2)
        return;
    const auto [lower, upper] = *run;
    const DisplayColour lo = HueToDisplay(EditHue, lower);
    const DisplayColour hi = HueToDisplay(EditHue, upper);
    SpreadRun(EditHue, lower, upper, SpreadSpace::Oklab);
    FinishEditorChange(SpreadLine(lower, lo, upper, hi) + " OKLAB");
}
