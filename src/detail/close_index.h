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

  // The names are hashed with a secret key, drawn afresh for every index: no text can be made to
  // collide without knowing it. A name never lies more than kMaxProbe slots past the slot its hash
  // picks; a name that would is placed after a rebuild under a new key.
  static constexpr std::size_t kMaxProbe = 64;
  // The keyed hash of a name; equal names give equal hashes under one key.
  static std::uint64_t Hash(std::string_view Name, std::uint64_t K0, std::uint64_t K1);
  // A key nobody knows, as every index draws one (for other tables of names that input may fill).
  static void DrawKey(std::uint64_t& K0, std::uint64_t& K1);
  // Builds with this key instead of a fresh one (a rebuild still draws a fresh one), so a test can
  // make names collide; no effect once the first query has been answered.
  void UseKey(std::uint64_t K0, std::uint64_t K1);
  // With the "</" starts given and at least Count of them, the build records the second half of
  // the tags on a thread it starts and joins, then adds them to the first half's; the ids and
  // answers are the same.
  void TwoThreadsFrom(std::size_t Count) { two_threads_from_ = Count; }
  // Slots looked at so far (building and lookups), and how many rebuilds under a new key there were.
  std::size_t Probes() const { return probes_; }
  std::size_t Rekeys() const { return rekeys_; }

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
  // The empty table and the key, before the first tag is recorded.
  void Prepare();
  // Records the closing tags at (*starts_)[From, To).
  void RecordStarts(std::size_t From, std::size_t To);
  // Adds the tags and names of Later, which recorded the tags after this one's, to this one.
  void Absorb(const CloseIndex& Later);
  template <class Off>
  void Record(Tags<Off>& T, std::size_t Start, std::string_view Name);
  // Looks for Name from its hash's slot on: its slot value (never 0) when it is there, else 0
  // with At the free slot Dist slots on where it goes (Dist == kMaxProbe: none near enough).
  std::uint64_t Probe(std::string_view Name, std::uint32_t Hash, std::size_t& At, std::size_t& Dist);
  // Adds a name not yet there, whose tags run from Head to Tail, at slot At (see Probe).
  void AddName(std::string_view Name, std::uint32_t Hash, std::size_t At, std::size_t Dist, std::size_t Head,
               std::size_t Tail);
  template <class Off>
  std::size_t Lookup(Tags<Off>& T, Entry& E, std::size_t Pos);
  // Adds a closing tag at Start, linked to none yet; returns its index.
  template <class Off>
  static std::size_t Push(Tags<Off>& T, std::size_t Start);
  // Adds a closing tag at Start to the tags of the name of E.
  template <class Off>
  static void Append(Tags<Off>& T, Entry& E, std::size_t Start);
  std::uint32_t HashOf(std::string_view Name) const {
    return static_cast<std::uint32_t>(Hash(Name, k0_, k1_));
  }
  bool Matches(std::uint64_t Slot, std::uint32_t Hash, std::string_view Name) const;
  // Puts slot value S in the first free slot from its hash on; false when that is kMaxProbe or
  // more slots away (nothing is stored then).
  bool Place(std::uint64_t S);
  void Grow();
  // Draws a new key and places every name again, until every name lies close to its slot.
  void Rekey();

  std::string_view text_;
  const std::vector<std::uint32_t>* starts_;
  bool built_ = false;
  bool wide_ = false;
  std::size_t two_threads_from_ = kNone;
  Tags<std::uint32_t> narrow_tags_;
  Tags<std::size_t> wide_tags_;
  // Open addressing over small slots (the low half of the name's hash above, its entry's index
  // + 1 below; 0 is free), a power of two in size (at most 2^32, so the stored half of the hash
  // still picks the slot after growth) and at most half full; the entries themselves lie in the
  // order the names first appear, so ids and answers do not depend on the key. With a million
  // distinct names the slots stay a sixth of the size a table of whole entries would have, which
  // is what keeps lookups in cache.
  std::vector<std::uint64_t> slots_;
  std::size_t max_dist_ = 0;  // how far past its hash's slot the farthest name lies
  bool keyed_ = false;        // k0_, k1_ hold the key to build with
  std::uint64_t k0_ = 0;
  std::uint64_t k1_ = 0;
  std::size_t probes_ = 0;
  std::size_t rekeys_ = 0;
  std::vector<Entry> entries_;
  // The entry (+ 1; 0 is none) of a name met lately, by a cheap unkeyed hash of the name (see
  // Record): most tags find their name here without the keyed hash.
  static constexpr std::size_t kMemoSlots = 64;
  std::uint32_t memo_[kMemoSlots] = {};
  // The names, copied: the text before the parse position may be given back to the system
  // while the parse goes on (see DocText::ReleaseBefore).
  std::string names_;
};

}  // namespace linexml::detail
