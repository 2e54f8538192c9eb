// The 16-byte steps' byte removal against the rule it stands for (the clang test build runs it on
// the scalar twin; the shuffled store where the processor has SSSE3).
#include "detail/simd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

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

// Every mask of bytes left out: the bytes kept, in order, and nothing written past the block.
TEST(Simd, StoreKeptWritesTheKeptBytesInOrder) {
  const std::string Bytes = "ABCDEFGHIJKLMNOP";
  const simd::Block B = simd::Block::Load(Bytes.data());
  for (simd::Bits Drop = 0; Drop < 0x10000; ++Drop) {
    std::string Want;
    for (unsigned I = 0; I < simd::kBlock; ++I)
      if ((Drop >> I & 1) == 0) Want += Bytes[I];
    std::vector<std::function<char*(char*)>> Stores = {[&](char* W) { return simd::StoreKept(B, Drop, W); }};
#if defined(LINEXML_SSE2)
    if (simd::HasSsse3()) Stores.emplace_back([&](char* W) { return B.StoreKeptShuffled(Drop, W); });
#endif
    for (const auto& Store : Stores) {
      char Out[2 * simd::kBlock];
      std::memset(Out, '.', sizeof Out);
      const char* const End = Store(Out);
      ASSERT_EQ(std::string(Out, static_cast<std::size_t>(End - Out)), Want) << "drop " << Drop;
      ASSERT_EQ(std::string(Out + simd::kBlock, simd::kBlock), std::string(simd::kBlock, '.'))
          << "drop " << Drop;
    }
  }
}

}  // namespace
