#include "app/tform1.h"

// PLACEHOLDER: being written.
void TForm1::ConnectPicker() {}
void TForm1::LoadStoredPalette() {}
void TForm1::ShowColourInPicker(DisplayColour) {}
void TForm1::UpdatePreviewFromTrackBars() {}
void TForm1::SyncEditWithTrackBar(QLineEdit *, TrackBar *) {}
void TForm1::DrawColourPalette(int) {}
void TForm1::TrackBarREDChange() {}
void TForm1::TrackBarGREENChange() {}
void TForm1::TrackBarBLUEChange() {}
void TForm1::EditREDChange() {}
void TForm1::EditGREENChange() {}
void TForm1::EditBLUEChange() {}
void TForm1::ImageColorSelectionRGBMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void TForm1::ImageColorSelectionRGBMouseMove(Qt::KeyboardModifiers, int, int) {}
void TForm1::ImageColorSelectionRGBMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void TForm1::TabSetColorPaletteChange(int, bool &) {}
DisplayColour TForm1::PreviewColour() const { return 0; }
void TForm1::SetPreviewColour(DisplayColour) {}
