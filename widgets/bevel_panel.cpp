#include "widgets/bevel_panel.h"

#include <QPainter>

namespace {

// One 1-pixel bevel along the edges of rect: top and left in the first colour (the bottom-left
// corner included), bottom and right in the second (the top-right corner included).
void DrawBevel(QPainter &painter, const QRect &rect, const QColor &topLeft,
               const QColor &bottomRight)
{
    painter.fillRect(rect.left(), rect.top(), 1, rect.height(), topLeft);
    painter.fillRect(rect.left(), rect.top(), rect.width() - 1, 1, topLeft);
    painter.fillRect(rect.right(), rect.top(), 1, rect.height(), bottomRight);
    painter.fillRect(rect.left() + 1, rect.bottom(), rect.width() - 1, 1, bottomRight);
}

} // namespace

BevelPanel::BevelPanel(Bevel inner, Bevel outer, QWidget *parent)
    : QFrame(parent), m_inner(inner), m_outer(outer), m_colour(palette().color(QPalette::Button))
{
    setFrameShape(QFrame::NoFrame);
}

void BevelPanel::setColour(const QColor &colour)
{
    m_colour = colour;
    update();
}

QColor BevelPanel::colour() const
{
    return m_colour;
}

void BevelPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_colour);
    const QColor light = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    QRect edge = rect();
    for (const Bevel bevel : {m_outer, m_inner}) {
        if (bevel == Bevel::None)
            continue;
        if (bevel == Bevel::Raised)
            DrawBevel(painter, edge, light, shadow);
        else
            DrawBevel(painter, edge, shadow, light);
        edge.adjust(1, 1, -1, -1);
    }
}
