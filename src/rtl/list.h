#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace linexml {

// The runtime's ordered object list. It releases what it owns: Clear and the destructor delete
// the objects that were handed to Add. A loaded document's lists instead lead with objects that
// belong to the document's storage (Adopt): those are dropped, not deleted, and live until the
// document is destroyed or loaded again. It never holds null (Add ignores it), so Pack has
// nothing to remove in practice and writes nothing when that is so; readers on several threads
// may walk one list at the same time.
template <class T>
class TList {
 public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  ~TList() { Clear(); }

  std::int32_t Count() const { return static_cast<std::int32_t>(count_); }

  // Throws std::out_of_range outside 0..Count()-1.
  T* Get(std::int32_t Index) const {
    if (Index < 0 || static_cast<std::uint32_t>(Index) >= count_)
      throw std::out_of_range("TList index " + std::to_string(Index) + " out of range (count " +
                              std::to_string(count_) + ")");
    return items_[Index];
  }
  T* operator[](std::int32_t Index) const { return Get(Index); }

  using const_iterator = T* const*;
  const_iterator begin() const { return items_; }
  const_iterator end() const { return items_ + count_; }

  // The library's own side.

  // Appends Item and takes ownership of it (null is ignored).
  void Add(T* Item) {
    if (Item == nullptr) return;
    if (count_ == cap_) Grow(count_ < 4 ? 4 : 2 * static_cast<std::size_t>(count_));
    items_[count_++] = Item;
  }
  // Deletes the objects it owns and empties the list.
  void Clear() {
    for (std::uint32_t I = borrowed_; I < count_; ++I) delete items_[I];
    if (heap_) delete[] items_;
    items_ = nullptr;
    count_ = cap_ = borrowed_ = 0;
    heap_ = false;
  }
  // Drops null entries, keeping order; writes nothing when there is none.
  void Pack() {
    if (std::find(begin(), end(), nullptr) == end()) return;
    std::uint32_t Kept = 0, KeptBorrowed = 0;
    for (std::uint32_t I = 0; I < count_; ++I) {
      if (items_[I] == nullptr) continue;
      if (I < borrowed_) ++KeptBorrowed;
      items_[Kept++] = items_[I];
    }
    count_ = Kept;
    borrowed_ = KeptBorrowed;
  }
  void Reserve(std::size_t N) {
    if (N > cap_) Grow(N);
  }
  // Empties the list and makes it hold the Count objects at Items, which it does not own (they
  // and the array belong to a document's storage). Add still appends owned objects after them.
  void Adopt(T** Items, std::uint32_t Count) {
    Clear();
    items_ = Items;
    count_ = cap_ = borrowed_ = Count;
  }
  // Whether it holds any object that it owns.
  bool OwnsAny() const { return borrowed_ < count_; }
  // Moves the objects it owns to the end of Out and empties the list (iterative destruction).
  void TakeOwned(std::vector<T*>& Out) {
    Out.insert(Out.end(), items_ + borrowed_, items_ + count_);
    borrowed_ = count_;
    Clear();
  }

 private:
  void Grow(std::size_t Capacity) {
    if (Capacity > 0x7FFFFFFFu) throw std::length_error("TList too long");
    T** Bigger = new T*[Capacity];
    if (count_ > 0) std::memcpy(Bigger, items_, count_ * sizeof(T*));
    if (heap_) delete[] items_;
    items_ = Bigger;
    cap_ = static_cast<std::uint32_t>(Capacity);
    heap_ = true;
  }

  T** items_ = nullptr;
  std::uint32_t count_ = 0;
  std::uint32_t cap_ = 0;       // room in items_
  std::uint32_t borrowed_ = 0;  // the first borrowed_ objects are not owned
  bool heap_ = false;           // items_ was allocated here (else it is borrowed or null)
};

}  // namespace linexml
