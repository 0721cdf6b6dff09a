#include "app/tform1.h"

// PLACEHOLDER: being written.
void TForm1::ConnectRangeBar() {}
void TForm1::DrawColorRange(int, int, bool) {}
void TForm1::MixColorOkayClick() {}
void TForm1::SpreadColorOkayClick() {}
