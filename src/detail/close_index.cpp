#include "close_index.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "simd.h"

namespace linexml::detail {
namespace {

std::uint64_t Rotl(std::uint64_t X, int B) {
  return (X << B) | (X >> (64 - B));
}

std::uint64_t Load64(const char* P) {
  std::uint64_t V;
  std::memcpy(&V, P, sizeof V);
  return V;
}

std::uint64_t Load32(const char* P) {
  std::uint32_t V;
  std::memcpy(&V, P, sizeof V);
  return V;
}

// SipHash-1-3: a keyed hash, so that colliding names cannot be written without the key (the
// fixed hash this replaced let a few kilobytes of crafted names turn the index quadratic). The
// bytes of a name are read eight at a time; its last 1 to 7 bytes with loads that stay inside it.
std::uint64_t SipHash13(const char* P, std::size_t N, std::uint64_t K0, std::uint64_t K1) {
  std::uint64_t V0 = 0x736F6D6570736575ULL ^ K0;
  std::uint64_t V1 = 0x646F72616E646F6DULL ^ K1;
  std::uint64_t V2 = 0x6C7967656E657261ULL ^ K0;
  std::uint64_t V3 = 0x7465646279746573ULL ^ K1;
  auto Round = [&] {
    V0 += V1;
    V1 = Rotl(V1, 13);
    V1 ^= V0;
    V0 = Rotl(V0, 32);
    V2 += V3;
    V3 = Rotl(V3, 16);
    V3 ^= V2;
    V0 += V3;
    V3 = Rotl(V3, 21);
    V3 ^= V0;
    V2 += V1;
    V1 = Rotl(V1, 17);
    V1 ^= V2;
    V2 = Rotl(V2, 32);
  };
  const std::size_t Whole = N & ~std::size_t{7};
  for (std::size_t I = 0; I < Whole; I += 8) {
    const std::uint64_t M = Load64(P + I);
    V3 ^= M;
    Round();
    V0 ^= M;
  }
  const std::size_t Left = N & 7;
  std::uint64_t Tail = 0;
  if (Left != 0) {
    if (N >= 8) {
      Tail = Load64(P + N - 8) >> (64 - 8 * Left);  // the last 8 bytes, the ones already taken dropped
    } else if (Left >= 4) {
      Tail = Load32(P) | (Load32(P + N - 4) << (8 * (Left - 4)));  // two loads that overlap
    } else {
      Tail = static_cast<unsigned char>(P[0]);
      if (Left > 1) Tail |= std::uint64_t{static_cast<unsigned char>(P[1])} << 8;
      if (Left > 2) Tail |= std::uint64_t{static_cast<unsigned char>(P[2])} << 16;
    }
  }
  const std::uint64_t B = (static_cast<std::uint64_t>(N) << 56) | Tail;
  V3 ^= B;
  Round();
  V0 ^= B;
  V2 ^= 0xFF;
  Round();
  Round();
  Round();
  return V0 ^ V1 ^ V2 ^ V3;
}

// Every index gets its own key: a secret drawn once per process from std::random_device, hashed
// with a counter of the keys handed out. That costs no system call per load, no two indexes
// (nor two attempts of one index) share a key, and one key seen says nothing about the others.
// Only the layout of the table depends on the key, never an answer, so loads stay reproducible.
struct Key {
  std::uint64_t k0;
  std::uint64_t k1;
};

Key ProcessSecret() {
  static const Key Secret = [] {
    try {
      std::random_device Device;
      auto Word = [&Device] { return (std::uint64_t{Device()} << 32) | Device(); };
      return Key{Word(), Word()};
    } catch (...) {
      // No source of randomness on this system: the address layout and the clock are all there
      // is; still different from run to run where addresses are randomised.
      static const int Anchor = 0;
      const auto Now =
          static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
      const auto Place = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&Anchor));
      return Key{Now ^ 0x9E3779B97F4A7C15ULL, Place ^ Rotl(Now, 29)};
    }
  }();
  return Secret;
}

std::atomic<std::uint64_t> KeysDrawn{0};

