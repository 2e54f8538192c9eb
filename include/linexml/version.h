#pragma once

// The one place the version is kept; CMake reads it from here.
#define LINEXML_VERSION_STRING "0.1.0"
#define LINEXML_VERSION_MAJOR 0
#define LINEXML_VERSION_MINOR 1
#define LINEXML_VERSION_PATCH 0
