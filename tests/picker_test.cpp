#include "support/test_support.h"

#include "app/qt_colour.h"
#include "huefile/colour.h"
#include "huefile/palette.h"
#include "widgets/hidden_tab_set.h"
#include "widgets/picture_box.h"
#include "widgets/track_bar.h"

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int Top = 0;
constexpr int Bottom = 31;
constexpr DisplayColour PureRed = 0x0000F8;
const QPoint PureRedPixel(0, 33);
const QPoint WhitePixel(100, 0);
const QPoint BlackPixel(50, 64);
const QPoint PureCyanPixel(96, 33);
const QPoint LeftOfPalette(-5, 40);
// First rows of the stored picture's bright band (level 31) and dark band (level 0).
constexpr int FirstBrightRow = 1;
constexpr int FirstDarkRow = 33;

// Both files exist, so the editor group is shown and enabled as in normal use.
class PickerTest : public FormTest {
protected:
    void SetUp() override
    {
        Open(16, 16, 0, 7);
        form->activateWindow();
        Settle();
    }

    PictureBox *Palette() const { return form->ImageColorSelectionRGB; }

    void Pick(QPoint pos, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(Palette(), button, {}, pos);
        QTest::mouseRelease(Palette(), button, {}, pos);
    }

    QStringList FieldTexts() const { return ChannelFieldTexts(*form); }

    std::vector<int> Positions() const
    {
        return {form->TrackBarRED->position(), form->TrackBarGREEN->position(),
                form->TrackBarBLUE->position()};
    }

    QColor PixelAt(int x, int y) const { return Palette()->pixel(x, y); }
};

// Pinned independently of the code that builds the picture: pixels worked out by hand from
// the palette's channel table, and a checksum of every pixel (64-bit FNV-1a over the
// 0x00BBGGRR values, row by row, low byte first).
TEST_F(PickerTest, PaletteShowsTheStoredPictureAtStart)
{
    const QImage &picture = Palette()->picture();
    ASSERT_EQ(picture.size(), QSize(PaletteWidth, PaletteHeight));
    const struct {
        int x, y;
        DisplayColour colour;
    } byHand[] = {
        {0, 0, 0xFFFFFF},    {0, 33, 0x0000F8},   {31, 33, 0x00F8F8},  {10, 38, 0x0028D0},
        {3, 40, 0x0000C0},   {0, 64, 0x000000},   {40, 35, 0x00E8B8},  {70, 50, 0x007000},
        {100, 33, 0xF8D800}, {130, 40, 0xC00000}, {170, 33, 0xA800F8}, {5, 1, 0xF8F8F8},
        {5, 30, 0x1028F8},   {45, 20, 0x60F8F0},  {150, 25, 0xF838B0},
    };
    for (const auto &p : byHand)
        EXPECT_EQ(FromQColor(picture.pixelColor(p.x, p.y)), p.colour) << p.x << ", " << p.y;

    std::uint64_t checksum = 0xcbf29ce484222325ull;
    for (int y = 0; y < PaletteHeight; ++y) {
        for (int x = 0; x < PaletteWidth; ++x) {
            const DisplayColour colour = FromQColor(picture.pixelColor(x, y));
            for (int byte = 0; byte < 4; ++byte)
                checksum = (checksum ^ ((colour >> (8 * byte)) & 0xFF)) * 0x100000001b3ull;
        }
    }
    EXPECT_EQ(checksum, 0x52a9b2ab6351e825ull);
}

// Pure red first, then black from the bottom row, so that every field changes.
TEST_F(PickerTest, PicksShowTheirChannels)
{
    const struct {
        const char *what;
        QPoint pixel;
        QStringList fields;
        std::vector<int> positions;
        DisplayColour preview;
    } cases[] = {
        {"pure red", PureRedPixel, {"31", "0", "0"}, {Top, Bottom, Bottom}, PureRed},
        {"bottom row", BlackPixel, {"0", "0", "0"}, {Bottom, Bottom, Bottom}, 0},
    };
    for (const auto &c : cases) {
        Pick(c.pixel);
        EXPECT_EQ(FieldTexts(), c.fields) << c.what;
        EXPECT_EQ(Positions(), c.positions) << c.what;
        EXPECT_EQ(form->PreviewColour(), c.preview) << c.what;
    }
}

// The preview takes the picked white exactly; only the field handlers that run because a
// text changed reduce it to the track-bar colour.
TEST_F(PickerTest, WhiteKeepsItsLowBitsOnlyWhenNoFieldChanges)
{
    Pick(WhitePixel);
    EXPECT_EQ(FieldTexts(), QStringList({"31", "31", "31"}));
    EXPECT_EQ(form->PreviewColour(), 0xF8F8F8u);
    Pick(WhitePixel);
    EXPECT_EQ(FieldTexts(), QStringList({"31", "31", "31"}));
    EXPECT_EQ(form->PreviewColour(), 0xFFFFFFu);
}

