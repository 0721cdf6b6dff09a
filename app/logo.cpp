#include "app/logo.h"

#include <QPainter>

namespace {

constexpr QRgb LogoBackground = qRgb(0xC0, 0xC0, 0xC0);
const QColor RingColour(0x20, 0x40, 0x90);

// The two colour ramps, bar i of n: a blue to yellow one above a red to green one.
QColor UpperBar(int i, int n)
{
    const int level = i * 255 / (n - 1);
    return QColor(level, 64 + level / 2, 255 - level);
}

QColor LowerBar(int i, int n)
{
    const int level = i * 255 / (n - 1);
    return QColor(255 - level, level, level / 2);
}

// A row of colour bars, like the swatches of a hue entry.
void DrawRamp(QPainter &painter)
{
    for (int i = 0; i < 16; ++i) {
        painter.fillRect(8 + i * 6, 52, 5, 12, UpperBar(i, 16));
        painter.fillRect(8 + i * 6, 66, 5, 12, LowerBar(i, 16));
    }
}

// The icon's drawing on a 64-unit square, shared by the pictures and the scalable file.
constexpr int IconUnits = 64;
constexpr int IconBars = 8;
constexpr QRectF IconRing(9, 5, 30, 30);
constexpr qreal IconRingWidth = 6;
constexpr qreal IconBarLeft = 4;
constexpr qreal IconBarStep = 7;
constexpr qreal IconBarWidth = 6;
constexpr qreal IconUpperTop = 40;
constexpr qreal IconLowerTop = 52;
constexpr qreal IconBarHeight = 10;

} // namespace

QImage MakeLogo(qreal pixelRatio)
{
    QImage logo(QSize(LogoWidth, LogoHeight) * pixelRatio, QImage::Format_RGB32);
    logo.setDevicePixelRatio(pixelRatio);
    logo.fill(LogoBackground);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The "o" ring: its inside keeps the background colour after the recolouring.
    painter.setPen(QPen(RingColour, 4));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRect(10, 10, 30, 30));
    QFont font;
    font.setPixelSize(20);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoFontMerging);
    painter.setFont(font);
    painter.setPen(RingColour);
    painter.drawText(QRect(44, 12, 66, 30), Qt::AlignLeft | Qt::AlignVCenter, "lv");
    DrawRamp(painter);
    return logo;
}

QImage MakeIcon(int size)
{
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(qreal(size) / IconUnits, qreal(size) / IconUnits);
    painter.setPen(QPen(RingColour, IconRingWidth));
    painter.drawEllipse(IconRing);
    for (int i = 0; i < IconBars; ++i) {
        const qreal left = IconBarLeft + i * IconBarStep;
        painter.fillRect(QRectF(left, IconUpperTop, IconBarWidth, IconBarHeight),
                         UpperBar(i, IconBars));
        painter.fillRect(QRectF(left, IconLowerTop, IconBarWidth, IconBarHeight),
                         LowerBar(i, IconBars));
    }
    return icon;
}

QString IconSvg()
{
    QString svg = QString("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                          "viewBox=\"0 0 %1 %1\">\n")
                      .arg(IconUnits);
    svg += QString("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"none\" stroke=\"%4\" "
                   "stroke-width=\"%5\"/>\n")
               .arg(IconRing.center().x())
               .arg(IconRing.center().y())
               .arg(IconRing.width() / 2)
               .arg(RingColour.name())
               .arg(IconRingWidth);
    for (int i = 0; i < IconBars; ++i) {
        const qreal left = IconBarLeft + i * IconBarStep;
        for (const auto &[top, colour] : {std::pair{IconUpperTop, UpperBar(i, IconBars)},
                                          std::pair{IconLowerTop, LowerBar(i, IconBars)}})
            svg += QString("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
                       .arg(left)
                       .arg(top)
                       .arg(IconBarWidth)
                       .arg(IconBarHeight)
                       .arg(colour.name());
    }
    return svg + "</svg>\n";
}
