#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace linexml {

// The runtime's ordered object list. It owns what it holds: Clear and the destructor delete the
// objects. It never holds null (Add ignores it), so Pack has nothing to remove in practice and
// writes nothing when that is so; readers on several threads may walk one list at the same time.
template <class T>
class TList {
 public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  ~TList() { Clear(); }

  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }

  // Throws std::out_of_range outside 0..Count()-1.
  T* Get(std::int32_t Index) const {
    if (Index < 0 || static_cast<std::size_t>(Index) >= items_.size())
      throw std::out_of_range("TList index " + std::to_string(Index) + " out of range (count " +
                              std::to_string(items_.size()) + ")");
    return items_[static_cast<std::size_t>(Index)];
  }
  T* operator[](std::int32_t Index) const { return Get(Index); }

  using const_iterator = typename std::vector<T*>::const_iterator;
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }

  // The library's own side: appends Item and takes ownership of it (null is ignored).
  void Add(T* Item) {
    if (Item != nullptr) items_.push_back(Item);
  }
  // Deletes every object and empties the list.
  void Clear() {
    for (T* Item : items_) delete Item;
    items_.clear();
  }
  // Drops null entries, keeping order; writes nothing when there is none.
  void Pack() {
    bool HasNull = false;
    for (T* Item : items_) HasNull = HasNull || Item == nullptr;
    if (!HasNull) return;
    std::erase(items_, nullptr);
  }
  // Hands every object over to the caller and empties the list (used for iterative destruction).
  std::vector<T*> Release() { return std::exchange(items_, {}); }
  void Reserve(std::size_t N) { items_.reserve(N); }

 private:
  std::vector<T*> items_;
};

}  // namespace linexml
