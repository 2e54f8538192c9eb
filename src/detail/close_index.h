#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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
  // Starts, when given, lists where every "</" of Text starts, in order (so the text need not be
  // scanned for them again).
  explicit CloseIndex(std::string_view Text, const std::vector<std::uint32_t>* Starts = nullptr)
      : text_(Text), starts_(Starts) {}

  // Start of the first "</Name>" at or after Pos that ends at or before End; npos when none.
  // Queries for one name are expected with growing Pos (parse order); others still work.
  std::size_t Find(std::string_view Name, std::size_t Pos, std::size_t End);
  // The same in two steps, so a caller that meets one name often looks it up once: NameId says
  // which name it is (kNoName when the text never closes it), FindFor answers for that id.
  static constexpr std::size_t kNoName = ~std::size_t{0};
  std::size_t NameId(std::string_view Name);
  std::size_t FindFor(std::size_t Id, std::size_t NameSize, std::size_t Pos, std::size_t End);

 private:
  // Positions and links are 32-bit while the text allows it (half the memory), else 64-bit.
  template <class Off>
  struct Tags {
    std::vector<Off> start;  // where each closing tag starts, in text order
    std::vector<Off> next;   // the next closing tag of the same name, or kNone
  };
  struct Entry {
    std::size_t name;  // where the name starts in names_
    std::size_t size;
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
  std::size_t Lookup(Tags<Off>& T, Entry& E, std::size_t Pos);
  // The slot that holds Name, or the free slot where it belongs.
  std::size_t Slot(std::string_view Name, std::uint32_t Hash) const;
  void Grow();

  std::string_view text_;
  const std::vector<std::uint32_t>* starts_;
  bool built_ = false;
  bool wide_ = false;
  Tags<std::uint32_t> narrow_tags_;
  Tags<std::size_t> wide_tags_;
  // Open addressing over small slots (the name's hash above, its entry's index + 1 below; 0 is
  // free), a power of two in size and at most half full; the entries themselves lie in the
  // order the names first appear. With a million distinct names the slots stay a sixth of the
  // size a table of whole entries would have, which is what keeps lookups in cache.
  std::vector<std::uint64_t> slots_;
  std::vector<Entry> entries_;
  // The names, copied: the text before the parse position may be given back to the system
  // while the parse goes on (see DocText::ReleaseBefore).
  std::string names_;
};

}  // namespace linexml::detail
