#include "huefile/colour.h"
#include "huefile/palette.h"

#include <gtest/gtest.h>

namespace {

constexpr int PureHueBrightRow = 32;
constexpr int PureHueDarkRow = 33;

int BrightRow(int level)
{
    return PureHueBrightRow - level;
}

int DarkRow(int level)
{
    return PureHueDarkRow + level;
}

int Column(int sector, int step)
{
    return sector * PaletteStepCount + step;
}

TEST(StoredPalette, RowZeroIsFullWhiteAndOnlyItHasLowBits)
{
    for (int x = 0; x < PaletteWidth; ++x) {
        EXPECT_EQ(StoredPalettePixel(x, 0), 0xFFFFFFu) << "x=" << x;
        for (int y = 1; y < PaletteHeight; ++y)
            ASSERT_EQ(StoredPalettePixel(x, y) & 0x070707u, 0u) << "x=" << x << " y=" << y;
    }
}

TEST(StoredPalette, BothBandsMeetAtThePureHues)
{
    for (int x = 0; x < PaletteWidth; ++x)
        EXPECT_EQ(StoredPalettePixel(x, PureHueBrightRow), StoredPalettePixel(x, PureHueDarkRow))
            << "x=" << x;
}

TEST(StoredPalette, SectorsStartAtTheirPureHuesLeftToRight)
{
    const struct {
        int sector;
        DisplayColour hue;
    } cases[] = {{0, 0x0000F8}, {1, 0x00F8F8}, {2, 0x00F800},
                 {3, 0xF8F800}, {4, 0xF80000}, {5, 0xF800F8}};
    for (const auto &c : cases)
        EXPECT_EQ(StoredPalettePixel(Column(c.sector, 0), PureHueDarkRow), c.hue)
            << "sector " << c.sector;
}

// Each sector ends, at every level, on the colour the next one starts with, so the hues run
// round without a seam.
TEST(StoredPalette, EachSectorEndsWhereTheNextBegins)
{
    for (int sector = 0; sector < PaletteSectorCount; ++sector) {
        const int next = (sector + 1) % PaletteSectorCount;
        for (int y = 1; y < PaletteHeight; ++y)
            EXPECT_EQ(StoredPalettePixel(Column(sector, PaletteStepCount - 1), y),
                      StoredPalettePixel(Column(next, 0), y))
                << "sector " << sector << " y=" << y;
    }
}

TEST(StoredPalette, DarkBandHoldsItsFirstStepsAtEachLevel)
{
    for (int sector = 0; sector < PaletteSectorCount; ++sector) {
        for (int level = 0; level < PaletteLevelCount; ++level) {
            const DisplayColour first = StoredPalettePixel(Column(sector, 0), DarkRow(level));
            for (int step = 1; step <= level; ++step)
                EXPECT_EQ(StoredPalettePixel(Column(sector, step), DarkRow(level)), first)
                    << "sector " << sector << " level " << level << " step " << step;
            if (level + 1 < PaletteStepCount) {
                EXPECT_NE(StoredPalettePixel(Column(sector, level + 1), DarkRow(level)), first)
                    << "sector " << sector << " level " << level;
            }
        }
    }
}

TEST(StoredPalette, BrightBandIsTheComplementOfTheOppositeDarkSector)
{
    for (int sector = 0; sector < PaletteSectorCount; ++sector) {
        const int opposite = (sector + 3) % PaletteSectorCount;
        for (int step = 0; step < PaletteStepCount; ++step) {
            for (int level = 0; level < PaletteLevelCount; ++level) {
                const DisplayColour dark =
                    StoredPalettePixel(Column(opposite, step), DarkRow(level));
                EXPECT_EQ(StoredPalettePixel(Column(sector, step), BrightRow(level)),
                          0xF8F8F8u - dark)
                    << "sector " << sector << " step " << step << " level " << level;
            }
        }
    }
}

} // namespace
