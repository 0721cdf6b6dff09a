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

// An explicit stack of seeds instead of recursion: an area can span the whole picture.
void PictureBox::floodFill(int x, int y, const QColor &colour)
{
    ensureSurface();
    if (!m_picture.valid(x, y))
        return;
    // The surface holds one QRgb per pixel; reading and writing them in place spares the
    // format checks of a pixel call for every pixel of the area.
    auto *bits = reinterpret_cast<QRgb *>(m_picture.bits());
    const qsizetype stride = m_picture.bytesPerLine() / qsizetype(sizeof(QRgb));
    const auto pixel = [bits, stride](const QPoint &p) -> QRgb & {
        return bits[p.y() * stride + p.x()];
    };
    const QRgb target = pixel(QPoint(x, y));
    const QRgb replacement = colour.rgb();
    if (target == replacement)
        return;
    std::vector<QPoint> seeds{QPoint(x, y)};
    while (!seeds.empty()) {
        const QPoint seed = seeds.back();
        seeds.pop_back();
        if (!m_picture.valid(seed) || pixel(seed) != target)
            continue;
        pixel(seed) = replacement;
        seeds.emplace_back(seed.x() + 1, seed.y());
        seeds.emplace_back(seed.x() - 1, seed.y());
        seeds.emplace_back(seed.x(), seed.y() + 1);
        seeds.emplace_back(seed.x(), seed.y() - 1);
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
