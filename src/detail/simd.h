#pragma once

// The engine's 16-byte steps use SSE2, which every x86-64 processor has, so no run-time choice is
// needed. Elsewhere, or built with LINEXML_SCALAR (the clang test build does, so that the tests
// also run the byte-by-byte paths), they are left out and the loops after them do all the work.
#if defined(__SSE2__) && !defined(LINEXML_SCALAR)
#define LINEXML_SSE2 1
#include <emmintrin.h>
#endif
