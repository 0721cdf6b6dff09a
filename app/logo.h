#pragma once

#include <QImage>

constexpr int LogoWidth = 111;
constexpr int LogoHeight = 89;

// The program's logo on a solid background colour that surrounds it; the window recolours
// that background at start. The ring of the "o" encloses pixels of the background colour
// that are not connected to the corner, so they keep their colour.
QImage MakeLogo();
