// The library's tree parse against the plain reference model in fuzz/model_parse.h, on seeded
// random bodies: the same tree, status and remainder for every call a caller can make on a node.

#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "detail/tag_tokens.h"
#include "model_parse.h"

namespace {

struct Outcome {
  linexml::TXMLErrorCode status;
  std::string rest;
};

// Runs Call on both nodes with the same text and reports the first difference.
template <class EngineCall, class ModelCall>
::testing::AssertionResult Same(const std::string& Text, EngineCall&& OnEngine, ModelCall&& OnModel) {
  std::string SE = Text, SM = Text;
  const linexml::TXMLErrorCode E = OnEngine(SE);
  const linexml::TXMLErrorCode M = OnModel(SM);
  if (E != M)
    return ::testing::AssertionFailure() << "status " << linexml::ErrorCodeName(E) << " vs model "
                                         << linexml::ErrorCodeName(M) << " on [" << Text << "]";
  if (SE != SM)
    return ::testing::AssertionFailure()
           << "remainder [" << SE << "] vs model [" << SM << "] on [" << Text << "]";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameTree(const model::Node& M, const linexml::TXMLNode& E,
                                    const std::string& Text) {
  const std::string Diff = model::DiffTrees(M, E);
  if (Diff.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << Diff << " on [" << Text << "]";
}

}  // namespace

TEST(ParseModel, ParseStringMatchesOnRandomBodies) {
  std::mt19937_64 Rng(20261208);
  for (int I = 0; I < 3000; ++I) {
    const std::string Body = model::RandomBody(Rng, 400);
    linexml::TXMLNode E;
    model::Node M;
    ASSERT_TRUE(Same(
        Body, [&](std::string& S) { return E.ParseString(0, S); },
        [&](std::string& S) { return M.ParseString(0, S); }));
    ASSERT_TRUE(SameTree(M, E, Body));
  }
}

TEST(ParseModel, StepsAndRepeatedParsesMatchOnRandomBodies) {
  std::mt19937_64 Rng(7);
  for (int I = 0; I < 2000; ++I) {
    const std::string First = model::RandomBody(Rng, 60);
    const std::string Second = model::RandomBody(Rng, 60);
    {  // the attribute step, then the children step, on one new node
      linexml::TXMLNode E;
      model::Node M;
      ASSERT_TRUE(Same(
          First, [&](std::string& S) { return E.ParseAttributes(S); },
          [&](std::string& S) { return M.ParseAttributes(S); }));
      ASSERT_TRUE(Same(
          Second, [&](std::string& S) { return E.ParseChildren(S); },
          [&](std::string& S) { return M.ParseChildren(S); }));
      ASSERT_TRUE(SameTree(M, E, First + " | " + Second));
    }
    {  // a node parsed twice keeps what its second parse does not touch
      linexml::TXMLNode E;
      model::Node M;
      ASSERT_TRUE(Same(
          First, [&](std::string& S) { return E.ParseString(0, S); },
          [&](std::string& S) { return M.ParseString(0, S); }));
      ASSERT_TRUE(Same(
          Second, [&](std::string& S) { return E.ParseString(2, S); },
          [&](std::string& S) { return M.ParseString(2, S); }));
      ASSERT_TRUE(SameTree(M, E, First + " | " + Second));
    }
    {  // a parsed element's children step run again on another text
      linexml::TXMLNode E;
      model::Node M;
      ASSERT_TRUE(Same(
          First, [&](std::string& S) { return E.ParseString(0, S); },
          [&](std::string& S) { return M.ParseString(0, S); }));
      ASSERT_TRUE(Same(
          Second, [&](std::string& S) { return E.ParseChildren(S); },
          [&](std::string& S) { return M.ParseChildren(S); }));
      ASSERT_TRUE(SameTree(M, E, First + " | " + Second));
    }
  }
}

TEST(ParseModel, AttributeCutMatchesOnRandomTokens) {
  std::mt19937_64 Rng(11);
  std::uniform_int_distribution<int> Len(0, 8);
  const std::string Alphabet = "\"'=/?>! ax";
  std::uniform_int_distribution<std::size_t> Pick(0, Alphabet.size() - 1);
  for (int I = 0; I < 20000; ++I) {
    std::string T;
    for (int N = Len(Rng); N > 0; --N) T += Alphabet[Pick(Rng)];
    ASSERT_EQ(linexml::ParseAttributeValue(T), model::ParseAttributeValue(T)) << "[" << T << "]";
    linexml::TXMLAttribute E;
    model::Attr M;
    std::string SE = T, SM = T;
    E.ParseString(SE);
    model::ParseAttribute(M, SM);
    ASSERT_EQ(E.Name, M.Name) << "[" << T << "]";
    ASSERT_EQ(E.Value, M.Value) << "[" << T << "]";
    ASSERT_EQ(SE, SM) << "[" << T << "]";
    // The same token inside a tag, where the space after it ends it: both ways a load cuts it.
    if (T.find(' ') != std::string::npos) continue;
    model::Attr InTag;
    std::string Spaced = T + " ";
    model::ParseAttribute(InTag, Spaced);
    linexml::TXMLAttribute Parsed;
    linexml::detail::ParseAttributeToken(Parsed, T);
    std::string_view Name, Value;
    linexml::detail::SplitAttributeToken(T, Name, Value);
    ASSERT_EQ(Parsed.Name, InTag.Name) << "[" << T << "]";
    ASSERT_EQ(Parsed.Value, InTag.Value) << "[" << T << "]";
    ASSERT_EQ(Name, InTag.Name) << "[" << T << "]";
    ASSERT_EQ(Value, InTag.Value) << "[" << T << "]";
  }
}

// A tag's inside is cut at every space, each piece with the place of its first "=": on random
// insides up to three times the bytes read at once, with tokens that run across them.
TEST(ParseModel, TagTokensSplitAtEverySpace) {
  std::mt19937_64 Rng(12);
  std::uniform_int_distribution<int> Len(0, 200), Pick(0, 9);
  for (int I = 0; I < 3000; ++I) {
    std::string Tag;
    for (int N = Len(Rng); N > 0; --N) {
      const int C = Pick(Rng);
      Tag += C < 2 ? ' ' : C < 3 ? '=' : 'x';
    }
    std::vector<std::pair<std::string, std::size_t>> Want, Got;
    for (std::size_t From = 0;;) {
      const std::size_t Space = std::min(Tag.find(' ', From), Tag.size());
      const std::string Piece = Tag.substr(From, Space - From);
      Want.emplace_back(Piece, Piece.find('='));
      if (Space == Tag.size()) break;
      From = Space + 1;
    }
    linexml::detail::ForEachToken(Tag, Tag.data() + Tag.size(), [&](std::string_view Piece, std::size_t Eq) {
      Got.emplace_back(std::string(Piece), Eq);
    });
    ASSERT_EQ(Got, Want) << "[" << Tag << "]";
  }
}
