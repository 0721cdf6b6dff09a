#pragma once

#include <QImage>
#include <QString>

constexpr int LogoWidth = 111;
constexpr int LogoHeight = 89;

// The program's logo on a solid background colour that surrounds it; the window recolours
// that background at start. The ring of the "o" encloses pixels of the background colour
// that are not connected to the corner, so they keep their colour. Drawn for a screen of the
// given pixel ratio, it stays sharp there.
QImage MakeLogo(qreal pixelRatio = 1);

// The program's icon, square: the logo's ring over two ramps of colour bars, on a transparent
// ground. IconSvg is the same drawing as a scalable picture.
QImage MakeIcon(int size);
QString IconSvg();
