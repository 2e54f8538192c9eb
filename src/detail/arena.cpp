#include "arena.h"

#include <cstdint>
#include <new>

#include "linexml/xml_attribute.h"
#include "linexml/xml_node.h"

namespace linexml::detail {

std::size_t Arena::NextBlockBytes(const std::vector<PageBuffer>& Blocks) {
  constexpr std::size_t kFirst = 64 * 1024;
  constexpr std::size_t kLargest = 4 * 1024 * 1024;
  if (Blocks.empty()) return kFirst;
  const std::size_t Last = Blocks.back().size();
  return Last >= kLargest ? kLargest : 2 * Last;
}

template <class T>
void Arena::AddBlock(Pool& P) {
  P.blocks.reserve(P.blocks.size() + 1);  // so that the push_back below cannot throw
  P.blocks.push_back(PageBuffer(NextBlockBytes(P.blocks)));
  P.capacity = RoomFor<T>(P.blocks.back());
  P.used = 0;
  P.first = FirstOf<T>(P.blocks.back());
}

template void Arena::AddBlock<TXMLNode>(Pool&);
template void Arena::AddBlock<TXMLAttribute>(Pool&);
template void Arena::AddBlock<std::string>(Pool&);

template <class T>
void Arena::Destroy(Pool& P) {
  for (std::size_t B = 0; B < P.blocks.size(); ++B) {
    const std::size_t Count = B + 1 == P.blocks.size() ? P.used : RoomFor<T>(P.blocks[B]);
    T* const Objects = FirstOf<T>(P.blocks[B]);
    for (std::size_t I = 0; I < Count; ++I) Objects[I].~T();
  }
  P.blocks.clear();
  P.capacity = P.used = 0;
}

Arena::~Arena() {
  Destroy<TXMLNode>(nodes_);
  Destroy<TXMLAttribute>(attributes_);
  Destroy<std::string>(strings_);
}

TXMLAttribute* Arena::NewLongAttribute(void* At, std::string_view Name, std::string_view Value) {
  TXMLAttribute* A = ::new (At) TXMLAttribute{std::string(Name), std::string(Value)};
  ++attributes_.used;
  return A;
}

std::string* Arena::NewLongString(void* At, std::string_view Text) {
  std::string* S = ::new (At) std::string(Text);
  ++strings_.used;
  return S;
}

void* Arena::RawBlock(std::size_t Bytes) {
  // A large array gets a block of its own; the current block keeps serving small ones.
  if (Bytes > 16 * 1024) {
    own_.reserve(own_.size() + 1);
    own_.push_back(PageBuffer(Bytes));
    return own_.back().get();
  }
  raw_.reserve(raw_.size() + 1);
  raw_.push_back(PageBuffer(NextBlockBytes(raw_)));
  raw_next_ = raw_.back().get() + Bytes;
  raw_left_ = raw_.back().size() - Bytes;
  return raw_.back().get();
}

}  // namespace linexml::detail
