#pragma once
/// \file
/// linexml::TList, the ordered, owning list of children and attributes.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace linexml {

/// The runtime's ordered object list. It releases what it owns: Clear and the destructor delete
/// the objects that were handed to Add. A loaded document's lists instead lead with objects that
/// belong to the document's storage (Adopt): those are dropped, not deleted, and live until the
/// document is destroyed or loaded again. It never holds null (Add ignores it), so Pack has
/// nothing to remove in practice and writes nothing when that is so; readers on several threads
/// may walk one list at the same time.
template <class T>
class TList {
 public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  ~TList() { Clear(); }

  /// The number of objects in the list.
  std::int32_t Count() const { return static_cast<std::int32_t>(count_); }

  /// Throws std::out_of_range outside 0..Count()-1.
  T* Get(std::int32_t Index) const {
    if (Index < 0 || static_cast<std::uint32_t>(Index) >= count_)
      throw std::out_of_range("TList index " + std::to_string(Index) + " out of range (count " +
                              std::to_string(count_) + ")");
    return items_[Index];
  }
  /// The same as Get(Index).
  T* operator[](std::int32_t Index) const { return Get(Index); }

  /// Walks the objects as T*, in order.
  using const_iterator = T* const*;
  /// The first object (equal to end() when the list is empty).
  const_iterator begin() const { return items_; }
  /// Past the last object.
  const_iterator end() const { return items_ + count_; }

  // The library's own side.

  /// Appends Item and takes ownership of it (null is ignored).
  void Add(T* Item) {
    if (Item == nullptr) return;
    if (count_ == Capacity()) Grow(count_ < 4 ? 4 : 2 * static_cast<std::size_t>(count_));
    items_[count_++] = Item;
  }
  /// Deletes the objects it owns and empties the list.
  void Clear() {
    for (std::uint32_t I = Borrowed(); I < count_; ++I) delete items_[I];
    if (OnHeap()) delete[] items_;
    items_ = nullptr;
    count_ = flags_ = 0;
  }
  /// Drops null entries, keeping order; writes nothing when there is none.
  void Pack() {
    if (std::find(begin(), end(), nullptr) == end()) return;
    std::uint32_t Kept = 0, KeptBorrowed = 0;
    for (std::uint32_t I = 0; I < count_; ++I) {
      if (items_[I] == nullptr) continue;
      if (I < Borrowed()) ++KeptBorrowed;
      items_[Kept++] = items_[I];
    }
    count_ = Kept;
    flags_ = (flags_ & kHeap) | KeptBorrowed;
  }
  /// Makes room for N objects in all, so that adding up to that many allocates nothing.
  void Reserve(std::size_t N) {
    if (N > Capacity()) Grow(N);
  }
  /// Empties the list and makes it hold the Count objects at Items, which it does not own (they
  /// and the array belong to a document's storage). Add still appends owned objects after them.
  void Adopt(T** Items, std::uint32_t Count) {
    Clear();
    items_ = Items;
    count_ = flags_ = Count;
  }
  /// Whether it holds any object that it owns.
  bool OwnsAny() const { return Borrowed() < count_; }
  /// Moves the objects it owns to the end of Out and empties the list (iterative destruction).
  void TakeOwned(std::vector<T*>& Out) {
    Out.insert(Out.end(), items_ + Borrowed(), items_ + count_);
    flags_ = (flags_ & kHeap) | count_;
    Clear();
  }

 private:
  static constexpr std::uint32_t kHeap = 0x80000000u;
  std::uint32_t Borrowed() const { return flags_ & ~kHeap; }
  bool OnHeap() const { return (flags_ & kHeap) != 0; }
  // An array of the list's own always has a power of two of slots, at least 4, so its size
  // follows from the count and need not be stored; a borrowed array is full.
  std::size_t Capacity() const { return OnHeap() ? std::bit_ceil(std::max<std::size_t>(count_, 4)) : count_; }
  void Grow(std::size_t Wanted) {
    const std::size_t Slots = std::bit_ceil(std::max<std::size_t>(Wanted, 4));
    if (Slots > 0x80000000u) throw std::length_error("TList too long");
    T** Bigger = new T*[Slots];
    if (count_ > 0) std::memcpy(Bigger, items_, count_ * sizeof(T*));
    if (OnHeap()) delete[] items_;
    items_ = Bigger;
    flags_ |= kHeap;
  }

  // 16 bytes: a list is in every node twice.
  T** items_ = nullptr;
  std::uint32_t count_ = 0;
  std::uint32_t flags_ = 0;  // kHeap: items_ was allocated here; below it, how many leading
                             // objects are borrowed (not owned)
};

}  // namespace linexml
