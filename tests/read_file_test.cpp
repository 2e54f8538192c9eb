// Reading a whole file: in one piece and in two halves at once, the same bytes whatever the size;
// the buffers it reads into.
#include "detail/read_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "test_util.h"

namespace {

using linexml::detail::PageBuffer;
using linexml::detail::ReadWholeFile;

TEST(ReadFile, HalvesReadTheSameBytesAsOnePiece) {
  linexml::test::TempDir Dir;
  const std::string Path = Dir / "f.xml";
  for (const std::size_t Length : {0u, 1u, 2u, 3u, 4095u, 4096u, 70001u, 4u << 20}) {
    std::string Bytes(Length, '\0');
    for (std::size_t I = 0; I < Length; ++I) Bytes[I] = static_cast<char>('a' + I * 7 % 26);
    linexml::test::WriteFile(Path, Bytes);
    for (const std::size_t From : {std::size_t{0}, ~std::size_t{0}}) {
      PageBuffer Out;
      std::size_t Size = 99;
      ASSERT_TRUE(ReadWholeFile(Path, Out, Size, 1, From)) << Length;
      ASSERT_EQ(Size, Length);
      EXPECT_EQ(std::string(Out.get() + 1, Size), Bytes) << Length << " halves " << (From == 0);
    }
  }
  PageBuffer Out;
  std::size_t Size = 0;
  errno = 0;
  EXPECT_FALSE(ReadWholeFile(Dir / "missing.xml", Out, Size, 1, 0));
  EXPECT_EQ(errno, ENOENT);
}

// A buffer placed in its page holds all of its bytes there, small or of huge pages, and moves and
// frees as it was allocated (the sanitizer build checks the pairs).
TEST(ReadFile, PageBuffersHoldTheirBytesWhereAsked) {
  std::vector<PageBuffer> Kept;
  for (const std::size_t Bytes : {std::size_t{0}, std::size_t{1}, std::size_t{4096}, std::size_t{5} << 20}) {
    for (const std::size_t Offset : {0u, 1u, 2047u, 4095u}) {
      PageBuffer B(Bytes, Offset);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(B.get()) % 4096, Offset) << Bytes;
      ASSERT_EQ(B.size(), Bytes);
      if (Bytes > 0) std::memset(B.get(), 'x', Bytes);
      PageBuffer Plain(Bytes);
      if (Bytes > 0) std::memset(Plain.get(), 'y', Bytes);
      Plain = std::move(B);
      EXPECT_EQ(B.get(), nullptr);
      Kept.push_back(std::move(Plain));
    }
  }
  EXPECT_EQ(Kept.back().get()[(std::size_t{5} << 20) - 1], 'x');
}

}  // namespace
