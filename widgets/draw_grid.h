#pragma once

#include "widgets/pixel_row.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

class QKeyEvent;
class QPainter;
class QScrollBar;

// An owner-drawn grid: fixed row height, per-column widths, a 1-pixel grid line after every
// cell (right and bottom) and a 2-pixel sunken frame. It paints each cell's background (normal
// or current) and the focus indication itself, and leaves the contents to drawCell.
//
// Event order, which the owners rely on: on a press the focus-in (entered) comes first; on a
// left press on a cell selectCell comes before mousePressed; on entering a new cell with the
// left button held, selectCell comes before mouseMoved. The second press of a double-click
// raises doubleClicked (then mousePressed) instead of selectCell.
class DrawGrid : public QWidget {
    Q_OBJECT

public:
    explicit DrawGrid(QWidget *parent = nullptr);

    // A widget whose keyboard focus the grid shows as its own: while it, or a widget inside it,
    // has the focus, the current cell keeps the focus indication, so that a find bar's moves of
    // the cursor are seen where they land.
    void setFocusShownWith(QWidget *companion);
    // Whether the current cell is drawn with the focus indication.
    bool showsFocus() const;

    // The owner's painting of one cell, called where drawCell is emitted and just before it.
    // A grid paints thousands of cells a second; a direct call costs a fraction of a signal.
    using CellPainter = std::function<void(QPainter *painter, int col, int row, const QRect &rect)>;
    void setCellPainter(CellPainter painter);
    // The same for an owner's member function, called straight from the grid's loop, where
    // the call through std::function was a tenth of a swatch's cost.
    template <class Owner, void (Owner::*Paint)(QPainter *, int, int, const QRect &)>
    void setCellPainter(Owner *owner)
    {
        m_cellPainter = nullptr;
        m_cellOwner = owner;
        m_cellFunction = [](void *to, QPainter *painter, int col, int row, const QRect &rect) {
            (static_cast<Owner *>(to)->*Paint)(painter, col, row, rect);
        };
    }

    void setColCount(int count);
    int colCount() const;
    void setRowCount(int count);
    int rowCount() const;
    void setDefaultColWidth(int width);
    void setColWidth(int col, int width);
    int colWidth(int col) const;
    void setDefaultRowHeight(int height);
    int defaultRowHeight() const;
    // A column whose drawCell only draws inside the cell rectangle (exact fills, text drawn
    // into the rectangle, which QPainter keeps inside it) and leaves the painter as it found
    // it may be painted without a clip of its own, which saves most of the cost of a cell.
    // Every column is clipped until its owner says otherwise.
    void setColDrawsInsideCell(int col, bool inside);
    // Columns first to last, each of which is only ever painted through the fills below and
    // copyCellPixels and covered wholly by them, may be painted as pixels: their cells are written
    // into one image per row, which is drawn at once. A painter call per cell would cost most of a
    // row's painting. The grid falls back to the painter where pixels could not be exact: at a
    // device scale that is not a whole number and in the current cell.
    void setPixelColumns(int first, int last);
    // Fills a rectangle of the cell with an opaque colour, as QPainter::fillRect does.
    void fillCell(QPainter *painter, const QRect &rect, QRgb colour)
    {
        fillCellSlowly(painter, rect, colour);
    }
    // Fills the whole cell being painted, `cell` being the rectangle its owner was handed. On
    // a pixel row that cell's device pixels are known before its owner is called, so the fill
    // is one line of them; a rectangle that is not that cell is filled as fillCell fills it.
    void fillWholeCell(QPainter *painter, const QRect &cell, QRgb colour)
    {
        if (m_pixelRowActive && cell == m_pixelCell)
            m_pixelRow.fillLine(m_pixelCellLeft, m_pixelCellRight, colour);
        else
            fillCellSlowly(painter, cell, colour);
    }
    // While a row is painted as pixels: the device pixels per logical pixel; else 0.
    int pixelRowScale() const;
    // While the current cell is painted and every logical pixel is a whole square of device
    // pixels: the device pixels per logical pixel; else 0. An image of the cell drawn over the
    // highlight then lands on exactly the pixels the painter would paint.
    int currentCellScale() const { return m_currentCellScale; }
    // Copies an image of exactly the cell's device size into the row being painted as pixels;
    // false, with nothing painted, on the painter's path or for an image of another size.
    bool copyCellPixels(const QRect &rect, const QImage &pixels);
    // With the scroll bar switched off the grid never shows one.
    void setVerticalScrollBarEnabled(bool enabled);

    // The current cell (cursor).
    int col() const;
    int row() const;
    // Moves the cursor from the program: no selectCell, scrolls it into view.
    void setCurrentCell(int col, int row);
    // Moves the cursor as a key would: selectCell first, which may refuse the move.
    bool selectCellAsUser(int col, int row);

    int topRow() const;
    void setTopRow(int row);
    // Rows that fit wholly into the visible area.
    int visibleRowCount() const;

    // Cell rectangle in widget coordinates, without its grid lines. Rows above the top row lie
    // above the visible area.
    QRect cellRect(int col, int row) const;
    // The cell under a point in widget coordinates; a cell's grid lines count as part of it, as
    // they do for the pointer in a classic grid. False outside every cell.
    bool cellAt(const QPoint &point, int &col, int &row) const;

    int tag() const;
    void setTag(int tag);

