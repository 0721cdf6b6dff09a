#include "support/input.h"
#include "widgets/draw_grid.h"
#include "widgets/pixel_row.h"
#include "widgets/plain_style.h"

#include <QApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

using Cell = std::pair<int, int>;

// A window holding one grid, shown and active, so presses give the grid the focus as they
// would on screen.
struct GridWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    DrawGrid *grid = new DrawGrid(window.get());

    explicit GridWindow(const QRect &geometry)
    {
        window->resize(geometry.right() + 40, geometry.bottom() + 80);
        grid->setGeometry(geometry);
    }

    void show() { ShowActive(window.get()); }

    QWindow *handle() const { return window->windowHandle(); }
    QPoint inWindow(const QPoint &gridPoint) const { return grid->mapTo(window.get(), gridPoint); }
    QPoint centreOf(int col, int row) const { return inWindow(grid->cellRect(col, row).center()); }
};

// The browser's geometry: 66 columns, a wide label column and a separator column.
void SetUpBrowserGrid(DrawGrid *grid)
{
    grid->setDefaultColWidth(4);
    grid->setDefaultRowHeight(11);
    grid->setColCount(66);
    grid->setRowCount(3000);
    grid->setColWidth(0, 88);
    grid->setColWidth(33, 9);
}

void SetUpEditorGrid(DrawGrid *grid)
{
    grid->setVerticalScrollBarEnabled(false);
    grid->setDefaultColWidth(8);
    grid->setDefaultRowHeight(19);
    grid->setColCount(33);
    grid->setRowCount(1);
    grid->setColWidth(0, 108);
}

// Three columns of 10 by 10 pixels, without a scroll bar.
void SetUpSmallGrid(DrawGrid *grid, int rows)
{
    grid->setVerticalScrollBarEnabled(false);
    grid->setDefaultColWidth(10);
    grid->setDefaultRowHeight(10);
    grid->setColCount(3);
    grid->setRowCount(rows);
}

// Records the grid's signals in the order they come.
struct SignalLog {
    QStringList events;

    explicit SignalLog(DrawGrid *grid)
    {
        QObject::connect(grid, &DrawGrid::entered, [this] { events << "entered"; });
        QObject::connect(grid, &DrawGrid::selectCell, [this](int col, int row, bool *) {
            events << QString("select %1,%2").arg(col).arg(row);
        });
        QObject::connect(grid, &DrawGrid::doubleClicked, [this] { events << "double"; });
        QObject::connect(grid, &DrawGrid::mousePressed,
                         [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &) {
                             events << QString("press %1").arg(int(button));
                         });
        QObject::connect(grid, &DrawGrid::mouseMoved,
                         [this](Qt::KeyboardModifiers, const QPoint &) { events << "move"; });
        QObject::connect(grid, &DrawGrid::mouseReleased,
                         [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &) {
                             events << QString("release %1").arg(int(button));
                         });
    }

    QStringList take() { return std::exchange(events, {}); }
};

const QString LeftPress = QString("press %1").arg(int(Qt::LeftButton));
const QString LeftRelease = QString("release %1").arg(int(Qt::LeftButton));
const QString RightPress = QString("press %1").arg(int(Qt::RightButton));
const QString RightRelease = QString("release %1").arg(int(Qt::RightButton));

TEST(DrawGridGeometry, CellRectsFollowColumnWidthsGridLinesAndFrame)
{
    DrawGrid grid;
    grid.resize(441, 273);
    SetUpBrowserGrid(&grid);
    struct Case {
        int col, row;
        QRect expected;
    };
    const Case cases[] = {
        {0, 0, QRect(2, 2, 88, 11)},    {1, 0, QRect(91, 2, 4, 11)},
        {32, 0, QRect(246, 2, 4, 11)},  {33, 0, QRect(251, 2, 9, 11)},
        {34, 1, QRect(261, 14, 4, 11)}, {65, 21, QRect(416, 254, 4, 11)},
    };
    for (const Case &c : cases)
        EXPECT_EQ(grid.cellRect(c.col, c.row), c.expected) << "cell " << c.col << "," << c.row;
}

