#include "app/tform1.h"

// PLACEHOLDER: being written.
void TForm1::ConnectWriteBack() {}
void TForm1::PatchItClick() {}
void TForm1::AutoSaveClick() {}
void TForm1::aktHueNameChange() {}
