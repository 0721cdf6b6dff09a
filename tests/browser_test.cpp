#include "support/test_support.h"

#include "app/qt_colour.h"
#include "browser/browser_label.h"
#include "browser/difference_text.h"
#include "browser/label_pixels.h"
#include "huefile/colour.h"
#include "huefile/file_notices.h"
#include "huefile/hue_file.h"
#include "widgets/draw_grid.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>

// Every hue file the program opens goes through the C library's open; counting the calls by
// file name shows how often painting touches each hue file.
namespace {
std::map<std::string, int> OpenCounts;
}

extern "C" int open(const char *path, int flags, ...)
{
    using Open = int (*)(const char *, int, ...);
    static const auto realOpen = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "open"));
    va_list arguments;
    va_start(arguments, flags);
    const auto mode = static_cast<mode_t>(va_arg(arguments, unsigned));
    va_end(arguments);
    if (path)
        ++OpenCounts[path];
    return realOpen(path, flags, mode);
}

// Built with the checked C library functions, an open whose flags are not a constant goes
// through __open_2 instead, and is counted the same.
extern "C" int __open_2(const char *path, int flags)
{
    using CheckedOpen = int (*)(const char *, int);
    static const auto realCheckedOpen = reinterpret_cast<CheckedOpen>(dlsym(RTLD_NEXT, "__open_2"));
    if (path)
        ++OpenCounts[path];
    return realCheckedOpen(path, flags);
}

namespace {

constexpr int ReadSeed = 0;
constexpr int WriteSeed = 7;
constexpr int FirstTargetColumn = 34;
const QColor TestWindowBackground(0x30, 0x60, 0x90);
const QColor TestButtonFace(0xC0, 0xA0, 0x80);

// Appends the first bytes of an entry, as a file cut off in the middle of a record.
void AppendPartialEntry(const std::string &fileName, int entryNumber, int byteCount)
{
    auto bytes = ReadBytes(fileName);
    const HueEntry entry = PatternEntry(entryNumber, WriteSeed);
    const auto *raw = reinterpret_cast<const unsigned char *>(&entry);
    bytes.insert(bytes.end(), raw, raw + byteCount);
    WriteBytes(fileName, bytes);
}

// A window over a read file and a write file of the given lengths (no file for -1), with
// window background and button face in colours that no other role shares.
class BrowserTest : public FormTest {
protected:
    void Open(int readCount, int writeCount)
    {
        FormTest::Open(readCount, writeCount, ReadSeed, WriteSeed);
        QPalette palette = form->palette();
        palette.setColor(QPalette::Base, TestWindowBackground);
        palette.setColor(QPalette::Button, TestButtonFace);
        form->setPalette(palette);
    }

    QImage GrabGrid() const { return form->HueGrid1->grab().toImage(); }
    QRect Cell(int col, int row) const { return form->HueGrid1->cellRect(col, row); }

    // A real double-click: the first press selects the cell, the second reports the
    // double-click.
    void DoubleClick(int col, int row)
    {
        const QPoint centre = Cell(col, row).center();
        QTest::mouseClick(form->HueGrid1, Qt::LeftButton, {}, centre);
        QTest::mouseDClick(form->HueGrid1, Qt::LeftButton, {}, centre);
        QTest::mouseRelease(form->HueGrid1, Qt::LeftButton, {}, centre);
    }

    void LoadRow(int row)
    {
        bool canSelect = true;
        form->HueGrid1SelectCell(1, row, canSelect);
    }
};

// Every pixel of the cell is the colour, or the mark's frame and 2-pixel-inset bar.
void ExpectSwatch(const QImage &image, const QRect &cell, const QColor &colour,
                  const std::string &where)
{
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            ASSERT_EQ(image.pixelColor(x, y), colour) << where << " at " << x << "," << y;
}

void ExpectMark(const QImage &image, const QRect &cell, const QColor &frame,
                const std::string &where)
{
    const QRect bar = cell.adjusted(1, 2, -1, -2);
    ASSERT_EQ(bar.size(), QSize(2, 7)) << where;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            ASSERT_EQ(image.pixelColor(x, y), bar.contains(x, y) ? TestButtonFace : frame)
                << where << " at " << x << "," << y;
}

TEST(BrowserLabel, ShowsDecimalAndZeroPaddedHex)
{
    const struct {
        int entry;
        const char *label;
    } cases[] = {
        {1, "    1 [0001]"}, {10, "   10 [000a]"}, {256, "  256 [0100]"}, {3000, " 3000 [0bb8]"}};
    for (const auto &c : cases)
        EXPECT_EQ(BrowserLabel(c.entry), c.label) << "entry " << c.entry;
    // The painting path formats by hand; printf's reading of the format is the reference, past
    // the widths too.
    for (int entry = 0; entry <= 0x12345; entry += entry < 5000 ? 1 : 997) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%5d [0%03x]", entry,
                      static_cast<unsigned>(entry));
        ASSERT_EQ(BrowserLabelText(entry).text(), QLatin1String(expected)) << "entry " << entry;
    }
}

