#include "close_index.h"

#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace linexml::detail {
namespace {

std::uint32_t HashName(std::string_view Name) {
  std::uint32_t H = 2166136261u;  // FNV-1a: names are short, and this needs no table
  for (const char C : Name) H = (H ^ static_cast<unsigned char>(C)) * 16777619u;
  // FNV leaves the low bits, which pick the slot, poorly mixed for names that differ only in
  // their last digits ("c1", "c2", ...): finish with a full avalanche.
  H ^= H >> 16;
  H *= 0x85EBCA6Bu;
  H ^= H >> 13;
  H *= 0xC2B2AE35u;
  return H ^ (H >> 16);
}

// The bytes that end a closing tag's name: space, "/" and ">".
const char* NameEnd(const char* N, const char* End) {
  while (N < End && *N != ' ' && *N != '/' && *N != '>') ++N;
  return N;
}

}  // namespace

std::size_t CloseIndex::Slot(std::string_view Name, std::uint32_t Hash) const {
  const std::size_t Mask = slots_.size() - 1;
  for (std::size_t I = Hash & Mask;; I = (I + 1) & Mask) {
    const std::uint64_t S = slots_[I];
    if (S == 0) return I;
    if (static_cast<std::uint32_t>(S >> 32) != Hash) continue;
    const Entry& E = entries_[static_cast<std::uint32_t>(S) - 1];
    if (E.size == Name.size() && std::memcmp(names_.data() + E.name, Name.data(), Name.size()) == 0) return I;
  }
}

void CloseIndex::Grow() {
  std::vector<std::uint64_t> Old(slots_.size() * 2, 0);
  Old.swap(slots_);
  const std::size_t Mask = slots_.size() - 1;
  for (const std::uint64_t S : Old) {
    if (S == 0) continue;
    std::size_t I = static_cast<std::size_t>(S >> 32) & Mask;
    while (slots_[I] != 0) I = (I + 1) & Mask;
    slots_[I] = S;
  }
}

template <class Off>
void CloseIndex::Record(Tags<Off>& T, std::size_t Start, std::string_view Name) {
  const std::uint32_t Hash = HashName(Name);
  const std::size_t At = Slot(Name, Hash);
  const std::size_t Index = T.start.size();
  T.start.push_back(static_cast<Off>(Start));
  T.next.push_back(static_cast<Off>(kNone));
  if (slots_[At] == 0) {
    if (entries_.size() >= 0xFFFFFFFEu) throw std::length_error("too many distinct closing tags");
    entries_.push_back(Entry{names_.size(), Name.size(), Index, Index, Index});
    names_.append(Name);
    slots_[At] = (static_cast<std::uint64_t>(Hash) << 32) | entries_.size();
    if (entries_.size() * 2 > slots_.size()) Grow();
    return;
  }
  Entry& E = entries_[static_cast<std::uint32_t>(slots_[At]) - 1];
  T.next[E.tail] = static_cast<Off>(Index);
  E.tail = Index;
}

void CloseIndex::Build() {
  built_ = true;
  const std::size_t N = text_.size();
  // A closing tag is at least 3 bytes, so 32-bit positions also bound the number of tags.
  wide_ = N > 0xFFFFFFF0u;
  slots_.assign(64, 0);
  const char* const Begin = text_.data();
  const char* const End = Begin + N;
  auto At = [&](const char* P) {
    // "</" at P: record it when its name ends with ">"; "</>" is recorded too (it closes a node
    // with an empty name, ParseChildren on a new node).
    const char* Stop = NameEnd(P + 2, End);
    if (Stop == End || *Stop != '>') return;
    const std::string_view Name(P + 2, static_cast<std::size_t>(Stop - P - 2));
    const auto Start = static_cast<std::size_t>(P - Begin);
    if (wide_)
      Record(wide_tags_, Start, Name);
    else
      Record(narrow_tags_, Start, Name);
  };
  if (starts_ != nullptr) {
    // The tags lie far apart in a text that is no longer in cache: fetch a few ahead.
    const std::vector<std::uint32_t>& Starts = *starts_;
    constexpr std::size_t kAhead = 8;
    for (std::size_t I = 0; I < Starts.size(); ++I) {
      if (I + kAhead < Starts.size()) __builtin_prefetch(Begin + Starts[I + kAhead]);
      At(Begin + Starts[I]);
    }
    return;
  }
  const char* P = Begin;
#if defined(__SSE2__)
  // 16 positions a step: the bits mark a "<" followed by "/".
  const __m128i Lt = _mm_set1_epi8('<');
  const __m128i Slash = _mm_set1_epi8('/');
  while (End - P > 16) {
    const __m128i A = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P)), Lt);
    const __m128i B = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 1)), Slash);
    for (auto Mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(A, B))); Mask != 0;
         Mask &= Mask - 1)
      At(P + __builtin_ctz(Mask));
    P += 16;
  }
#endif
  for (; P + 1 < End; ++P)
    if (P[0] == '<' && P[1] == '/') At(P);
}

template <class Off>
std::size_t CloseIndex::Lookup(Tags<Off>& T, Entry& E, std::size_t Pos) {
  if (Pos < E.last_pos) E.cursor = E.head;  // asked out of order: start over
  E.last_pos = Pos;
  std::size_t I = E.cursor;
  while (I != kNone && T.start[I] < Pos) {
    const Off Next = T.next[I];
    I = Next == static_cast<Off>(kNone) ? kNone : static_cast<std::size_t>(Next);
  }
  E.cursor = I;
  return I == kNone ? std::string_view::npos : static_cast<std::size_t>(T.start[I]);
}

std::size_t CloseIndex::NameId(std::string_view Name) {
  if (!built_) Build();
  const std::uint64_t S = slots_[Slot(Name, HashName(Name))];
  return S == 0 ? kNoName : static_cast<std::uint32_t>(S) - 1;
}

std::size_t CloseIndex::FindFor(std::size_t Id, std::size_t NameSize, std::size_t Pos, std::size_t End) {
  if (Id == kNoName) return std::string_view::npos;
  Entry& E = entries_[Id];
  const std::size_t Start = wide_ ? Lookup(wide_tags_, E, Pos) : Lookup(narrow_tags_, E, Pos);
  if (Start == std::string_view::npos) return Start;
  // A later occurrence would end even further out, so the first one decides.
  return Start + NameSize + 3 <= End ? Start : std::string_view::npos;
}

std::size_t CloseIndex::Find(std::string_view Name, std::size_t Pos, std::size_t End) {
  return FindFor(NameId(Name), Name.size(), Pos, End);
}

}  // namespace linexml::detail
