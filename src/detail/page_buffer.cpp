#include "page_buffer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <new>
#include <type_traits>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(Address, Size) ((void)(Address), (void)(Size))
#define ASAN_UNPOISON_MEMORY_REGION(Address, Size) ((void)(Address), (void)(Size))
#endif

namespace linexml::detail {
namespace {

constexpr std::size_t kKeepFrom = std::size_t{64} << 10;
constexpr std::size_t kHugeFrom = std::size_t{4} << 20;
constexpr std::size_t kHuge = std::size_t{2} << 20;

void Delete(void* Memory, std::size_t Bytes) noexcept {
  if (Bytes < kHugeFrom)
    ::operator delete(Memory);
  else
    ::operator delete (Memory, std::align_val_t{kHuge});
}

// The blocks of 64 KiB and more that documents gave back, kept for the next load. Handed back to
// the allocator, they went one of two ways, depending on the program's history: the heap was cut
// back after each document and every load faulted its blocks in again, 4 KiB at a time (a 10 MB
// document: 4,300 faults, a third of a load's time), or each load's aligned blocks were placed
// anew (an aligned block leaves pieces before and after it that smaller allocations then take),
// so that the heap grew for some twenty loads to five times the document's size, each faulting
// in fresh memory. Up to limit_ bytes (LimitKeptPages) in up to kKeptBlocks blocks; a block that
// does not fit goes back to the allocator. Constant-initialised and trivially destroyed, so that
// a document freed by another static's destructor still finds it. Kept blocks are poisoned for
// the address sanitizer: a stale pointer into one is reported as it would be in freed memory.
class KeptBlocks {
 public:
  // The smallest kept block of at least Bytes and at most an eighth more (Bytes becomes its
  // size), or nullptr.
  void* Take(std::size_t& Bytes) noexcept {
    const std::lock_guard Lock(mutex_);
    std::size_t Best = count_;
    for (std::size_t I = count_; I-- > 0;) {  // the last kept first: its bytes may still be in a cache
      const std::size_t Size = blocks_[I].bytes;
      if (Size >= Bytes && Size - Bytes <= Bytes / 8 && (Best == count_ || Size < blocks_[Best].bytes))
        Best = I;
    }
    if (Best == count_) return nullptr;
    const Block Found = blocks_[Best];
    std::copy(blocks_.begin() + static_cast<std::ptrdiff_t>(Best) + 1,
              blocks_.begin() + static_cast<std::ptrdiff_t>(count_),
              blocks_.begin() + static_cast<std::ptrdiff_t>(Best));
    --count_;
    bytes_ -= Found.bytes;
    ASAN_UNPOISON_MEMORY_REGION(Found.memory, Bytes);  // the bytes past those asked stay poisoned
    Bytes = Found.bytes;
    return Found.memory;
  }

  // False when the block does not fit; the caller frees it.
  bool Keep(void* Memory, std::size_t Bytes) noexcept {
    const std::lock_guard Lock(mutex_);
    if (count_ == blocks_.size() || bytes_ > limit_ || Bytes > limit_ - bytes_) return false;
    ASAN_POISON_MEMORY_REGION(Memory, Bytes);
    blocks_[count_++] = {Memory, Bytes};
    bytes_ += Bytes;
    return true;
  }

  // Sets the limit and frees the blocks kept past it, the first kept first; returns their bytes.
  std::size_t Limit(std::size_t Bytes) noexcept {
    std::array<Block, kKeptBlocks> Taken{};
    std::size_t Count = 0;
    {
      const std::lock_guard Lock(mutex_);
      limit_ = Bytes;
      std::size_t First = 0;
      while (bytes_ > limit_) {
        Taken[Count++] = blocks_[First];
        bytes_ -= blocks_[First++].bytes;
      }
      std::copy(blocks_.begin() + static_cast<std::ptrdiff_t>(First),
                blocks_.begin() + static_cast<std::ptrdiff_t>(count_), blocks_.begin());
      count_ -= First;
    }
    std::size_t Freed = 0;
    for (std::size_t I = 0; I < Count; ++I) {
      ASAN_UNPOISON_MEMORY_REGION(Taken[I].memory, Taken[I].bytes);
      Delete(Taken[I].memory, Taken[I].bytes);
      Freed += Taken[I].bytes;
    }
    return Freed;
  }

  std::size_t Bytes() noexcept {
    const std::lock_guard Lock(mutex_);
    return bytes_;
  }

 private:
  static constexpr std::size_t kKeptBlocks = 256;
  struct Block {
    void* memory;
    std::size_t bytes;
  };

  std::mutex mutex_;
  std::array<Block, kKeptBlocks> blocks_{};
  std::size_t count_ = 0;
  std::size_t bytes_ = 0;
  std::size_t limit_ = std::size_t{256} << 20;
};

static_assert(std::is_trivially_destructible_v<KeptBlocks>);
constinit KeptBlocks Kept;

}  // namespace

void* AllocatePages(std::size_t& Bytes) {
  if (Bytes < kKeepFrom) return ::operator new(Bytes);
  if (void* const Reused = Kept.Take(Bytes)) return Reused;
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
  if (Bytes < kKeepFrom || !Kept.Keep(Memory, Bytes)) Delete(Memory, Bytes);
}

std::size_t LimitKeptPages(std::size_t Bytes) noexcept {
  return Kept.Limit(Bytes);
}

std::size_t KeptPageBytes() noexcept {
  return Kept.Bytes();
}

PageBuffer::PageBuffer(std::size_t Bytes) : allocated_(Bytes), size_(Bytes) {
  block_ = AllocatePages(allocated_);
  data_ = static_cast<char*>(block_);
}

PageBuffer::PageBuffer(std::size_t Bytes, std::size_t PageOffset)
    : allocated_(Bytes + kPageBytes), size_(Bytes) {
  block_ = AllocatePages(allocated_);
  const auto Start = reinterpret_cast<std::uintptr_t>(block_);
  data_ = static_cast<char*>(block_) + ((PageOffset - Start) & (kPageBytes - 1));
}

}  // namespace linexml::detail
