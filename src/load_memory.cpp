#include "linexml/load_memory.h"

#include "detail/page_buffer.h"

namespace linexml {

std::size_t SetLoadMemoryKept(std::size_t MaxBytes) noexcept {
  return detail::LimitKeptPages(MaxBytes);
}

std::size_t LoadMemoryKept() noexcept {
  return detail::KeptPageBytes();
}

}  // namespace linexml
