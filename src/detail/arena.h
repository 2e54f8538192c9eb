#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace linexml {
class TXMLNode;
class TXMLAttribute;
}  // namespace linexml

namespace linexml::detail {

// The storage of one loaded document: its nodes, attributes and list arrays come from a few large
// blocks instead of one allocation each, and all of them go at once when the arena is destroyed
// (each object's destructor still runs, in no particular order, so none may touch another).
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena();

  TXMLNode* NewNode();
  TXMLAttribute* NewAttribute();
  // Room for Count pointers, not initialised.
  template <class T>
  T** NewArray(std::size_t Count) {
    return static_cast<T**>(Raw(Count * sizeof(T*)));
  }

 private:
  template <class T>
  struct Pool {
    std::vector<T*> blocks;  // each holds kPerBlock objects, all constructed but the last's tail
    std::size_t used = 0;    // constructed objects in the last block
  };
  static constexpr std::size_t kPerBlock = 4096;
  static constexpr std::size_t kRawBlock = 256 * 1024;

  template <class T>
  T* New(Pool<T>& P);
  template <class T>
  static void Destroy(Pool<T>& P);
  void* Raw(std::size_t Bytes);

  Pool<TXMLNode> nodes_;
  Pool<TXMLAttribute> attributes_;
  std::vector<std::unique_ptr<char[]>> raw_;
  char* raw_next_ = nullptr;
  std::size_t raw_left_ = 0;
};

}  // namespace linexml::detail
