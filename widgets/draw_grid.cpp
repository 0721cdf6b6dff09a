#include "widgets/draw_grid.h"

#include "widgets/pixel_row.h"
#include "widgets/plain_style.h"
#include "widgets/stepping_scroll_bar.h"
#include "widgets/vector_state.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr int FrameWidth = 2;
constexpr int GridLineWidth = 1;
constexpr int WheelNotch = 120;

// One L of a sunken frame, one device pixel thick: the top and left edges of `box` in one
// colour, the bottom and right edges in the other. The grid's own clip is a region, since its
// scroll bar is cut out of it, and the raster engine fills through a region line by line at
// many times the cost of a rectangle. So each edge is written straight into the painted image
// where it can be, and otherwise clipped to itself, which makes it a plain rectangle fill. The
// caller's clip is replaced, so the caller saves the painter.
void DrawEdges(QPainter &painter, const QRect &box, const QColor &topLeft,
               const QColor &bottomRight)
{
    const std::pair<QRect, const QColor &> edges[] = {
        {QRect(box.left(), box.top(), box.width() - 1, 1), topLeft},
        {QRect(box.left(), box.top() + 1, 1, box.height() - 2), topLeft},
        {QRect(box.left(), box.bottom(), box.width(), 1), bottomRight},
        {QRect(box.right(), box.top(), 1, box.height() - 1), bottomRight},
    };
    for (const auto &[edge, colour] : edges) {
        if (!painter.hasClipping() && FillPaintedImage(painter, edge, QRect(), colour))
            continue;
        painter.setClipRect(edge);
        painter.fillRect(edge, colour);
    }
}

// The classic two-pixel sunken panel. Filled edges rather than drawn lines: a line is painted
// pixel by pixel, which cost as much as a dozen rows of the grid.
void DrawSunkenFrame(QPainter &painter, const QRect &box, const QPalette &palette)
{
    const qreal ratio = painter.device()->devicePixelRatio();
    painter.save();
    painter.scale(1 / ratio, 1 / ratio);
    const QRect outer(box.topLeft() * ratio, box.size() * ratio);
    DrawEdges(painter, outer, palette.color(QPalette::Dark), palette.color(QPalette::Light));
    DrawEdges(painter, outer.adjusted(1, 1, -1, -1), palette.color(QPalette::Shadow),
              palette.color(QPalette::Midlight));
    painter.restore();
    ClearUpperVectorState();
}

// The frame is drawn a device pixel per edge, but it is as wide as two logical pixels: at a
// scale above one, the device lines between its edges and the cells are filled with the cells'
// background, from the frame's inner edge to where the cells begin, each rounded as the
// neighbouring fill is.
void FillInsideFrame(QPainter &painter, const QRect &box, const QColor &background)
{
    const qreal ratio = painter.device()->devicePixelRatio();
    const QSize outer = box.size() * ratio;
    const QRectF inner(QPointF(box.left() + 2 / ratio, box.top() + 2 / ratio),
                       QPointF(box.left() + (outer.width() - 2) / ratio,
                               box.top() + (outer.height() - 2) / ratio));
    const QRectF cells = QRectF(box).adjusted(FrameWidth, FrameWidth, -FrameWidth, -FrameWidth);
    const QRectF strips[] = {
        QRectF(inner.topLeft(), QPointF(inner.right(), cells.top())),
        QRectF(QPointF(inner.left(), cells.bottom()), inner.bottomRight()),
        QRectF(QPointF(inner.left(), cells.top()), cells.bottomLeft()),
        QRectF(cells.topRight(), QPointF(inner.right(), cells.bottom())),
    };
    for (const QRectF &strip : strips)
        if (strip.isValid())
            painter.fillRect(strip, background);
}

// Whether every logical pixel maps to a whole square of device pixels.
bool WholeDevicePixels(const QTransform &toDevice)
{
    const qreal scale = toDevice.m11();
    const auto whole = [](qreal value) { return value == std::floor(value); };
    return toDevice.type() <= QTransform::TxScale && toDevice.m22() == scale && scale >= 1 &&
           whole(scale) && whole(toDevice.dx()) && whole(toDevice.dy());
}

} // namespace

