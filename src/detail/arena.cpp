#include "arena.h"

#include <new>

#include "../xml_attribute.h"
#include "../xml_node.h"

namespace linexml::detail {

template <class T>
T* Arena::New(Pool<T>& P) {
  if (P.blocks.empty() || P.used == kPerBlock) {
    P.blocks.reserve(P.blocks.size() + 1);  // so that push_back below cannot throw
    P.blocks.push_back(static_cast<T*>(::operator new(kPerBlock * sizeof(T), std::align_val_t{alignof(T)})));
    P.used = 0;
  }
  T* Object = ::new (P.blocks.back() + P.used) T();
  ++P.used;
  return Object;
}

template <class T>
void Arena::Destroy(Pool<T>& P) {
  for (std::size_t B = 0; B < P.blocks.size(); ++B) {
    const std::size_t Count = B + 1 == P.blocks.size() ? P.used : kPerBlock;
    for (std::size_t I = 0; I < Count; ++I) P.blocks[B][I].~T();
    ::operator delete(P.blocks[B], std::align_val_t{alignof(T)});
  }
  P.blocks.clear();
  P.used = 0;
}

Arena::~Arena() {
  Destroy(nodes_);
  Destroy(attributes_);
}

TXMLNode* Arena::NewNode() { return New(nodes_); }
TXMLAttribute* Arena::NewAttribute() { return New(attributes_); }

void* Arena::Raw(std::size_t Bytes) {
  Bytes = (Bytes + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
  if (Bytes > raw_left_) {
    // A large array gets a block of its own; the current block keeps serving small ones.
    if (Bytes > kRawBlock / 4) {
      raw_.push_back(std::unique_ptr<char[]>(new char[Bytes]));
      return raw_.back().get();
    }
    raw_.push_back(std::unique_ptr<char[]>(new char[kRawBlock]));
    raw_next_ = raw_.back().get();
    raw_left_ = kRawBlock;
  }
  void* Out = raw_next_;
  raw_next_ += Bytes;
  raw_left_ -= Bytes;
  return Out;
}

}  // namespace linexml::detail
