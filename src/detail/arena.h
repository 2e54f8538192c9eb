#pragma once

#include <cstddef>
#include <cstring>
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
    if (P.used == P.capacity) AddBlock<T>(P);
    return static_cast<T*>(P.first) + P.used;
  }
  template <class T>
  static void AddBlock(Pool& P);
  template <class T>
  static void Destroy(Pool& P);
  static std::size_t NextBlockBytes(const std::vector<PageBuffer>& Blocks);
  // Bytes (a multiple of a pointer's size) that the current block of raw_ has no room for.
  void* RawBlock(std::size_t Bytes);

  Pool nodes_;
  Pool attributes_;
  Pool strings_;
  std::vector<PageBuffer> raw_;  // blocks shared by small arrays of pointers, the current one last
  std::vector<PageBuffer> own_;  // one block per large array
  std::vector<std::vector<TXMLNode*>> kept_nodes_;
  std::vector<std::vector<TXMLAttribute*>> kept_attributes_;
  char* raw_next_ = nullptr;
  std::size_t raw_left_ = 0;
};

}  // namespace linexml::detail
