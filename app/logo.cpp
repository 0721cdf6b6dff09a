#include "app/logo.h"

#include <QPainter>

namespace {

constexpr QRgb LogoBackground = qRgb(0xC0, 0xC0, 0xC0);

// A row of colour bars, like the swatches of a hue entry.
void DrawRamp(QPainter &painter)
{
    for (int i = 0; i < 16; ++i) {
        const int level = i * 255 / 15;
        painter.fillRect(8 + i * 6, 52, 5, 12, QColor(level, 64 + level / 2, 255 - level));
        painter.fillRect(8 + i * 6, 66, 5, 12, QColor(255 - level, level, level / 2));
    }
}

} // namespace

QImage MakeLogo()
{
    QImage logo(LogoWidth, LogoHeight, QImage::Format_RGB32);
    logo.fill(LogoBackground);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The "o" ring: its inside keeps the background colour after the recolouring.
    painter.setPen(QPen(QColor(0x20, 0x40, 0x90), 4));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRect(10, 10, 30, 30));
    QFont font;
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0x20, 0x40, 0x90));
    painter.drawText(QRect(44, 12, 66, 30), Qt::AlignLeft | Qt::AlignVCenter, "lv");
    DrawRamp(painter);
    return logo;
}
