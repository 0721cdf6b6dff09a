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
    const QStyleOptionSlider option = styleOption();
    const QRect slider = subControlRect(option, QStyle::SC_ScrollBarSlider);
    if (atAnEnd() != m_paintedAtAnEnd || !showsPlainState())
        QScrollBar::sliderChange(change);
    else if (slider != m_paintedSlider)
        update(slider.united(m_paintedSlider) & subControlRect(option, QStyle::SC_ScrollBarGroove));
}

void SteppingScrollBar::paintEvent(QPaintEvent *event)
{
    QStyleOptionSlider option = styleOption();
    m_paintedSlider = subControlRect(option, QStyle::SC_ScrollBarSlider);
    m_paintedAtAnEnd = atAnEnd();
    if (!showsPlainState()) {
        QScrollBar::paintEvent(event);
        return;
    }
    const QRect groove = subControlRect(option, QStyle::SC_ScrollBarGroove);
    option.subControls = QStyle::SC_All;
    option.activeSubControls = QStyle::SC_None;
    QPainter painter(this);
    if (const QImage *kept = picture(option)) {
        painter.drawImage(QPoint(0, 0), *kept);
        return;
    }
    // The groove alone where only it needs painting: the arrow buttons, which cost most of the
    // bar, lie outside it.
    if (groove.contains(event->rect()))
        option.subControls =
            QStyle::SC_ScrollBarSubPage | QStyle::SC_ScrollBarAddPage | QStyle::SC_ScrollBarSlider;
    style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
}

namespace {

bool SameLook(const QStyleOptionSlider &x, const QStyleOptionSlider &y)
{
    return x.rect == y.rect && x.state == y.state && x.direction == y.direction &&
           x.palette == y.palette && x.palette.resolveMask() == y.palette.resolveMask() &&
           x.fontMetrics.height() == y.fontMetrics.height() && x.orientation == y.orientation &&
           x.minimum == y.minimum && x.maximum == y.maximum && x.singleStep == y.singleStep &&
           x.pageStep == y.pageStep && x.sliderPosition == y.sliderPosition &&
           x.sliderValue == y.sliderValue && x.upsideDown == y.upsideDown &&
           x.subControls == y.subControls && x.activeSubControls == y.activeSubControls;
}

} // namespace

const QImage *SteppingScrollBar::picture(const QStyleOptionSlider &option)
{
    const qreal ratio = devicePixelRatioF();
    if (m_pictureStyle != style() || m_pictureRatio != ratio ||
        !SameLook(option, m_pictureOption)) {
        m_picture = QImage();
        m_pictureOption = option;
        m_pictureStyle = style();
        m_pictureRatio = ratio;
        return nullptr;
    }
    if (m_picture.isNull()) {
        m_picture = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Qt::transparent);
        QPainter painter(&m_picture);
        style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
    }
    return &m_picture;
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

// Made once an event: an option copies the bar's palette and font.
QStyleOptionSlider SteppingScrollBar::styleOption() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return option;
}

QRect SteppingScrollBar::subControlRect(const QStyleOptionSlider &option,
                                        QStyle::SubControl control) const
{
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