DrawGrid::DrawGrid(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_scrollBar = new SteppingScrollBar(Qt::Vertical, this);
    m_scrollBar->setFocusPolicy(Qt::NoFocus);
    // A flat scroll bar, matching the grid's frame, costs a fraction of a shaded one to paint,
    // and it is painted at every step of the grid.
    SetPlainStyle(m_scrollBar);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &DrawGrid::setTopRow);
    updateColumnEdges();
    updateScrollBar();
}

void DrawGrid::setCellPainter(CellPainter painter)
{
    m_cellPainter = std::move(painter);
    m_cellFunction = nullptr;
    update();
}

void DrawGrid::setColCount(int count)
{
    m_colCount = std::max(0, count);
    m_col = std::clamp(m_col, 0, std::max(0, m_colCount - 1));
    updateColumnEdges();
    update();
}

int DrawGrid::colCount() const
{
    return m_colCount;
}

void DrawGrid::setRowCount(int count)
{
    m_rowCount = std::max(0, count);
    m_row = std::clamp(m_row, 0, std::max(0, m_rowCount - 1));
    updateScrollBar();
    update();
}

int DrawGrid::rowCount() const
{
    return m_rowCount;
}

void DrawGrid::setDefaultColWidth(int width)
{
    m_defaultColWidth = std::max(0, width);
    updateColumnEdges();
    update();
}

void DrawGrid::setColWidth(int col, int width)
{
    if (col < 0)
        return;
    if (col >= static_cast<int>(m_colWidths.size()))
        m_colWidths.resize(col + 1, -1);
    m_colWidths[col] = std::max(0, width);
    updateColumnEdges();
    update();
}

int DrawGrid::colWidth(int col) const
{
    if (col >= 0 && col < static_cast<int>(m_colWidths.size()) && m_colWidths[col] >= 0)
        return m_colWidths[col];
    return m_defaultColWidth;
}

void DrawGrid::setColDrawsInsideCell(int col, bool inside)
{
    if (col < 0)
        return;
    if (col >= static_cast<int>(m_colsInsideCell.size()))
        m_colsInsideCell.resize(col + 1, false);
    m_colsInsideCell[col] = inside;
}

bool DrawGrid::colDrawsInsideCell(int col) const
{
    return col < static_cast<int>(m_colsInsideCell.size()) && m_colsInsideCell[col];
}

void DrawGrid::setPixelColumns(int first, int last)
{
    m_pixelFirst = std::max(0, first);
    m_pixelLast = last;
    m_pixelBackground = QImage();
    update();
}

void DrawGrid::fillCellSlowly(QPainter *painter, const QRect &rect, QRgb colour)
{
    if (m_pixelRowActive)
        m_pixelRow.fill(rect, colour);
    else
        painter->fillRect(rect, QColor::fromRgb(colour));
}

int DrawGrid::pixelRowScale() const
{
    return m_pixelRowActive ? m_pixelRow.scale() : 0;
}

bool DrawGrid::copyCellPixels(const QRect &rect, const QImage &pixels)
{
    return m_pixelRowActive && m_pixelRow.copy(rect, pixels);
}

void DrawGrid::setDefaultRowHeight(int height)
{
    m_rowHeight = std::max(1, height);
    m_rowPattern = QImage();
    updateScrollBar();
    update();
}

int DrawGrid::defaultRowHeight() const
{
    return m_rowHeight;
}

void DrawGrid::setVerticalScrollBarEnabled(bool enabled)
{
    m_scrollBarEnabled = enabled;
    updateScrollBar();
    update();
}

int DrawGrid::col() const
{
    return m_col;
}

int DrawGrid::row() const
{
    return m_row;
}

void DrawGrid::setCurrentCell(int col, int row)
{
    if (m_colCount == 0 || m_rowCount == 0)
        return;
    moveCursor(std::clamp(col, 0, m_colCount - 1), std::clamp(row, 0, m_rowCount - 1));
}

bool DrawGrid::selectCellAsUser(int col, int row)
{
    if (m_colCount == 0 || m_rowCount == 0)
        return false;
    return trySelect(std::clamp(col, 0, m_colCount - 1), std::clamp(row, 0, m_rowCount - 1));
}

int DrawGrid::topRow() const
{
    return m_topRow;
}