TEST(DrawGridGeometry, EditorGridFitsItsColumnsAndOneRowExactly)
{
    DrawGrid grid;
    grid.resize(401, 23);
    SetUpEditorGrid(&grid);
    const QRect last = grid.cellRect(32, 0);
    // The last cell's grid line is the last pixel column inside the 2-pixel frame.
    EXPECT_EQ(last.right() + 1, grid.width() - 3);
    EXPECT_EQ(last.bottom(), grid.height() - 3);
    EXPECT_EQ(grid.visibleRowCount(), 1);
    int col = -1;
    int row = -1;
    ASSERT_TRUE(grid.cellAt(QPoint(last.right() + 1, last.top()), col, row));
    EXPECT_EQ(col, 32);
    EXPECT_FALSE(grid.cellAt(QPoint(1, 10), col, row)) << "the frame is no cell";
}

TEST(DrawGridGeometry, CellAtCountsGridLinesToThePrecedingCellAndFollowsTheTopRow)
{
    DrawGrid grid;
    grid.resize(441, 273);
    SetUpBrowserGrid(&grid);
    grid.setTopRow(100);
    struct Case {
        QPoint point;
        bool hit;
        int col, row;
    };
    const Case cases[] = {
        {{2, 2}, true, 0, 100},    {{90, 2}, true, 0, 100},    {{91, 13}, true, 1, 100},
        {{91, 14}, true, 1, 101},  {{259, 30}, true, 33, 102}, {{420, 2}, true, 65, 100},
        {{421, 2}, false, -1, -1}, {{0, 0}, false, -1, -1},
    };
    for (const Case &c : cases) {
        int col = -1;
        int row = -1;
        EXPECT_EQ(grid.cellAt(c.point, col, row), c.hit)
            << "at " << c.point.x() << "," << c.point.y();
        if (c.hit) {
            EXPECT_EQ(col, c.col) << "at " << c.point.x() << "," << c.point.y();
            EXPECT_EQ(row, c.row) << "at " << c.point.x() << "," << c.point.y();
        }
    }
}

TEST(DrawGridScrolling, ScrollBarAppearsOnlyWhenRowsDoNotFitAndItIsEnabled)
{
    GridWindow browser(QRect(8, 16, 441, 273));
    SetUpBrowserGrid(browser.grid);
    GridWindow editor(QRect(8, 16, 401, 23));
    SetUpEditorGrid(editor.grid);
    editor.grid->setRowCount(5);
    browser.show();
    editor.show();

    const auto *browserBar = browser.grid->findChild<QScrollBar *>();
    ASSERT_NE(browserBar, nullptr);
    EXPECT_TRUE(browserBar->isVisible());
    EXPECT_EQ(browser.grid->visibleRowCount(), 22);
    EXPECT_EQ(browserBar->maximum(), 3000 - 22);
    EXPECT_LE(browserBar->geometry().right(), browser.grid->width() - 3);
    EXPECT_GT(browserBar->geometry().left(), browser.grid->cellRect(65, 0).right() + 1)
        << "the scroll bar must not cover the last column";

    const auto *editorBar = editor.grid->findChild<QScrollBar *>();
    EXPECT_TRUE(editorBar == nullptr || !editorBar->isVisible());
}

TEST(DrawGridScrolling, ScrollBarScrollsTheViewButNotTheCursor)
{
    GridWindow browser(QRect(8, 16, 441, 273));
    SetUpBrowserGrid(browser.grid);
    browser.show();
    SignalLog log(browser.grid);
    browser.grid->findChild<QScrollBar *>()->setValue(500);
    EXPECT_EQ(browser.grid->topRow(), 500);
    EXPECT_EQ(browser.grid->row(), 0);
    EXPECT_TRUE(log.events.isEmpty());
}

