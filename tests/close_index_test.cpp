// The closing-tag index under names crafted to collide, and the parse's name cache under names
// whose cache hashes are equal.
#include "detail/close_index.h"

#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace linexml {
namespace {

using detail::CloseIndex;

// A key the tests know, so that they can write names that collide under it (what an attacker
// could do if the key leaked).
constexpr std::uint64_t kK0 = 0x243F6A8885A308D3ULL;
constexpr std::uint64_t kK1 = 0x13198A2E03707344ULL;

// The slot a name's hash picks in a table of Slots slots (a power of two): its low bits.
std::size_t Home(const std::string& Name, std::size_t Slots) {
  return static_cast<std::size_t>(CloseIndex::Hash(Name, kK0, kK1) & (Slots - 1));
}

// Slots of the table that holds Count names (64 at first, doubled to stay at most half full).
std::size_t TableSlots(std::size_t Count) {
  std::size_t Slots = 64;
  while (Count * 2 > Slots) Slots *= 2;
  return Slots;
}

// Names Prefix0, Prefix1, ... whose slots in a table of Slots slots lie in [0, Window), with
// Keep saying which slot numbers still count.
template <class KeepFn>
std::vector<std::string> NamesIn(const std::string& Prefix, std::size_t Count, std::size_t Slots,
                                 std::size_t Window, KeepFn&& Keep) {
  std::vector<std::string> Names;
  for (std::size_t I = 0; Names.size() < Count; ++I) {
    std::string Name = Prefix + std::to_string(I);
    const std::size_t H = Home(Name, Slots);
    if (H < Window && Keep(H)) Names.push_back(std::move(Name));
  }
  return Names;
}

std::string ClosingTags(const std::vector<std::string>& Names, std::vector<std::size_t>& Starts) {
  std::string Text;
  for (const std::string& N : Names) {
    Starts.push_back(Text.size());
    Text += "</" + N + ">";
  }
  return Text;
}

// Every name's hash picks one of the first kMaxProbe slots: without a bound on the distance the
// index walks the whole cluster for each new name and each lookup, millions of probes here.
TEST(CloseIndex, CraftedCollisionsCostLinearWork) {
  constexpr std::size_t kNames = 2048;
  const std::vector<std::string> Names =
      NamesIn("n", kNames, TableSlots(kNames), CloseIndex::kMaxProbe, [](std::size_t) { return true; });
  std::vector<std::size_t> Starts;
  const std::string Text = ClosingTags(Names, Starts);

  CloseIndex Index(Text);
  Index.UseKey(kK0, kK1);
  for (std::size_t I = 0; I < Names.size(); ++I) {
    // Ids follow the order of first appearance, whatever key the table ended with.
    ASSERT_EQ(Index.NameId(Names[I]), I) << Names[I];
    ASSERT_EQ(Index.FindFor(I, Names[I].size(), 0, Text.size()), Starts[I]) << Names[I];
  }
  EXPECT_GE(Index.Rekeys(), 1u);  // the names did collide: the table moved to another key
  EXPECT_LE(Index.Probes(), 8 * 2 * kNames);
}

// A run of names each in its own slot, and absent names that all pick a slot in that run: without
// a stop at the farthest name's distance each lookup walks to the run's end (a million probes).
TEST(CloseIndex, LookupsOfAbsentNamesStopEarly) {
  constexpr std::size_t kNames = 1024;
  constexpr std::size_t kAbsent = 4096;
  const std::size_t Slots = TableSlots(kNames);
  std::vector<bool> Taken(kNames, false);
  const std::vector<std::string> Names = NamesIn("n", kNames, Slots, kNames, [&](std::size_t H) {
    if (Taken[H]) return false;
    Taken[H] = true;
    return true;
  });
  const std::vector<std::string> Absent =
      NamesIn("a", kAbsent, Slots, kNames, [](std::size_t) { return true; });
  std::vector<std::size_t> Starts;
  const std::string Text = ClosingTags(Names, Starts);

  CloseIndex Index(Text);
  Index.UseKey(kK0, kK1);
  EXPECT_EQ(Index.NameId(Names.back()), kNames - 1);
  const std::size_t BuildProbes = Index.Probes();
  for (const std::string& Name : Absent) ASSERT_EQ(Index.NameId(Name), CloseIndex::kNoName) << Name;
  EXPECT_EQ(Index.Rekeys(), 0u);  // the run stayed under the test's key
  EXPECT_LE(BuildProbes, 8 * kNames);
  EXPECT_LE(Index.Probes() - BuildProbes, 2 * kAbsent);
}

// An index that records only the closing tags from a position on (the text before it may be given
// back to the system) answers as one over the whole text wherever the name has no closing tag
// between the position asked and that start.
TEST(CloseIndex, IndexFromAPositionAnswersAsTheWholeText) {
  std::mt19937 Rng(7);
  const char* Pieces[] = {"</a>", "</b>", "</a>", "<a>", "text", "</c d>", "</>", "</ab>", "</b"};
  std::string Text;
  for (int I = 0; I < 3000; ++I) Text += Pieces[Rng() % std::size(Pieces)];
  const std::vector<std::string> Names = {"a", "b", "ab", "c", "", "missing"};
  for (const std::size_t From :
       {std::size_t{0}, std::size_t{1}, Text.size() / 3, Text.size() - 5, Text.size()}) {
    CloseIndex Whole(Text), Part(Text, From);
    for (const std::string& Name : Names) {
      const std::string Tag = "</" + Name + ">";
      for (std::size_t Pos = 0; Pos <= Text.size(); Pos += 13) {
        const std::size_t Between = Text.find(Tag, Pos);
        if (Pos < From && Between != std::string::npos && Between < From) continue;
        ASSERT_EQ(Part.Find(Name, Pos, Text.size()), Whole.Find(Name, Pos, Text.size()))
            << Name << " from " << Pos << ", index from " << From;
      }
    }
  }
}

// The parse shares one name string per name through a small cache keyed by a fixed hash. Names
// with equal hashes (pairs known to collide) must keep their own names and closing tags: a cache
// that trusted the hash would name the second element, and find its end, by the first.
TEST(NameCache, NamesWithEqualHashesStayApart) {
  struct Case {
    const char* text;
    const char* tree;
  };
  const Case Cases[] = {
      {"<r>\n<costarring>\na\n</costarring>\n<liquid>\nb\n</liquid>\n<costarring/>\n</r>\n",
       "<r>(<costarring>(\" a\")<liquid>(\" b\")<costarring/>)"},
      {"<r>\n<declinate>\n<macallums>\nx\n</macallums>\n</declinate>\n</r>\n",
       "<r>(<declinate>(<macallums>(\" x\")))"},
      {"<r>\n<zinke>\n<altarage/>\n</zinke>\n<altarages>\n<zinkes/>\n</altarages>\n</r>\n",
       "<r>(<zinke>(<altarage/>)<altarages>(<zinkes/>))"},
  };
  for (const Case& C : Cases) {
    TXMLParser P;
    ASSERT_EQ(P.LoadFromText(std::string("<?xml version=\"1.0\"?>\n") + C.text), ecOk) << C.text;
    EXPECT_EQ(test::Outline(*P.XMLRoot()), C.tree);
  }
}

}  // namespace
}  // namespace linexml
