#include "support/test_support.h"

#include "app/qt_colour.h"
#include "browser/browser_label.h"
#include "huefile/colour.h"
#include "huefile/hue_entry.h"
#include "widgets/draw_grid.h"
#include "widgets/picture_box.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <functional>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <cmath>
#include <gtest/gtest.h>
#include <qdrawutil.h>

namespace {

// The text as it shows: an accelerator's "&" is drawn as an underline, "&&" as one "&".
QString Shown(QString text)
{
    return text.replace("&&", "\x01").remove('&').replace('\x01', '&');
}

struct Room {
    QString what;
    int needed;
    int available;
};

// Every caption's width in its own font against the room its control gives it. Labels size
// themselves to their text; the other controls keep their given size, so their text must fit.
std::vector<Room> CaptionRooms(const TForm1 &form)
{
    std::vector<Room> rooms;
    for (const QLabel *label : form.findChildren<QLabel *>()) {
        if (label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        rooms.push_back({label->text(),
                         label->fontMetrics().horizontalAdvance(Shown(label->text())),
                         label->contentsRect().width()});
    }
    // A check box or radio button draws its caption from where the style puts it to its own
    // right edge; a push button centres it inside its frame.
    for (const QAbstractButton *button : form.findChildren<QAbstractButton *>()) {
        if (button->text().isEmpty() || !button->isVisibleTo(&form))
            continue;
        const int text = button->fontMetrics().horizontalAdvance(Shown(button->text()));
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QStyle::SubElement contents =
            qobject_cast<const QPushButton *>(button)    ? QStyle::SE_PushButtonContents
            : qobject_cast<const QRadioButton *>(button) ? QStyle::SE_RadioButtonContents
                                                         : QStyle::SE_CheckBoxContents;
        const QRect room = button->style()->subElementRect(contents, &option, button);
        const int available = qobject_cast<const QPushButton *>(button)
                                  ? room.width()
                                  : button->width() - room.left();
        rooms.push_back({button->text(), text, available});
    }
    for (const QGroupBox *group : form.findChildren<QGroupBox *>())
        rooms.push_back({group->title(),
                         group->fontMetrics().horizontalAdvance(Shown(group->title())),
                         group->width()});
    return rooms;
}

TEST(Captions, NoCaptionIsCutOff)
{
    const TempFolder folder;
    WriteHueFile("patch-hues.mul", 10);
    WriteHueFile("hues.mul", 10);
    const auto form = ShowForm();
    for (const Room &room : CaptionRooms(*form))
        EXPECT_LE(room.needed, room.available)
            << "\"" << room.what.toStdString() << "\" at scale " << form->devicePixelRatioF();
}

// The logo is drawn for the screen's pixel ratio, so it stays sharp: as many picture pixels
// as the screen shows, at the logo's size in the layout.
TEST(Logo, BackgroundTakesTheButtonFaceColourButEnclosedPixelsKeepTheirs)
{
    const TempFolder folder;
    const auto form = ShowForm();
    const QImage &logo = form->Image1->picture();
    const qreal ratio = form->devicePixelRatioF();
    EXPECT_EQ(logo.deviceIndependentSize(), QSizeF(111, 89));
    EXPECT_EQ(logo.devicePixelRatio(), ratio);
    const auto at = [&](int x, int y) { return QColor(logo.pixel(QPoint(x, y) * ratio)); };
    const QColor face = form->palette().color(QPalette::Button);
    EXPECT_EQ(at(0, 0), face);
    EXPECT_EQ(at(110, 88), face);
    // The inside of the ring is not connected to the corner.
    EXPECT_EQ(at(25, 25), QColor(0xC0, 0xC0, 0xC0));
}

// Where two pictures of the same size first differ, for a failure message.
std::string FirstDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return "sizes differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return "device pixel " + std::to_string(x) + "," + std::to_string(y) + ": " +
                       QColor(a.pixel(x, y)).name().toStdString() + " against " +
                       QColor(b.pixel(x, y)).name().toStdString();
    return "none";
}

// The browser writes its swatches and separator straight into one image per row where the
// screen's scale allows; every page must look exactly as painted cell by cell, with the cursor
// on the page (in every kind of column over the pages) and away from it, over a write file that
// ends early, with the differences between the files shown and not.
TEST(BrowserRows, PaintedAsPixelsLookAsPaintedCellByCell)
{
    const TempFolder folder;
    constexpr int WriteEntries = 2222;
    WriteHueFile("patch-hues.mul", MaxEntryNumber, 0);
    WriteHueFile("hues.mul", WriteEntries, 0);
    for (int n = 1; n <= WriteEntries; n += 3)
        ASSERT_TRUE(WriteEntryInPlace("hues.mul", n, PatternEntry(n, 7)));
    const auto form = ShowForm();
    DrawGrid *grid = form->HueGrid1;
    grid->setFocus();
    int cellsAsPixels = 0;
    QObject::connect(grid, &DrawGrid::drawCell, grid, [&](QPainter *, int, int, const QRect &) {
        cellsAsPixels += grid->pixelRowScale() > 0;
    });
    const int page = grid->visibleRowCount();
    ASSERT_GT(page, 10);
    if (grid->devicePixelRatioF() != std::floor(grid->devicePixelRatioF()))
        GTEST_SKIP() << "at scale " << grid->devicePixelRatioF()
                     << " no row can be painted as pixels, so both ways are the painter's";
    // Pixels between the frame's device-thin edges and the cells belong to no one; a picture
    // cleared in advance keeps them equal.
    const auto paint = [&] {
        QImage image(grid->size() * grid->devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(grid->devicePixelRatio());
        image.fill(Qt::transparent);
        grid->render(&image);
        return image;
    };
    const auto grabBothWays = [&](int top, const std::string &where) {
        grid->setTopRow(top);
        grid->setPixelColumns(0, 65);
        const QImage asPixels = paint();
        grid->setPixelColumns(0, -1);
        const QImage cellByCell = paint();
        ASSERT_TRUE(asPixels == cellByCell)
            << where << " at scale " << grid->devicePixelRatioF() << ", first difference at "
            << FirstDifference(asPixels, cellByCell);
    };
    // The cursor's label is put together from characters too, once enough of them were painted.
    for (int row = 0; row < 2 * page + 120; ++row) {
        grid->setCurrentCell(0, row);
        paint();
    }
    int index = 0;
    for (const bool differences : {false, true}) {
        form->ShowDifferences = differences;
        for (int top = 0; top < MaxEntryNumber; top += page, ++index) {
            const std::string where =
                "page from row " + std::to_string(top) + (differences ? " with differences" : "");
            const int cursorCol = index % 2 == 0 ? 0 : index * 7 % grid->colCount();
            grid->setCurrentCell(cursorCol, std::min(top + index % page, 2999));
            grabBothWays(top, where + ", cursor in column " + std::to_string(grid->col()));
            grid->setCurrentCell(grid->col(), top < MaxEntryNumber / 2 ? MaxEntryNumber - 1 : 0);
            grabBothWays(top, where + ", cursor elsewhere");
        }
    }
    // A scale of a whole number of device pixels is painted as pixels; otherwise the
    // comparison above would be of one path with itself.
    EXPECT_GT(cellsAsPixels, MaxEntryNumber * 4 * 64);
    // At a scale of one and a half a logical pixel covers parts of device pixels, which only the
    // painter's own fills get right.
    grid->setPixelColumns(0, 65);
    cellsAsPixels = 0;
    QImage partPixels(grid->size() * 1.5, QImage::Format_ARGB32_Premultiplied);
    partPixels.setDevicePixelRatio(1.5);
    grid->render(&partPixels);
    EXPECT_EQ(cellsAsPixels, 0);
}

// A colour that no swatch, text or line of the browser takes: a hue's channels have five bits.
constexpr QRgb Unpainted = 0xff01fe03;

// The grid as it lands in a window, with its logical top left corner `offset` logical pixels
// into a picture first filled with a colour of its own.
QImage RenderedAt(QWidget *grid, const QPoint &offset)
{
    const qreal ratio = grid->devicePixelRatioF();
    QImage image((grid->size() + QSize(offset.x(), offset.y())) * ratio,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Unpainted);
    grid->render(&image, offset, QRegion(), QWidget::DrawChildren);
    return image;
}

// The browser's page as the toolkit draws it by itself, one plain fill per background, grid
// line and swatch, and each text drawn into its cell with the toolkit's own alignment.
void DrawPageAsTheToolkitWould(QPainter &painter, const DrawGrid &grid, int readSeed, int writeSeed)
{
    const QPalette &colours = grid.palette();
    // Inside the two-pixel frame, left of the scroll bar.
    QRect area = grid.rect().adjusted(2, 2, -2, -2);
    if (const QScrollBar *bar = grid.findChild<QScrollBar *>(); bar && bar->isVisibleTo(&grid))
        area.setRight(bar->geometry().left() - 1);
    painter.setClipRect(QRectF(area));
    painter.fillRect(area, colours.color(QPalette::Base));
    painter.setFont(grid.font());
    for (int row = grid.topRow();
         row < grid.rowCount() && grid.cellRect(0, row).top() <= area.bottom(); ++row) {
        const QRect rowCells =
            grid.cellRect(0, row).united(grid.cellRect(grid.colCount() - 1, row));
        painter.fillRect(rowCells.adjusted(0, 0, 1, 1), colours.color(QPalette::Button));
        const HueEntry read = PatternEntry(row + 1, readSeed);
        const HueEntry write = PatternEntry(row + 1, writeSeed);
        for (int col = 0; col < grid.colCount(); ++col) {
            const QRect cell = grid.cellRect(col, row);
            const bool current = col == grid.col() && row == grid.row();
            const QColor background = colours.color(current ? QPalette::Highlight : QPalette::Base);
            painter.setPen(colours.color(current ? QPalette::HighlightedText : QPalette::Text));
            if (col == 0) {
                painter.fillRect(cell, background);
                painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, BrowserLabel(row + 1));
            } else if (col == 33) {
                painter.fillRect(cell, colours.color(QPalette::Base));
                painter.drawText(cell, Qt::AlignCenter, QStringLiteral("-"));
            } else {
                const bool isRead = col < 33;
                painter.fillRect(
                    cell, ToQRgb(HueToDisplay(isRead ? read : write, isRead ? col - 1 : col - 34)));
            }
        }
    }
}

// At every scale a screen uses, each device pixel of the browser is painted, and the page is what
// plain fills and the toolkit's own centred text give: where a row is a fraction of device
// pixels high too, with the grid at whole and at fractional device positions, over pages that
// start on every phase of the rows against the device pixels, with the cursor on a label and on a
// swatch.
TEST(BrowserRows, CoverEveryDevicePixelAndLookAsTheToolkitDrawsThem)
{
    const TempFolder folder;
    constexpr int ReadSeed = 3;
    constexpr int WriteSeed = 5;
    WriteHueFile("patch-hues.mul", MaxEntryNumber, ReadSeed);
    WriteHueFile("hues.mul", MaxEntryNumber, WriteSeed);
    const auto form = ShowForm();
    DrawGrid *grid = form->HueGrid1;
    const int page = grid->visibleRowCount();
    ASSERT_GT(page, 10);
    const qreal ratio = grid->devicePixelRatioF();
    int index = 0;
    for (const int top : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1234, MaxEntryNumber - page}) {
        for (const int cursorCol : {0, 17, 50}) {
            ++index;
            grid->setTopRow(top);
            grid->setCurrentCell(cursorCol, top + index % page);
            const QPoint offset(index % 3, index % 5);
            const QImage shown = RenderedAt(grid, offset);
            const std::string where = "scale " + std::to_string(ratio) + ", page from row " +
                                      std::to_string(top) + ", cursor in column " +
                                      std::to_string(cursorCol) + ", grid at " +
                                      std::to_string(offset.x()) + "," + std::to_string(offset.y());
            // The frame's edges are a device pixel thick; everything inside them is the grid's.
            // The scroll bar is the toolkit's control, whose clip the toolkit rounds by its
            // corner and size: where that falls short of its edge by a device line, no widget
            // can paint the line.
            const QRect framed(offset * ratio, grid->size() * ratio);
            const QRect inside = framed.adjusted(2, 2, -2, -2);
            const QScrollBar *bar = grid->findChild<QScrollBar *>();
            ASSERT_TRUE(bar && bar->isVisible()) << where;
            const int barLeft = qFloor((offset.x() + bar->x()) * ratio);
            int unpainted = 0;
            QPoint firstUnpainted;
            for (int y = inside.top(); y <= inside.bottom(); ++y)
                for (int x = inside.left(); x <= inside.right(); ++x)
                    if (x < barLeft && shown.pixel(x, y) == Unpainted && ++unpainted == 1)
                        firstUnpainted = QPoint(x, y) - framed.topLeft();
            EXPECT_EQ(unpainted, 0) << where << ", the first at device pixel " << firstUnpainted.x()
                                    << "," << firstUnpainted.y() << " of the grid's "
                                    << framed.width() << " x " << framed.height();

            QImage expected = shown.copy();
            {
                QPainter painter(&expected);
                painter.translate(offset);
                DrawPageAsTheToolkitWould(painter, *grid, ReadSeed, WriteSeed);
            }
            ASSERT_TRUE(shown == expected)
                << where << ", first difference at " << FirstDifference(shown, expected);
        }
    }
}

