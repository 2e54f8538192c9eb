#include "page_buffer.h"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace linexml::detail {
namespace {

constexpr std::size_t kHugeFrom = std::size_t{4} << 20;
constexpr std::size_t kHuge = std::size_t{2} << 20;

}  // namespace

void* AllocatePages(std::size_t Bytes) {
  void* Memory = ::operator new(Bytes);
#if defined(__linux__)
  // The allocator keeps and reuses what a former load freed, which costs no page faults at all;
  // fresh memory of a large block is asked to come in huge pages (its aligned interior).
  if (Bytes >= kHugeFrom) {
    const auto Start = reinterpret_cast<std::uintptr_t>(Memory);
    const std::uintptr_t First = (Start + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t Last = (Start + Bytes) & ~(kHuge - 1);
    if (Last > First) ::madvise(reinterpret_cast<void*>(First), Last - First, MADV_HUGEPAGE);
  }
#endif
  return Memory;
}

void FreePages(void* Memory, std::size_t) noexcept {
  ::operator delete(Memory);
}

}  // namespace linexml::detail
