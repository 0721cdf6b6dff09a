#include "app/tform1.h"

#include "widgets/draw_grid.h"

// PLACEHOLDER: being written.
void TForm1::ConnectEditorGrid() {}
void TForm1::HueGridEditDrawCell(QPainter *, int, int, const QRect &) {}
void TForm1::HueGridEditSelectCell(int, int, bool &) {}
void TForm1::HueGridEditMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void TForm1::HueGridEditMouseMove(Qt::KeyboardModifiers, int, int) {}
void TForm1::HueGridEditMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void TForm1::HueGridEditEnter() {}
void TForm1::RefreshHueGridEdit() { HueGridEdit->repaint(); }