// Labels put together from their characters' pictures must be the labels drawn as text, for
// every entry number; a font whose characters cannot stand apart is drawn as text instead.
TEST(BrowserLabel, AssembledFromCharactersLooksAsDrawnWhole)
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(8);
    QFont leaning("Sans", 11);
    leaning.setItalic(true);
    leaning.setBold(true);
    const struct {
        QFont font;
        int scale;
    } cases[] = {{fixed, 1}, {fixed, 2}, {leaning, 1}, {leaning, 2}};
    for (const auto &c : cases) {
        const std::string where =
            c.font.toString().toStdString() + " at scale " + std::to_string(c.scale);
        const LabelPixels::Look look{
            QSize(88, 11), c.scale, c.font, 96, 96, qRgb(0x30, 0x60, 0x90), qRgb(0xF0, 0xE0, 0x10)};
        LabelPixels pixels;
        for (int entry = 1; entry <= MaxEntryNumber; ++entry) {
            QImage drawn(look.cell * look.scale, QImage::Format_RGB32);
            drawn.setDevicePixelRatio(look.scale);
            drawn.setDotsPerMeterX(qRound(look.dpiX / 0.0254));
            drawn.setDotsPerMeterY(qRound(look.dpiY / 0.0254));
            drawn.fill(look.background);
            QPainter painter(&drawn);
            painter.setFont(look.font);
            painter.setPen(QColor::fromRgb(look.text));
            DrawRowLabel(&painter, QRect(QPoint(0, 0), look.cell), BrowserLabel(entry));
            painter.end();
            const BrowserLabelText label(entry);
            ASSERT_TRUE(pixels.label(look, label.text()) == drawn) << where << ", entry " << entry;
        }
        if (c.font == fixed) {
            EXPECT_TRUE(pixels.assemblesFromCharacters()) << where;
        }
    }
}

TEST_F(BrowserTest, ShortFilesShowTheirOwnMarkFromTheFirstMissingRow)
{
    Open(6, 3);
    AppendPartialEntry("hues.mul", 4, 40);
    form->RefreshBrowser();
    const QImage image = GrabGrid();
    for (int row = 0; row < 9; ++row) {
        const HueEntry source = PatternEntry(row + 1, ReadSeed);
        const HueEntry target = PatternEntry(row + 1, WriteSeed);
        for (int index : {0, 17, 31}) {
            const std::string where =
                "row " + std::to_string(row) + " index " + std::to_string(index);
            const QRect readCell = Cell(1 + index, row);
            const QRect writeCell = Cell(FirstTargetColumn + index, row);
            if (row < 6)
                ExpectSwatch(image, readCell, ToQColor(HueToDisplay(source, index)), where);
            else
                ExpectMark(image, readCell, TestWindowBackground, where);
            if (row < 3)
                ExpectSwatch(image, writeCell, ToQColor(HueToDisplay(target, index)), where);
            else
                ExpectMark(image, writeCell, Qt::white, where);
        }
    }
    const QRect separator = Cell(33, 4);
    EXPECT_EQ(image.pixelColor(separator.topLeft()), TestWindowBackground);
    EXPECT_EQ(image.pixelColor(separator.bottomRight()), TestWindowBackground);

    const QRect label = Cell(0, 7);
    int inked = 0;
    for (int y = label.top(); y <= label.bottom(); ++y)
        for (int x = label.left(); x <= label.right(); ++x)
            inked += image.pixelColor(x, y) != image.pixelColor(label.topLeft());
    EXPECT_GT(inked, 10) << "the label of a row beyond both files is drawn all the same";
}