// The cursor's dotted rectangle inverts every other device pixel all around the cell's fill, on
// each of its four edges, and nothing else; the highlight shows where the fill lies.
TEST(BrowserRows, FocusRectangleRunsAllAroundTheCursor)
{
    const TempFolder folder;
    WriteHueFile("patch-hues.mul", 100);
    WriteHueFile("hues.mul", 100);
    const auto form = ShowForm();
    DrawGrid *grid = form->HueGrid1;
    const QRgb highlight = grid->palette().color(QPalette::Highlight).rgba();
    for (int row = 0; row < 12; ++row) {
        grid->setCurrentCell(0, row);
        form->setFocus();
        ASSERT_FALSE(grid->showsFocus());
        const QPoint offset(row % 3, row % 2);
        const QImage unfocused = RenderedAt(grid, offset);
        grid->setFocus();
        ASSERT_TRUE(grid->showsFocus());
        const QImage focused = RenderedAt(grid, offset);
        QRect fill;
        for (int y = 0; y < unfocused.height(); ++y)
            for (int x = 0; x < unfocused.width(); ++x)
                if (unfocused.pixel(x, y) == highlight)
                    fill |= QRect(x, y, 1, 1);
        const std::string where =
            "scale " + std::to_string(grid->devicePixelRatioF()) + ", row " + std::to_string(row);
        ASSERT_FALSE(fill.isEmpty()) << where;
        const struct {
            const char *name;
            QLine along;
        } edges[] = {{"top", {fill.topLeft(), fill.topRight()}},
                     {"bottom", {fill.bottomLeft(), fill.bottomRight()}},
                     {"left", {fill.topLeft(), fill.bottomLeft()}},
                     {"right", {fill.topRight(), fill.bottomRight()}}};
        int onEdges = 0;
        for (const auto &edge : edges) {
            int inverted = 0;
            const QPoint step((edge.along.dx() > 0) ? 1 : 0, (edge.along.dy() > 0) ? 1 : 0);
            const int length = std::max(edge.along.dx(), edge.along.dy()) + 1;
            for (QPoint at = edge.along.p1(); at != edge.along.p2() + step; at += step)
                inverted += focused.pixel(at) != unfocused.pixel(at);
            EXPECT_GE(inverted, length / 2) << where << ", " << edge.name << " edge";
            onEdges += inverted;
        }
        int changed = 0;
        for (int y = 0; y < focused.height(); ++y)
            for (int x = 0; x < focused.width(); ++x)
                changed += focused.pixel(x, y) != unfocused.pixel(x, y);
        // The corners belong to two edges each.
        EXPECT_LE(changed, onEdges) << where << ": the rectangle strays from the cell's edges";
    }
}

} // namespace

