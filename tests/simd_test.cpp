// The 16-byte steps' byte removal against the rule it stands for, on every mask (the clang test
// build runs it on the scalar twin).
#include "detail/simd.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace simd = linexml::detail::simd;

TEST(Simd, WithoutKeepsTheOtherBytesInOrderForEveryMask) {
  const std::string Bytes = "ABCDEFGHIJKLMNOP";
  const simd::Block Block = simd::Block::Load(Bytes.data());
  for (simd::Bits Drop = 0; Drop <= 0xFFFFu; ++Drop) {
    std::string Want;
    for (std::size_t I = 0; I < simd::kBlock; ++I)
      if (((Drop >> I) & 1u) == 0) Want += Bytes[I];
    char Got[simd::kBlock];
    Block.Without(Drop).Store(Got);
    ASSERT_EQ(std::string(Got, Want.size()), Want) << "mask " << Drop;
  }
}

}  // namespace
