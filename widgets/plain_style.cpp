#include "widgets/plain_style.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace {

// Half one colour, half the other: what a fine checkerboard of the two looks like.
QColor Halfway(const QColor &a, const QColor &b)
{
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

// The plain style paints a scroll bar's trough as a checkerboard pattern, which the toolkit
// fills on worker threads and waits for: a third of the cost of a one-row scroll. A solid fill
// of the colour the pattern averages to looks the same from a normal distance.
class PlainStyle : public QProxyStyle {
public:
    PlainStyle() : QProxyStyle(QStyleFactory::create("Windows")) {}

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element != CE_ScrollBarAddPage && element != CE_ScrollBarSubPage) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QPalette &palette = option->palette;
        const bool pressed = option->state & State_Sunken;
        painter->fillRect(
            option->rect,
            pressed ? Halfway(palette.color(QPalette::Shadow), palette.color(QPalette::Dark))
                    : Halfway(palette.color(QPalette::Light), palette.color(QPalette::Button)));
    }
};

} // namespace

QStyle *CreatePlainStyle()
{
    return new PlainStyle;
}

void SetPlainStyle(QWidget *control)
{
    QStyle *plain = CreatePlainStyle();
    plain->setParent(control);
    control->setStyle(plain);
}
