#include "name_table.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>

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

// SipHash-1-3: a keyed hash, so that colliding names cannot be written without the key (a fixed
// hash let a few kilobytes of crafted names turn a table of names quadratic). The bytes of a name
// are read eight at a time; its last 1 to 7 bytes with loads that stay inside it.
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

// Every table gets its own key: a secret drawn once per process from std::random_device, hashed
// with a counter of the keys handed out. That costs no system call per load, no two tables (nor
// two attempts of one table) share a key, and one key seen says nothing about the others. Only
// the layout of a table depends on the key, never an id or an answer, so loads stay reproducible.
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

}  // namespace

std::uint64_t NameTable::Hash(std::string_view Name, std::uint64_t K0, std::uint64_t K1) {
  return SipHash13(Name.data(), Name.size(), K0, K1);
}

void NameTable::DrawKey(std::uint64_t& K0, std::uint64_t& K1) {
  const Key K = FreshKey();
  K0 = K.k0;
  K1 = K.k1;
}

void NameTable::UseKey(std::uint64_t K0, std::uint64_t K1) {
  if (!entries_.empty()) return;
  k0_ = K0;
  k1_ = K1;
  keyed_ = true;
}

const std::uint32_t NameTable::kNoMemo[kMemoSlots] = {};

void NameTable::Prepare() {
  if (!keyed_) {
    DrawKey(k0_, k1_);
    keyed_ = true;
  }
  slots_.assign(64, 0);
  memo_slots_.assign(kMemoSlots, 0);
  memo_ = memo_slots_.data();
}

std::uint64_t NameTable::Probe(std::string_view Name, std::uint64_t Head, std::uint32_t Hash, std::size_t& At,
                               std::size_t& Dist) {
  const std::size_t Mask = slots_.size() - 1;
  At = Hash & Mask;
  // Nothing is ever removed, so a free slot before the name means the name is new; and no name
  // lies farther than max_dist_ from its slot. Past that the walk only looks for a free slot.
  for (Dist = 0; Dist < kMaxProbe; ++Dist, At = (At + 1) & Mask) {
    const std::uint64_t S = slots_[At];
    if (S == 0) break;
    if (Dist <= max_dist_ && static_cast<std::uint32_t>(S >> 32) == Hash &&
        Equals(static_cast<std::uint32_t>(S) - 1, Name, Head)) {
      probes_ += Dist + 1;
      return S;
    }
  }
  probes_ += Dist + 1;
  return 0;
}

bool NameTable::Place(std::uint64_t S) {
  const std::size_t Mask = slots_.size() - 1;
  std::size_t I = static_cast<std::size_t>(S >> 32) & Mask;
  for (std::size_t Dist = 0; Dist < kMaxProbe; ++Dist, I = (I + 1) & Mask) {
    if (slots_[I] != 0) continue;
    probes_ += Dist + 1;
    slots_[I] = S;
    max_dist_ = std::max(max_dist_, Dist);
    return true;
  }
  probes_ += kMaxProbe;
  return false;
}

void NameTable::Grow() {
  std::vector<std::uint64_t> Old(slots_.size() * 2, 0);
  Old.swap(slots_);
  max_dist_ = 0;
  for (const std::uint64_t S : Old)
    if (S != 0 && !Place(S)) return Rekey();
}

void NameTable::Rekey() {
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
    for (std::size_t Id = 0; Placed && Id < entries_.size(); ++Id)
      Placed =
          Place((static_cast<std::uint64_t>(HashOf(Name(static_cast<std::uint32_t>(Id)))) << 32) | (Id + 1));
    if (Placed) return;
  }
}

std::uint32_t NameTable::AddSlow(std::string_view Name, std::uint64_t Head) {
  if (slots_.empty()) Prepare();
  const std::uint32_t Hash = HashOf(Name);
  std::size_t At = 0, Dist = 0;
  const std::size_t Memo = MemoSlot(Head, Name.size());
  if (const std::uint64_t S = Probe(Name, Head, Hash, At, Dist); S != 0) {
    memo_slots_[Memo] = static_cast<std::uint32_t>(S);
    return static_cast<std::uint32_t>(S) - 1;
  }
  // At most 2^31 names keep the table within 2^32 slots, which the stored half of a hash can address.
  if (entries_.size() >= (std::size_t{1} << 31)) throw std::length_error("too many distinct names");
  names_.reserve(names_.size() + Name.size());
  entries_.push_back(Entry{names_.size(), Name.size(), Head});
  names_.append(Name);  // cannot fail: the room is there
  const auto Id = static_cast<std::uint32_t>(entries_.size() - 1);
  const std::uint64_t S = (static_cast<std::uint64_t>(Hash) << 32) | (Id + 1);
  if (Dist < kMaxProbe) {
    slots_[At] = S;
    max_dist_ = std::max(max_dist_, Dist);
  } else {
    Rekey();  // places this name too
  }
  if (entries_.size() * 2 > slots_.size()) Grow();
  memo_slots_[Memo] = Id + 1;
  return Id;
}

std::uint32_t NameTable::Find(std::string_view Name) {
  const std::uint64_t Head = HeadOf(Name);
  const std::uint32_t Known = memo_[MemoSlot(Head, Name.size())];
  if (Known != 0 && Equals(Known - 1, Name, Head)) return Known - 1;
  if (slots_.empty()) return kNone;
  const std::uint32_t Hash = HashOf(Name);
  const std::size_t Mask = slots_.size() - 1;
  std::size_t At = Hash & Mask;
  // The search ends at the farthest distance any name lies from its slot.
  for (std::size_t Dist = 0; Dist <= max_dist_; ++Dist, At = (At + 1) & Mask) {
    const std::uint64_t S = slots_[At];
    if (S == 0 || (static_cast<std::uint32_t>(S >> 32) == Hash &&
                   Equals(static_cast<std::uint32_t>(S) - 1, Name, Head))) {
      probes_ += Dist + 1;
      return S == 0 ? kNone : static_cast<std::uint32_t>(S) - 1;
    }
  }
  probes_ += max_dist_ + 1;
  return kNone;
}

}  // namespace linexml::detail