TEST_F(PickerTest, EveryButtonPicksAndItsReleaseEndsPickingOutside)
{
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(static_cast<int>(button));
        Pick(BlackPixel);
        QTest::mousePress(Palette(), button, {}, PureRedPixel);
        EXPECT_EQ(form->PreviewColour(), PureRed);

        MoveWithButtonsHeld(Palette(), LeftOfPalette, button);
        EXPECT_EQ(form->PreviewColour(), PureRed);
        MoveWithButtonsHeld(Palette(), PureCyanPixel, button);
        EXPECT_EQ(FieldTexts(), QStringList({"0", "31", "31"}));

        QTest::mouseRelease(Palette(), button, {}, LeftOfPalette);
        EXPECT_EQ(Palette()->tag(), 0);
        MoveWithButtonsHeld(Palette(), BlackPixel, Qt::NoButton);
        EXPECT_EQ(FieldTexts(), QStringList({"0", "31", "31"}));
    }
}

TEST_F(PickerTest, PositionsOutsideThePictureArePassedOver)
{
    form->ImageColorSelectionRGBMouseDown(Qt::LeftButton, {}, PaletteWidth, 10);
    form->ImageColorSelectionRGBMouseMove({}, 10, PaletteHeight);
    form->ImageColorSelectionRGBMouseMove({}, -1, 10);
    EXPECT_EQ(FieldTexts(), QStringList({"0", "0", "0"}));
    EXPECT_EQ(Palette()->tag(), 1);
    const QPoint lastColumn(PaletteWidth - 1, PaletteHeight - 2);
    form->ImageColorSelectionRGBMouseMove({}, lastColumn.x(), lastColumn.y());
    EXPECT_EQ(form->PreviewColour(), StoredPalettePixel(lastColumn.x(), lastColumn.y()));
    EXPECT_EQ(FieldTexts(), QStringList({"1", "0", "0"}));
}

struct TypedCase {
    const char *name;
    const char *start;
    // Keys pressed before typing, to place the cursor.
    Qt::Key cursorKey;
    const char *typed;
    const char *text;
    int value;
};

// The start text is typed too (after the field was emptied), so the track bar always holds
// what the field last showed as a number.
const TypedCase TypedCases[] = {
    {"digit into an empty field", "", Qt::Key_End, "4", "4", 4},
    {"second digit beyond 31", "4", Qt::Key_End, "0", "31", 31},
    {"sign alone", "", Qt::Key_End, "-", "0", 0},
    {"sign in front of a number", "5", Qt::Key_Home, "-", "0", 0},
    {"sign behind a number", "5", Qt::Key_End, "-", "5", 5},
    {"leading zero", "", Qt::Key_End, "07", "7", 7},
    {"letter after a number", "12", Qt::Key_End, "a", "12", 12},
};

TEST_F(PickerTest, TypedFieldTextsSetTheRedChannel)
{
    for (const TypedCase &c : TypedCases) {
        SCOPED_TRACE(c.name);
        form->EditRED->setFocus();
        form->EditRED->clear();
        QTest::keyClicks(form->EditRED, c.start);
        QTest::keyClick(form->EditRED, c.cursorKey);
        QTest::keyClicks(form->EditRED, c.typed);
        EXPECT_EQ(form->EditRED->text(), QString(c.text));
        EXPECT_EQ(form->TrackBarRED->position(), Bottom - c.value);
        EXPECT_EQ(form->PreviewColour(), DisplayFromChannels(c.value, 0, 0));
    }
}

struct SetCase {
    const char *text;
    const char *shown;
    int value;
};

// Texts the program sets (or the user pastes) while the track bar holds 12.
const SetCase SetCases[] = {
    {"99999999999", "12", 12}, {" 31", "31", 31}, {"$1F", "31", 31}, {"0x1F", "31", 31},
    {"x1f", "31", 31},         {"-3", "0", 0},    {"40", "31", 31},  {"31 ", "12", 12},
    {"-$1F", "12", 12},        {" ", "12", 12},   {"+9", "9", 9},
};

TEST_F(PickerTest, FieldTextsAreClampedOrReplacedByTheTrackBarValue)
{
    for (const SetCase &c : SetCases) {
        SCOPED_TRACE(c.text);
        form->EditBLUE->setText("12");
        form->EditBLUE->setText(c.text);
        EXPECT_EQ(form->EditBLUE->text(), QString(c.shown));
        EXPECT_EQ(form->TrackBarBLUE->position(), Bottom - c.value);
        EXPECT_EQ(form->PreviewColour(), DisplayFromChannels(0, 0, c.value));
    }
}

TEST_F(PickerTest, EmptiedFieldCountsAsZeroAndStaysEmpty)
{
    Pick(WhitePixel);
    form->EditGREEN->setFocus();
    QTest::keyClick(form->EditGREEN, Qt::Key_End);
    QTest::keyClick(form->EditGREEN, Qt::Key_Backspace);
    QTest::keyClick(form->EditGREEN, Qt::Key_Backspace);
    EXPECT_EQ(form->EditGREEN->text(), QString());
    EXPECT_EQ(form->TrackBarGREEN->position(), Bottom);
    EXPECT_EQ(form->PreviewColour(), 0xF800F8u);
}

