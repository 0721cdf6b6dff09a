#pragma once

#include "huefile/entry_difference.h"

#include <QString>

// What the browser's tip says about a row's two entries, for example
// "Differs in: colours 0-3, 17; the name; the carried bytes". Colour slots count from 0, as
// the swatches' own tips do.
QString DifferenceText(const EntryDifference &difference);
