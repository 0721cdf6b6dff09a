#include "app/tform1.h"

#include "app/qt_colour.h"
#include "huefile/colour.h"
#include "huefile/number_text.h"
#include "huefile/palette.h"
#include "widgets/bevel_panel.h"
#include "widgets/hidden_tab_set.h"
#include "widgets/picture_box.h"
#include "widgets/track_bar.h"

#include <QImage>
#include <QLineEdit>
#include <algorithm>

namespace {

constexpr int MaxChannel = 31;
constexpr int DarkVariant = 0;
// The drawn variants leave the top three rows and the left three columns of the picture as
// they were; their cells are one pixel wide and two high.
constexpr int PaletteMargin = 3;
constexpr int CellHeight = 2;

// A track bar has its top, position 0, at the channel's highest value.
int ChannelOf(const TrackBar *trackBar)
{
    return MaxChannel - trackBar->position();
}

int PositionFor(int channel)
{
    return MaxChannel - channel;
}

QString DecimalText(int value)
{
    return QString::fromStdString(NumberToText(value));
}

// Shows the track bar's value in its field. A field whose text changes runs its own
// handler before this returns.
void ShowTrackBarInField(TrackBar *trackBar, QLineEdit *field)
{
    field->setText(DecimalText(ChannelOf(trackBar)));
}

} // namespace

void TForm1::ConnectPicker()
{
    connect(TrackBarRED, &TrackBar::changed, this, &TForm1::TrackBarREDChange);
    connect(TrackBarGREEN, &TrackBar::changed, this, &TForm1::TrackBarGREENChange);
    connect(TrackBarBLUE, &TrackBar::changed, this, &TForm1::TrackBarBLUEChange);
    connect(EditRED, &QLineEdit::textChanged, this, &TForm1::EditREDChange);
    connect(EditGREEN, &QLineEdit::textChanged, this, &TForm1::EditGREENChange);
    connect(EditBLUE, &QLineEdit::textChanged, this, &TForm1::EditBLUEChange);
    connect(ImageColorSelectionRGB, &PictureBox::mousePressed, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos) {
                ImageColorSelectionRGBMouseDown(button, modifiers, pos.x(), pos.y());
            });
    connect(ImageColorSelectionRGB, &PictureBox::mouseMoved, this,
            [this](Qt::KeyboardModifiers modifiers, const QPoint &pos) {
                ImageColorSelectionRGBMouseMove(modifiers, pos.x(), pos.y());
            });
    connect(ImageColorSelectionRGB, &PictureBox::mouseReleased, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos) {
                ImageColorSelectionRGBMouseUp(button, modifiers, pos.x(), pos.y());
            });
    connect(
        TabSetColorPalette, &HiddenTabSet::changing, this,
        [this](int newTab, bool *allowChange) { TabSetColorPaletteChange(newTab, *allowChange); });
}

void TForm1::LoadStoredPalette()
{
    QImage picture(PaletteWidth, PaletteHeight, QImage::Format_RGB32);
    for (int y = 0; y < PaletteHeight; ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < PaletteWidth; ++x)
            line[x] = ToQColor(StoredPalettePixel(x, y)).rgb();
    }
    ImageColorSelectionRGB->setPicture(picture);
}

DisplayColour TForm1::PreviewColour() const
{
    return FromQColor(PreviewColor->colour());
}

void TForm1::SetPreviewColour(DisplayColour colour)
{
    PreviewColor->setColour(ToQColor(colour));
}

// The preview takes the colour exactly; the fields then show its 5-bit channels. Each field
// whose text changes runs its handler, which sets the preview to the track-bar colour, so the
// low three bits of each byte survive only when no text changed.
void TForm1::ShowColourInPicker(DisplayColour colour)
{
    SetPreviewColour(colour);
    TrackBarRED->setPosition(PositionFor(RedOf(colour)));
    TrackBarGREEN->setPosition(PositionFor(GreenOf(colour)));
    TrackBarBLUE->setPosition(PositionFor(BlueOf(colour)));
    ShowTrackBarInField(TrackBarRED, EditRED);
    ShowTrackBarInField(TrackBarGREEN, EditGREEN);
    ShowTrackBarInField(TrackBarBLUE, EditBLUE);
}

