#pragma once
/// \file
/// linexml::TList, the ordered, owning list of children and attributes.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace linexml {

class TXMLNode;
class TXMLParameters;
namespace detail {
struct ListAccess;
}  // namespace detail

/// The runtime's ordered object list: the children of a node, its attributes, the prolog's other
/// attributes. Users read it (Count, Get, [], range-for); filling and emptying it is the library's
/// own. It owns its objects, except that a loaded document's lists lead with objects of the
/// document's storage, which live until the document is destroyed or loaded again. Several
/// threads may read one list at once. It holds at most kMaxCount entries.
template <class T>
class TList {
 public:
  /// The most entries a list holds: what Count() can show.
  static constexpr std::int32_t kMaxCount = 0x7FFFFFFF;

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

  // The library's own side (TXMLNode, TXMLParameters, and the engine through detail::ListAccess).
 private:
  friend class TXMLNode;
  friend class TXMLParameters;
  friend struct detail::ListAccess;

  /// Appends Item and takes ownership of it (null is ignored), also when it fails: when the list
  /// cannot grow (std::bad_alloc, or std::length_error at kMaxCount entries) Item is deleted, the
  /// list stays as it was and the exception passes on. Allocates nothing while there is room.
  void Add(T* Item) {
    if (Item == nullptr) return;
    if (count_ == Capacity()) {
      try {
        Grow(count_ < 4 ? 4 : 2 * static_cast<std::size_t>(count_));
      } catch (...) {
        delete Item;
        throw;
      }
    }
    items_[count_++] = Item;
  }
  /// Deletes the objects it owns and empties the list.
  void Clear() noexcept {
    for (std::uint32_t I = Borrowed(); I < count_; ++I) delete items_[I];
    FreeArray();
    items_ = nullptr;
    count_ = flags_ = 0;
  }
  /// Drops null entries, keeping order; writes nothing when there is none.
  void Pack() noexcept {
    if (std::find(begin(), end(), nullptr) == end()) return;
    DetachIf([](const T* Item) { return Item == nullptr; });
  }
  /// Takes every entry for which Take(entry) is true out of the list in one pass, keeping the order
  /// of the others, without deleting any; needs no memory. Returns how many it took.
  template <class Pred>
  std::int32_t DetachIf(Pred&& Take) noexcept {
    std::uint32_t Kept = 0, KeptBorrowed = 0;
    for (std::uint32_t I = 0; I < count_; ++I) {
      if (Take(items_[I])) continue;
      if (I < Borrowed()) ++KeptBorrowed;
      items_[Kept++] = items_[I];
    }
    const std::uint32_t Taken = count_ - Kept;
    count_ = Kept;
    flags_ = (flags_ & kHeap) | KeptBorrowed;
    return static_cast<std::int32_t>(Taken);
  }
  /// Makes room for N entries in all, so that adding until Count() is N allocates nothing and
  /// cannot fail. std::bad_alloc, or std::length_error past kMaxCount, with the list as it was.
  void Reserve(std::size_t N) {
    if (N > Capacity()) Grow(N);
  }
  /// Empties the list and makes it hold the Count (at most kMaxCount) objects at Items, which it
  /// does not own (they and the array belong to a document's storage). Add still appends owned
  /// objects after them.
  void Adopt(T** Items, std::uint32_t Count) noexcept {
    Clear();
    items_ = Items;
    count_ = flags_ = Count;
  }
  /// Inserts Item at Index (0..Count()), the later entries moving up by one. Unlike Add it does
  /// not take ownership on failure: when the list cannot grow (std::bad_alloc, or
  /// std::length_error at kMaxCount entries) it throws with the list as it was and Item untouched.
  /// Allocates nothing while there is room (see Reserve). Inside the prefix of borrowed objects
  /// Item joins that prefix: the list will not delete it. Index outside 0..Count():
  /// std::out_of_range.
  void Insert(std::int32_t Index, T* Item) {
    if (Index < 0 || static_cast<std::uint32_t>(Index) > count_)
      throw std::out_of_range("TList insert position " + std::to_string(Index) + " out of range (count " +
                              std::to_string(count_) + ")");
    if (count_ == Capacity()) Grow(count_ < 4 ? 4 : 2 * static_cast<std::size_t>(count_));
    std::memmove(items_ + Index + 1, items_ + Index,
                 (count_ - static_cast<std::uint32_t>(Index)) * sizeof(T*));
    items_[Index] = Item;
    ++count_;
    if (static_cast<std::uint32_t>(Index) < Borrowed()) ++flags_;
  }
  /// Takes the entry at Index (0..Count()-1) out of the list without deleting it and returns it;
  /// the later entries move down by one. Needs no memory. Index outside: std::out_of_range.
  T* Detach(std::int32_t Index) {
    T* const Item = Get(Index);
    std::memmove(items_ + Index, items_ + Index + 1,
                 (count_ - static_cast<std::uint32_t>(Index) - 1) * sizeof(T*));
    --count_;
    if (static_cast<std::uint32_t>(Index) < Borrowed()) --flags_;
    return Item;
  }
  /// Moves the entry at From to To (both 0..Count()-1), the entries between shifting by one.
  /// Needs no memory. Meant for lists whose owner releases the entries itself (the list of
  /// children): an entry keeps no ownership mark of its own. Out of range: std::out_of_range.
  void Move(std::int32_t From, std::int32_t To) {
    (void)Get(From);
    (void)Get(To);
    if (From < To)
      std::rotate(items_ + From, items_ + From + 1, items_ + To + 1);
    else
      std::rotate(items_ + To, items_ + From, items_ + From + 1);
  }
  /// Exchanges the contents of two lists.
  void Swap(TList& Other) noexcept {
    std::swap(items_, Other.items_);
    std::swap(count_, Other.count_);
    std::swap(flags_, Other.flags_);
  }
  /// Whether it holds any object that it owns.
  bool OwnsAny() const noexcept { return Borrowed() < count_; }
  /// Whether the list owns the entry at Index (0..Count()-1): one added by Add or Insert after the
  /// prefix of borrowed objects. False outside the list.
  bool Owns(std::int32_t Index) const noexcept {
    return Index >= 0 && static_cast<std::uint32_t>(Index) < count_ &&
           static_cast<std::uint32_t>(Index) >= Borrowed();
  }
  /// Whether the array of entries is the list's own (it grew here), not a document's storage.
  bool OwnsArray() const noexcept { return OnHeap(); }
  /// Hands every object, owned or borrowed, to Each, in order, and empties the list without
  /// deleting any (for owners that release the entries themselves). Needs no memory.
  template <class Fn>
  void DetachAll(Fn&& Each) noexcept {
    for (std::uint32_t I = 0; I < count_; ++I) Each(items_[I]);
    FreeArray();
    items_ = nullptr;
    count_ = flags_ = 0;
  }

