// Looking up elements and attributes, and reaching children by index.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace linexml {
namespace {

// Loads Body behind a declaration and returns the parser (asserting the load is clean).
std::unique_ptr<TXMLParser> Doc(const std::string& Body) {
  auto P = std::make_unique<TXMLParser>();
  EXPECT_EQ(P->LoadFromText("<?xml version=\"1.0\"?>" + Body), ecOk) << Body;
  return P;
}

std::string IdOf(const TXMLNode* N) {
  return N == nullptr ? "null" : N->GetAttributeValue("id");
}

TEST(FindTagByName, FollowsTheLastMatchRules) {
  struct Case {
    const char* body;
    const char* name;
    const char* id;
  };
  const Case Cases[] = {
      // Two direct children with the name: the later one.
      {"<r><x id=\"1\"/><x id=\"2\"/></r>", "x", "2"},
      // A direct child wins over a deeper match after it.
      {"<r><x id=\"1\"/><a><x id=\"2\"/></a></r>", "x", "1"},
      // First and third hold a match deeper down, the second none: the third's.
      {"<r><a><x id=\"1\"/></a><b/><c><d><x id=\"3\"/></d></c></r>", "x", "3"},
      // The first holds one, the second (last) none: the first's.
      {"<r><a><x id=\"1\"/></a><b><y/></b></r>", "x", "1"},
      // Inside the chosen child the same rules apply again.
      {"<r><a><b><x id=\"1\"/></b><x id=\"2\"/></a></r>", "x", "2"},
      // No match at any depth.
      {"<r><a><b/></a></r>", "x", "null"},
      // The node's own name is not compared.
      {"<x><a/></x>", "x", "null"},
  };
  for (const Case& C : Cases) {
    const auto P = Doc(C.body);
    EXPECT_EQ(IdOf(P->XMLRoot()->FindTagByName(C.name)), C.id) << C.body;
  }
}

TEST(FindTagByName, EmptyNameFindsTextRuns) {
  const auto P = Doc("<r>one<a/>two</r>");
  const TXMLNode* Text = P->XMLRoot()->FindTagByName("");
  ASSERT_NE(Text, nullptr);
  EXPECT_EQ(Text->TextData(), "two");
}

TEST(FindTagByName, ParserReturnsTheRootForItsOwnName) {
  const auto P = Doc("<x id=\"root\"><x id=\"inner\"/></x>");
  EXPECT_EQ(IdOf(P->FindTagByName("x")), "root");
  TXMLParser Fresh;
  EXPECT_EQ(Fresh.FindTagByName(""), Fresh.XMLRoot());
  EXPECT_EQ(Fresh.FindTagByName("x"), nullptr);
}

TEST(FindTagByName, WorksOnAVeryDeepChain) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr int kDepth = 100'000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  constexpr int kDepth = 100'000;
#else
  constexpr int kDepth = 1'000'000;
#endif
#else
  constexpr int kDepth = 1'000'000;
#endif
  std::string Text = "<?xml version=\"1.0\"?>";
  for (int I = 0; I < kDepth; ++I) Text += "<e" + std::to_string(I) + ">";
  Text += "<leaf id=\"deep\"/>";
  for (int I = kDepth - 1; I >= 0; --I) Text += "</e" + std::to_string(I) + ">";
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText(Text), ecOk);
  const TXMLNode* Leaf = P.FindTagByName("leaf");
  ASSERT_NE(Leaf, nullptr);
  EXPECT_EQ(Leaf->Level(), kDepth);
  EXPECT_EQ(P.FindTagByName("missing"), nullptr);
}

// ---- walking a subtree ----------------------------------------------------------------------------

// The outline of a subtree as Visit and Leave see it: an element's start at Visit, its end at
// Leave, so the string equals test::Outline only when the walk is the pre-order and every Leave
// comes right after its node's subtree.
std::string WalkedOutline(const TXMLNode& Root) {
  std::string Out;
  Root.ForEachInSubtree(
      [&Out](const TXMLNode& N) {
        if (N.TagType() == ttCDATA) {
          Out += '"' + N.TextData() + '"';
          return vsSkip;
        }
        Out += '<' + N.TagName();
        for (const TXMLAttribute* A : N.Attributes()) Out += ' ' + A->Name + '=' + A->Value;
        if (N.TagType() == ttShorted) {
          Out += "/>";
          return vsSkip;
        }
        Out += ">(";
        return vsDown;
      },
      [&Out](const TXMLNode&) { Out += ')'; });
  return Out;
}

TEST(Walk, VisitsThePreOrderOfEverySubtreeOfRandomTrees) {
  std::mt19937 Random(22);
  for (int Round = 0; Round < 300; ++Round) {
    TXMLParser Built;
    Built.New("r");
    std::vector<TXMLNode*> Elements{Built.XMLRoot()};
    for (std::size_t I = 1 + Random() % 40; I > 0; --I) {
      TXMLNode* Parent = Elements[Random() % Elements.size()];
      if (Random() % 4 == 0 && Parent->GetNumberOfChildren() > 0 &&
          Parent->GetChild(Parent->GetNumberOfChildren() - 1)->TagType() != ttCDATA) {
        Parent->AddText("t" + std::to_string(I));
      } else {
        Elements.push_back(Parent->AddChild("e" + std::to_string(I)));  // no name inside its own
        Elements.back()->SetAttribute("i", std::to_string(I));
      }
    }
    // The same tree loaded, whose nodes live in the document's storage.
    TXMLParser Loaded;
    ASSERT_EQ(Loaded.LoadFromText(Built.SaveToText()), ecOk);
    for (const TXMLParser* P : {&Built, &Loaded}) {
      std::vector<const TXMLNode*> Order;
      P->XMLRoot()->ForEachInSubtree([&Order](const TXMLNode& N) { Order.push_back(&N); });
      for (const TXMLNode* N : Order) ASSERT_EQ(WalkedOutline(*N), test::Outline(*N));
      // Stopped at the K-th node, it has visited the first K of that order and no more.
      const std::size_t K = Random() % Order.size();
      std::vector<const TXMLNode*> Seen;
      EXPECT_TRUE(std::as_const(*P->XMLRoot()).ForEachInSubtree([&](const TXMLNode& N) {
        Seen.push_back(&N);
        return Seen.size() == K + 1 ? vsStop : vsDown;
      }));
      EXPECT_EQ(Seen, std::vector<const TXMLNode*>(Order.begin(), Order.begin() + static_cast<long>(K) + 1));
    }
  }
}

