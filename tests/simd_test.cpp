// The 16-byte steps' byte removal against the rule it stands for (the clang test build runs it on
// the scalar twin).
#include "detail/simd.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace simd = linexml::detail::simd;

// Every set of bytes to leave out, taken a run at a time from the first on, each run at its place
// in what the runs before left (as the line copy does): the other bytes stay, in order.
TEST(Simd, WithoutRunKeepsTheOtherBytesInOrderForEveryMask) {
  const std::string Bytes = "ABCDEFGHIJKLMNOP";
  for (simd::Bits Drop = 0; Drop <= 0xFFFFu; ++Drop) {
    std::string Want;
    for (std::size_t I = 0; I < simd::kBlock; ++I)
      if (((Drop >> I) & 1u) == 0) Want += Bytes[I];
    simd::Block Kept = simd::Block::Load(Bytes.data());
    unsigned Dropped = 0;
    for (simd::Bits D = Drop; D != 0;) {
      const unsigned From = simd::Lowest(D);
      const unsigned Count = simd::Lowest(~(D >> From));
      Kept = Kept.WithoutRun(From - Dropped, Count);
      Dropped += Count;
      D &= ~simd::Below(From + Count);
    }
    char Got[simd::kBlock];
    Kept.Store(Got);
    ASSERT_EQ(std::string(Got, Want.size()), Want) << "mask " << Drop;
  }
}

}  // namespace
