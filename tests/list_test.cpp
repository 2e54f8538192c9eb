// The object list: ownership of what it holds, and room made ahead.
#include <gtest/gtest.h>
#include <linexml/list.h>

#include <vector>

using linexml::TList;

namespace {

// A list is in every node twice: its capacity lives in front of its array, not in the list.
static_assert(sizeof(void*) != 8 || sizeof(TList<int>) == 16);

// Counts its own destructions.
struct Tracked {
  explicit Tracked(int& Deaths) : deaths(&Deaths) {}
  Tracked(const Tracked&) = delete;
  Tracked& operator=(const Tracked&) = delete;
  ~Tracked() { ++*deaths; }
  int* deaths;
};

TEST(List, ReserveMakesRoomSoThatAddingDoesNotMoveTheEntries) {
  for (const std::size_t Room : {1u, 5u, 100u, 1000u}) {
    TList<int> L;
    L.Reserve(Room);
    L.Add(new int(0));
    const auto First = L.begin();
    for (std::size_t I = 1; I < Room; ++I) L.Add(new int(static_cast<int>(I)));
    EXPECT_EQ(L.begin(), First) << Room;
    ASSERT_EQ(L.Count(), static_cast<std::int32_t>(Room));
    EXPECT_EQ(*L[static_cast<std::int32_t>(Room) - 1], static_cast<int>(Room) - 1);
  }
}

TEST(List, ClearAndDestructionDeleteOnlyWhatTheListOwns) {
  int Deaths = 0;
  std::vector<Tracked*> Storage{new Tracked(Deaths), new Tracked(Deaths)};
  {
    TList<Tracked> L;
    L.Adopt(Storage.data(), 2);  // borrowed: the storage frees them
    L.Add(new Tracked(Deaths));  // owned
    L.Add(nullptr);              // ignored
    EXPECT_EQ(L.Count(), 3);
    EXPECT_TRUE(L.OwnsAny());
    TList<Tracked> Other;
    Other.Swap(L);
    EXPECT_EQ(L.Count(), 0);
    EXPECT_EQ(Other.Count(), 3);
    Other.Clear();
    EXPECT_EQ(Deaths, 1);
    Other.Add(new Tracked(Deaths));
  }
  EXPECT_EQ(Deaths, 2);
  for (Tracked* T : Storage) delete T;
}

}  // namespace