  static constexpr std::uint32_t kHeap = 0x80000000u;
  std::uint32_t Borrowed() const noexcept { return flags_ & ~kHeap; }
  bool OnHeap() const noexcept { return (flags_ & kHeap) != 0; }
  // An array of the list's own keeps its number of slots just in front of the first slot, which
  // keeps the list itself at 16 bytes; a borrowed array is full.
  std::size_t Capacity() const noexcept {
    return OnHeap() ? reinterpret_cast<const std::size_t*>(items_)[-1] : count_;
  }
  void FreeArray() noexcept {
    if (OnHeap()) ::operator delete(reinterpret_cast<std::size_t*>(items_) - 1);
  }
  void Grow(std::size_t Wanted) {
    constexpr auto kMax = static_cast<std::size_t>(kMaxCount);
    if (Wanted > kMax) throw std::length_error("TList: more than 2147483647 entries");
    const std::size_t Slots = std::min(std::bit_ceil(std::max<std::size_t>(Wanted, 4)), kMax);
    auto* Block = static_cast<std::size_t*>(::operator new(sizeof(std::size_t) + Slots * sizeof(T*)));
    *Block = Slots;
    T** Bigger = reinterpret_cast<T**>(Block + 1);
    if (count_ > 0) std::memcpy(Bigger, items_, count_ * sizeof(T*));
    FreeArray();
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
