// Reading a whole file: in one piece and in two halves at once, the same bytes whatever the size.
#include "detail/read_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "test_util.h"

namespace {

using linexml::detail::PageBuffer;
using linexml::detail::ReadWholeFile;

TEST(ReadFile, HalvesReadTheSameBytesAsOnePiece) {
  linexml::test::TempDir Dir;
  const std::string Path = Dir / "f.xml";
  for (const std::size_t Length : {0u, 1u, 2u, 3u, 4095u, 4096u, 70001u}) {
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

}  // namespace
