#include "widgets/plain_style.h"

#include "widgets/pixel_row.h"

#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// Half one colour, half the other: what a fine checkerboard of the two looks like.
QColor Halfway(const QColor &a, const QColor &b)
{
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

bool Opaque(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        if (!std::all_of(line, line + image.width(), [](QRgb pixel) { return qAlpha(pixel) == 255; }))
            return false;
    }
    return true;
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
        if (element == CE_ScrollBarSlider && drawKeptSlider(option, painter, widget))
            return;
        if (element != CE_ScrollBarAddPage && element != CE_ScrollBarSubPage) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QPalette &palette = option->palette;
        const bool pressed = option->state & State_Sunken;
        const QColor trough =
            pressed ? Halfway(palette.color(QPalette::Shadow), palette.color(QPalette::Dark))
                    : Halfway(palette.color(QPalette::Light), palette.color(QPalette::Button));
        // Written straight into the window's picture where it can be: the painter fills a
        // column this narrow line by line, at several times the cost of its pixels.
        if (!FillPaintedImage(*painter, option->rect, QRect(), trough))
            painter->fillRect(option->rect, trough);
    }

private:
    // The slider is a raised button drawn line by line, which costs more than the rest of the
    // bar, and a list that scrolls moves it at every page with its look unchanged. So its look
    // is painted once and drawn again wherever it lies, when the look depends on nothing but
    // the slider's size: an enabled slider over solid colours.
    bool drawKeptSlider(const QStyleOption *option, QPainter *painter, const QWidget *widget) const
    {
        const QPalette &palette = option->palette;
        const bool solid = palette.brush(QPalette::Button).style() == Qt::SolidPattern &&
                           palette.brush(QPalette::Light).style() == Qt::SolidPattern;
        // At a fractional scale a picture's pixels would not fall where the lines would.
        const qreal ratio = painter->device()->devicePixelRatioF();
        if (!(option->state & State_Enabled) || !solid || option->rect.isEmpty() ||
            ratio != std::floor(ratio))
            return false;
        if (m_slider.size() != option->rect.size() * ratio ||
            m_slider.devicePixelRatio() != ratio || m_sliderState != option->state ||
            m_sliderPalette != palette.cacheKey()) {
            m_slider = QImage(option->rect.size() * ratio, QImage::Format_ARGB32_Premultiplied);
            m_slider.setDevicePixelRatio(ratio);
            m_slider.fill(Qt::transparent);
            QStyleOption atOrigin(*option);
            atOrigin.rect.moveTopLeft(QPoint(0, 0));
            QPainter picture(&m_slider);
            QProxyStyle::drawControl(CE_ScrollBarSlider, &atOrigin, &picture, widget);
            picture.end();
            // A slider that covers its every pixel is drawn as a plain copy, with no blending.
            if (Opaque(m_slider))
                m_slider.convertTo(QImage::Format_RGB32);
            m_sliderState = option->state;
            m_sliderPalette = palette.cacheKey();
        }
        painter->drawImage(option->rect.topLeft(), m_slider);
        return true;
    }

    mutable QImage m_slider;
    mutable State m_sliderState;
    mutable qint64 m_sliderPalette = 0;
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
