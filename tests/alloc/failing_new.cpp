#include "failing_new.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace linexml::test {
namespace {

// Relaxed atomics: the library under test allocates on the calling thread only, but the test
// framework may own threads of its own.
std::atomic<bool> g_armed{false};
std::atomic<std::uint64_t> g_count{0};
std::atomic<std::uint64_t> g_fail_at{0};
std::atomic<bool> g_failed{false};
std::atomic<FailMode> g_mode{FailMode::kOnce};

// Whether this allocation is the one (or one of those) to fail.
bool ShouldFail() {
  if (!g_armed.load(std::memory_order_relaxed)) return false;
  const std::uint64_t N = g_count.fetch_add(1, std::memory_order_relaxed) + 1;
  const std::uint64_t At = g_fail_at.load(std::memory_order_relaxed);
  const bool Fail = g_mode.load(std::memory_order_relaxed) == FailMode::kOnce ? N == At : N >= At;
  if (Fail) g_failed.store(true, std::memory_order_relaxed);
  return Fail;
}

void* Allocate(std::size_t Size, std::size_t Align) noexcept {
  if (ShouldFail()) return nullptr;
  if (Size == 0) Size = 1;
  if (Align <= alignof(std::max_align_t)) return std::malloc(Size);
  // aligned_alloc wants a size that is a multiple of the alignment.
  return std::aligned_alloc(Align, (Size + Align - 1) / Align * Align);
}

void* AllocateOrThrow(std::size_t Size, std::size_t Align) {
  void* P = Allocate(Size, Align);
  if (P == nullptr) throw std::bad_alloc();
  return P;
}

}  // namespace

void ArmAllocationFailure(std::uint64_t N, FailMode Mode) {
  g_count.store(0, std::memory_order_relaxed);
  g_failed.store(false, std::memory_order_relaxed);
  g_fail_at.store(N, std::memory_order_relaxed);
  g_mode.store(Mode, std::memory_order_relaxed);
  g_armed.store(true, std::memory_order_relaxed);
}

void DisarmAllocationFailure() {
  g_armed.store(false, std::memory_order_relaxed);
}

std::uint64_t AllocationsCounted() {
  return g_count.load(std::memory_order_relaxed);
}

bool AllocationFailed() {
  return g_failed.load(std::memory_order_relaxed);
}

}  // namespace linexml::test

using linexml::test::Allocate;
using linexml::test::AllocateOrThrow;

// Every replaceable form. The default alignment is what malloc gives; an over-aligned type goes
// through aligned_alloc. Both are released by free.
void* operator new(std::size_t Size) {
  return AllocateOrThrow(Size, 0);
}
void* operator new[](std::size_t Size) {
  return AllocateOrThrow(Size, 0);
}
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept {
  return Allocate(Size, 0);
}
void* operator new[](std::size_t Size, const std::nothrow_t&) noexcept {
  return Allocate(Size, 0);
}
void* operator new(std::size_t Size, std::align_val_t Align) {
  return AllocateOrThrow(Size, static_cast<std::size_t>(Align));
}
void* operator new[](std::size_t Size, std::align_val_t Align) {
  return AllocateOrThrow(Size, static_cast<std::size_t>(Align));
}
void* operator new(std::size_t Size, std::align_val_t Align, const std::nothrow_t&) noexcept {
  return Allocate(Size, static_cast<std::size_t>(Align));
}
void* operator new[](std::size_t Size, std::align_val_t Align, const std::nothrow_t&) noexcept {
  return Allocate(Size, static_cast<std::size_t>(Align));
}

void operator delete(void* P) noexcept {
  std::free(P);
}
void operator delete[](void* P) noexcept {
  std::free(P);
}
void operator delete(void* P, std::size_t) noexcept {
  std::free(P);
}
void operator delete[](void* P, std::size_t) noexcept {
  std::free(P);
}
void operator delete(void* P, const std::nothrow_t&) noexcept {
  std::free(P);
}
void operator delete[](void* P, const std::nothrow_t&) noexcept {
  std::free(P);
}
void operator delete(void* P, std::align_val_t) noexcept {
  std::free(P);
}
void operator delete[](void* P, std::align_val_t) noexcept {
  std::free(P);
}
void operator delete(void* P, std::size_t, std::align_val_t) noexcept {
  std::free(P);
}
void operator delete[](void* P, std::size_t, std::align_val_t) noexcept {
  std::free(P);
}
void operator delete(void* P, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(P);
}
void operator delete[](void* P, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(P);
}
