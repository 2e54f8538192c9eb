#pragma once

#include <cstdint>

#include "linexml/export.h"

namespace linexml::detail {

// How far a parse may go: the most children or attributes of one element (and other attributes of
// the declaration), and the deepest Level. They are what the public 32-bit counts and levels can
// show, far beyond what memory allows for nodes; past them a load fails with ecOutOfMemory and a
// parse step throws std::length_error, so nothing ever wraps around.
struct Limits {
  std::uint32_t max_count = 0x7FFFFFFF;
  std::int32_t max_level = 0x7FFFFFFF;
};

// The limits in force. Only tests change them (to reach them with little memory); every parse
// reads them once, when it starts.
LINEXML_API Limits& CurrentLimits() noexcept;

}  // namespace linexml::detail
