#include "app/tform1.h"

// PLACEHOLDER: being written.
void TForm1::ConnectCopy() {}
void TForm1::NumberFromChange() {}
void TForm1::NumberToChange() {}
void TForm1::TargetNumberFromChange() {}
void TForm1::TargetNumberToChange() {}
void TForm1::Only1ColorClick() {}
void TForm1::TargetOtherClick() {}
