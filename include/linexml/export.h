#pragma once
/// \file
/// LINEXML_API, the mark of the library's exported names.

/// LINEXML_API marks the public classes and functions; everything else stays hidden in a shared build.
#if defined(LINEXML_SHARED)
#if defined(LINEXML_BUILDING)
#define LINEXML_API __attribute__((visibility("default")))
#else
#define LINEXML_API
#endif
#else
#define LINEXML_API
#endif