void DrawGrid::setTopRow(int row)
{
    const int top = std::clamp(row, 0, maxTopRow());
    if (top == m_topRow)
        return;
    const int shift = top - m_topRow;
    m_topRow = top;
    const QSignalBlocker blocker(m_scrollBar);
    m_scrollBar->setValue(top);
    // A shift of less than a page moves the rows already painted and paints only those that
    // come into view; the grid paints every pixel itself, so its pixels can be moved.
    if (std::abs(shift) < visibleRowCount()) {
        const QRect area = cellArea();
        scroll(0, -shift * rowStride(), area);
        // Rows moving up expose the bottom rows, the first of them only in part, as the last row
        // is cut. That row is painted whole, so that the cursor arriving in it is painted with
        // it in one piece rather than as a second piece of the same row.
        if (shift > 0) {
            const int exposedTop = area.bottom() + 1 - shift * rowStride();
            const int firstExposed = (exposedTop - area.top()) / rowStride();
            update(QRect(QPoint(area.left(), area.top() + firstExposed * rowStride()),
                         area.bottomRight()));
        }
    } else {
        update();
    }
}

// The last grid line may be cut off: a row counts as visible when its cell fits.
int DrawGrid::visibleRowCount() const
{
    return std::max(0, (cellArea().height() + GridLineWidth) / rowStride());
}

QRect DrawGrid::cellRect(int col, int row) const
{
    const QRect area = cellArea();
    int left = area.left();
    if (col >= 0 && col <= m_colCount)
        left += m_colLefts[col];
    else
        for (int c = 0; c < col; ++c)
            left += colWidth(c) + GridLineWidth;
    const int top = area.top() + (row - m_topRow) * rowStride();
    return QRect(left, top, colWidth(col), m_rowHeight);
}

bool DrawGrid::cellAt(const QPoint &point, int &col, int &row) const
{
    const QRect area = cellArea();
    if (!area.contains(point))
        return false;
    const int hitRow = m_topRow + (point.y() - area.top()) / rowStride();
    if (hitRow >= m_rowCount)
        return false;
    int right = area.left();
    for (int c = 0; c < m_colCount; ++c) {
        right += colWidth(c) + GridLineWidth;
        if (point.x() < right) {
            col = c;
            row = hitRow;
            return true;
        }
    }
    return false;
}

int DrawGrid::tag() const
{
    return m_tag;
}

void DrawGrid::setTag(int tag)
{
    m_tag = tag;
}

QRect DrawGrid::cellArea() const
{
    QRect area = rect().adjusted(FrameWidth, FrameWidth, -FrameWidth, -FrameWidth);
    if (m_scrollBar->isVisibleTo(this))
        area.setRight(area.right() - m_scrollBar->width());
    return area;
}

int DrawGrid::rowStride() const
{
    return m_rowHeight + GridLineWidth;
}

void DrawGrid::updateColumnEdges()
{
    m_colLefts.resize(m_colCount + 1);
    int left = 0;
    for (int c = 0; c < m_colCount; ++c) {
        m_colLefts[c] = left;
        left += colWidth(c) + GridLineWidth;
    }
    m_colLefts[m_colCount] = left;
    m_rowPattern = QImage();
}

int DrawGrid::maxTopRow() const
{
    return std::max(0, m_rowCount - std::max(1, visibleRowCount()));
}

void DrawGrid::updateScrollBar()
{
    const int visibleRows = visibleRowCount();
    const bool needed = m_scrollBarEnabled && m_rowCount > visibleRows;
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scrollBar);
    m_scrollBar->setGeometry(width() - FrameWidth - extent, FrameWidth, extent,
                             std::max(0, height() - 2 * FrameWidth));
    m_scrollBar->setVisible(needed);
    m_topRow = std::clamp(m_topRow, 0, maxTopRow());
    const QSignalBlocker blocker(m_scrollBar);
    m_scrollBar->setRange(0, maxTopRow());
    m_scrollBar->setPageStep(std::max(1, visibleRows));
    m_scrollBar->setSingleStep(1);
    m_scrollBar->setValue(m_topRow);
}

// Each rectangle of the region is painted on its own, so that a few cells far apart, such as
// the old and the new cursor, do not repaint every row between them.
void DrawGrid::paintEvent(QPaintEvent *event)
{
    ++m_paintNumber;
    QPainter painter(this);
    // The frame only where the region reaches it: most paints lie wholly inside the cells.
    if (!cellArea().contains(event->region().boundingRect())) {
        DrawSunkenFrame(painter, rect(), palette());
        FillInsideFrame(painter, rect(), palette().color(QPalette::Base));
    }
    for (const QRect &part : event->region())
        paintPart(painter, part & cellArea());
}

