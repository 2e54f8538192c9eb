#pragma once
/// \file
/// The library's version. The one place the version is kept; CMake reads it from here.

/// The version as text, "MAJOR.MINOR.PATCH".
#define LINEXML_VERSION_STRING "0.2.0"
/// Changes when the library breaks code or files that worked with the one before.
#define LINEXML_VERSION_MAJOR 0
/// Changes when the library gains something.
#define LINEXML_VERSION_MINOR 2
/// Changes for fixes only.
#define LINEXML_VERSION_PATCH 0
