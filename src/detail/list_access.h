#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "linexml/list.h"

namespace linexml::detail {

// The engine's way to TList's library side, which users cannot reach (see list.h for each
// member's contract).
struct ListAccess {
  template <class T>
  static void Add(TList<T>& L, std::type_identity_t<T>* Item) {
    L.Add(Item);
  }
  template <class T>
  static void Clear(TList<T>& L) noexcept {
    L.Clear();
  }
  template <class T>
  static void Reserve(TList<T>& L, std::size_t N) {
    L.Reserve(N);
  }
  template <class T>
  static void Adopt(TList<T>& L, T** Items, std::uint32_t Count) noexcept {
    L.Adopt(Items, Count);
  }
  template <class T>
  static void Swap(TList<T>& L, TList<T>& Other) noexcept {
    L.Swap(Other);
  }
  template <class T>
  static bool OwnsAny(const TList<T>& L) noexcept {
    return L.OwnsAny();
  }
};

}  // namespace linexml::detail