// While the differences are shown, a row's separator is a whole cell of the highlight colour
// exactly when its two entries differ in any byte or only one file holds the entry.
TEST_F(BrowserTest, DifferingRowsMarkTheirSeparator)
{
    Open(8, -1);
    WriteHueFile("hues.mul", 6, ReadSeed);
    HueEntry changed = PatternEntry(2, ReadSeed);
    changed.colours[31] ^= 0x8000;
    ASSERT_TRUE(WriteEntryInPlace("hues.mul", 2, changed));
    changed = PatternEntry(4, ReadSeed);
    changed.name[HueNameLength - 1] = 'z';
    ASSERT_TRUE(WriteEntryInPlace("hues.mul", 4, changed));
    form->FilenameWriteChange();
    const bool marked[] = {false, true, false, true, false, false, true, true, false};
    const QColor highlight = form->HueGrid1->palette().color(QPalette::Highlight);
    for (const bool shown : {false, true}) {
        if (form->ShowDifferences != shown)
            form->ToggleDifferences();
        const QImage image = GrabGrid();
        for (int row = 0; row < 9; ++row) {
            const std::string where = "row " + std::to_string(row) + (shown ? ", shown" : "");
            if (shown && marked[row])
                ExpectSwatch(image, Cell(33, row), highlight, where);
            else
                EXPECT_EQ(image.pixelColor(Cell(33, row).topLeft()), TestWindowBackground) << where;
        }
    }
}

TEST(DifferenceText, NamesThePartsThatDiffer)
{
    const HueEntry base = PatternEntry(5);
    const auto with = [&](const std::function<void(HueEntry &)> &change) {
        HueEntry entry = base;
        change(entry);
        return entry;
    };
    const HueEntry someColours = with([](HueEntry &e) {
        for (int i : {0, 1, 2, 3, 17, 31})
            e.colours[i] ^= 1;
    });
    const HueEntry oneColourAndCarried = with([](HueEntry &e) {
        e.colours[30] ^= 0x8000;
        e.carried[0] ^= 1;
    });
    const HueEntry renamed = with([](HueEntry &e) { e.name[0] = 'E'; });
    const HueEntry bytesBehindName = with([](HueEntry &e) { e.name[HueNameLength - 1] = 'q'; });
    const HueEntry everything = with([](HueEntry &e) {
        e.colours[9] ^= 1;
        e.colours[10] ^= 1;
        e.name[2] = 0;
        e.carried[3] = 7;
    });
    const struct {
        const HueEntry *source;
        const HueEntry *target;
        const char *text;
    } cases[] = {
        {nullptr, nullptr, "In neither file"},
        {nullptr, &base, "Only in the write file"},
        {&base, nullptr, "Only in the read file"},
        {&base, &base, "Same in both files"},
        {&base, &someColours, "Differs in: colours 0-3, 17, 31"},
        {&oneColourAndCarried, &base, "Differs in: colour 30; the carried bytes"},
        {&base, &renamed, "Differs in: the name"},
        {&bytesBehindName, &base, "Differs in: the bytes behind the name's end"},
        {&base, &everything, "Differs in: colours 9-10; the name; the carried bytes"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DifferenceText(CompareEntries(c.source, c.target)), c.text) << c.text;
}

TEST_F(BrowserTest, PaintingOpensEachFileOncePerRowNotPerCell)
{
    Open(100, 100);
    std::vector<int> rowsStarted;
    int cellsPainted = 0;
    QObject::connect(form->HueGrid1, &DrawGrid::drawCell, form.get(),
                     [&](QPainter *, int, int row, const QRect &) {
                         ++cellsPainted;
                         if (rowsStarted.empty() || rowsStarted.back() != row)
                             rowsStarted.push_back(row);
                     });
    form->HueGrid1->setTopRow(40);
    Settle();
    form->CachedRow = -1;
    OpenCounts.clear();
    rowsStarted.clear();
    cellsPainted = 0;
    form->HueGrid1->repaint();

    const int rows = static_cast<int>(rowsStarted.size());
    ASSERT_GE(rows, form->HueGrid1->visibleRowCount());
    EXPECT_EQ(rowsStarted.front(), 40);
    EXPECT_EQ(cellsPainted, rows * 66);
    EXPECT_EQ(OpenCounts[form->ReadFileName()], rows);
    EXPECT_EQ(OpenCounts[form->WriteFileName()], rows);
}

// A write-back or a copy changes the file under the row the last paint cached; the program's
// refresh must show the file, even when its repaint starts with that very row. A write rolled
// back under the browser is logged under the file's short name and shows at the next paint,
// not at once, in the middle of the open that rolled it back.
TEST_F(BrowserTest, AChangeUnderTheCachedRowShowsAtTheNextPaint)
{
    enum class Told { ProgramRefresh, RolledBackNotice };
    for (const Told told : {Told::ProgramRefresh, Told::RolledBackNotice}) {
        SCOPED_TRACE(told == Told::ProgramRefresh ? "refresh" : "notice");
        Open(100, 100);
        form->HueGrid1->repaint();
        const int cached = form->CachedRow;
        ASSERT_GT(cached, 0);
        form->HueGrid1->setTopRow(cached);
        const HueEntry replacement = PatternEntry(1, 99);
        ASSERT_TRUE(WriteEntryInPlace("hues.mul", cached + 1, replacement));
        bool painted = false;
        QObject::connect(form->HueGrid1, &DrawGrid::drawCell, form.get(),
                         [&](QPainter *, int col, int row, const QRect &) {
                             if (row == cached && col == FirstTargetColumn && !painted) {
                                 painted = true;
                                 EXPECT_TRUE(form->RowTargetValid);
                                 EXPECT_TRUE(SameEntry(form->RowTargetHue, replacement));
                             }
                         });
        if (told == Told::ProgramRefresh) {
            form->RefreshBrowser();
            EXPECT_TRUE(painted);
            continue;
        }
        form->MemoLog->clear();
        Notify(NoticeKind::RolledBack, "far/away/hues.mul",
               "an interrupted write of 2920 entries was rolled back");
        EXPECT_FALSE(painted);
        EXPECT_EQ(LogLines(*form),
                  QStringList(
                      {"NOTICE    hues.mul: an interrupted write of 2920 entries was rolled back"}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return painted; }, 2000));
    }
}

