#pragma once
/// \file
/// The memory that loads keep for later loads.
///
/// A loaded document holds its nodes, attributes and strings in blocks of 64 KiB and more (the
/// file's bytes, while it loads, in one more). When a document goes, its blocks are kept for the
/// next load instead of going back to the allocator: a program that loads one document after
/// another then reuses the same memory, already in place, without faulting it in again and
/// without the heap growing as the allocator places each load's blocks anew. At most a limit is
/// kept (256 MiB unless set); blocks past it go back to the allocator at once. Safe to call from
/// any thread, also while other threads load.

#include <cstddef>

#include "export.h"

namespace linexml {

/// Sets how much memory freed documents may keep for later loads, frees what is kept past it
/// (0 keeps nothing, and frees all), and returns the bytes freed.
LINEXML_API std::size_t SetLoadMemoryKept(std::size_t MaxBytes) noexcept;
/// The bytes kept now for later loads.
LINEXML_API std::size_t LoadMemoryKept() noexcept;

}  // namespace linexml