TEST_F(PickerTest, BlueBarAtTheTopGivesF8NotFF)
{
    form->TrackBarBLUE->setFocus();
    QTest::keyClick(form->TrackBarBLUE, Qt::Key_Home);
    EXPECT_EQ(form->TrackBarBLUE->position(), Top);
    EXPECT_EQ(form->EditBLUE->text(), QString("31"));
    EXPECT_EQ(form->PreviewColour(), 0xF80000u);
}

// A track bar move composes the preview from all three bars, so the low bits that a pick of
// white left in the other channels go too.
TEST_F(PickerTest, TrackBarMoveRecomposesTheWholePreview)
{
    Pick(WhitePixel);
    Pick(WhitePixel);
    form->TrackBarRED->setFocus();
    QTest::keyClick(form->TrackBarRED, Qt::Key_Down);
    EXPECT_EQ(FieldTexts(), QStringList({"30", "31", "31"}));
    EXPECT_EQ(form->PreviewColour(), DisplayFromChannels(30, 31, 31));
}

class PaletteVariantTest : public PickerTest {
protected:
    QImage Picture() const { return Palette()->picture(); }

    // The dark variant is the stored dark band at double height, moved by the margins.
    void ExpectDarkVariant() const
    {
        for (int y = Margin; y < PaletteHeight; ++y) {
            for (int x = Margin; x < PaletteWidth; ++x) {
                const int storedRow = FirstDarkRow + (y - Margin) / 2;
                ASSERT_EQ(FromQColor(PixelAt(x, y)), StoredPalettePixel(x - Margin, storedRow))
                    << "x=" << x << " y=" << y;
            }
        }
    }

    // The bright variant is the stored bright band from white downwards at double height,
    // each sector holding the hues of the opposite sector.
    void ExpectBrightVariant() const
    {
        for (int y = Margin; y < PaletteHeight; ++y) {
            for (int x = Margin; x < PaletteWidth; ++x) {
                const int sector = (x - Margin) / PaletteStepCount;
                const int step = (x - Margin) % PaletteStepCount;
                const int opposite = (sector + 3) % PaletteSectorCount;
                const int storedRow = FirstBrightRow + (y - Margin) / 2;
                ASSERT_EQ(FromQColor(PixelAt(x, y)),
                          StoredPalettePixel(opposite * PaletteStepCount + step, storedRow))
                    << "x=" << x << " y=" << y;
            }
        }
    }

    void ExpectMarginsKept() const
    {
        for (int x = 0; x < PaletteWidth; ++x) {
            for (int y = 0; y < PaletteHeight; ++y) {
                if (x >= Margin && y >= Margin)
                    continue;
                ASSERT_EQ(FromQColor(PixelAt(x, y)), StoredPalettePixel(x, y))
                    << "x=" << x << " y=" << y;
            }
        }
    }

    static constexpr int Margin = 3;
};

TEST_F(PaletteVariantTest, AltOneBeforeAnyAltTwoChangesNothing)
{
    const QImage before = Picture();
    QTest::keyClick(form.get(), Qt::Key_1, Qt::AltModifier);
    EXPECT_EQ(form->TabSetColorPalette->tabIndex(), 0);
    EXPECT_EQ(Picture(), before);
}

TEST_F(PaletteVariantTest, AltTwoDrawsTheBrightVariantAndAltOneTheDark)
{
    QTest::keyClick(form.get(), Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(form->TabSetColorPalette->tabIndex(), 1);
    ExpectBrightVariant();
    ExpectMarginsKept();

    QTest::keyClick(form.get(), Qt::Key_1, Qt::AltModifier);
    EXPECT_EQ(form->TabSetColorPalette->tabIndex(), 0);
    ExpectDarkVariant();
    ExpectMarginsKept();
}

TEST_F(PaletteVariantTest, PlainKeysSwitchWhileAButtonHasTheFocus)
{
    form->PatchIt->setFocus();
    QTest::keyClick(form->PatchIt, Qt::Key_2);
    ExpectBrightVariant();
    QTest::keyClick(form->PatchIt, Qt::Key_1);
    ExpectDarkVariant();
}

TEST_F(PaletteVariantTest, PicksReadWhatWasDrawnLast)
{
    QTest::keyClick(form.get(), Qt::Key_2, Qt::AltModifier);
    Pick({Margin, Margin});
    EXPECT_EQ(form->PreviewColour(), 0xF8F8F8u);
    // The stored picture is black here; the bright variant puts level 1 of the hues there.
    Pick({Margin, PaletteHeight - 1});
    EXPECT_EQ(FieldTexts(), QStringList({"1", "31", "31"}));
    EXPECT_EQ(form->PreviewColour(), DisplayFromChannels(1, 31, 31));
}

} // namespace
