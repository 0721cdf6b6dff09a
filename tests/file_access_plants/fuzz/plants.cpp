// A fuzz target makes its fixtures with the system's own calls, but takes nothing of the window.
#include "undo/write_history.h"
int descriptor = open(name, O_RDONLY);
