#include "widgets/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

#include <vector>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
}

void PictureBox::setPicture(const QImage &picture)
{
    m_picture = picture;
    update();
}

const QImage &PictureBox::picture() const
{
    return m_picture;
}

void PictureBox::ensureSurface()
{
    if (m_picture.isNull()) {
        m_picture = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        m_picture.fill(Qt::white);
        return;
    }
    if (m_picture.format() != QImage::Format_RGB32 && m_picture.format() != QImage::Format_ARGB32)
        m_picture = m_picture.convertToFormat(m_picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                          : QImage::Format_RGB32);
}

void PictureBox::fillRect(int left, int top, int right, int bottom, const QColor &colour)
{
    ensureSurface();
    update();
    // A rectangle with its edges swapped is empty, as it is for the platform's fill; QRect's
    // intersection would turn it round instead.
    if (right <= left || bottom <= top)
        return;
    const QRect area = QRect(left, top, right - left, bottom - top) & m_picture.rect();
    if (area.isEmpty())
        return;
    const QRgb value = colour.rgb();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(m_picture.scanLine(y));
        std::fill(line + area.left(), line + area.right() + 1, value);
    }
}

QColor PictureBox::pixel(int x, int y) const
{
    if (!m_picture.valid(x, y))
        return QColor();
    return m_picture.pixelColor(x, y);
}

// Fills whole runs of a row at a time and leaves one seed for each run of the area just
// above and below, an explicit stack instead of recursion: an area can span the whole picture.
void PictureBox::floodFill(int x, int y, const QColor &colour)
{
    ensureSurface();
    if (!m_picture.valid(x, y))
        return;
    // The surface holds one QRgb per pixel; reading and writing them in place spares the
    // format checks of a pixel call for every pixel of the area.
    const auto line = [this](int row) { return reinterpret_cast<QRgb *>(m_picture.scanLine(row)); };
    const QRgb target = line(y)[x];
    const QRgb replacement = colour.rgb();
    if (target == replacement)
        return;
    const int lastColumn = m_picture.width() - 1;
    std::vector<QPoint> seeds{QPoint(x, y)};
    while (!seeds.empty()) {
        const QPoint seed = seeds.back();
        seeds.pop_back();
        QRgb *row = line(seed.y());
        if (row[seed.x()] != target)
            continue;
        int left = seed.x();
        int right = seed.x();
        while (left > 0 && row[left - 1] == target)
            --left;
        while (right < lastColumn && row[right + 1] == target)
            ++right;
        std::fill(row + left, row + right + 1, replacement);
        for (const int next : {seed.y() - 1, seed.y() + 1}) {
            if (next < 0 || next >= m_picture.height())
                continue;
            const QRgb *neighbours = line(next);
            for (int column = left; column <= right; ++column)
                if (neighbours[column] == target &&
                    (column == left || neighbours[column - 1] != target))
                    seeds.emplace_back(column, next);
        }
    }
    update();
}

int PictureBox::tag() const
{
    return m_tag;
}

void PictureBox::setTag(int tag)
{
    m_tag = tag;
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event->button(), event->modifiers(), event->position().toPoint());
}

void PictureBox::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved(event->modifiers(), event->position().toPoint());
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseReleased(event->button(), event->modifiers(), event->position().toPoint());
}