void DrawGrid::paintPart(QPainter &painter, const QRect &dirty)
{
    if (dirty.isEmpty())
        return;
    const QRect area = cellArea();
    painter.setClipRect(dirty);
    m_paintClip = dirty;
    const int firstRow = m_topRow + (dirty.top() - area.top()) / rowStride();
    const int lastRow =
        std::min(m_rowCount - 1, m_topRow + (dirty.bottom() - area.top()) / rowStride());
    int firstCol = -1;
    int lastCol = -1;
    for (int c = 0; c < m_colCount && area.left() + m_colLefts[c] <= dirty.right(); ++c) {
        if (area.left() + m_colLefts[c + 1] - GridLineWidth >= dirty.left()) {
            if (firstCol < 0)
                firstCol = c;
            lastCol = c;
        }
    }
    if (firstCol < 0 || firstRow > lastRow) {
        painter.fillRect(dirty, palette().color(QPalette::Base));
        return;
    }
    const PixelSpan span = pixelSpan(painter, firstCol, lastCol);
    paintBackgrounds(painter, dirty, firstCol, lastCol, firstRow, lastRow, span);
    paintCells(painter, firstCol, lastCol, firstRow, lastRow, span);
}

// Pixels written into an image stand exactly where the painter would put them only when every
// logical pixel maps to a whole square of device pixels.
DrawGrid::PixelSpan DrawGrid::pixelSpan(const QPainter &painter, int firstCol, int lastCol) const
{
    const QTransform toDevice = painter.deviceTransform();
    const PixelSpan span{std::max(firstCol, m_pixelFirst),
                         std::min({lastCol, m_pixelLast, m_colCount - 1}),
                         static_cast<int>(toDevice.m11())};
    return WholeDevicePixels(toDevice) ? span : PixelSpan();
}

// The painted cells with their grid lines come from the row pattern, the current cell is
// highlighted, and what lies right of the last column and below the last row is plain
// background.
void DrawGrid::paintBackgrounds(QPainter &painter, const QRect &dirty, int firstCol, int lastCol,
                                int firstRow, int lastRow, const PixelSpan &span)
{
    const QRect area = cellArea();
    const QRect cells(
        area.left() + m_colLefts[firstCol], area.top() + (firstRow - m_topRow) * rowStride(),
        m_colLefts[lastCol + 1] - m_colLefts[firstCol], (lastRow - firstRow + 1) * rowStride());
    const QImage &pattern = rowPattern(m_colLefts[lastCol + 1]);
    // A row painted as pixels brings the backgrounds of its pixel columns along.
    const auto drawPattern = [&](int top, int from, int to) {
        if (from > to)
            return;
        const QRect part(m_colLefts[from], 0, m_colLefts[to + 1] - m_colLefts[from], rowStride());
        painter.drawImage(QPoint(area.left() + part.left(), top), pattern, part);
    };
    // Where a row is not a whole number of device pixels, each row's image would be rounded to
    // the device on its own, and the rounded images leave a device line between them now and
    // then. Fills of the whole part and of each line are rounded edge by edge, so neighbours
    // meet.
    if (WholeDevicePixels(painter.deviceTransform())) {
        for (int r = firstRow; r <= lastRow; ++r) {
            const int top = area.top() + (r - m_topRow) * rowStride();
            if (span.isEmpty()) {
                drawPattern(top, firstCol, lastCol);
            } else {
                drawPattern(top, firstCol, span.first - 1);
                drawPattern(top, span.last + 1, lastCol);
            }
        }
    } else {
        painter.fillRect(cells, m_patternBackground);
        for (int c = firstCol; c <= lastCol; ++c)
            painter.fillRect(area.left() + m_colLefts[c + 1] - GridLineWidth, cells.top(),
                             GridLineWidth, cells.height(), m_patternLine);
        for (int r = firstRow; r <= lastRow; ++r)
            painter.fillRect(cells.left(), area.top() + (r - m_topRow) * rowStride() + m_rowHeight,
                             cells.width(), GridLineWidth, m_patternLine);
    }
    if (m_col >= firstCol && m_col <= lastCol && m_row >= firstRow && m_row <= lastRow)
        painter.fillRect(cellRect(m_col, m_row), palette().color(QPalette::Highlight));
    const QRect rightOfCells(QPoint(cells.right() + 1, dirty.top()), dirty.bottomRight());
    const QRect belowCells(QPoint(dirty.left(), cells.bottom() + 1), dirty.bottomRight());
    const QColor base = palette().color(QPalette::Base);
    for (const QRect &rest : {rightOfCells, belowCells})
        if (rest.isValid() && !FillPaintedImage(painter, rest, m_paintClip, base))
            painter.fillRect(rest, base);
}

