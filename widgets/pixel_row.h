#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <algorithm>
#include <vector>

class QPainter;

// One row of a grid painted as pixels in device resolution, then drawn at once. It starts as
// a picture of the row's backgrounds and grid lines, and its cells are written over it.
//
// A cell filled over its whole height is written into the first line only, and the other lines
// follow when a partial write needs them or the row is finished: most of a row is such fills,
// and one copy per line of a whole run of them, grid lines between them included, costs a
// fraction of a fill per cell and line.
class PixelRow {
public:
    // Starts a row whose logical top left corner lies at `origin`, from `background`: a picture
    // of the row in device pixels, with `cellLines` lines of cells above its grid lines.
    void begin(const QImage &background, int cellLines, const QPoint &origin);
    const QImage &background() const { return m_background; }
    int scale() const { return m_scale; }

    // The device pixels of a logical rectangle, as far as they lie in the row. Called for
    // almost every cell, so the common whole-height fill stays inline.
    void fill(const QRect &rect, QRgb colour)
    {
        int left = 0;
        int right = 0;
        deviceColumns(rect, left, right);
        const int top = std::max(0, (rect.top() - m_origin.y()) * m_scale);
        const int bottom = std::min(m_height, (rect.bottom() + 1 - m_origin.y()) * m_scale);
        if (left >= right || top >= bottom)
            return;
        if (top != 0 || bottom != m_cellLines) {
            fillPart(left, right, top, bottom, colour);
            return;
        }
        fillLine(left, right, colour);
    }
    // The device columns of a logical rectangle that lie in the row (left >= right for none).
    void deviceColumns(const QRect &rect, int &left, int &right) const
    {
        left = std::max(0, (rect.left() - m_origin.x()) * m_scale);
        right = std::min(m_width, (rect.right() + 1 - m_origin.x()) * m_scale);
    }
    // A fill of the cell lines' full height between device columns from deviceColumns.
    void fillLine(int left, int right, QRgb colour)
    {
        // A swatch four or eight pixels wide, at scales 1 and 2, in a few stores.
        if (right - left == 4) {
            fillFixed<4>(left, colour);
            return;
        }
        if (right - left == 8) {
            fillFixed<8>(left, colour);
            return;
        }
        // Apart, the two may be filled several pixels at once.
        QRgb *__restrict pixels = line(0);
        Column *__restrict states = m_columns.data();
        for (int x = left; x < right; ++x) {
            pixels[x] = colour;
            states[x] = Column::Behind;
        }
    }
    // False for pixels of another size than the rectangle's device size or outside the row.
    bool copy(const QRect &rect, const QImage &pixels);
    // Draws the row, all but `uncovered` (logical, null for none), which keeps what the
    // painter painted there. `clip` is the painter's own clip (logical, null for none).
    void finish(QPainter &painter, const QRect &uncovered = QRect(), const QRect &clip = QRect());
    // Writes the device columns `left` to `right` (excluded) of the row's first `lines` device
    // lines (at most lines()) straight into the image the painter paints on, with the row's top
    // left device pixel at `at`, as PaintedImage found them for a rectangle holding those
    // pixels. The cell lines of the columns `coveredLeft` to `coveredRight` (excluded) keep what
    // the painter painted there.
    void finishAt(QImage &target, const QPoint &at, int lines, int left, int right,
                  int coveredLeft = 0, int coveredRight = 0);
    // The row's width and height in device pixels.
    int width() const { return m_width; }
    int lines() const { return m_height; }

private:
    template <int Width> void fillFixed(int left, QRgb colour)
    {
        std::fill_n(line(0) + left, Width, colour);
        std::fill_n(m_columns.data() + left, Width, Column::Behind);
    }
    QRgb *line(int y) const
    {
        return reinterpret_cast<QRgb *>(m_bits + static_cast<qsizetype>(y) * m_stride);
    }
    void fillPart(int left, int right, int top, int bottom, QRgb colour);
    void writeLines(QImage &target, const QPoint &at, int top, int bottom, int left,
                    int right) const;
    void copyLines(const QRect &device, const QImage &pixels, int fromLeft);
    void takeInBorrowedOver(int left, int right);
    void splitByBorrowed(int left, int right);
    // Calls `run(left, right)` for each run of columns with pixels of their own from `left` to
    // `right` (excluded).
    template <class Run> void forEachOwnRun(int left, int right, Run run) const;
    // Brings the lines below the first up to date in the columns left to right (excluded).
    void spreadFirstLine(int left, int right);
    // What the lines below the first hold in a column.
    enum class Column : unsigned char {
        // Their own pixels, which differ from the first line's.
        Own,
        // The same as the first line, as in a grid line: they may be copied from it.
        Same,
        // Not yet what the first line shows, which they are to show.
        Behind,
    };

    QImage m_background;
    QImage m_pixels;
    uchar *m_bits = nullptr;
    qsizetype m_stride = 0;
    int m_cellLines = 0;
    int m_width = 0;
    int m_height = 0;
    int m_scale = 1;
    QPoint m_origin;
    std::vector<Column> m_columns;
    // How the columns stand at the start of every row: as in the background.
    std::vector<Column> m_backgroundColumns;
    // Pixels copied over all the cells' lines, left in the picture they came in until the row
    // is finished: device columns left to right (excluded).
    struct Borrowed {
        int left = 0;
        int right = 0;
        QImage pixels;
    };
    std::vector<Borrowed> m_borrowed;
    // The runs of columns with pixels of their own, each from the row or from a borrowed
    // picture, whose first line's pixel for the run's first column lies at `borrowed`; kept to
    // spare an allocation per row.
    struct OwnRun {
        int left = 0;
        int right = 0;
        const uchar *borrowed = nullptr;
        qsizetype borrowedStride = 0;
    };
    std::vector<OwnRun> m_ownRuns;
};

// The image the painter paints on, when painting the logical rectangle there would put its
// pixels exactly where `scale` device pixels per logical pixel say, at `at`: the raster engine on
// an opaque 32-bit image, a transform that only moves by whole pixels and scales by `scale`,
// plain painting, and clips that hold the whole rectangle; `clip` is the painter's own clip
// (logical, null when unknown). Null otherwise. Writing there skips the painter's per-call and
// per-line work, which for a small or thin rectangle costs more than its pixels.
QImage *PaintedImage(QPainter &painter, const QRect &logical, const QRect &clip, int scale,
                     QPoint &at);
// Fills a rectangle of an unscaled painter straight in its image with an opaque colour; false,
// with nothing painted, when PaintedImage cannot tell where or the colour is translucent, which
// the painter blends.
bool FillPaintedImage(QPainter &painter, const QRect &logical, const QRect &clip,
                      const QColor &colour);
