#include "widgets/stepping_scroll_bar.h"

#include <QStyle>
#include <QStyleOptionSlider>

void SteppingScrollBar::sliderChange(SliderChange change)
{
    if (change == SliderValueChange && sliderRect() == m_paintedSlider &&
        atAnEnd() == m_paintedAtAnEnd)
        return;
    QScrollBar::sliderChange(change);
}

void SteppingScrollBar::paintEvent(QPaintEvent *event)
{
    m_paintedSlider = sliderRect();
    m_paintedAtAnEnd = atAnEnd();
    QScrollBar::paintEvent(event);
}

QRect SteppingScrollBar::sliderRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
}

bool SteppingScrollBar::atAnEnd() const
{
    return value() == minimum() || value() == maximum();
}