    // Counts the grid's paint events. Font, palette and screen stay as they are while one paint
    // lasts, so an owner works out what it derives from them once a paint, not once a row.
    int paintNumber() const { return m_paintNumber; }

signals:
    // For every cell that needs painting, row by row from the top, left to right in a row.
    // The painter has the grid's font and the text colour for the cell's state.
    void drawCell(QPainter *painter, int col, int row, const QRect &rect);
    // Before the cursor moves to (col, row); set *canSelect to false to keep it.
    void selectCell(int col, int row, bool *canSelect);
    void doubleClicked();
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    void mouseMoved(Qt::KeyboardModifiers modifiers, const QPoint &pos);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    // The grid received the keyboard focus, other than back from its window being activated.
    void entered();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QRect cellArea() const;
    QPointer<QWidget> m_focusCompanion;
    int rowStride() const;
    int maxTopRow() const;
    void updateScrollBar();
    bool colDrawsInsideCell(int col) const;
    bool isPlainMoveKey(const QKeyEvent *event) const;
    void updateColumnEdges();
    const QImage &rowPattern(int width);
    void paintPart(QPainter &painter, const QRect &dirty);
    // The columns of a painted part that are painted as pixels; empty when none are.
    struct PixelSpan {
        int first = 0;
        int last = -1;
        int scale = 0;
        bool contains(int col) const { return col >= first && col <= last; }
        bool isEmpty() const { return last < first; }
    };
    PixelSpan pixelSpan(const QPainter &painter, int firstCol, int lastCol) const;
    void paintBackgrounds(QPainter &painter, const QRect &dirty, int firstCol, int lastCol,
                          int firstRow, int lastRow, const PixelSpan &span);
    void paintCells(QPainter &painter, int firstCol, int lastCol, int firstRow, int lastRow,
                    const PixelSpan &span);
    void preparePixelRows(QPainter &painter, const PixelSpan &span, int firstRow, int lastRow);
    void beginPixelRow(const PixelSpan &span, const QPoint &topLeft);
    void endPixelRow(QPainter &painter, int row, const QRect &currentCell);
    void paintCell(QPainter &painter, int col, int row, const QRect &rect);
    void paintPixelCells(QPainter &painter, int row, int top, int firstCol, int lastCol);
    void drawFocusIndication(QPainter &painter, const QRect &rect) const;
    bool targetForKey(const QKeyEvent *event, int &col, int &row) const;
    // Asks selectCell and, if allowed, moves the cursor there; false when refused.
    bool trySelect(int col, int row);
    void moveCursor(int col, int row);
    void scrollIntoView(int row);

    QScrollBar *m_scrollBar = nullptr;
    bool m_scrollBarEnabled = true;
    int m_colCount = 5;
    int m_rowCount = 5;
    int m_defaultColWidth = 64;
    // Widths set for single columns; -1 keeps the default width.
    std::vector<int> m_colWidths;
    // Left edge of every column from the left of the cell area, and one past the last
    // column's grid line at the end, kept in step with the widths.
    std::vector<int> m_colLefts;
    std::vector<bool> m_colsInsideCell;
    // Backgrounds and grid lines of one row, built when the geometry or the colours change
    // or more columns are painted.
    QImage m_rowPattern;
    QColor m_patternBackground;
    QColor m_patternLine;
    int m_pixelFirst = 0;
    int m_pixelLast = -1;
    // The row pattern under the pixel columns in device pixels, and the row being painted
    // as pixels on it.
    QImage m_pixelBackground;
    qint64 m_pixelBackgroundSource = 0;
    void fillCellSlowly(QPainter *painter, const QRect &rect, QRgb colour);
    PixelRow m_pixelRow;
    bool m_pixelRowActive = false;
    int m_currentCellScale = 0;
    // The clip set for the part being painted.
    QRect m_paintClip;
    // The cell being painted into the pixel row, and its device columns in the row.
    QRect m_pixelCell;
    int m_pixelCellLeft = 0;
    int m_pixelCellRight = 0;
    // Each pixel column's device columns in a pixel row and its logical left and right edges,
    // the same for every row of a paint.
    struct PixelColumn {
        int deviceLeft = 0;
        int deviceRight = 0;
        int left = 0;
        int right = 0;
    };
    std::vector<PixelColumn> m_pixelColumns;
    // Where the rows of the part being painted go in the painter's image, when they go
    // straight there: the image, the first row's top left device pixel, and the rows.
    QImage *m_rowsTarget = nullptr;
    QPoint m_rowsTargetAt;
    int m_rowsTargetFirstRow = 0;
    // Device lines of the rows the image holds, from the first row's top, and the device
    // columns of a row that lie in the part, left to right (excluded).
    int m_rowsTargetLines = 0;
    int m_rowsTargetLeft = 0;
    int m_rowsTargetRight = 0;
    bool m_drawCellConnected = true;
    int m_rowHeight = 24;
    int m_col = 0;
    int m_row = 0;
    int m_topRow = 0;
    int m_paintNumber = 0;
    int m_tag = 0;
    // Set by a left press on a cell: until its release, entering another cell selects it.
    bool m_dragSelecting = false;
    int m_dragCol = -1;
    int m_dragRow = -1;
    int m_wheelRemainder = 0;
    CellPainter m_cellPainter;
    void *m_cellOwner = nullptr;
    void (*m_cellFunction)(void *owner, QPainter *painter, int col, int row,
                           const QRect &rect) = nullptr;
};
