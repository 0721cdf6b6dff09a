#pragma once

#include "huefile/hue_entry.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

// Display colours keep red in the low byte; QColor takes the channels one by one.
inline QColor ToQColor(DisplayColour colour)
{
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

inline QRgb ToQRgb(DisplayColour colour)
{
    return qRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

inline DisplayColour FromQColor(const QColor &colour)
{
    return static_cast<DisplayColour>(colour.red()) |
           (static_cast<DisplayColour>(colour.green()) << 8) |
           (static_cast<DisplayColour>(colour.blue()) << 16);
}

// Text and background colours of a control are roles of its own palette.
inline void SetRoleColour(QWidget *control, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = control->palette();
    palette.setColor(role, colour);
    control->setPalette(palette);
}
