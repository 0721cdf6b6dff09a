#include "support/test_support.h"

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
#include <QStyle>
#include <QStyleOptionButton>
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