TEST_F(BrowserTest, CursorPositionReloadsOnEveryCursorMove)
{
    Open(50, 50);
    ASSERT_TRUE(form->RadioButtonGetColor2->isChecked());
    form->HueGrid1->setFocus();
    QTest::keyClick(form->HueGrid1, Qt::Key_Down);
    EXPECT_EQ(form->BrowserRow, 1);
    EXPECT_TRUE(SameEntry(form->EditHue, PatternEntry(2, WriteSeed)));
    EXPECT_EQ(form->NumberFrom->text(), "2");
    EXPECT_EQ(form->PendingLogLine, "GET ONE   2");

    // A move within the same row reads the entry again, dropping an edit not written back.
    form->EditHue.colours[3] ^= 0x1F;
    form->PendingLogLine.clear();
    QTest::keyClick(form->HueGrid1, Qt::Key_Right);
    EXPECT_EQ(form->BrowserRow, 1);
    EXPECT_TRUE(SameEntry(form->EditHue, PatternEntry(2, WriteSeed)));
    EXPECT_EQ(form->PendingLogLine, "GET ONE   2");
    EXPECT_TRUE(LogLines(*form).isEmpty());
}

TEST_F(BrowserTest, DoubleClickModeSelectionOnlyMovesBrowserRow)
{
    Open(50, 50);
    form->RadioButtonGetColor1->setChecked(true);
    const HueEntry before = form->EditHue;
    form->HueGrid1->setFocus();
    QTest::keyClick(form->HueGrid1, Qt::Key_Down);
    QTest::keyClick(form->HueGrid1, Qt::Key_Down);
    EXPECT_EQ(form->BrowserRow, 2);
    EXPECT_TRUE(SameEntry(form->EditHue, before));
    EXPECT_EQ(form->NumberFrom->text(), "1");
    EXPECT_TRUE(form->PendingLogLine.isEmpty());

    DoubleClick(10, 5);
    EXPECT_EQ(form->BrowserRow, 5);
    EXPECT_TRUE(SameEntry(form->EditHue, PatternEntry(6, WriteSeed)));
    EXPECT_EQ(form->NumberFrom->text(), "6");
    EXPECT_EQ(form->PendingLogLine, "GET ONE   6");
}

TEST_F(BrowserTest, DoubleClickWithoutWriteFileStillSetsTheCopyFields)
{
    Open(50, -1);
    form->Only1Color->setChecked(false);
    form->TargetOther->setChecked(true);
    form->PendingLogLine = "GET ONE   9";
    DoubleClick(3, 4);

    EXPECT_TRUE(form->Only1Color->isChecked());
    EXPECT_FALSE(form->TargetOther->isChecked());
    EXPECT_EQ(CopyFieldTexts(*form), QStringList(4, "5"));
    EXPECT_FALSE(form->EditHueLoaded);
    EXPECT_EQ(form->PendingLogLine, "GET ONE   9");
    ExpectMark(GrabGrid(), Cell(FirstTargetColumn, 0), Qt::white, "write side");
}

