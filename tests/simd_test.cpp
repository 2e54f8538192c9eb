// The 16-byte steps' byte removal against the rule it stands for (the clang test build runs it on
// the scalar twin).
#include "detail/simd.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace simd = linexml::detail::simd;

// Every run a block can lose: the bytes before and after it stay, in order.
TEST(Simd, WithoutRunKeepsTheOtherBytesInOrder) {
  const std::string Bytes = "ABCDEFGHIJKLMNOP";
  for (unsigned From = 0; From < simd::kBlock; ++From)
    for (unsigned Count = 1; From + Count <= simd::kBlock; ++Count) {
      const std::string Want = Bytes.substr(0, From) + Bytes.substr(From + Count);
      char Got[simd::kBlock];
      simd::Block::Load(Bytes.data()).WithoutRun(From, Count).Store(Got);
      ASSERT_EQ(std::string(Got, Want.size()), Want) << "from " << From << ", count " << Count;
    }
}

}  // namespace
