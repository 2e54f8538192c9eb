// The object list: ownership of what it holds, and room made ahead.
#include <gtest/gtest.h>
#include <linexml/list.h>

#include <vector>

#include "detail/list_access.h"

using linexml::TList;
using Access = linexml::detail::ListAccess;

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
    Access::Reserve(L, Room);
    Access::Add(L, new int(0));
    const auto First = L.begin();
    for (std::size_t I = 1; I < Room; ++I) Access::Add(L, new int(static_cast<int>(I)));
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
    Access::Adopt(L, Storage.data(), 2);  // borrowed: the storage frees them
    Access::Add(L, new Tracked(Deaths));  // owned
    Access::Add(L, nullptr);              // ignored
    EXPECT_EQ(L.Count(), 3);
    EXPECT_TRUE(Access::OwnsAny(L));
    TList<Tracked> Other;
    Access::Swap(Other, L);
    EXPECT_EQ(L.Count(), 0);
    EXPECT_EQ(Other.Count(), 3);
    Access::Clear(Other);
    EXPECT_EQ(Deaths, 1);
    Access::Add(Other, new Tracked(Deaths));
  }
  EXPECT_EQ(Deaths, 2);
  for (Tracked* T : Storage) delete T;
}

}  // namespace
