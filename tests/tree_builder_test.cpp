// The tree parse that matches closing tags on its stack against the same parse asking the
// closing-tag index for every element's end, and against the reference model: the same trees,
// statuses, places and unclosed elements.
#include "detail/tree_builder.h"

#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "detail/arena.h"
#include "model_parse.h"

namespace linexml {
namespace {

// Every node in document order with its level, kind, name, text, attributes and the links to its
// parent: trees with the same picture are the same tree.
std::string Picture(const TXMLNode& Root) {
  std::ostringstream Out;
  std::vector<const TXMLNode*> Stack{&Root};
  while (!Stack.empty()) {
    const TXMLNode* N = Stack.back();
    Stack.pop_back();
    Out << N->Level() << ' ' << static_cast<int>(N->TagType()) << " <" << N->TagName() << "> ["
        << N->TextData() << "]";
    for (const TXMLAttribute* A : N->Attributes()) Out << ' ' << A->Name << '=' << A->Value;
    Out << " #" << N->GetNumberOfChildren() << '\n';
    for (std::int32_t I = N->GetNumberOfChildren() - 1; I >= 0; --I) {
      const TXMLNode* Kid = N->GetChild(I);
      if (Kid->Parent() != N || Kid->IndexInParent() != I) Out << "bad link at child " << I << '\n';
      Stack.push_back(Kid);
    }
  }
  return Out.str();
}

struct Outcome {
  TXMLErrorCode status = ecOk;
  std::size_t pos = 0;
  std::size_t fail = 0;
  std::string tree;
  std::vector<std::size_t> unclosed;  // where the opening tags of elements without an end end
  bool used_index = false;
};

// How a parse finds where the elements end.
enum class Ends { kStack, kIndex, kTwoThreads };

// A load's parse of Body as the document's root element. Two threads: the second half is read by
// a thread of its own whatever the size (the unclosed elements are then not noted).
Outcome Parse(const std::string& Body, Ends How) {
  detail::Arena Store;
  TXMLNode Root;  // destroyed before the store that holds its subtree
  detail::TreeBuilder Builder(Body, &Store);
  detail::TreeBuilder::Unclosed Unclosed;
  if (How != Ends::kTwoThreads) Builder.NoteUnclosed(&Unclosed);
  if (How == Ends::kIndex) Builder.EndsFromIndex();
  if (How == Ends::kTwoThreads) Builder.TwoThreadsFrom(1);
  Outcome Out;
  Out.status = Builder.ParseNode(Root, 0, Out.pos, Body.size());
  if (Out.status != ecOk) Out.fail = Builder.FailPos();
  Out.tree = Picture(Root);
  for (const auto& [Node, After] : Unclosed) Out.unclosed.push_back(After);
  std::sort(Out.unclosed.begin(), Out.unclosed.end());
  Out.used_index = Builder.UsedIndex();
  return Out;
}

void ExpectSameParse(const std::string& Body) {
  const Outcome Stack = Parse(Body, Ends::kStack), Index = Parse(Body, Ends::kIndex);
  ASSERT_EQ(Stack.status, Index.status) << Body;
  ASSERT_EQ(Stack.pos, Index.pos) << Body;
  ASSERT_EQ(Stack.fail, Index.fail) << Body;
  ASSERT_EQ(Stack.tree, Index.tree) << Body;
  ASSERT_EQ(Stack.unclosed, Index.unclosed) << Body;
  const Outcome Two = Parse(Body, Ends::kTwoThreads);
  ASSERT_EQ(Two.status, Stack.status) << Body;
  ASSERT_EQ(Two.pos, Stack.pos) << Body;
  ASSERT_EQ(Two.fail, Stack.fail) << Body;
  ASSERT_EQ(Two.tree, Stack.tree) << Body;
  // And what the model of the algorithm gives, which consumes the text from the front.
  detail::Arena Store;
  TXMLNode Root;
  detail::TreeBuilder Builder(Body, &Store);
  std::size_t Pos = 0;
  (void)Builder.ParseNode(Root, 0, Pos, Body.size());
  model::Node M;
  std::string Rest = Body;
  ASSERT_EQ(M.ParseString(0, Rest), Stack.status) << Body;
  ASSERT_EQ(Rest, Body.substr(Stack.pos)) << Body;
  ASSERT_EQ(model::DiffTrees(M, Root), "") << Body;
}

TEST(TreeBuilder, StackMatchingGivesTheIndexAnswersOnRandomBodies) {
  std::mt19937_64 Rng(23);
  for (int I = 0; I < 3000; ++I) ExpectSameParse(model::RandomBody(Rng, 300));
}

// The cases where the stack alone cannot say where an element ends, each inside elements whose
// ends are known or not, and at every depth of a chain.
TEST(TreeBuilder, StackMatchingGivesTheIndexAnswersWhereTheStackCannotDecide) {
  const char* const Inner[] = {
      "<br>t<br>u",          // elements without closing tags
      "<a><a>t</a>u</a>",    // an element inside one of its own name
      "<x></y>z",            // a closing tag of no open element
      "<x a='</r>'>t</x>",   // a closing tag inside a tag
      "<x a='</x>'>t</x>",   // the element's own closing tag inside its tag
      "<x a='<'>t</x>",      // a "<" inside a tag
      "<x<y>t</x<y>",        // a "<" inside a name
      "< x>",                // a broken tag
      "<x a='1'",            // a tag cut off by the end of its window
      "<x></x ></x>",        // a closing tag that ends with a space
      "<p><q><p>t</q></p>",  // a closing tag of an element two down
      "</>",                 // the closing tag of an empty name
      "<x/</r>",             // a self-closing tag's "/" right before a closing tag
  };
  for (const char* Piece : Inner) {
    for (const std::string& Around :
         {std::string("<r>%</r>"), std::string("<r><s>%</s></r>"), std::string("<r><u>%</r>"),
          std::string("<r>%"), std::string("<r><r>%</r></r>")}) {
      std::string Body = Around;
      Body.replace(Body.find('%'), 1, Piece);
      ExpectSameParse(Body);
      // The same inside a chain, and with the chain's elements left unclosed.
      std::string Chain, Closes;
      for (int Depth = 0; Depth < 30; ++Depth) {
        Chain += "<c" + std::to_string(Depth) + ">";
        Closes = "</c" + std::to_string(Depth) + ">" + Closes;
        ExpectSameParse(Chain + Body + Closes);
        ExpectSameParse(Chain + Body);
      }
    }
  }
}

// A random tree of elements whose names never repeat along a path (so the second half of a
// two-thread parse has nothing to give up), now and then with an element left unclosed, a stray
// closing tag or a broken tag.
std::string RandomTree(std::mt19937_64& Rng, std::size_t Elements) {
  const char* const Names[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"};
  std::uniform_int_distribution<int> Percent(0, 99);
  std::string Out = "<r>";
  std::vector<std::string> Open = {"r"};
  for (std::size_t I = 0; I < Elements; ++I) {
    const int What = Percent(Rng);
    if (What < 45 && Open.size() < 12) {
      std::string Name;
      do {
        Name = Names[Rng() % std::size(Names)];
      } while (std::find(Open.begin(), Open.end(), Name) != Open.end());
      Out += "<" + Name + (Percent(Rng) < 50 ? " x=\"" + std::to_string(I) + "\"" : std::string()) + ">";
      Open.push_back(Name);
    } else if (What < 85 && Open.size() > 1) {
      if (Percent(Rng) < 97) Out += "</" + Open.back() + ">";  // else left unclosed
      Open.pop_back();
    } else if (What < 97) {
      Out += Percent(Rng) < 50 ? "t" + std::to_string(I) : "<e/>";
    } else {
      Out += Percent(Rng) < 50 ? "</zz>" : "< y>";
    }
  }
  while (Open.size() > 1) {
    Out += "</" + Open.back() + ">";
    Open.pop_back();
  }
  return Out + (Percent(Rng) < 90 ? "</r>" : "");
}

// Split at any depth, the second half's nodes joined to the first's make the tree of one thread,
// also where its closing tags end elements opened before the split, and where the stack cannot
// decide on either side of it.
TEST(TreeBuilder, TwoThreadsBuildTheTreeOfOne) {
  std::mt19937_64 Rng(5);
  for (int I = 0; I < 400; ++I) {
    const std::string Body = RandomTree(Rng, 20 + Rng() % 400);
    const Outcome One = Parse(Body, Ends::kStack), Two = Parse(Body, Ends::kTwoThreads);
    ASSERT_EQ(Two.status, One.status) << Body;
    ASSERT_EQ(Two.pos, One.pos) << Body;
    ASSERT_EQ(Two.fail, One.fail) << Body;
    ASSERT_EQ(Two.tree, One.tree) << Body;
  }
}

// A document whose every element is closed in order, or only left unclosed, never builds the
// index; the other cases build it once.
TEST(TreeBuilder, BuildsTheIndexOnlyWhereTheStackCannotDecide) {
  const struct {
    const char* body;
    bool index;
  } Cases[] = {
      {"<r><a x='1'><b>t</b></a><c/> u</r>", false},
      {"<r><p>t<br><br>u</p></r>", false},
      {"<r><a><a>t</a></r>", false},
      {"<r><a><a>t</a></a></r>", true},
      {"<r><a>t", false},
      {"<r><a></b></a></r>", true},
      {"<r><a x='<'>t</a></r>", true},
      {"<r><a>< b></a></r>", true},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(Parse(C.body, Ends::kStack).used_index, C.index) << C.body;
    ExpectSameParse(C.body);
  }
}

}  // namespace
}  // namespace linexml
