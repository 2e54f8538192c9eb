#pragma once

#include <cstddef>
#include <string>

#include "page_buffer.h"

namespace linexml::detail {

// Reads the whole file into a new buffer, leaving Front bytes free before it (room for a caller
// that rewrites the bytes in place). A regular file is read with one read into a buffer of its
// size that is never zero-filled. False when it cannot be opened or read (missing, a folder, no
// permission, an I/O error), with errno saying why; Out and Size are then unspecified. A FIFO is
// opened without blocking, so one with no writer reads as empty instead of hanging. With
// TwoThreadsFrom, a regular file of that size or more is read in two halves at once, the second
// by a thread started and joined here.
bool ReadWholeFile(const std::string& Name, PageBuffer& Out, std::size_t& Size, std::size_t Front = 0,
                   std::size_t TwoThreadsFrom = ~std::size_t{0});

}  // namespace linexml::detail