// One row of cell backgrounds with their grid lines: a line on the right of every cell and
// one along the bottom of the row, the corner belonging to both. Copied once per painted row
// it fills backgrounds and lines at once, where a fill per line or per cell would cost a
// painter call each. (A tiled fill would cover a whole page at once, but the raster engine
// hands fills that tall to worker threads and waits for them, which costs more than it saves.)
// It reaches as far as the painted columns do, which the width of the cell area bounds.
const QImage &DrawGrid::rowPattern(int width)
{
    const QColor background = palette().color(QPalette::Base);
    const QColor line = palette().color(QPalette::Button);
    if (m_rowPattern.width() >= width && m_patternBackground == background && m_patternLine == line)
        return m_rowPattern;
    m_rowPattern = QImage(width, rowStride(), QImage::Format_RGB32);
    m_rowPattern.fill(background);
    QPainter painter(&m_rowPattern);
    for (int c = 0; c < m_colCount && m_colLefts[c] < width; ++c)
        painter.fillRect(m_colLefts[c + 1] - GridLineWidth, 0, GridLineWidth, rowStride(), line);
    painter.fillRect(0, m_rowHeight, m_rowPattern.width(), GridLineWidth, line);
    painter.end();
    m_patternBackground = background;
    m_patternLine = line;
    return m_rowPattern;
}

inline void DrawGrid::paintCell(QPainter &painter, int col, int row, const QRect &rect)
{
    if (m_cellFunction)
        m_cellFunction(m_cellOwner, &painter, col, row, rect);
    else if (m_cellPainter)
        m_cellPainter(&painter, col, row, rect);
    if (m_drawCellConnected)
        emit drawCell(&painter, col, row, rect);
}

// Each cell's pixels are known before the owner is called, so its fills need no arithmetic of
// their own. Almost every cell the grid paints passes through this loop.
void DrawGrid::paintPixelCells(QPainter &painter, int row, int top, int firstCol, int lastCol)
{
    m_pixelRowActive = true;
    // Only the cell's sides change along the row.
    m_pixelCell.setTop(top);
    m_pixelCell.setBottom(top + m_rowHeight - 1);
    for (int c = firstCol; c <= lastCol; ++c) {
        const PixelColumn &column = m_pixelColumns[static_cast<std::size_t>(c)];
        m_pixelCell.setLeft(column.left);
        m_pixelCell.setRight(column.right);
        m_pixelCellLeft = column.deviceLeft;
        m_pixelCellRight = column.deviceRight;
        paintCell(painter, c, row, m_pixelCell);
    }
    m_pixelRowActive = false;
}

