#include "widgets/stepping_scroll_bar.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

void SteppingScrollBar::sliderChange(SliderChange change)
{
    if (change != SliderValueChange) {
        QScrollBar::sliderChange(change);
        return;
    }
    const QRect slider = subControlRect(QStyle::SC_ScrollBarSlider);
    if (atAnEnd() != m_paintedAtAnEnd || !showsPlainState())
        QScrollBar::sliderChange(change);
    else if (slider != m_paintedSlider)
        update(subControlRect(QStyle::SC_ScrollBarGroove));
}

void SteppingScrollBar::paintEvent(QPaintEvent *event)
{
    m_paintedSlider = subControlRect(QStyle::SC_ScrollBarSlider);
    m_paintedAtAnEnd = atAnEnd();
    if (!showsPlainState() || !subControlRect(QStyle::SC_ScrollBarGroove).contains(event->rect())) {
        QScrollBar::paintEvent(event);
        return;
    }
    // The groove alone: the arrow buttons, which cost most of the bar, lie outside it.
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls =
        QStyle::SC_ScrollBarSubPage | QStyle::SC_ScrollBarAddPage | QStyle::SC_ScrollBarSlider;
    option.activeSubControls = QStyle::SC_None;
    style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
}

void SteppingScrollBar::mousePressEvent(QMouseEvent *event)
{
    m_pressed = true;
    QScrollBar::mousePressEvent(event);
}

void SteppingScrollBar::mouseReleaseEvent(QMouseEvent *event)
{
    QScrollBar::mouseReleaseEvent(event);
    m_pressed = event->buttons() != Qt::NoButton;
}

QRect SteppingScrollBar::subControlRect(QStyle::SubControl control) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, control, this);
}

bool SteppingScrollBar::atAnEnd() const
{
    return value() == minimum() || value() == maximum();
}

bool SteppingScrollBar::showsPlainState() const
{
    return !m_pressed && !isSliderDown() && !underMouse();
}