void TForm1::UpdatePreviewFromTrackBars()
{
    SetPreviewColour(DisplayFromChannels(ChannelOf(TrackBarRED), ChannelOf(TrackBarGREEN),
                                         ChannelOf(TrackBarBLUE)));
}

// An empty field stands for 0 and stays empty, so the user can clear it and type anew. Any
// other text is rewritten to the clamped decimal value, or to the track bar's value when it is
// not a number; each rewrite runs this once more on a text that is already in that form.
void TForm1::SyncEditWithTrackBar(QLineEdit *edit, TrackBar *trackBar)
{
    try {
        const QString text = edit->text();
        int value = 0;
        if (!text.isEmpty()) {
            const auto number = NumberText(text.toStdString());
            if (!number) {
                ShowTrackBarInField(trackBar, edit);
                return;
            }
            value = std::clamp<int>(*number, 0, MaxChannel);
            edit->setText(DecimalText(value));
        }
        trackBar->setPosition(PositionFor(value));
        UpdatePreviewFromTrackBars();
    } catch (...) {
        // A field that cannot be converted keeps what it shows; the picker carries on.
    }
}

// Both variants share one cell layout. The bright one takes the complements of the dark
// colours and turns the cell rows upside down, so it runs from white at the top towards the
// complementary hues at the bottom.
void TForm1::DrawColourPalette(int variant)
{
    const bool dark = variant == DarkVariant;
    for (int step = 0; step < PaletteStepCount; ++step) {
        for (int level = 0; level < PaletteLevelCount; ++level) {
            const int cellRow = dark ? level : PaletteLevelCount - 1 - level;
            const int left = PaletteMargin + step;
            const int top = PaletteMargin + CellHeight * cellRow;
            for (int sector = 0; sector < PaletteSectorCount; ++sector) {
                const DisplayColour darkColour = DarkBandColour(sector, step, level);
                const DisplayColour colour = dark ? darkColour : BrightVariantColour(darkColour);
                const int sectorLeft = left + PaletteStepCount * sector;
                ImageColorSelectionRGB->fillRect(sectorLeft, top, sectorLeft + 1, top + CellHeight,
                                                 ToQColor(colour));
            }
        }
    }
    ImageColorSelectionRGB->repaint();
}

void TForm1::TrackBarREDChange()
{
    UpdatePreviewFromTrackBars();
    ShowTrackBarInField(TrackBarRED, EditRED);
}

void TForm1::TrackBarGREENChange()
{
    UpdatePreviewFromTrackBars();
    ShowTrackBarInField(TrackBarGREEN, EditGREEN);
}

void TForm1::TrackBarBLUEChange()
{
    UpdatePreviewFromTrackBars();
    ShowTrackBarInField(TrackBarBLUE, EditBLUE);
}

void TForm1::EditREDChange()
{
    SyncEditWithTrackBar(EditRED, TrackBarRED);
}

void TForm1::EditGREENChange()
{
    SyncEditWithTrackBar(EditGREEN, TrackBarGREEN);
}

void TForm1::EditBLUEChange()
{
    SyncEditWithTrackBar(EditBLUE, TrackBarBLUE);
}

// Any button starts picking and picks at once; the palette keeps receiving the pointer until
// the release, which ends picking wherever it happens.
void TForm1::ImageColorSelectionRGBMouseDown(Qt::MouseButton, Qt::KeyboardModifiers Shift, int X,
                                             int Y)
{
    ImageColorSelectionRGB->setTag(1);
    ImageColorSelectionRGBMouseMove(Shift, X, Y);
}

void TForm1::ImageColorSelectionRGBMouseMove(Qt::KeyboardModifiers, int X, int Y)
{
    const bool picking = ImageColorSelectionRGB->tag() == 1;
    const bool inside = X >= 0 && X < ImageColorSelectionRGB->width() && Y >= 0 &&
                        Y < ImageColorSelectionRGB->height();
    if (!picking || !inside)
        return;
    ShowColourInPicker(FromQColor(ImageColorSelectionRGB->pixel(X, Y)));
}

void TForm1::ImageColorSelectionRGBMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    ImageColorSelectionRGB->setTag(0);
}

// The change goes ahead; only the picture follows the newly chosen tab.
void TForm1::TabSetColorPaletteChange(int NewTab, bool &)
{
    DrawColourPalette(NewTab);
}