// The grid fills its frame edge by edge for speed; it must still be the toolkit's classic
// sunken panel, pixel for pixel, also where a logical pixel is more than one device pixel.
TEST(GridFrame, IsTheClassicSunkenPanel)
{
    DrawGrid grid;
    grid.resize(60, 40);
    // Painted into an image, the edges are written straight into it; into a pixmap, by the
    // painter. With the scroll bar shown the grid's clip is a region the edges cross.
    const auto intoImage = [&grid] {
        QImage image(grid.size() * grid.devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(grid.devicePixelRatio());
        image.fill(Qt::transparent);
        grid.render(&image);
        return image;
    };
    const auto intoPixmap = [&grid] { return grid.grab().toImage(); };
    for (const bool scrollBar : {false, true}) {
        grid.setRowCount(scrollBar ? 100 : 1);
        grid.setVerticalScrollBarEnabled(scrollBar);
        for (const auto &paint : {std::function<QImage()>(intoImage), std::function<QImage()>(intoPixmap)}) {
            const QImage ours = paint();
            QImage classic(ours.size(), ours.format());
            classic.setDevicePixelRatio(ours.devicePixelRatio());
            classic.fill(Qt::transparent);
            {
                QPainter painter(&classic);
                qDrawWinPanel(&painter, grid.rect(), grid.palette(), true);
            }
            // The panel is two device pixels wide on every side; the scroll bar covers part of
            // the inner right edge.
            const QRect inside = QRect(QPoint(0, 0), ours.size()).adjusted(2, 2, -2, -2);
            int differing = 0;
            for (int y = 0; y < ours.height(); ++y)
                for (int x = 0; x < ours.width(); ++x)
                    differing += !inside.contains(x, y) && ours.pixel(x, y) != classic.pixel(x, y);
            EXPECT_EQ(ours.width(), qRound(60 * ours.devicePixelRatio()));
            EXPECT_EQ(differing, 0) << (scrollBar ? "with" : "without") << " the scroll bar";
        }
    }
}