// The scroll bar skips repaints that would show nothing new, so what is on screen after each
// step, at the ends too, must still be what a fresh painting of it shows.
TEST(DrawGridScrolling, ScrollBarOnScreenFollowsEveryStep)
{
    GridWindow browser(QRect(8, 16, 441, 273));
    SetUpBrowserGrid(browser.grid);
    browser.show();
    QWidget *window = browser.window.get();
    auto *bar = browser.grid->findChild<QScrollBar *>();
    PaintCounter barPaints(bar);
    int stepPaints = 0;
    std::vector<QRect> stepPainted;
    const auto press = [&](Qt::Key key) {
        const int before = barPaints.paints;
        QTest::keyClick(browser.grid, key);
        QApplication::processEvents();
        stepPaints += barPaints.paints - before;
        stepPainted.insert(stepPainted.end(), barPaints.painted.begin() + before,
                           barPaints.painted.end());
    };
    const auto onScreen = [&] {
        const QRect at(bar->mapTo(window, QPoint(0, 0)), bar->size());
        return window->screen()
            ->grabWindow(window->winId(), at.x(), at.y(), at.width(), at.height())
            .toImage();
    };
    // A bar repainted as it was is a picture of it: it must still look exactly like a plain
    // one of its window, at an end, leaving it and in between.
    QScrollBar plain(Qt::Vertical, window);
    plain.hide();
    plain.setStyle(bar->style());
    const auto looksPlain = [&] {
        plain.resize(bar->size());
        plain.setRange(bar->minimum(), bar->maximum());
        plain.setPageStep(bar->pageStep());
        plain.setValue(bar->value());
        return plain.grab().toImage() == bar->grab().toImage();
    };
    press(Qt::Key_End);
    stepPainted.clear();
    std::vector<Qt::Key> keys(30, Qt::Key_Up);
    keys.insert(keys.end(), {Qt::Key_Home, Qt::Key_PageDown});
    keys.insert(keys.end(), 120, Qt::Key_Down);
    int steps = 0;
    for (const Qt::Key key : keys) {
        press(key);
        ++steps;
        ASSERT_TRUE(onScreen() == bar->grab().toImage())
            << "after step " << steps << ", top row " << browser.grid->topRow();
        ASSERT_TRUE(looksPlain()) << "after step " << steps;
    }
    EXPECT_LT(stepPaints, steps / 2) << "a step that moves the slider by no pixel repaints nothing";
    // Only leaving the end, reaching the start and leaving it again change the arrow buttons;
    // every other step that moves the slider repaints its groove alone.
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Vertical;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    const QRect groove = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                      QStyle::SC_ScrollBarGroove, bar);
    const auto wholeBar = std::count_if(stepPainted.begin(), stepPainted.end(),
                                        [&](const QRect &rect) { return !groove.contains(rect); });
    EXPECT_LE(wholeBar, 3);
    EXPECT_GT(stepPainted.size(), static_cast<size_t>(wholeBar));
}

