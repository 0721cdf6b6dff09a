#include "widgets/pixel_row.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The end of the run of `state` bytes from `from`, eight at a time where it can: a label's run
// is dozens of columns long, and a byte at a time it cost a tenth of writing the row.
int RunEnd(const unsigned char *states, int from, int end, unsigned char state)
{
    std::uint64_t eight = 0;
    std::memset(&eight, state, sizeof eight);
    int x = from;
    for (std::uint64_t word = 0; x + 8 <= end; x += 8) {
        std::memcpy(&word, states + x, sizeof word);
        if (word != eight)
            break;
    }
    while (x < end && states[x] == state)
        ++x;
    return x;
}

} // namespace

template <class Run> void PixelRow::forEachOwnRun(int left, int right, Run run) const
{
    const auto *states = reinterpret_cast<const unsigned char *>(m_columns.data());
    const auto own = static_cast<unsigned char>(Column::Own);
    for (int x = left; x < right;) {
        const void *found = std::memchr(states + x, own, right - x);
        if (!found)
            return;
        const auto runLeft = static_cast<int>(static_cast<const unsigned char *>(found) - states);
        x = RunEnd(states, runLeft, right, own);
        run(runLeft, x);
    }
}

void PixelRow::begin(const QImage &background, int cellLines, const QPoint &origin)
{
    if (background.cacheKey() != m_background.cacheKey() || cellLines != m_cellLines) {
        m_background = background;
        m_pixels = background.copy();
        m_cellLines = std::min(cellLines, m_pixels.height());
        m_backgroundColumns.assign(m_pixels.width(), Column::Same);
        for (int y = 1; y < m_cellLines; ++y)
            for (int x = 0; x < m_pixels.width(); ++x)
                if (m_pixels.pixel(x, y) != m_pixels.pixel(x, 0))
                    m_backgroundColumns[x] = Column::Own;
    }
    m_borrowed.clear();
    m_columns = m_backgroundColumns;
    // Looked up once a row: each scan line lookup of an image checks whether it is shared.
    m_bits = m_pixels.bits();
    m_stride = m_pixels.bytesPerLine();
    m_width = m_pixels.width();
    m_height = m_pixels.height();
    m_scale = qRound(m_pixels.devicePixelRatio());
    m_origin = origin;
}

void PixelRow::fillPart(int left, int right, int top, int bottom, QRgb colour)
{
    takeInBorrowedOver(left, right);
    spreadFirstLine(left, right);
    for (int y = top; y < bottom; ++y)
        std::fill(line(y) + left, line(y) + right, colour);
    std::fill(m_columns.begin() + left, m_columns.begin() + right, Column::Own);
}

bool PixelRow::copy(const QRect &rect, const QImage &pixels)
{
    const QRect device((rect.topLeft() - m_origin) * m_scale, pixels.size());
    if (pixels.size() != rect.size() * m_scale || pixels.format() != m_pixels.format() ||
        !m_pixels.rect().contains(device))
        return false;
    takeInBorrowedOver(device.left(), device.right() + 1);
    // Pixels over all the cells' lines are only borrowed: a row written straight into the
    // window's picture takes them from the picture they came in, which spares copying them
    // here first. A label and a separator a row are such copies.
    if (device.top() == 0 && device.height() == m_cellLines) {
        m_borrowed.push_back({device.left(), device.right() + 1, pixels});
    } else {
        spreadFirstLine(device.left(), device.right() + 1);
        copyLines(device, pixels, 0);
    }
    std::fill(m_columns.begin() + device.left(), m_columns.begin() + device.right() + 1,
              Column::Own);
    return true;
}

// The device rectangle's lines from the picture's columns from `fromLeft` on.
void PixelRow::copyLines(const QRect &device, const QImage &pixels, int fromLeft)
{
    const auto lineBytes = static_cast<size_t>(device.width()) * sizeof(QRgb);
    // One look-up of the bits: each scan line look-up of an image checks whether it is shared.
    const uchar *from = pixels.constBits() + fromLeft * sizeof(QRgb);
    const qsizetype fromStride = pixels.bytesPerLine();
    for (int y = 0; y < device.height(); ++y, from += fromStride)
        std::memcpy(line(device.top() + y) + device.left(), from, lineBytes);
}

// A write over borrowed pixels needs them in the row first, in the columns where they are
// still the last thing written: a fill of the whole height since left its columns behind.
void PixelRow::takeInBorrowedOver(int left, int right)
{
    for (auto each = m_borrowed.begin(); each != m_borrowed.end();) {
        if (each->right <= left || each->left >= right) {
            ++each;
            continue;
        }
        forEachOwnRun(each->left, each->right, [&](int runLeft, int runRight) {
            copyLines(QRect(runLeft, 0, runRight - runLeft, m_cellLines), each->pixels,
                      runLeft - each->left);
        });
        each = m_borrowed.erase(each);
    }
}

