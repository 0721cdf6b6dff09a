#include "app/tform1.h"

// PLACEHOLDER: being written.
void TForm1::CopyColorsClick() {}
bool TForm1::CopyEntry(std::FILE *, std::FILE *, int, int) { return true; }
bool TForm1::CopyEntryRange(std::FILE *, std::FILE *, int, int, int, int) { return true; }