// The backgrounds are already filled, so the owner draws over them, with the grid's font and
// the text colour of the cell's state set. Whatever it changes on the painter stays within its
// cell: a clip and a saved state for each cell, except in columns whose owner has promised to
// stay inside. The current cell always gets both, as it has its own text colour and the focus
// indication.
void DrawGrid::paintCells(QPainter &painter, int firstCol, int lastCol, int firstRow, int lastRow,
                          const PixelSpan &span)
{
    const QRect area = cellArea();
    const QColor highlightedText = palette().color(QPalette::HighlightedText);
    const bool showFocus = showsFocus();
    m_drawCellConnected = isSignalConnected(QMetaMethod::fromSignal(&DrawGrid::drawCell));
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    painter.setBrush(Qt::NoBrush);
    if (!span.isEmpty())
        preparePixelRows(painter, span, firstRow, lastRow);
    for (int r = firstRow; r <= lastRow; ++r) {
        const int top = area.top() + (r - m_topRow) * rowStride();
        const bool asPixels = !span.isEmpty();
        if (asPixels)
            beginPixelRow(span, QPoint(area.left() + m_colLefts[m_pixelFirst], top));
        // The current cell has its own text colour and the focus indication, which only the
        // painter gives it; the row's pixels leave it alone.
        const int currentCol = r == m_row ? m_col : -1;
        for (int c = firstCol; c <= lastCol; ++c) {
            const bool current = c == currentCol;
            if (asPixels && span.contains(c) && !current) {
                // The run of pixel cells up to the current cell or the span's end.
                const int last =
                    std::min(lastCol, currentCol > c && currentCol <= span.last ? currentCol - 1
                                                                                : span.last);
                paintPixelCells(painter, r, top, c, last);
                c = last;
                continue;
            }
            const int width = m_colLefts[c + 1] - m_colLefts[c] - GridLineWidth;
            const QRect rect(area.left() + m_colLefts[c], top, width, m_rowHeight);
            if (!current && colDrawsInsideCell(c)) {
                paintCell(painter, c, r, rect);
                // Most cells are a single small fill, which the clearing makes several times
                // cheaper.
                ClearUpperVectorState();
                continue;
            }
            painter.save();
            painter.setClipRect(rect, Qt::IntersectClip);
            if (current) {
                painter.setPen(highlightedText);
                m_currentCellScale = span.contains(c) ? span.scale : 0;
            }
            paintCell(painter, c, r, rect);
            m_currentCellScale = 0;
            painter.restore();
            if (current && showFocus)
                drawFocusIndication(painter, rect);
        }
        if (asPixels)
            endPixelRow(painter, r,
                        r == m_row && span.contains(m_col) ? cellRect(m_col, m_row) : QRect());
    }
}

// What stays the same for every row of a paint is worked out once: the rows' background, each
// column's device pixels in a row, and where the rows land in the painter's image.
void DrawGrid::preparePixelRows(QPainter &painter, const PixelSpan &span, int firstRow, int lastRow)
{
    const int last = std::min(m_pixelLast, m_colCount - 1);
    const QImage &pattern = rowPattern(m_colLefts[last + 1]);
    const QRect part(m_colLefts[m_pixelFirst], 0, m_colLefts[last + 1] - m_colLefts[m_pixelFirst],
                     rowStride());
    if (m_pixelBackground.isNull() || m_pixelBackgroundSource != pattern.cacheKey() ||
        m_pixelBackground.devicePixelRatio() != span.scale) {
        m_pixelBackground = QImage(part.size() * span.scale, QImage::Format_RGB32);
        m_pixelBackground.setDevicePixelRatio(span.scale);
        QPainter background(&m_pixelBackground);
        background.drawImage(QPoint(0, 0), pattern, part);
        background.end();
        m_pixelBackgroundSource = pattern.cacheKey();
    }
    const QRect area = cellArea();
    m_pixelColumns.assign(static_cast<std::size_t>(last + 1), PixelColumn());
    const int rowWidth = part.width() * span.scale;
    for (int c = m_pixelFirst; c <= last; ++c) {
        const int deviceLeft = (m_colLefts[c] - part.left()) * span.scale;
        const int width = m_colLefts[c + 1] - m_colLefts[c] - GridLineWidth;
        m_pixelColumns[static_cast<std::size_t>(c)] = {
            std::clamp(deviceLeft, 0, rowWidth),
            std::clamp(deviceLeft + width * span.scale, 0, rowWidth), area.left() + m_colLefts[c],
            area.left() + m_colLefts[c] + width - 1};
    }
    // The last row is often cut by the bottom of the grid: its lines above the cut are written
    // too. Rows the image does not hold are drawn through the painter.
    const auto rows = [&](int last) {
        return QRect(area.left() + part.left(), area.top() + (firstRow - m_topRow) * rowStride(),
                     part.width(), (last - firstRow + 1) * rowStride());
    };
    // A part narrower than the rows, such as a single cell, takes their columns within it; the
    // part must hold the rows from the first one's top.
    const QRect wanted = rows(lastRow);
    QRect held;
    const auto target = [&](const QRect &rowsWanted) -> QImage * {
        held = rowsWanted & m_paintClip;
        if (held.isEmpty() || held.top() != rowsWanted.top())
            return nullptr;
        return PaintedImage(painter, held, m_paintClip, span.scale, m_rowsTargetAt);
    };
    m_rowsTargetFirstRow = firstRow;
    m_rowsTarget = target(wanted);
    if (!m_rowsTarget && lastRow > firstRow)
        m_rowsTarget = target(rows(lastRow - 1));
    m_rowsTargetLines = 0;
    if (!m_rowsTarget)
        return;
    m_rowsTargetLines = held.height() * span.scale;
    m_rowsTargetLeft = (held.left() - wanted.left()) * span.scale;
    m_rowsTargetRight = (held.right() + 1 - wanted.left()) * span.scale;
    m_rowsTargetAt.rx() -= m_rowsTargetLeft;
}

