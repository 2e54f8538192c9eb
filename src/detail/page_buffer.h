#pragma once

#include <cstddef>
#include <utility>

namespace linexml::detail {

// Memory for the large buffers of a load (the file's bytes, the blocks of a document's storage).
// Every block comes from operator new, so the allocator reuses what an earlier load freed; from
// 4 MiB up, the block's 2 MiB-aligned interior is asked to come in huge pages (a 100 MB document
// then takes some fifty page faults instead of some twenty-five thousand). Throws std::bad_alloc.
void* AllocatePages(std::size_t Bytes);
// Frees what AllocatePages(Bytes) returned, given the same Bytes.
void FreePages(void* Memory, std::size_t Bytes) noexcept;

// Owns one AllocatePages block of bytes, not initialised.
class PageBuffer {
 public:
  PageBuffer() = default;
  explicit PageBuffer(std::size_t Bytes) : data_(static_cast<char*>(AllocatePages(Bytes))), size_(Bytes) {}
  PageBuffer(PageBuffer&& Other) noexcept
      : data_(std::exchange(Other.data_, nullptr)), size_(std::exchange(Other.size_, 0)) {}
  PageBuffer& operator=(PageBuffer&& Other) noexcept {
    if (this != &Other) {
      FreePages(data_, size_);
      data_ = std::exchange(Other.data_, nullptr);
      size_ = std::exchange(Other.size_, 0);
    }
    return *this;
  }
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;
  ~PageBuffer() { FreePages(data_, size_); }

  char* get() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace linexml::detail