// The plain style draws a slider from a picture of its look, which must show exactly what the
// style it is built on draws: at any place, after a look of another size, colour or state, and
// at scale 2.
TEST(PlainStyle, SliderShowsWhatItsBaseStyleDraws)
{
    const std::unique_ptr<QStyle> plain(CreatePlainStyle());
    const std::unique_ptr<QStyle> base(QStyleFactory::create("Windows"));
    QPalette greyish = QApplication::palette();
    greyish.setColor(QPalette::Button, QColor(0x80, 0x70, 0x60));
    const struct {
        QRect slider;
        qreal scale;
        QPalette palette;
        bool enabled;
    } looks[] = {
        {{0, 20, 16, 30}, 1, QApplication::palette(), true},
        {{0, 57, 16, 30}, 1, QApplication::palette(), true},
        {{3, 5, 16, 31}, 1, QApplication::palette(), true},
        {{3, 5, 16, 31}, 1, greyish, true},
        {{3, 9, 16, 31}, 1, QApplication::palette(), false},
        {{1, 2, 16, 30}, 2, QApplication::palette(), true},
        {{1, 41, 16, 30}, 2, QApplication::palette(), true},
    };
    for (const auto &look : looks) {
        QStyleOptionSlider option;
        option.rect = look.slider;
        option.palette = look.palette;
        option.orientation = Qt::Vertical;
        option.state = look.enabled ? QStyle::State_Enabled : QStyle::State_None;
        const auto drawn = [&](const QStyle &style) {
            QImage image(QSize(24, 100) * look.scale, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(look.scale);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            style.drawControl(QStyle::CE_ScrollBarSlider, &option, &painter);
            return image;
        };
        EXPECT_EQ(drawn(*plain), drawn(*base))
            << "slider at " << look.slider.y() << ", scale " << look.scale;
    }
}

struct PaintedCells {
    std::vector<Cell> cells;
    explicit PaintedCells(DrawGrid *grid)
    {
        QObject::connect(
            grid, &DrawGrid::drawCell,
            [this](QPainter *, int col, int row, const QRect &) { cells.emplace_back(col, row); });
    }
};

TEST(DrawGridPainting, PaintsVisibleCellsRowByRowLeftToRight)
{
    GridWindow host(QRect(0, 0, 4 + 3 * 11 - 5, 4 + 3 * 11 + 5));
    DrawGrid *grid = host.grid;
    SetUpSmallGrid(grid, 10);
    host.show();
    PaintedCells painted(grid);

    grid->repaint();
    // The third column and the fourth row are partly visible and painted; nothing beyond.
    std::vector<Cell> expected;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            expected.emplace_back(col, row);
    EXPECT_EQ(painted.cells, expected);

    grid->setTopRow(5);
    grid->repaint();
    painted.cells.clear();
    grid->repaint(grid->cellRect(1, 6));
    EXPECT_EQ(painted.cells, (std::vector<Cell>{{1, 6}}));
}

TEST(DrawGridPainting, CurrentCellIsPaintedWithHighlightAndTheOwnerGetsTheGridsFont)
{
    GridWindow host(QRect(0, 0, 60, 40));
    DrawGrid *grid = host.grid;
    SetUpSmallGrid(grid, 2);
    QFont font("Courier New");
    font.setPixelSize(11);
    grid->setFont(font);
    grid->setCurrentCell(1, 1);
    host.show();
    std::vector<std::pair<Cell, QColor>> pens;
    QObject::connect(grid, &DrawGrid::drawCell,
                     [&](QPainter *painter, int col, int row, const QRect &) {
                         EXPECT_EQ(painter->font().pixelSize(), 11);
                         pens.push_back({{col, row}, painter->pen().color()});
                     });
    grid->repaint();
    const QImage image = grid->grab().toImage();
    const QPalette palette = grid->palette();
    const QRect current = grid->cellRect(1, 1);
    const QRect other = grid->cellRect(2, 0);
    EXPECT_EQ(image.pixelColor(current.center()), palette.color(QPalette::Highlight));
    EXPECT_EQ(image.pixelColor(other.center()), palette.color(QPalette::Base));
    for (const auto &[cell, pen] : pens) {
        const bool isCurrent = cell == Cell{1, 1};
        EXPECT_EQ(pen, palette.color(isCurrent ? QPalette::HighlightedText : QPalette::Text))
            << "cell " << cell.first << "," << cell.second;
    }
}

// A small grid whose owner fills every cell red and spills 3 pixels past it on all sides.
struct SpillingGrid {
    GridWindow host{QRect(0, 0, 4 + 3 * 11, 4 + 2 * 11)};
    DrawGrid *grid = host.grid;

    SpillingGrid()
    {
        SetUpSmallGrid(grid, 2);
        grid->setCurrentCell(2, 1);
        QObject::connect(grid, &DrawGrid::drawCell,
                         [](QPainter *painter, int col, int, const QRect &rect) {
                             if (col == 0)
                                 painter->fillRect(rect.adjusted(-3, -3, 3, 3), Qt::red);
                         });
        host.show();
    }
};

TEST(DrawGridPainting, AColumnThatDoesNotOptOutKeepsItsOwnerInsideTheCell)
{
    SpillingGrid spilling;
    DrawGrid *grid = spilling.grid;
    grid->repaint();
    const QImage image = grid->grab().toImage();
    const QRect cell = grid->cellRect(0, 0);
    EXPECT_EQ(image.pixelColor(cell.center()), QColor(Qt::red));
    // The grid line right of the cell and the neighbouring cell keep the grid's colours.
    EXPECT_NE(image.pixelColor(cell.right() + 1, cell.center().y()), QColor(Qt::red));
    EXPECT_NE(image.pixelColor(cell.right() + 2, cell.center().y()), QColor(Qt::red));
}

TEST(DrawGridPainting, GridLinesFollowWidthAndPaletteChangesAfterTheFirstPaint)
{
    SpillingGrid spilling;
    DrawGrid *grid = spilling.grid;
    grid->repaint();
    grid->setColWidth(1, 14);
    QPalette palette = grid->palette();
    palette.setColor(QPalette::Base, QColor(0x12, 0x34, 0x56));
    grid->setPalette(palette);
    grid->repaint();
    const QImage image = grid->grab().toImage();
    const QRect widened = grid->cellRect(1, 0);
    EXPECT_EQ(widened.width(), 14);
    EXPECT_EQ(image.pixelColor(widened.right(), widened.center().y()), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(image.pixelColor(widened.right() + 1, widened.center().y()),
              grid->palette().color(QPalette::Button))
        << "the grid line moved with the wider column";
}

class DrawGridEvents : public ::testing::Test {
protected:
    GridWindow host{QRect(10, 10, 401, 23)};
    DrawGrid *grid = host.grid;

    void SetUp() override
    {
        SetUpEditorGrid(grid);
        // Something else holds the focus first, so that a press on the grid brings it in.
        auto *other = new QWidget(host.window.get());
        other->setFocusPolicy(Qt::StrongFocus);
        other->setGeometry(10, 40, 20, 20);
        host.show();
        other->setFocus();
        ASSERT_FALSE(grid->hasFocus());
    }
};

TEST_F(DrawGridEvents, PressDragAndReleaseComeInTheOrderTheOwnersRelyOn)
{
    SignalLog log(grid);
    QTest::mousePress(host.handle(), Qt::LeftButton, {}, host.centreOf(3, 0));
    EXPECT_EQ(log.take(), (QStringList{"entered", "select 3,0", LeftPress}));
    EXPECT_EQ(grid->col(), 3);

    QTest::mouseMove(host.handle(), host.centreOf(3, 0) + QPoint(1, 0));
    EXPECT_EQ(log.take(), QStringList{"move"}) << "a move inside the same cell selects nothing";

    QTest::mouseMove(host.handle(), host.centreOf(4, 0));
    EXPECT_EQ(log.take(), (QStringList{"select 4,0", "move"}));
    QTest::mouseMove(host.handle(), host.centreOf(6, 0));
    EXPECT_EQ(log.take(), (QStringList{"select 6,0", "move"}));
    EXPECT_EQ(grid->col(), 6);

    // Outside every cell, the grid keeps the pointer but selects nothing.
    QTest::mouseMove(host.handle(), host.inWindow(QPoint(200, 60)));
    EXPECT_EQ(log.take(), QStringList{"move"});
    QTest::mouseRelease(host.handle(), Qt::LeftButton, {}, host.inWindow(QPoint(200, 60)));
    EXPECT_EQ(log.take(), QStringList{LeftRelease});

    QTest::mouseMove(host.handle(), host.centreOf(8, 0));
    EXPECT_EQ(log.take(), QStringList{}) << "without a button and without tracking";
    EXPECT_EQ(grid->col(), 6);
}

TEST_F(DrawGridEvents, PressOnTheCurrentCellSelectsItAgain)
{
    grid->setCurrentCell(5, 0);
    SignalLog log(grid);
    QTest::mouseClick(host.handle(), Qt::LeftButton, {}, host.centreOf(5, 0));
    EXPECT_EQ(log.take(), (QStringList{"entered", "select 5,0", LeftPress, LeftRelease}));
}

TEST_F(DrawGridEvents, DoubleClickReportsTheDoubleClickInsteadOfASecondSelection)
{
    SignalLog log(grid);
    QTest::mouseDClick(host.handle(), Qt::LeftButton, {}, host.centreOf(2, 0));
    QTest::mouseRelease(host.handle(), Qt::LeftButton, {}, host.centreOf(2, 0));
    EXPECT_EQ(log.take(), (QStringList{"entered", "select 2,0", LeftPress, LeftRelease, "double",
                                       LeftPress, LeftRelease}));
}

TEST_F(DrawGridEvents, RightPressTakesTheFocusButSelectsNothing)
{
    SignalLog log(grid);
    QTest::mousePress(host.handle(), Qt::RightButton, {}, host.centreOf(7, 0));
    QTest::mouseMove(host.handle(), host.centreOf(9, 0));
    QTest::mouseRelease(host.handle(), Qt::RightButton, {}, host.centreOf(9, 0));
    EXPECT_EQ(log.take(), (QStringList{"entered", RightPress, "move", RightRelease}));
    EXPECT_EQ(grid->col(), 0);
}

TEST_F(DrawGridEvents, MouseTrackingReportsMovesWithoutAButtonButSelectsNothing)
{
    grid->setMouseTracking(true);
    SignalLog log(grid);
    QTest::mouseMove(host.handle(), host.centreOf(4, 0));
    QTest::mouseMove(host.handle(), host.centreOf(5, 0));
    EXPECT_EQ(log.take(), (QStringList{"move", "move"}));
    EXPECT_EQ(grid->col(), 0);
}

TEST_F(DrawGridEvents, RefusedSelectionKeepsTheCursor)
{
    QObject::connect(grid, &DrawGrid::selectCell,
                     [](int col, int, bool *canSelect) { *canSelect = col != 4; });
    QTest::mousePress(host.handle(), Qt::LeftButton, {}, host.centreOf(3, 0));
    QTest::mouseMove(host.handle(), host.centreOf(4, 0));
    EXPECT_EQ(grid->col(), 3);
    QTest::mouseMove(host.handle(), host.centreOf(5, 0));
    QTest::mouseRelease(host.handle(), Qt::LeftButton, {}, host.centreOf(5, 0));
    EXPECT_EQ(grid->col(), 5);
    QTest::keyClick(grid, Qt::Key_Left);
    EXPECT_EQ(grid->col(), 5);
}

class DrawGridKeys : public ::testing::Test {
protected:
    GridWindow host{QRect(8, 16, 441, 273)};
    DrawGrid *grid = host.grid;
    std::vector<Cell> selected;

    void SetUp() override
    {
        SetUpBrowserGrid(grid);
        QObject::connect(grid, &DrawGrid::selectCell,
                         [this](int col, int row, bool *) { selected.emplace_back(col, row); });
        host.show();
        grid->setFocus();
    }
};

TEST_F(DrawGridKeys, KeysMoveTheCursorThroughSelectCellAndKeepItVisible)
{
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        Cell expected;
    };
    const int page = grid->visibleRowCount();
    const Step steps[] = {
        {Qt::Key_Down, {}, {0, 1}},
        {Qt::Key_Right, {}, {1, 1}},
        {Qt::Key_End, {}, {65, 1}},
        {Qt::Key_PageDown, {}, {65, 1 + page}},
        {Qt::Key_PageDown, {}, {65, 1 + 2 * page}},
        {Qt::Key_Up, {}, {65, 2 * page}},
        {Qt::Key_Home, {}, {0, 2 * page}},
        {Qt::Key_PageUp, {}, {0, page}},
        {Qt::Key_End, Qt::ControlModifier, {65, 2999}},
        {Qt::Key_Left, {}, {64, 2999}},
        {Qt::Key_Home, Qt::ControlModifier, {0, 0}},
    };
    for (const Step &step : steps) {
        selected.clear();
        QTest::keyClick(grid, step.key, step.modifiers);
        EXPECT_EQ(selected, std::vector<Cell>{step.expected}) << "key " << step.key;
        EXPECT_EQ((Cell{grid->col(), grid->row()}), step.expected) << "key " << step.key;
        EXPECT_GE(grid->row(), grid->topRow()) << "key " << step.key;
        EXPECT_LT(grid->row(), grid->topRow() + page) << "key " << step.key;
    }
}

TEST_F(DrawGridKeys, KeysThatCannotMoveTheCursorRaiseNothing)
{
    SignalLog log(grid);
    for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Left, Qt::Key_PageUp, Qt::Key_Home})
        QTest::keyClick(grid, key);
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    log.take();
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_PageDown, Qt::Key_End})
        QTest::keyClick(grid, key);
    EXPECT_EQ(log.take(), QStringList{});
    EXPECT_EQ(grid->topRow(), 3000 - grid->visibleRowCount());
}