Key FreshKey() {
  const Key Secret = ProcessSecret();
  std::uint64_t Counter[2];
  Counter[0] = KeysDrawn.fetch_add(1, std::memory_order_relaxed);
  Counter[1] = ~Counter[0];
  const char* const Bytes = reinterpret_cast<const char*>(Counter);
  return Key{SipHash13(Bytes, 8, Secret.k0, Secret.k1), SipHash13(Bytes + 8, 8, Secret.k0, Secret.k1)};
}

// The bytes that end a closing tag's name: space, "/" and ">".
const char* NameEnd(const char* N, const char* End) {
  while (N < End && *N != ' ' && *N != '/' && *N != '>') ++N;
  return N;
}

}  // namespace

std::uint64_t CloseIndex::Hash(std::string_view Name, std::uint64_t K0, std::uint64_t K1) {
  return SipHash13(Name.data(), Name.size(), K0, K1);
}

void CloseIndex::DrawKey(std::uint64_t& K0, std::uint64_t& K1) {
  const Key K = FreshKey();
  K0 = K.k0;
  K1 = K.k1;
}

void CloseIndex::UseKey(std::uint64_t K0, std::uint64_t K1) {
  if (built_) return;
  k0_ = K0;
  k1_ = K1;
  keyed_ = true;
}

bool CloseIndex::Matches(std::uint64_t Slot, std::uint32_t Hash, std::string_view Name) const {
  if (static_cast<std::uint32_t>(Slot >> 32) != Hash) return false;
  const Entry& E = entries_[static_cast<std::uint32_t>(Slot) - 1];
  return E.size == Name.size() && std::memcmp(names_.data() + E.name, Name.data(), Name.size()) == 0;
}

bool CloseIndex::Place(std::uint64_t S) {
  const std::size_t Mask = slots_.size() - 1;
  std::size_t I = static_cast<std::size_t>(S >> 32) & Mask;
  for (std::size_t Dist = 0; Dist < kMaxProbe; ++Dist, I = (I + 1) & Mask) {
    if (slots_[I] != 0) continue;
    probes_ += Dist + 1;
    slots_[I] = S;
    if (Dist > max_dist_) max_dist_ = Dist;
    return true;
  }
  probes_ += kMaxProbe;
  return false;
}

void CloseIndex::Grow() {
  std::vector<std::uint64_t> Old(slots_.size() * 2, 0);
  Old.swap(slots_);
  max_dist_ = 0;
  for (const std::uint64_t S : Old)
    if (S != 0 && !Place(S)) return Rekey();
}

void CloseIndex::Rekey() {
  // With a key nobody knows, a name lands kMaxProbe (64) slots or more past its own in a table
  // at most half full with a probability near 10^-10 (the measured tail of linear probing falls
  // tenfold every 8 slots): a rebuild is rare, and several in a row are as good as never.
  for (;;) {
    ++rekeys_;
    const Key K = FreshKey();
    k0_ = K.k0;
    k1_ = K.k1;
    std::fill(slots_.begin(), slots_.end(), 0);
    max_dist_ = 0;
    bool Placed = true;
    for (std::size_t Id = 0; Placed && Id < entries_.size(); ++Id) {
      const Entry& E = entries_[Id];
      const std::uint32_t H = HashOf(std::string_view(names_.data() + E.name, E.size));
      Placed = Place((static_cast<std::uint64_t>(H) << 32) | (Id + 1));
    }
    if (Placed) return;
  }
}

namespace {

// The memo's slot for a name: its length and first eight bytes, unkeyed (see CloseIndex::Record).
std::size_t MemoSlot(std::string_view Name, std::size_t Slots) {
  std::uint64_t Head = 0;
  std::memcpy(&Head, Name.data(), Name.size() < 8 ? Name.size() : 8);
  return static_cast<std::size_t>(((Head ^ Name.size()) * 0x9E3779B97F4A7C15ULL) >> 40) & (Slots - 1);
}

}  // namespace

template <class Off>
std::size_t CloseIndex::Push(Tags<Off>& T, std::size_t Start) {
  T.start.push_back(static_cast<Off>(Start));
  T.next.push_back(static_cast<Off>(kNone));
  return T.start.size() - 1;
}

template <class Off>
void CloseIndex::Append(Tags<Off>& T, Entry& E, std::size_t Start) {
  const std::size_t Index = Push(T, Start);
  T.next[E.tail] = static_cast<Off>(Index);
  E.tail = Index;
}

