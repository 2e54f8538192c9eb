#include "close_index.h"

#include <algorithm>

#include "bytes.h"
#include "simd.h"

namespace linexml::detail {

template <class Off>
void CloseIndex::Record(Tags<Off>& T, std::size_t Start, std::string_view Name) {
  const std::uint32_t Id = names_.Add(Name);
  T.start.push_back(static_cast<Off>(Start));
  T.next.push_back(static_cast<Off>(kNone));
  const std::size_t Index = T.start.size() - 1;
  if (Id == chains_.size()) {
    chains_.push_back({Index, Index, Index});
    return;
  }
  Chain& C = chains_[Id];
  T.next[C.tail] = static_cast<Off>(Index);
  C.tail = Index;
}

void CloseIndex::Build() {
  built_ = true;
  // A closing tag is at least 3 bytes, so 32-bit positions also bound the number of tags.
  wide_ = text_.size() > 0xFFFFFFF0u;
  const char* const Begin = text_.data();
  const char* const End = Begin + text_.size();
  for (const char* P = Begin + std::min(from_, text_.size());; ++P) {
    P = simd::FindPair<'<', '/'>(P, End);
    if (P == End) return;
    // Recorded when its name ends with ">"; "</>" is recorded too (it closes a node with an
    // empty name, ParseChildren on a new node).
    const char* Stop = FindNameEnd(P + 2, End, End);
    if (Stop == End || *Stop != '>') continue;
    const std::string_view Name(P + 2, static_cast<std::size_t>(Stop - P - 2));
    const auto Start = static_cast<std::size_t>(P - Begin);
    if (wide_)
      Record(wide_tags_, Start, Name);
    else
      Record(narrow_tags_, Start, Name);
  }
}

template <class Off>
std::size_t CloseIndex::Lookup(Tags<Off>& T, Chain& C, std::size_t Pos) {
  if (Pos < C.last_pos) C.cursor = C.head;  // asked out of order: start over
  C.last_pos = Pos;
  std::size_t I = C.cursor;
  while (I != kNone && T.start[I] < Pos) {
    const Off Next = T.next[I];
    I = Next == static_cast<Off>(kNone) ? kNone : static_cast<std::size_t>(Next);
  }
  C.cursor = I;
  return I == kNone ? std::string_view::npos : static_cast<std::size_t>(T.start[I]);
}

std::size_t CloseIndex::NameId(std::string_view Name) {
  if (!built_) Build();
  const std::uint32_t Id = names_.Find(Name);
  return Id == NameTable::kNone ? kNoName : Id;
}

std::size_t CloseIndex::FindFor(std::size_t Id, std::size_t NameSize, std::size_t Pos, std::size_t End) {
  if (Id == kNoName) return std::string_view::npos;
  Chain& C = chains_[Id];
  const std::size_t Start = wide_ ? Lookup(wide_tags_, C, Pos) : Lookup(narrow_tags_, C, Pos);
  if (Start == std::string_view::npos) return Start;
  // A later occurrence would end even further out, so the first one decides.
  return Start + NameSize + 3 <= End ? Start : std::string_view::npos;
}

std::size_t CloseIndex::Find(std::string_view Name, std::size_t Pos, std::size_t End) {
  return FindFor(NameId(Name), Name.size(), Pos, End);
}

}  // namespace linexml::detail