TEST(Walk, AMillionLevelsNeedNoStack) {
  const long long Depth = test::ScaledDepth(1'000'000);
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText(test::NestedDocument(Depth)), ecOk);
  long long Visits = 0, Leaves = 0, Deepest = 0;
  const bool Stopped = P.XMLRoot()->ForEachInSubtree(
      [&](TXMLNode& N) {
        ++Visits;
        Deepest = std::max<long long>(Deepest, N.Level());
        return vsDown;
      },
      [&](TXMLNode& N) {
        // The deepest first, the root last.
        if (N.Level() != Depth - Leaves++) ADD_FAILURE() << "left " << N.TagName() << " out of order";
      });
  EXPECT_FALSE(Stopped);
  EXPECT_EQ(Visits, Depth + 1);  // the elements and the text run at the bottom
  EXPECT_EQ(Leaves, Depth + 1);
  EXPECT_EQ(Deepest, Depth);
}

TEST(Attributes, GetReturnsTheFirstMatchOrUndefined) {
  const auto P = Doc("<r a=\"1\" b=\"\" a=\"2\"/>");
  const TXMLNode* R = P->XMLRoot();
  EXPECT_EQ(R->GetAttributeValue("a"), "1");
  EXPECT_EQ(R->GetAttributeValue("b"), "");
  EXPECT_EQ(R->GetAttributeValue("c"), "undefined");
  EXPECT_EQ(R->GetAttributeValue("A"), "undefined");  // exact, case-sensitive
}

TEST(Attributes, SetChangesTheFirstMatchOrAppends) {
  const auto P = Doc("<r a=\"1\" a=\"2\"/>");
  TXMLNode* R = P->XMLRoot();
  R->SetAttributeValue("a", "x");
  R->SetAttributeValue("new", "v w>");
  ASSERT_EQ(R->Attributes().Count(), 3);
  EXPECT_EQ(R->Attributes()[0]->Value, "x");
  EXPECT_EQ(R->Attributes()[1]->Value, "2");
  EXPECT_EQ(R->Attributes()[2]->Name, "new");
  EXPECT_EQ(P->SaveToText(), std::string(test::kDefaultProlog) + "<r a=\"x\" a=\"2\" new=\"v w>\" />\n");
}

TEST(Attributes, FindAttributeTellsAMissingOneFromTheValueUndefined) {
  const auto P = Doc("<r a=\"undefined\" b=\"1\" b=\"2\" c/>");
  const TXMLNode* R = P->XMLRoot();
  ASSERT_NE(R->FindAttribute("a"), nullptr);
  EXPECT_EQ(R->FindAttribute("a")->Value, "undefined");
  EXPECT_EQ(R->FindAttribute("missing"), nullptr);
  EXPECT_EQ(R->GetAttributeValue("missing"), "undefined");
  EXPECT_EQ(R->FindAttribute("b")->Value, "1");  // the first of that name
  EXPECT_EQ(R->FindAttribute("c")->Value, "");
}

TEST(Text, JoinsTheDirectTextRunsAndTrimsTheEnds) {
  struct Case {
    const char* body;
    const char* text;
  };
  const Case Cases[] = {
      {"<r>\n  Harbour Lane   Books\n</r>", "Harbour Lane Books"},
      {"<r>one<b>not this</b> two</r>", "one two"},  // runs of child elements are not its own
      {"<r>\nfirst line\nsecond line\n</r>", "first line second line"},
      {"<r>a <!-- x --> b</r>", "a  b"},  // spaces inside stay as stored
      {"<r><b/></r>", ""},
      {"<r/>", ""},
      {"<r>\t<b/>\t</r>", ""},
  };
  for (const Case& C : Cases) EXPECT_EQ(Doc(C.body)->XMLRoot()->Text(), C.text) << C.body;
  // A text run's own text, so trimmed.
  const auto P = Doc("<r>\n  x y  \n</r>");
  EXPECT_EQ(P->XMLRoot()->GetChild(0)->Text(), "x y");
}

TEST(Children, GetChildAndCount) {
  const auto P = Doc("<r><a/>t<b/></r>");
  const TXMLNode* R = P->XMLRoot();
  EXPECT_EQ(R->GetNumberOfChildren(), 3);
  EXPECT_EQ(R->GetChild(0)->TagName(), "a");
  EXPECT_EQ(R->GetChild(2)->TagName(), "b");
  EXPECT_EQ(R->GetChild(3), nullptr);
  EXPECT_EQ(R->GetChild(-1), nullptr);
  EXPECT_THROW(R->Children().Get(3), std::out_of_range);
  int Seen = 0;
  for (const TXMLNode* Kid : R->Children()) Seen += Kid->Level();
  EXPECT_EQ(Seen, 3);
}

}  // namespace
}  // namespace linexml
