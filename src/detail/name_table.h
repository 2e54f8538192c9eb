#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace linexml::detail {

// The distinct names of one document, each stored once under an id (0, 1, ... in the order they
// were first added). Names are hashed with a secret key drawn afresh for every table, so no input
// can be written to make lookups slow without knowing it; a small memo keyed by the names' first
// bytes answers the names met over and over without hashing them.
class NameTable {
 public:
  static constexpr std::uint32_t kNone = ~std::uint32_t{0};
  // A name never lies more than kMaxProbe slots past the slot its hash picks; a name that would is
  // placed after a rebuild under a new key.
  static constexpr std::size_t kMaxProbe = 64;

  NameTable() = default;
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;

  // The first eight bytes of Name (fewer when it is shorter, the rest 0), byte 0 lowest.
  static std::uint64_t HeadOf(std::string_view Name) {
    std::uint64_t Head = 0;
    for (std::size_t I = 0; I < Name.size() && I < 8; ++I)
      Head |= std::uint64_t{static_cast<unsigned char>(Name[I])} << (8 * I);
    return Head;
  }

  // The id of Name, which is added when new. Head is HeadOf(Name).
  std::uint32_t Add(std::string_view Name, std::uint64_t Head) {
    const std::uint32_t Known = memo_[MemoSlot(Head, Name.size())];
    if (Known != 0 && Equals(Known - 1, Name, Head)) return Known - 1;
    return AddSlow(Name, Head);
  }
  std::uint32_t Add(std::string_view Name) { return Add(Name, HeadOf(Name)); }
  // The id of Name, or kNone when it was never added.
  std::uint32_t Find(std::string_view Name);

  std::string_view Name(std::uint32_t Id) const {
    const Entry& E = entries_[Id];
    return {names_.data() + E.name, E.size};
  }
  std::size_t Size() const { return entries_.size(); }

  // Builds with this key instead of a fresh one (a rebuild still draws a fresh one), so that a test
  // can make names collide; no effect once a name was added.
  void UseKey(std::uint64_t K0, std::uint64_t K1);
  // Slots looked at so far, and how many rebuilds under a new key there were.
  std::size_t Probes() const { return probes_; }
  std::size_t Rekeys() const { return rekeys_; }

  // The keyed hash of a name; equal names give equal hashes under one key.
  static std::uint64_t Hash(std::string_view Name, std::uint64_t K0, std::uint64_t K1);
  // A key nobody knows, as every table draws one (for other tables that input may fill).
  static void DrawKey(std::uint64_t& K0, std::uint64_t& K1);

 private:
  struct Entry {
    std::size_t name;  // where the name starts in names_
    std::size_t size;
    std::uint64_t head;
  };
  // As many slots as a document has names, mostly (a few thousand at most, usually).
  static constexpr std::size_t kMemoSlots = 4096;
  static std::size_t MemoSlot(std::uint64_t Head, std::size_t Size) {
    return static_cast<std::size_t>(((Head ^ Size) * 0x9E3779B97F4A7C15ULL) >> 52) & (kMemoSlots - 1);
  }
  bool Equals(std::uint32_t Id, std::string_view Name, std::uint64_t Head) const {
    const Entry& E = entries_[Id];
    return E.head == Head && E.size == Name.size() &&
           (E.size <= 8 || std::memcmp(names_.data() + E.name + 8, Name.data() + 8, E.size - 8) == 0);
  }
  std::uint32_t AddSlow(std::string_view Name, std::uint64_t Head);
  // Draws the key and makes the first slots.
  void Prepare();
  std::uint32_t HashOf(std::string_view Name) const {
    return static_cast<std::uint32_t>(Hash(Name, k0_, k1_));
  }
  // Looks for Name from its hash's slot on: its slot value (never 0) when it is there, else 0 with
  // At the free slot Dist slots on where it goes (Dist == kMaxProbe: none near enough).
  std::uint64_t Probe(std::string_view Name, std::uint64_t Head, std::uint32_t Hash, std::size_t& At,
                      std::size_t& Dist);
  // Puts slot value S in the first free slot from its hash on; false when that is kMaxProbe or
  // more slots away (nothing is stored then).
  bool Place(std::uint64_t S);
  void Grow();
  // Draws a new key and places every name again, until every name lies close to its slot.
  void Rekey();

  // Open addressing over small slots (the low half of the name's hash above, its id + 1 below; 0
  // is free), a power of two in size (at most 2^32, so the stored half of the hash still picks the
  // slot after growth) and at most half full; the entries themselves lie in the order the names
  // were added, so ids do not depend on the key. With a million distinct names the slots stay a
  // sixth of the size a table of whole entries would have, which is what keeps lookups in cache.
  std::vector<std::uint64_t> slots_;
  std::vector<Entry> entries_;
  std::string names_;
  std::size_t max_dist_ = 0;  // how far past its hash's slot the farthest name lies
  bool keyed_ = false;        // k0_, k1_ hold the key to build with
  std::uint64_t k0_ = 0;
  std::uint64_t k1_ = 0;
  std::size_t probes_ = 0;
  std::size_t rekeys_ = 0;
  // The id + 1 (0: none) of a name met lately, by its first bytes and size: only a shortcut, as a
  // name found there is compared in full, and one that is not takes the keyed path. Until the
  // first name is added it is kNoMemo, all zero (a table made for a short step costs no memo).
  static const std::uint32_t kNoMemo[kMemoSlots];
  const std::uint32_t* memo_ = kNoMemo;
  std::vector<std::uint32_t> memo_slots_;
};

}  // namespace linexml::detail