// Each run of columns that are behind, with the columns between them that are the same in
// every line, is copied down from the first line in one piece per line. The states are bytes,
// so the runs are found with memchr rather than column by column.
void PixelRow::spreadFirstLine(int left, int right)
{
    const auto *states = reinterpret_cast<const unsigned char *>(m_columns.data());
    const auto find = [&](int from, Column state) {
        const void *at = std::memchr(states + from, static_cast<int>(state), right - from);
        return at ? static_cast<int>(static_cast<const unsigned char *>(at) - states) : right;
    };
    for (int x = find(left, Column::Behind); x < right;) {
        const int runLeft = x;
        const int own = find(runLeft, Column::Own);
        int runRight = own;
        while (m_columns[runRight - 1] != Column::Behind)
            --runRight;
        const auto runBytes = static_cast<size_t>(runRight - runLeft) * sizeof(QRgb);
        for (int y = 1; y < m_cellLines; ++y)
            std::memcpy(line(y) + runLeft, line(0) + runLeft, runBytes);
        std::fill(m_columns.begin() + runLeft, m_columns.begin() + runRight, Column::Same);
        x = own < right ? find(own, Column::Behind) : right;
    }
}

void PixelRow::finish(QPainter &painter, const QRect &uncovered, const QRect &clip)
{
    QPoint at;
    if (uncovered.isNull()) {
        const QRect logical(m_origin, m_pixels.size() / m_scale);
        if (QImage *target = PaintedImage(painter, logical, clip, m_scale, at)) {
            finishAt(*target, at, m_height, 0, m_width);
            return;
        }
    }
    takeInBorrowedOver(0, m_width);
    spreadFirstLine(0, m_pixels.width());
    if (uncovered.isNull()) {
        painter.drawImage(m_origin, m_pixels);
        return;
    }
    // What lies left and right of the uncovered rectangle over the row's height, and above and
    // below it.
    const QRect row(m_origin, m_pixels.size() / m_scale);
    const QRect pieces[] = {
        QRect(QPoint(row.left(), row.top()), QPoint(uncovered.left() - 1, row.bottom())),
        QRect(QPoint(uncovered.right() + 1, row.top()), row.bottomRight()),
        QRect(QPoint(uncovered.left(), row.top()), QPoint(uncovered.right(), uncovered.top() - 1)),
        QRect(QPoint(uncovered.left(), uncovered.bottom() + 1),
              QPoint(uncovered.right(), row.bottom())),
    };
    for (const QRect &piece : pieces) {
        const QRect inRow = piece & row;
        if (!inRow.isEmpty())
            painter.drawImage(
                inRow, m_pixels,
                QRect((inRow.topLeft() - m_origin) * m_scale, inRow.size() * m_scale));
    }
}

namespace {

// A region's rectangles never overlap, so they hold a rectangle exactly when the parts of it
// they cover add up to all of it. A rectangle across the region's bands, as a frame edge beside
// the scroll bar is, costs no region of its own this way.
bool RegionHolds(const QRegion &region, const QRect &rect)
{
    qint64 covered = 0;
    for (const QRect &part : region) {
        const QRect common = part & rect;
        if (!common.isEmpty())
            covered += static_cast<qint64>(common.width()) * common.height();
    }
    return covered == static_cast<qint64>(rect.width()) * rect.height();
}

} // namespace

QImage *PaintedImage(QPainter &painter, const QRect &logical, const QRect &clip, int scale,
                     QPoint &at)
{
    QPaintEngine *engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || !engine->paintDevice() ||
        engine->paintDevice()->devType() != QInternal::Image)
        return nullptr;
    auto *target = static_cast<QImage *>(engine->paintDevice());
    const bool opaqueLayout = target->format() == QImage::Format_RGB32 ||
                              target->format() == QImage::Format_ARGB32_Premultiplied;
    if (!opaqueLayout || !target->isDetached() ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver || painter.opacity() != 1)
        return nullptr;
    const QTransform toDevice = painter.deviceTransform();
    if (toDevice.type() > QTransform::TxScale || toDevice.m11() != scale ||
        toDevice.m22() != scale || toDevice.dx() != std::floor(toDevice.dx()) ||
        toDevice.dy() != std::floor(toDevice.dy()))
        return nullptr;
    if (painter.hasClipping() && (clip.isNull() || !clip.contains(logical)))
        return nullptr;
    const QRect device(QPoint(qRound(toDevice.dx()), qRound(toDevice.dy())) +
                           logical.topLeft() * scale,
                       logical.size() * scale);
    if (!target->rect().contains(device))
        return nullptr;
    const QRegion systemClip = engine->systemClip();
    if (!systemClip.isEmpty() && !RegionHolds(systemClip, device))
        return nullptr;
    at = device.topLeft();
    return target;
}

