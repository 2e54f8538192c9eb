#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "name_table.h"

namespace linexml::detail {

// Answers "where is the first "</name>" at or after pos?" for one text in amortised constant time.
// Every "</" of the text can close one name only (the bytes up to the first space, "/" or ">",
// valid when that byte is ">"), so one pass records, per name, where its closing tags stand. A
// plain substring search per element would cost the size of its subtree, quadratic for deep or
// unclosed documents.
class CloseIndex {
 public:
  // Only the closing tags that start at or after From are recorded, and the text before From is
  // never read (a parse may have given it back to the system): answers for a Pos before From
  // hold when no closing tag of the name stands in [Pos, From).
  explicit CloseIndex(std::string_view Text, std::size_t From = 0) : text_(Text), from_(From) {}

  // Start of the first "</Name>" at or after Pos that ends at or before End; npos when none.
  // Queries for one name are expected with growing Pos (parse order); others still work.
  std::size_t Find(std::string_view Name, std::size_t Pos, std::size_t End);
  // The same in two steps, so a caller that meets one name often looks it up once: NameId says
  // which name it is (kNoName when the text never closes it), FindFor answers for that id.
  static constexpr std::size_t kNoName = ~std::size_t{0};
  std::size_t NameId(std::string_view Name);
  std::size_t FindFor(std::size_t Id, std::size_t NameSize, std::size_t Pos, std::size_t End);

  // The names are kept in a NameTable, keyed afresh for every index (see there).
  static constexpr std::size_t kMaxProbe = NameTable::kMaxProbe;
  static std::uint64_t Hash(std::string_view Name, std::uint64_t K0, std::uint64_t K1) {
    return NameTable::Hash(Name, K0, K1);
  }
  static void DrawKey(std::uint64_t& K0, std::uint64_t& K1) { NameTable::DrawKey(K0, K1); }
  // Builds with this key instead of a fresh one (see NameTable::UseKey).
  void UseKey(std::uint64_t K0, std::uint64_t K1) { names_.UseKey(K0, K1); }
  // Slots looked at so far (building and lookups), and how many rebuilds under a new key there were.
  std::size_t Probes() const { return names_.Probes(); }
  std::size_t Rekeys() const { return names_.Rekeys(); }

 private:
  // Positions and links are 32-bit while the text allows it (half the memory), else 64-bit.
  template <class Off>
  struct Tags {
    std::vector<Off> start;  // where each closing tag starts, in text order
    std::vector<Off> next;   // the next closing tag of the same name, or kNone
  };
  // The closing tags of one name (by its id in names_).
  struct Chain {
    std::size_t head;          // first closing tag of this name
    std::size_t tail;          // last one (while building)
    std::size_t cursor;        // first one that may still be at or after the next Pos
    std::size_t last_pos = 0;  // Pos of the last query, to notice one asked out of order
  };
  static constexpr std::size_t kNone = ~std::size_t{0};

  void Build();
  template <class Off>
  void Record(Tags<Off>& T, std::size_t Start, std::string_view Name);
  template <class Off>
  std::size_t Lookup(Tags<Off>& T, Chain& C, std::size_t Pos);

  std::string_view text_;
  std::size_t from_;
  bool built_ = false;
  bool wide_ = false;
  Tags<std::uint32_t> narrow_tags_;
  Tags<std::size_t> wide_tags_;
  NameTable names_;
  std::vector<Chain> chains_;  // by name id
};

}  // namespace linexml::detail
