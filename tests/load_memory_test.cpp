// The blocks freed documents keep for later loads: reused as they are, never more than the limit,
// and all given back when the program asks.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <cstddef>
#include <string>

#include "test_util.h"

namespace linexml {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(LoadMemory, LoadsReuseWhatFreedDocumentsKeptWithinTheLimit) {
  std::string Doc = std::string(test::kDefaultProlog) + "<catalog>\n";
  for (int I = 0; I < 20000; ++I)
    Doc += "<record id=\"r" + std::to_string(I) +
           "\" kind=\"book\">\n<title>\nsome words\n</title>\n</record>\n";
  Doc += "</catalog>\n";
  const auto LoadAndFree = [&Doc] {
    TXMLParser Parser;
    ASSERT_EQ(Parser.LoadFromText(Doc), ecOk);
  };

  SetLoadMemoryKept(256 * kMiB);
  LoadAndFree();
  const std::size_t Kept = LoadMemoryKept();
  EXPECT_GT(Kept, kMiB);
  for (int Load = 0; Load < 3; ++Load) {
    LoadAndFree();
    EXPECT_EQ(LoadMemoryKept(), Kept) << "a later load took new blocks instead of the kept ones";
  }

  // A lower limit frees what lies past it at once, and later documents keep no more than it.
  EXPECT_EQ(SetLoadMemoryKept(kMiB) + LoadMemoryKept(), Kept);
  EXPECT_LE(LoadMemoryKept(), kMiB);
  LoadAndFree();
  EXPECT_LE(LoadMemoryKept(), kMiB);

  const std::size_t Left = LoadMemoryKept();
  EXPECT_EQ(SetLoadMemoryKept(0), Left);
  EXPECT_EQ(LoadMemoryKept(), 0u);
  LoadAndFree();
  EXPECT_EQ(LoadMemoryKept(), 0u);
  SetLoadMemoryKept(256 * kMiB);
}

}  // namespace
}  // namespace linexml
