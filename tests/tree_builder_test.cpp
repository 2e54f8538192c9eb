// The tree parse that matches closing tags on its stack against the same parse asking the
// closing-tag index for every element's end, and against the reference model: the same trees,
// statuses, places and unclosed elements.
#include "detail/tree_builder.h"

#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "model_parse.h"
#include "parse_ends.h"

namespace linexml {
namespace {

using fuzz::Ends;
using fuzz::ParseOutcome;

void ExpectSameParse(const std::string& Body) {
  ASSERT_EQ(fuzz::EndsDiffer(Body), "") << Body;
  // And what the model of the algorithm gives, which consumes the text from the front.
  detail::Arena Store;
  TXMLNode Root;
  detail::TreeBuilder Builder(Body, &Store);
  std::size_t Pos = 0;
  const TXMLErrorCode Status = Builder.ParseNode(Root, 0, Pos, Body.size());
  model::Node M;
  std::string Rest = Body;
  ASSERT_EQ(M.ParseString(0, Rest), Status) << Body;
  ASSERT_EQ(Rest, Body.substr(Pos)) << Body;
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
    const ParseOutcome One = fuzz::ParseWith(Body, Ends::kStack),
                       Two = fuzz::ParseWith(Body, Ends::kTwoThreads);
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
    EXPECT_EQ(fuzz::ParseWith(C.body, Ends::kStack).used_index, C.index) << C.body;
    ExpectSameParse(C.body);
  }
}

}  // namespace
}  // namespace linexml
