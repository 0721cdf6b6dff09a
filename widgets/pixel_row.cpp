#include "widgets/pixel_row.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

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
    spreadFirstLine(device.left(), device.right() + 1);
    const auto lineBytes = static_cast<size_t>(device.width()) * sizeof(QRgb);
    for (int y = 0; y < device.height(); ++y)
        std::memcpy(line(device.top() + y) + device.left(), pixels.constScanLine(y), lineBytes);
    std::fill(m_columns.begin() + device.left(), m_columns.begin() + device.right() + 1,
              Column::Own);
    return true;
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

void PixelRow::finish(QPainter &painter, const QRect &uncovered)
{
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
