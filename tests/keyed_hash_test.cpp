// The tables keyed by document text: names crafted to share one value of the standard library's
// hash fill a single bucket of a standard table (each lookup then compares against all of them),
// while a keyed table spreads them.
#include "detail/keyed_hash.h"

#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "test_util.h"

namespace linexml {
namespace {

// 16-byte names that the GNU library's std::hash (64-bit MurmurHash with its fixed seed) maps to one
// value: the second block undoes whatever the first block did to the state. Empty when the
// standard library hashes otherwise. Every byte is one a tag name may hold.
std::vector<std::string> SameStdHash(std::size_t Count) {
  constexpr std::uint64_t kMul = 0xc6a4a7935bd1e995ULL;
  constexpr std::uint64_t kSeed = 0xc70f6907ULL;
  std::uint64_t Inverse = kMul;  // Newton's iteration for the inverse modulo 2^64
  for (int I = 0; I < 6; ++I) Inverse *= 2 - kMul * Inverse;
  auto Mix = [](std::uint64_t V) { return V ^ (V >> 47); };
  auto Block = [&](std::uint64_t Word) { return Mix(Word * kMul) * kMul; };
  auto Unblock = [&](std::uint64_t Data) { return Mix(Data * Inverse) * Inverse; };
  auto Allowed = [](unsigned char B) {
    return B > 32 && B != '/' && B != '>' && B != '<' && B != '=' && B != '"' && B != '!' && B != '?';
  };
  const std::uint64_t Start = kSeed ^ (16 * kMul);
  std::vector<std::string> Names;
  for (std::uint64_t I = 0; Names.size() < Count; ++I) {
    char Bytes[16];
    for (int K = 0; K < 8; ++K) Bytes[K] = static_cast<char>('A' + ((I >> (5 * K)) & 31));
    std::uint64_t First = 0;
    std::memcpy(&First, Bytes, 8);
    const std::uint64_t State = (Start ^ Block(First)) * kMul;
    const std::uint64_t Second = Unblock(State ^ 0x5EED);  // the state after it: 0x5EED * kMul
    std::memcpy(Bytes + 8, &Second, 8);
    bool Usable = true;
    for (const char B : Bytes) Usable = Usable && Allowed(static_cast<unsigned char>(B));
    if (Usable) Names.emplace_back(Bytes, 16);
  }
  const std::hash<std::string_view> Std;
  if (Std(Names[0]) != Std(Names[1])) return {};
  return Names;
}

template <class Map>
std::size_t LargestBucket(const Map& M) {
  std::size_t Most = 0;
  for (std::size_t B = 0; B < M.bucket_count(); ++B) Most = std::max(Most, M.bucket_size(B));
  return Most;
}

TEST(KeyedHash, CraftedNamesFillOneStandardBucketButSpreadInAKeyedTable) {
  const std::vector<std::string> Names = SameStdHash(4096);
  if (Names.empty()) GTEST_SKIP() << "the standard library's hash is not the one the names were made for";
  std::unordered_map<std::string_view, int> Standard;
  detail::KeyedMap<int> Keyed;
  for (const std::string& N : Names) {
    ++Standard[N];
    ++Keyed[N];
  }
  ASSERT_EQ(Keyed.size(), Names.size());
  EXPECT_EQ(LargestBucket(Standard), Names.size());  // what an attacker gets from std::hash
  EXPECT_LE(LargestBucket(Keyed), 16u);
  // Two tables draw two keys: what one table's layout shows says nothing of another's.
  EXPECT_NE(detail::KeyedHash()(Names[0]), detail::KeyedHash()(Names[0]));
}

// The same names as elements: the document check, the failure message and the warnings each keep
// a table of names, and all give their answer (a table as slow as a list would take minutes here).
TEST(KeyedHash, DocumentsOfCraftedNamesLoadAndAreChecked) {
  const std::vector<std::string> Names = SameStdHash(static_cast<std::size_t>(test::Scaled(65536)));
  if (Names.empty()) GTEST_SKIP() << "the standard library's hash is not the one the names were made for";
  std::string Body = "<?xml version=\"1.0\"?>\n<r>\n";
  for (const std::string& N : Names) Body += "<" + N + ">\n</" + N + ">\n";
  TXMLParser P;
  TXMLLoadOptions O;
  O.CollectWarnings = true;
  P.SetLoadOptions(O);
  // Elements without their closing tag, and a closing tag left over.
  EXPECT_EQ(P.LoadFromText(Body + "<u>\n<x>\n</r>\n</r>\n"), ecNotValid);
  std::size_t Unclosed = 0;
  for (const TXMLWarning& W : P.Warnings()) Unclosed += W.Kind == wkMissingClosingTag ? 1 : 0;
  EXPECT_EQ(Unclosed, 2u);
  EXPECT_NE(P.ErrorMessage().find("\"</r>\""), std::string::npos) << P.ErrorMessage();
  EXPECT_EQ(P.LoadFromText(Body + "</r>\n"), ecOk);
  EXPECT_FALSE(P.FirstUnwritable().has_value());
}

}  // namespace
}  // namespace linexml