TEST_F(DrawGridKeys, WheelMovesTheCursorOneRowPerNotch)
{
    grid->setCurrentCell(3, 10);
    const QPoint at = grid->cellRect(3, 10).center();
    QWheelEvent down(at, grid->mapToGlobal(at), QPoint(), QPoint(0, -240), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid, &down);
    EXPECT_EQ(selected, (std::vector<Cell>{{3, 11}, {3, 12}}));
    QWheelEvent up(at, grid->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid, &up);
    EXPECT_EQ(grid->row(), 11);
}

// A row of cells with a grid line after some columns and along the bottom, in device pixels.
QImage GridRowBackground(int width, int cellHeight, int scale, const std::vector<int> &lines)
{
    QImage background(QSize(width, cellHeight + 1) * scale, QImage::Format_RGB32);
    background.setDevicePixelRatio(scale);
    background.fill(QColor(0x20, 0x40, 0x60));
    QPainter painter(&background);
    for (const int x : lines)
        painter.fillRect(x, 0, 1, cellHeight + 1, QColor(0xA0, 0xA0, 0xA0));
    painter.fillRect(0, cellHeight, width, 1, QColor(0xA0, 0xA0, 0xA0));
    return background;
}

struct RowWrite {
    QRect rect;
    QRgb colour;
    bool copy;
};