bool FillPaintedImage(QPainter &painter, const QRect &logical, const QRect &clip,
                      const QColor &colour)
{
    if (colour.alpha() != 255)
        return false;
    QPoint at;
    QImage *target = PaintedImage(painter, logical, clip, 1, at);
    if (!target)
        return false;
    // One look-up of the bits: each scan line look-up of an image checks whether it is shared.
    uchar *const bits = target->bits();
    const qsizetype stride = target->bytesPerLine();
    const QRgb opaque = colour.rgb();
    uchar *line = bits + at.y() * stride + at.x() * sizeof(QRgb);
    // Taken out of the loops: a store through the line could change them, for all the compiler
    // knows.
    const int width = logical.width();
    const int height = logical.height();
    const auto fillLines = [&](auto fillLine) {
        for (int y = 0; y < height; ++y, line += stride)
            fillLine(reinterpret_cast<QRgb *>(line));
    };
    // Most such rectangles are a pixel or two wide, a frame's edge or the strip beside a grid's
    // cells, where a fill call per line would cost several times the line's pixels.
    switch (width) {
    case 1:
        fillLines([&](QRgb *pixels) { pixels[0] = opaque; });
        break;
    case 2:
        fillLines([&](QRgb *pixels) { pixels[0] = pixels[1] = opaque; });
        break;
    default:
        fillLines([&](QRgb *pixels) {
            for (int x = 0; x < width; ++x)
                pixels[x] = opaque;
        });
    }
    return true;
}

void PixelRow::finishAt(QImage &target, const QPoint &at, int lines, int left, int right,
                        int coveredLeft, int coveredRight)
{
    m_ownRuns.clear();
    forEachOwnRun(0, m_width,
                  [this](int runLeft, int runRight) { splitByBorrowed(runLeft, runRight); });
    if (coveredLeft >= coveredRight) {
        writeLines(target, at, 0, lines, left, right);
    } else {
        writeLines(target, at, 0, lines, left, std::min(right, coveredLeft));
        writeLines(target, at, 0, lines, std::max(left, coveredRight), right);
        writeLines(target, at, m_cellLines, lines, std::max(left, coveredLeft),
                   std::min(right, coveredRight));
    }
    m_borrowed.clear();
}

// Each line of the cells is the first line but in the columns with pixels of their own, which
// come from that line or from the picture they are borrowed from; this spares spreading the
// first line inside the row first. Every pixel of the target is written once: the target is
// the window's picture, and writing it is most of the cost of a row.
void PixelRow::writeLines(QImage &target, const QPoint &at, int top, int bottom, int left,
                          int right) const
{
    if (left >= right)
        return;
    uchar *const bits = target.bits();
    const qsizetype stride = target.bytesPerLine();
    QRgb *to = nullptr;
    // Copies the columns `start` to `end` (excluded) that lie within `left` to `right`, from a
    // line whose pixel for the column `firstColumn` lies at `from`.
    const auto copy = [&](const QRgb *from, int firstColumn, int start, int end) {
        start = std::max(start, left);
        end = std::min(end, right);
        if (end > start)
            std::memcpy(to + start, from + (start - firstColumn),
                        static_cast<size_t>(end - start) * sizeof(QRgb));
    };
    for (int y = top; y < bottom; ++y) {
        to = reinterpret_cast<QRgb *>(bits + (at.y() + y) * stride) + at.x();
        if (y >= m_cellLines || m_ownRuns.empty() || (y == 0 && m_borrowed.empty())) {
            copy(y < m_cellLines ? line(0) : line(y), 0, left, right);
            continue;
        }
        int x = left;
        for (const OwnRun &run : m_ownRuns) {
            if (run.right <= left || run.left >= right)
                continue;
            copy(line(0), 0, x, run.left);
            if (run.borrowed)
                copy(reinterpret_cast<const QRgb *>(run.borrowed + y * run.borrowedStride),
                     run.left, run.left, run.right);
            else
                copy(line(y), 0, run.left, run.right);
            x = run.right;
        }
        copy(line(0), 0, x, right);
    }
}

// A run of columns with pixels of their own, cut where borrowed pictures begin and end.
void PixelRow::splitByBorrowed(int left, int right)
{
    for (int x = left; x < right;) {
        const Borrowed *from = nullptr;
        int end = right;
        for (const Borrowed &each : m_borrowed) {
            if (each.left <= x && x < each.right) {
                from = &each;
                end = std::min(end, each.right);
            } else if (each.left > x) {
                end = std::min(end, each.left);
            }
        }
        OwnRun run{x, end};
        if (from) {
            // Looked up once a row: each scan line look-up of an image costs a call.
            run.borrowed = from->pixels.constBits() + (x - from->left) * sizeof(QRgb);
            run.borrowedStride = from->pixels.bytesPerLine();
        }
        m_ownRuns.push_back(run);
        x = end;
    }
}
