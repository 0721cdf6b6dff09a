#pragma once

// The toolkit's AVX2 fill routines return with the upper halves of the vector registers still
// in use. On many Intel processors every SSE instruction that follows then pays a penalty
// until they are cleared, which makes a small fill cost three times what it should. A caller
// that paints many small fills clears them after each. Elsewhere than on x86-64 processors
// with AVX this does nothing.
void ClearUpperVectorState();