template <class Off>
void CloseIndex::Record(Tags<Off>& T, std::size_t Start, std::string_view Name) {
  // A memo of the names met last spares the keyed hash for nearly every tag of a document (a few
  // names closing over and over). It is only a shortcut: a name found there is compared in full,
  // and one that is not, however the names were made, takes the keyed path below.
  const std::size_t M = MemoSlot(Name, kMemoSlots);
  if (const std::uint32_t Known = memo_[M]; Known != 0) {
    Entry& E = entries_[Known - 1];
    if (E.size == Name.size() && std::memcmp(names_.data() + E.name, Name.data(), Name.size()) == 0) {
      ++probes_;
      Append(T, E, Start);
      return;
    }
  }
  const std::uint32_t Hash = HashOf(Name);
  std::size_t At = 0, Dist = 0;
  if (const std::uint64_t S = Probe(Name, Hash, At, Dist); S != 0) {
    memo_[M] = static_cast<std::uint32_t>(S);
    Append(T, entries_[static_cast<std::uint32_t>(S) - 1], Start);
    return;
  }
  const std::size_t Index = Push(T, Start);
  AddName(Name, Hash, At, Dist, Index, Index);
  memo_[M] = static_cast<std::uint32_t>(entries_.size());
}

std::uint64_t CloseIndex::Probe(std::string_view Name, std::uint32_t Hash, std::size_t& At,
                                std::size_t& Dist) {
  const std::size_t Mask = slots_.size() - 1;
  At = Hash & Mask;
  // Nothing is ever removed, so a free slot before the name means the name is new.
  for (Dist = 0; Dist < kMaxProbe; ++Dist, At = (At + 1) & Mask) {
    const std::uint64_t S = slots_[At];
    if (S == 0) return 0;
    if (!Matches(S, Hash, Name)) continue;
    probes_ += Dist + 1;
    return S;
  }
  return 0;
}

void CloseIndex::AddName(std::string_view Name, std::uint32_t Hash, std::size_t At, std::size_t Dist,
                         std::size_t Head, std::size_t Tail) {
  // At most 2^31 names keep the table within 2^32 slots, which the stored half of a hash can address.
  if (entries_.size() >= (std::size_t{1} << 31)) throw std::length_error("too many distinct closing tags");
  entries_.push_back(Entry{names_.size(), Name.size(), Head, Tail, Head});
  names_.append(Name);
  const std::uint64_t S = (static_cast<std::uint64_t>(Hash) << 32) | entries_.size();
  if (Dist < kMaxProbe) {
    probes_ += Dist + 1;
    slots_[At] = S;
    if (Dist > max_dist_) max_dist_ = Dist;
  } else {
    probes_ += kMaxProbe;
    Rekey();  // places this name too
  }
  if (entries_.size() * 2 > slots_.size()) Grow();
}

void CloseIndex::Prepare() {
  built_ = true;
  if (!keyed_) {
    const Key K = FreshKey();
    k0_ = K.k0;
    k1_ = K.k1;
    keyed_ = true;
  }
  // A closing tag is at least 3 bytes, so 32-bit positions also bound the number of tags.
  wide_ = text_.size() > 0xFFFFFFF0u;
  slots_.assign(64, 0);
}

void CloseIndex::RecordStarts(std::size_t From, std::size_t To) {
  const char* const Begin = text_.data();
  const char* const End = Begin + text_.size();
  const std::vector<std::uint32_t>& Starts = *starts_;
  // The tags lie far apart in a text that is no longer in cache: fetch a few ahead.
  constexpr std::size_t kAhead = 8;
  for (std::size_t I = From; I < To; ++I) {
    if (I + kAhead < To) __builtin_prefetch(Begin + Starts[I + kAhead]);
    const char* const P = Begin + Starts[I];
    // Recorded when its name ends with ">" (see Build).
    const char* Stop = NameEnd(P + 2, End);
    if (Stop == End || *Stop != '>') continue;
    Record(narrow_tags_, Starts[I], std::string_view(P + 2, static_cast<std::size_t>(Stop - P - 2)));
  }
}

