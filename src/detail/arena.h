#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "linexml/xml_attribute.h"
#include "linexml/xml_node.h"
#include "page_buffer.h"

namespace linexml::detail {

// The storage of one loaded document: its nodes, attributes and list arrays come from a few large
// blocks instead of one allocation each, and all of them go at once when the arena is destroyed
// (each object's destructor still runs, in no particular order, so none may touch another: a
// node's destructor deletes the nodes added to it since the load, but passes over the arena's
// own). Every node it makes is marked as living here (TXMLNode::InStorage): an edit that removes
// one only releases what it owns; its memory stays until the arena goes.
// Blocks double from 64 KiB to 4 MiB, so a small document stays small and a large one takes few
// blocks (of huge pages, where the system has them).
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena();

  // Inline: a load makes millions of these.
  TXMLNode* NewNode() {
    TXMLNode* N = ::new (Slot<TXMLNode>(nodes_)) TXMLNode();
    ++nodes_.used;
    N->Mark(TXMLNode::kInStorage, true);
    return N;
  }
  TXMLAttribute* NewAttribute() { return NewAttribute({}, {}, nullptr); }
  // An attribute made with its strings (built in place: cheaper than assigning them after). The
  // bytes of both may be read on up to Readable (see Short).
  TXMLAttribute* NewAttribute(std::string_view Name, std::string_view Value, const char* Readable) {
    void* At = Slot<TXMLAttribute>(attributes_);
    // Only the strings can throw; the slot is not yet counted, so nothing half-made is destroyed.
    if (!Short(Name, Readable) || !Short(Value, Readable)) return NewLongAttribute(At, Name, Value);
    TXMLAttribute* A = ::new (At) TXMLAttribute{std::string(kShort, '\0'), std::string(kShort, '\0')};
    PutShort(A->Name, Name);
    PutShort(A->Value, Value);
    ++attributes_.used;
    return A;
  }
  std::string* NewString(std::string_view Text, const char* Readable) {
    void* At = Slot<std::string>(strings_);
    if (!Short(Text, Readable)) return NewLongString(At, Text);
    std::string* S = ::new (At) std::string(kShort, '\0');
    PutShort(*S, Text);
    ++strings_.used;
    return S;
  }
  // Room for Count pointers, not initialised.
  template <class T>
  T** NewArray(std::size_t Count) {
    const std::size_t Bytes = Count * sizeof(T*);
    if (Bytes > raw_left_) return static_cast<T**>(RawBlock(Bytes));
    void* const Out = raw_next_;
    raw_next_ += Bytes;
    raw_left_ -= Bytes;
    return static_cast<T**>(Out);
  }
  // The nodes made so far; a node's number is its place in that order.
  std::size_t NodeCount() const { return nodes_made_ + nodes_.used; }
  // Calls Each(TXMLNode&) for the nodes numbered [From, To), in order.
  template <class Fn>
  void ForNodes(std::size_t From, std::size_t To, Fn&& Each);
  // Keeps Other, whose objects are then destroyed with this arena's (a part of the document
  // built on another thread).
  void Keep(std::unique_ptr<Arena> Other) {
    kept_arenas_.reserve(kept_arenas_.size() + 1);
    kept_arenas_.push_back(std::move(Other));
  }

  // Takes over a whole array of pointers as it is (a long list, which copying would only double).
  TXMLNode** Keep(std::vector<TXMLNode*>&& Items) {
    return kept_nodes_.emplace_back(std::move(Items)).data();
  }
  TXMLAttribute** Keep(std::vector<TXMLAttribute*>&& Items) {
    return kept_attributes_.emplace_back(std::move(Items)).data();
  }

 private:
  struct Pool {
    std::vector<PageBuffer> blocks;
    std::size_t capacity = 0;  // objects the last block holds
    std::size_t used = 0;      // objects constructed in the last block
    void* first = nullptr;     // the first object of the last block
  };

  // Most names, values and many texts are short enough to be kept inside their string (15 bytes
  // in the common libraries): such a string is made at that length, its bytes copied in one fixed
  // step of 15 (which reads past the text's end, so the text must go on up to Readable) and then
  // cut to size, all without a call into the library.
  static constexpr std::size_t kShort = 15;
  static bool Short(std::string_view Text, const char* Readable) {
    return Text.empty() ||
           (Text.size() <= kShort && Readable - Text.data() >= static_cast<std::ptrdiff_t>(kShort));
  }
  static void PutShort(std::string& S, std::string_view Text) {
    if (!Text.empty()) std::memcpy(S.data(), Text.data(), kShort);
    S.resize(Text.size());
  }

  // The same for strings that do not fit, at At, the slot given.
  TXMLAttribute* NewLongAttribute(void* At, std::string_view Name, std::string_view Value);
  std::string* NewLongString(void* At, std::string_view Text);

  // Room for the next object of P (not yet constructed nor counted): the caller constructs it,
  // then counts it in P.used.
  template <class T>
  void* Slot(Pool& P) {
    if (P.used == P.capacity) {
      if (&P == &nodes_) nodes_made_ += P.used;
      AddBlock<T>(P);
    }
    return static_cast<T*>(P.first) + P.used;
  }
  template <class T>
  static void AddBlock(Pool& P);
  template <class T>
  static void Destroy(Pool& P);
  static std::size_t NextBlockBytes(const std::vector<PageBuffer>& Blocks);
  // The first object of a block (past its start up to the object's alignment), and how many fit.
  template <class T>
  static T* FirstOf(const PageBuffer& Block) {
    const auto Start = reinterpret_cast<std::uintptr_t>(Block.get());
    return reinterpret_cast<T*>((Start + alignof(T) - 1) & ~(std::uintptr_t{alignof(T)} - 1));
  }
  template <class T>
  static std::size_t RoomFor(const PageBuffer& Block) {
    return (Block.size() -
            static_cast<std::size_t>(reinterpret_cast<char*>(FirstOf<T>(Block)) - Block.get())) /
           sizeof(T);
  }
  // Bytes (a multiple of a pointer's size) that the current block of raw_ has no room for.
  void* RawBlock(std::size_t Bytes);

  Pool nodes_;
  std::size_t nodes_made_ = 0;  // the nodes in the full blocks of nodes_
  Pool attributes_;
  Pool strings_;
  std::vector<PageBuffer> raw_;  // blocks shared by small arrays of pointers, the current one last
  std::vector<PageBuffer> own_;  // one block per large array
  std::vector<std::vector<TXMLNode*>> kept_nodes_;
  std::vector<std::vector<TXMLAttribute*>> kept_attributes_;
  std::vector<std::unique_ptr<Arena>> kept_arenas_;
  char* raw_next_ = nullptr;
  std::size_t raw_left_ = 0;
};

template <class Fn>
void Arena::ForNodes(std::size_t From, std::size_t To, Fn&& Each) {
  std::size_t First = 0;  // the number of the first node of block B
  for (std::size_t B = 0; B < nodes_.blocks.size() && First < To; ++B) {
    const bool Last = B + 1 == nodes_.blocks.size();
    const std::size_t Count = Last ? nodes_.used : RoomFor<TXMLNode>(nodes_.blocks[B]);
    TXMLNode* const Nodes = FirstOf<TXMLNode>(nodes_.blocks[B]);
    const std::size_t Begin = From > First ? From - First : 0;
    const std::size_t End = std::min(Count, To - First);
    for (std::size_t I = Begin; I < End; ++I) Each(Nodes[I]);
    First += Count;
  }
}

}  // namespace linexml::detail
