#pragma once

#include <cstddef>
#include <utility>

namespace linexml::detail {

// The system's small page, the unit of a page fault and of PageBuffer's place in a page.
inline constexpr std::size_t kPageBytes = 4096;

// Memory for the large buffers of a load (the file's bytes, the blocks of a document's storage).
// Every block comes from operator new. From 4 MiB up a block starts on a 2 MiB boundary and is
// asked to come in huge pages as a whole (a 4 KiB page costs a fault of its own, some 2 us on a
// virtual machine, a huge page one fault for 512 times the memory). A freed block of 64 KiB or
// more is kept for a later load, up to the limit of LimitKeptPages: a kept block may be up to an
// eighth larger than asked, and Bytes then becomes its size. Throws std::bad_alloc.
void* AllocatePages(std::size_t& Bytes);
// Frees (or keeps) what AllocatePages returned, given the Bytes it left.
void FreePages(void* Memory, std::size_t Bytes) noexcept;
// Sets the most bytes kept (256 MiB at first) and frees the blocks kept past it, the first kept
// first; returns the bytes freed.
std::size_t LimitKeptPages(std::size_t Bytes) noexcept;
// The bytes kept now.
std::size_t KeptPageBytes() noexcept;

// Owns one AllocatePages block of bytes, not initialised.
class PageBuffer {
 public:
  PageBuffer() = default;
  explicit PageBuffer(std::size_t Bytes);
  // Bytes whose first lies PageOffset bytes (below 4096) past the start of a 4 KiB page, for one
  // page more of address space. The system copies a file's bytes into memory at a third of the
  // speed when their places in the page lie one byte past those in the page cache (a load of the
  // copy then seems to depend on the store just before it, at the same place of another page),
  // and at four fifths when 16 bytes past; half a page apart it copies at full speed.
  PageBuffer(std::size_t Bytes, std::size_t PageOffset);
  PageBuffer(PageBuffer&& Other) noexcept
      : block_(std::exchange(Other.block_, nullptr)),
        allocated_(std::exchange(Other.allocated_, 0)),
        data_(std::exchange(Other.data_, nullptr)),
        size_(std::exchange(Other.size_, 0)) {}
  PageBuffer& operator=(PageBuffer&& Other) noexcept {
    if (this != &Other) {
      FreePages(block_, allocated_);
      block_ = std::exchange(Other.block_, nullptr);
      allocated_ = std::exchange(Other.allocated_, 0);
      data_ = std::exchange(Other.data_, nullptr);
      size_ = std::exchange(Other.size_, 0);
    }
    return *this;
  }
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;
  ~PageBuffer() { FreePages(block_, allocated_); }

  char* get() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  void* block_ = nullptr;
  std::size_t allocated_ = 0;  // the bytes of block_
  char* data_ = nullptr;       // in block_
  std::size_t size_ = 0;       // from data_ on
};

}  // namespace linexml::detail
