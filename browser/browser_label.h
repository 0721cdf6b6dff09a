#pragma once

#include <QString>

// The label of an entry's row: the number right-aligned in five places, then the same number
// in lower-case hexadecimal behind a "0" prefix, e.g. "   10 [000a]".
QString BrowserLabel(int entryNumber);
