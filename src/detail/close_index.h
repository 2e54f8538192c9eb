#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace linexml::detail {

// Answers "where is the first "</name>" at or after pos?" for one text in amortised constant time.
// Every "</" of the text can close one name only (the bytes up to the first space, "/" or ">",
// valid when that byte is ">"), so one pass records, per name, where its closing tags stand. A
// plain substring search per element would cost the size of its subtree, quadratic for deep or
// unclosed documents.
class CloseIndex {
 public:
  explicit CloseIndex(std::string_view Text) : text_(Text) {}

  // Start of the first "</Name>" at or after Pos that ends at or before End; npos when none.
  // Queries for one name are expected with growing Pos (parse order); others still work.
  std::size_t Find(std::string_view Name, std::size_t Pos, std::size_t End);

 private:
  // Positions and links are 32-bit while the text allows it (half the memory), else 64-bit.
  template <class Off>
  struct Tags {
    std::vector<Off> start;  // where each closing tag starts, in text order
    std::vector<Off> next;   // the next closing tag of the same name, or kNone
  };
  struct Entry {
    const char* name = nullptr;  // null: a free slot
    std::size_t size = 0;
    std::uint32_t hash = 0;
    std::size_t head = 0;      // first closing tag of this name
    std::size_t cursor = 0;    // first one that may still be at or after the next Pos
    std::size_t last_pos = 0;  // Pos of the last query, to notice one asked out of order
  };
  static constexpr std::size_t kNone = ~std::size_t{0};

  void Build();
  template <class Off>
  void Record(Tags<Off>& T, std::size_t Start, std::string_view Name);
  template <class Off>
  std::size_t Lookup(Tags<Off>& T, Entry& E, std::size_t Pos);
  Entry* Slot(std::string_view Name, std::uint32_t Hash);
  void Grow();

  std::string_view text_;
  bool built_ = false;
  bool wide_ = false;
  Tags<std::uint32_t> narrow_tags_;
  Tags<std::size_t> wide_tags_;
  std::vector<Entry> table_;  // open addressing, a power of two in size, at most half full
  std::size_t used_ = 0;
  std::vector<std::size_t> tails_;  // per slot, the last closing tag recorded (while building)
};

}  // namespace linexml::detail