// Fills and copies in the cells' lines, across and beyond the row's ends, over the whole height
// of the cells or part of it.
rc::Gen<RowWrite> AnyRowWrite(int width, int cellHeight)
{
    return rc::gen::exec([=] {
        const bool wholeHeight = *rc::gen::arbitrary<bool>();
        const int top = wholeHeight ? 0 : *rc::gen::inRange(0, cellHeight);
        const int height = wholeHeight ? cellHeight : *rc::gen::inRange(1, cellHeight - top + 1);
        const QRect rect(*rc::gen::inRange(-2, width), top, *rc::gen::inRange(1, width / 2 + 2),
                         height);
        return RowWrite{rect, *rc::gen::arbitrary<QRgb>() | 0xFF000000,
                        *rc::gen::arbitrary<bool>()};
    });
}

// The pixels a copy brings, in a pattern of its own colour.
QImage CopiedPixels(const QRect &rect, QRgb colour, int scale)
{
    QImage pixels(rect.size() * scale, QImage::Format_RGB32);
    pixels.setDevicePixelRatio(scale);
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            pixels.setPixel(x, y, (x + y) % 3 ? colour : qRgb(x, y, 7));
    return pixels;
}

// Pixels are written straight into a painted image only where the system clip holds them
// wholly: elsewhere they would land on a child widget that is not painted again. A window's
// clip around a scroll bar is a region in bands, which an edge along it crosses.
TEST(PaintedImage, OnlyWhereTheSystemClipHoldsTheRectangle)
{
    const QRegion aroundScrollBar = QRegion(0, 0, 40, 30) - QRegion(30, 2, 8, 26);
    const struct {
        QRect rect;
        bool held;
    } cases[] = {
        {{5, 5, 10, 10}, true},  {{0, 0, 40, 2}, true},   {{39, 0, 1, 30}, true},
        {{0, 28, 40, 2}, true},  {{37, 0, 1, 30}, false}, {{28, 10, 5, 2}, false},
        {{30, 2, 8, 26}, false}, {{0, 0, 41, 2}, false},
    };
    for (const auto &each : cases) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.paintEngine()->setSystemClip(aroundScrollBar);
        QPainter painter(&image);
        QPoint at;
        EXPECT_EQ(PaintedImage(painter, each.rect, QRect(), 1, at) != nullptr, each.held)
            << each.rect.x() << "," << each.rect.y() << " " << each.rect.width() << "x"
            << each.rect.height();
    }
}