// A record missing from the write file, wholly or in part, must not leave the previous
// entry's bytes in the editor, where a write-back would store them under the new number.
TEST_F(BrowserTest, LoadBeyondTheWriteFileEndGivesNoMixOfTwoEntries)
{
    Open(50, 5);
    AppendPartialEntry("hues.mul", 6, 30);
    for (int row : {5, 9}) {
        LoadRow(2);
        ASSERT_TRUE(SameEntry(form->EditHue, PatternEntry(3, WriteSeed)));
        LoadRow(row);
        const std::string where = "row " + std::to_string(row);
        EXPECT_TRUE(SameEntry(form->EditHue, EntryOnDisk("hues.mul", row + 1))) << where;
        EXPECT_TRUE(form->EditHueLoaded) << where;
        EXPECT_EQ(form->PendingLogLine, "GET ONE   " + QByteArray::number(row + 1)) << where;
    }
}

TEST_F(BrowserTest, LoadSelectsThePreviouslySelectedColourAgain)
{
    Open(50, 50);
    bool canSelect = true;
    form->HueGridEditSelectCell(5, 0, canSelect);
    form->HueGridEditSelectCell(0, 0, canSelect);
    ASSERT_FALSE(form->MixColorOkay->isEnabled());
    LoadRow(7);
    const DisplayColour colour = HueToDisplay(PatternEntry(8, WriteSeed), 4);
    EXPECT_TRUE(form->MixColorOkay->isEnabled());
    EXPECT_EQ(ChannelFieldTexts(*form), ChannelTexts(colour));
}

} // namespace

namespace {

// The grid's pixels as they stand in the window, not painted afresh as grab() would.
QImage OnScreen(const QWidget *widget)
{
    const QPoint origin = widget->mapTo(widget->window(), QPoint(0, 0));
    return widget->screen()
        ->grabWindow(widget->window()->winId(), origin.x(), origin.y(), widget->width(),
                     widget->height())
        .toImage();
}

struct StepCase {
    const char *name;
    int cursorRow; // where the cursor stands before the step, as a row on screen
    std::function<void(DrawGrid *)> step;
};

// A step of one row moves the rows already on screen and reads only the rows whose look
// changes: the one that comes into view and the old and the new cursor. What it leaves on
// screen is what a full repaint shows.
TEST_F(BrowserTest, OneRowStepsReadAtMostThreeRowsAndShowWhatAFullRepaintShows)
{
    const StepCase cases[] = {
        {"arrow down at the bottom edge", -1,
         [](DrawGrid *grid) { QTest::keyClick(grid, Qt::Key_Down); }},
        {"arrow up at the top edge", 0, [](DrawGrid *grid) { QTest::keyClick(grid, Qt::Key_Up); }},
        {"wheel notch down at the bottom edge", -1,
         [](DrawGrid *grid) {
             QWheelEvent notch(QPointF(20, 20), grid->mapToGlobal(QPointF(20, 20)), QPoint(),
                               QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                               false);
             QApplication::sendEvent(grid, &notch);
         }},
        {"scroll bar arrow", 5,
         [](DrawGrid *grid) {
             grid->findChild<QScrollBar *>()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
         }},
    };
    // The cursor on a swatch and on the label, which is painted from a picture of its own.
    for (const int cursorCol : {3, 0})
        for (const StepCase &c : cases) {
            Open(MaxEntryNumber, MaxEntryNumber);
            // Without loads into the editor, every open is the browser's.
            form->RadioButtonGetColor1->setChecked(true);
            DrawGrid *grid = form->HueGrid1;
            grid->setFocus();
            grid->setTopRow(100);
            const int onScreen = c.cursorRow < 0 ? grid->visibleRowCount() - 1 : c.cursorRow;
            grid->setCurrentCell(cursorCol, 100 + onScreen);
            Settle();
            OpenCounts.clear();
            c.step(grid);
            Settle();
            const std::string where =
                std::string(c.name) + ", cursor in column " + std::to_string(cursorCol);
            EXPECT_LE(OpenCounts[form->ReadFileName()], 3) << where;
            EXPECT_LE(OpenCounts[form->WriteFileName()], 3) << where;
            EXPECT_GT(OpenCounts[form->WriteFileName()], 0) << where;
            const QImage stepped = OnScreen(grid);
            form->RefreshBrowser();
            EXPECT_EQ(stepped, OnScreen(grid)) << where;
            form.reset();
        }
}

} // namespace
