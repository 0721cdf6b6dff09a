#pragma once

class QStyle;
class QWidget;

// The toolkit's plain, flat style, which the sunken frames of the grids match and which costs
// a fraction of a shaded style to paint.
QStyle *CreatePlainStyle();

// Gives one control the plain style, whatever the application's style is.
void SetPlainStyle(QWidget *control);