// The row image starts from the grid's own backgrounds and lines; as the owner covers every
// cell wholly, the lines stay and only the cells change from row to row. The image spans all
// pixel columns; the painter's clip keeps it to the part being painted.
void DrawGrid::beginPixelRow(const PixelSpan &span, const QPoint &topLeft)
{
    m_pixelRow.begin(m_pixelBackground, m_rowHeight * span.scale, topLeft);
}

void DrawGrid::endPixelRow(QPainter &painter, int row, const QRect &currentCell)
{
    const int offset = (row - m_rowsTargetFirstRow) * rowStride() * m_pixelRow.scale();
    const int lines = std::min(m_pixelRow.lines(), m_rowsTargetLines - offset);
    if (m_rowsTarget && lines > 0) {
        // The current cell keeps what the painter painted there.
        int coveredLeft = 0;
        int coveredRight = 0;
        if (!currentCell.isNull())
            m_pixelRow.deviceColumns(currentCell, coveredLeft, coveredRight);
        m_pixelRow.finishAt(*m_rowsTarget, m_rowsTargetAt + QPoint(0, offset), lines,
                            m_rowsTargetLeft, m_rowsTargetRight, coveredLeft, coveredRight);
    } else {
        m_pixelRow.finish(painter, currentCell, m_paintClip);
    }
    ClearUpperVectorState();
}

// A dotted rectangle that inverts what lies beneath, so it shows on any swatch colour. It runs
// along the outermost device pixels of the cell's fill, which the painter rounds edge by edge;
// a line drawn at the cell's logical edge falls between device pixels at a scale such as one and
// a half, and its clip then cuts it away.
void DrawGrid::drawFocusIndication(QPainter &painter, const QRect &rect) const
{
    const QRectF exact = painter.deviceTransform().mapRect(QRectF(rect));
    const QRect device(QPoint(qRound(exact.left()), qRound(exact.top())),
                       QPoint(qRound(exact.right()) - 1, qRound(exact.bottom()) - 1));
    if (device.isEmpty())
        return;
    painter.save();
    painter.setWorldTransform(painter.deviceTransform().inverted() * painter.worldTransform());
    painter.setClipRect(device, Qt::IntersectClip);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    QPen pen(Qt::white, 0);
    pen.setDashPattern({1, 1});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawRect(device.adjusted(0, 0, -1, -1));
    painter.restore();
}

void DrawGrid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateScrollBar();
}

void DrawGrid::mousePressEvent(QMouseEvent *event)
{
    m_dragSelecting = false;
    const QPoint pos = event->position().toPoint();
    int col = 0;
    int row = 0;
    if (event->button() == Qt::LeftButton && cellAt(pos, col, row)) {
        m_dragSelecting = true;
        m_dragCol = col;
        m_dragRow = row;
        trySelect(col, row);
    }
    emit mousePressed(event->button(), event->modifiers(), pos);
}

// The second press of a double-click reports the double-click instead of selecting again, and
// starts no drag selection.
void DrawGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    m_dragSelecting = false;
    emit doubleClicked();
    emit mousePressed(event->button(), event->modifiers(), event->position().toPoint());
}

void DrawGrid::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    int col = 0;
    int row = 0;
    if (m_dragSelecting && (event->buttons() & Qt::LeftButton) && cellAt(pos, col, row) &&
        (col != m_dragCol || row != m_dragRow)) {
        m_dragCol = col;
        m_dragRow = row;
        trySelect(col, row);
    }
    emit mouseMoved(event->modifiers(), pos);
}

void DrawGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragSelecting = false;
    emit mouseReleased(event->button(), event->modifiers(), event->position().toPoint());
}