// A row painted as pixels shows what the same fills and copies show through the painter,
// however partial writes and whole-height fills mix, and also in the second row painted after
// a first one, which the cells must not show through. A rectangle left uncovered, as the
// current cell is, keeps what was there.
RC_GTEST_PROP(PixelRowPainting, ShowsWhatThePainterShows, ())
{
    const int scale = *rc::gen::inRange(1, 3);
    const int width = *rc::gen::inRange(4, 40);
    const int cellHeight = *rc::gen::inRange(2, 12);
    const auto lines = *rc::gen::container<std::vector<int>>(rc::gen::inRange(0, width));
    const QPoint origin(*rc::gen::inRange(-50, 50), *rc::gen::inRange(-50, 50));
    const QImage background = GridRowBackground(width, cellHeight, scale, lines);
    PixelRow row;
    for (int pass = 0; pass < 2; ++pass) {
        const auto writes =
            *rc::gen::container<std::vector<RowWrite>>(AnyRowWrite(width, cellHeight));
        QImage expected = background.copy();
        QPainter painter(&expected);
        row.begin(background, cellHeight * scale, origin);
        // The second row first covers every column, as an owner covers its cells.
        if (pass == 1) {
            row.fill(QRect(origin, QSize(width, cellHeight)), qRgb(1, 2, 3));
            painter.fillRect(QRect(0, 0, width, cellHeight), QColor(1, 2, 3));
        }
        for (const RowWrite &write : writes) {
            const QRect at = write.rect.translated(origin);
            if (!write.copy) {
                row.fill(at, write.colour);
                painter.fillRect(write.rect, QColor::fromRgb(write.colour));
                continue;
            }
            const QImage pixels = CopiedPixels(write.rect, write.colour, scale);
            const bool inside = QRect(0, 0, width, cellHeight + 1).contains(write.rect);
            RC_ASSERT(row.copy(at, pixels) == inside);
            if (inside)
                painter.drawImage(write.rect.topLeft(), pixels);
        }
        const bool leavesACell = *rc::gen::arbitrary<bool>();
        const QRect uncovered =
            leavesACell ? QRect(*rc::gen::inRange(-2, width), *rc::gen::inRange(-1, cellHeight),
                                *rc::gen::inRange(1, 6), *rc::gen::inRange(1, cellHeight + 2))
                        : QRect();
        painter.fillRect(uncovered, Qt::black);
        painter.end();
        QImage shown(background.size(), background.format());
        shown.setDevicePixelRatio(scale);
        shown.fill(Qt::black);
        QPainter onScreen(&shown);
        onScreen.translate(-origin);
        row.finish(onScreen, uncovered.translated(origin));
        onScreen.end();
        RC_ASSERT(shown == expected);
    }
}

} // namespace
