#include "app/tform1.h"

#include "widgets/draw_grid.h"

// PLACEHOLDER: being written.
void TForm1::ConnectBrowser() {}
void TForm1::HueGrid1DrawCell(QPainter *, int, int, const QRect &) {}
void TForm1::HueGrid1SelectCell(int, int, bool &) {}
void TForm1::HueGrid1DblClick() {}
void TForm1::RefreshBrowser() { HueGrid1->repaint(); }