bool DrawGrid::targetForKey(const QKeyEvent *event, int &col, int &row) const
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int page = std::max(1, visibleRowCount());
    col = m_col;
    row = m_row;
    switch (event->key()) {
    case Qt::Key_Left:
        --col;
        break;
    case Qt::Key_Right:
        ++col;
        break;
    case Qt::Key_Up:
        --row;
        break;
    case Qt::Key_Down:
        ++row;
        break;
    case Qt::Key_PageUp:
        row -= page;
        break;
    case Qt::Key_PageDown:
        row += page;
        break;
    case Qt::Key_Home:
        col = 0;
        if (control)
            row = 0;
        break;
    case Qt::Key_End:
        col = m_colCount - 1;
        if (control)
            row = m_rowCount - 1;
        break;
    default:
        return false;
    }
    col = std::clamp(col, 0, m_colCount - 1);
    row = std::clamp(row, 0, m_rowCount - 1);
    return true;
}

// An unmodified arrow, page, home or end key. The window binds no shortcut to one, and a key
// press that no widget claims goes through every shortcut of the window and up through every
// parent, at each step of the cursor.
bool DrawGrid::isPlainMoveKey(const QKeyEvent *event) const
{
    int col = 0;
    int row = 0;
    return (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && m_colCount > 0 &&
           m_rowCount > 0 && targetForKey(event, col, row);
}

bool DrawGrid::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride &&
        isPlainMoveKey(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void DrawGrid::keyReleaseEvent(QKeyEvent *event)
{
    if (isPlainMoveKey(event))
        event->accept();
    else
        QWidget::keyReleaseEvent(event);
}

void DrawGrid::keyPressEvent(QKeyEvent *event)
{
    int col = 0;
    int row = 0;
    if (m_colCount == 0 || m_rowCount == 0 || !targetForKey(event, col, row)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (col == m_col && row == m_row)
        return;
    // Page keys scroll the view by the same distance, so the cursor keeps its place on screen.
    const int rowShift = row - m_row;
    const bool pageKey = event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown;
    bool canSelect = true;
    emit selectCell(col, row, &canSelect);
    if (!canSelect)
        return;
    if (pageKey)
        setTopRow(m_topRow + rowShift);
    moveCursor(col, row);
}

// Each notch of the wheel moves the cursor one row, as the arrow keys do.
void DrawGrid::wheelEvent(QWheelEvent *event)
{
    event->accept();
    m_wheelRemainder += event->angleDelta().y();
    while (std::abs(m_wheelRemainder) >= WheelNotch) {
        const int step = m_wheelRemainder > 0 ? -1 : 1;
        m_wheelRemainder += step * WheelNotch;
        const int row = std::clamp(m_row + step, 0, std::max(0, m_rowCount - 1));
        if (m_colCount > 0 && row != m_row)
            trySelect(m_col, row);
    }
}

// The focus shows only on the current cell. A window that becomes active gives the focus back
// to the grid that held it; that is no entry into the grid, and may arrive after the press
// that activated the window, whose drag the owner is following.
void DrawGrid::setFocusShownWith(QWidget *companion)
{
    m_focusCompanion = companion;
    connect(qApp, &QApplication::focusChanged, this, [this] { update(cellRect(m_col, m_row)); });
}

bool DrawGrid::showsFocus() const
{
    if (hasFocus())
        return true;
    const QWidget *focused = QApplication::focusWidget();
    return m_focusCompanion && focused && m_focusCompanion->isVisible() &&
           (focused == m_focusCompanion || m_focusCompanion->isAncestorOf(focused));
}

void DrawGrid::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    if (event->reason() != Qt::ActiveWindowFocusReason)
        emit entered();
    update(cellRect(m_col, m_row));
}

void DrawGrid::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update(cellRect(m_col, m_row));
}

bool DrawGrid::trySelect(int col, int row)
{
    bool canSelect = true;
    emit selectCell(col, row, &canSelect);
    if (!canSelect)
        return false;
    moveCursor(col, row);
    return true;
}

// Only the cells whose look changes are painted again: the old and the new cursor.
void DrawGrid::moveCursor(int col, int row)
{
    update(cellRect(m_col, m_row));
    m_col = col;
    m_row = row;
    scrollIntoView(row);
    update(cellRect(m_col, m_row));
}

void DrawGrid::scrollIntoView(int row)
{
    const int visibleRows = std::max(1, visibleRowCount());
    if (row < m_topRow)
        setTopRow(row);
    else if (row >= m_topRow + visibleRows)
        setTopRow(row - visibleRows + 1);
}
