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
    m_scale = qRound(m_pixels.devicePixelRatio());
    m_origin = origin;
}

void PixelRow::fill(const QRect &rect, QRgb colour)
{
    const int left = std::max(0, (rect.left() - m_origin.x()) * m_scale);
    const int right = std::min(m_pixels.width(), (rect.right() + 1 - m_origin.x()) * m_scale);
    const int top = std::max(0, (rect.top() - m_origin.y()) * m_scale);
    const int bottom = std::min(m_pixels.height(), (rect.bottom() + 1 - m_origin.y()) * m_scale);
    if (left >= right || top >= bottom)
        return;
    if (top == 0 && bottom == m_cellLines) {
        std::fill(line(0) + left, line(0) + right, colour);
        std::fill(m_columns.begin() + left, m_columns.begin() + right, Column::Behind);
        return;
    }
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
// every line, is copied down from the first line in one piece per line.
void PixelRow::spreadFirstLine(int left, int right)
{
    int x = left;
    while (x < right) {
        while (x < right && m_columns[x] != Column::Behind)
            ++x;
        const int runLeft = x;
        int runRight = x;
        for (; x < right && m_columns[x] != Column::Own; ++x)
            if (m_columns[x] == Column::Behind)
                runRight = x + 1;
        if (runRight == runLeft)
            continue;
        const auto runBytes = static_cast<size_t>(runRight - runLeft) * sizeof(QRgb);
        for (int y = 1; y < m_cellLines; ++y)
            std::memcpy(line(y) + runLeft, line(0) + runLeft, runBytes);
        std::fill(m_columns.begin() + runLeft, m_columns.begin() + runRight, Column::Same);
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
