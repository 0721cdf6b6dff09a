#pragma once

#include "huefile/hue_entry.h"

// Colour k of a linear gradient of span steps from lo to hi. Each channel moves by
// (hi - lo) * k / span with division truncating toward zero, and keeps only its 5
// significant bits, so the result is exactly what a spread writes.
DisplayColour GradientColour(DisplayColour lo, DisplayColour hi, int k, int span);