void CloseIndex::Absorb(const CloseIndex& Later) {
  using Off = std::uint32_t;
  Tags<Off>& T = narrow_tags_;
  const Tags<Off>& U = Later.narrow_tags_;
  const std::size_t Base = T.start.size();
  T.start.insert(T.start.end(), U.start.begin(), U.start.end());
  T.next.reserve(T.next.size() + U.next.size());
  for (const Off N : U.next) T.next.push_back(N == static_cast<Off>(kNone) ? N : static_cast<Off>(N + Base));
  // The hashes of Later's names, from its table while it has this one's key (neither rebuilt
  // under a new one): a document of many names is not hashed twice.
  std::vector<std::uint32_t> Hashes;
  if (Later.k0_ == k0_ && Later.k1_ == k1_) {
    Hashes.resize(Later.entries_.size());
    for (const std::uint64_t S : Later.slots_)
      if (S != 0) Hashes[static_cast<std::uint32_t>(S) - 1] = static_cast<std::uint32_t>(S >> 32);
  }
  const std::uint64_t K0 = k0_, K1 = k1_;
  // Later's names in the order they first appear there: a name this one has gets the later tags
  // linked after its own, a new one comes after every name this one has, as in one pass.
  for (std::size_t Id = 0; Id < Later.entries_.size(); ++Id) {
    const Entry& L = Later.entries_[Id];
    const std::string_view Name(Later.names_.data() + L.name, L.size);
    const bool Known = !Hashes.empty() && k0_ == K0 && k1_ == K1;
    const std::uint32_t Hash = Known ? Hashes[Id] : HashOf(Name);
    std::size_t At = 0, Dist = 0;
    if (const std::uint64_t S = Probe(Name, Hash, At, Dist); S != 0) {
      Entry& E = entries_[static_cast<std::uint32_t>(S) - 1];
      T.next[E.tail] = static_cast<Off>(L.head + Base);
      E.tail = L.tail + Base;
    } else {
      AddName(Name, Hash, At, Dist, L.head + Base, L.tail + Base);
    }
  }
  probes_ += Later.probes_;
  rekeys_ += Later.rekeys_;
}

void CloseIndex::Build() {
  Prepare();
  const std::size_t N = text_.size();
  const char* const Begin = text_.data();
  const char* const End = Begin + N;
  if (starts_ != nullptr) {
    const std::size_t Count = starts_->size();
    narrow_tags_.start.reserve(Count);
    narrow_tags_.next.reserve(Count);
    if (Count < two_threads_from_ || Count < 2) return RecordStarts(0, Count);
    const std::size_t Half = Count / 2;
    CloseIndex Later(text_, starts_);
    std::exception_ptr Failed;
    // Under this index's key as it is now, so that joining can take the names' hashes from
    // Later's table (a copy: this thread may rekey while Later records).
    const std::uint64_t K0 = k0_, K1 = k1_;
    {
      std::jthread Worker;
      auto RecordLater = [&Later, &Failed, K0, K1, Half, Count] {
        try {
          Later.UseKey(K0, K1);
          Later.Prepare();
          Later.RecordStarts(Half, Count);
        } catch (...) {
          Failed = std::current_exception();
        }
      };
      try {
        Worker = std::jthread(RecordLater);
      } catch (const std::system_error&) {
        RecordLater();  // no thread to be had: this one records both halves
      }
      RecordStarts(0, Half);
    }
    if (Failed) std::rethrow_exception(Failed);
    Absorb(Later);
    return;
  }
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
  const char* P = Begin;
#if defined(LINEXML_SSE2)
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
  const std::uint32_t Hash = HashOf(Name);
  const std::size_t Mask = slots_.size() - 1;
  std::size_t At = Hash & Mask;
  // No name lies farther than max_dist_ from its slot: the search ends there at the latest.
  for (std::size_t Dist = 0; Dist <= max_dist_; ++Dist, At = (At + 1) & Mask) {
    const std::uint64_t S = slots_[At];
    if (S == 0 || Matches(S, Hash, Name)) {
      probes_ += Dist + 1;
      return S == 0 ? kNoName : static_cast<std::uint32_t>(S) - 1;
    }
  }
  probes_ += max_dist_ + 1;
  return kNoName;
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
