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
constexpr std::size_t kPage = 4096;

}  // namespace

void* AllocatePages(std::size_t Bytes) {
  if (Bytes < kHugeFrom) return ::operator new(Bytes);
  // On a huge-page boundary, so that all of the block can come in huge pages, not only the
  // aligned piece it happens to hold (half of a 4 MiB block, at worst). What lies before the
  // block is address space only, never touched.
  void* const Memory = ::operator new (Bytes, std::align_val_t{kHuge});
#if defined(__linux__)
  ::madvise(Memory, Bytes & ~(kHuge - 1), MADV_HUGEPAGE);
#endif
  return Memory;
}

void FreePages(void* Memory, std::size_t Bytes) noexcept {
  if (Bytes < kHugeFrom)
    ::operator delete(Memory);
  else
    ::operator delete (Memory, std::align_val_t{kHuge});
}

PageBuffer::PageBuffer(std::size_t Bytes, std::size_t PageOffset)
    : block_(AllocatePages(Bytes + kPage)), allocated_(Bytes + kPage), size_(Bytes) {
  const auto Start = reinterpret_cast<std::uintptr_t>(block_);
  data_ = static_cast<char*>(block_) + ((PageOffset - Start) & (kPage - 1));
}

}  // namespace linexml::detail
