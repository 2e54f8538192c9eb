// Selecting elements by path: the steps, the positions, "//", "..", paths from a node and from the
// parser, and the syntax errors with their positions.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "model_path.h"
#include "test_util.h"

namespace linexml {
namespace {

const char* const kCatalog =
    "<?xml version=\"1.0\"?>\n"
    "<catalog id=\"c\">\n"
    "  <store id=\"s1\"><name id=\"n1\"/><item id=\"i1\"/><item id=\"i2\"><item id=\"i3\"/></item></store>\n"
    "  <store id=\"s2\"><item id=\"i4\"/>text<group id=\"g\"><item id=\"i5\"/></group></store>\n"
    "  <note id=\"t\"/>\n"
    "</catalog>\n";

// The ids of the nodes, in order, separated by spaces.
std::string Ids(const std::vector<TXMLNode*>& Nodes) {
  std::string Out;
  for (const TXMLNode* N : Nodes) Out += (Out.empty() ? "" : " ") + N->GetAttributeValue("id");
  return Out;
}

class Select : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(doc_.LoadFromText(kCatalog), ecOk); }
  TXMLNode* ById(const std::string& Id) const {
    for (TXMLNode* N : doc_.SelectAll("//*"))
      if (N->GetAttributeValue("id") == Id) return N;
    return nullptr;
  }
  TXMLParser doc_;
};

TEST_F(Select, PathsFromTheParserStartAtTheDocument) {
  struct Case {
    const char* path;
    const char* ids;
  };
  const Case Cases[] = {
      {"/catalog", "c"},
      {"catalog", "c"},
      {"/catalog/store[2]", "s2"},
      {"catalog/store[2]", "s2"},
      {"/catalog/store", "s1 s2"},
      {"/catalog/*", "s1 s2 t"},
      {"/catalog/*[3]", "t"},
      {"/catalog/store[2]/*", "i4 g"},  // the text run between them is never selected
      {"//item", "i1 i2 i3 i4 i5"},
      {"//item[1]", "i1 i3 i4 i5"},  // the first item among its siblings, at any depth
      {"//item[2]", "i2"},
      {"//*[2]", "i1 s2 g"},
      {"//store/item", "i1 i2 i4"},
      {"//store//item", "i1 i2 i3 i4 i5"},
      {"//item//item", "i3"},
      {"//*", "c s1 n1 i1 i2 i3 s2 i4 g i5 t"},
      {"/catalog//item/..", "s1 i2 s2 g"},  // parents, in document order, each once
      {"//item/../..", "c s1 s2"},
      {"/catalog/store/.", "s1 s2"},
      {"/catalog/store/./item[2]/item", "i3"},
      {"/catalog/..", ""},  // the document itself is not a node
      {"/", ""},
      {"/missing", ""},
      {"/store", ""},  // the root element is "catalog"
      {"/catalog/store[3]", ""},
      {"/catalog/store[99999999999999999999]", ""},
      {"//item[2]/item[1]", "i3"},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(Ids(doc_.SelectAll(C.path)), C.ids) << C.path;
    const TXMLNode* First = doc_.Select(C.path);
    const std::string All = C.ids;
    EXPECT_EQ(First == nullptr ? "" : First->GetAttributeValue("id"), All.substr(0, All.find(' '))) << C.path;
  }
}

TEST_F(Select, PathsFromANodeStartAtIt) {
  struct Case {
    const char* from;
    const char* path;
    const char* ids;
  };
  const Case Cases[] = {
      {"s1", "item", "i1 i2"},
      {"s1", "*", "n1 i1 i2"},
      {"s1", ".//item", "i1 i2 i3"},
      {"s1", ".", "s1"},
      {"s1", "..", "c"},
      {"s1", "../store[2]/item", "i4"},
      {"s1", "/catalog/note", "t"},  // a leading "/" goes to the document above the tree
      {"s1", "//group", "g"},
      {"i3", "../../..", "c"},
      {"i3", "../../../..", ""},
      {"c", "store", "s1 s2"},
      {"c", "catalog", ""},  // relative: the children of c
  };
  for (const Case& C : Cases) {
    const TXMLNode* From = ById(C.from);
    ASSERT_NE(From, nullptr) << C.from;
    EXPECT_EQ(Ids(From->SelectAll(C.path)), C.ids) << C.from << ": " << C.path;
  }
  // From a text run, and from a node of no document.
  const TXMLNode* Text = ById("s2")->GetChild(1);
  ASSERT_EQ(Text->TagType(), ttCDATA);
  EXPECT_EQ(Ids(Text->SelectAll("../group/item")), "i5");
  TXMLNode Loose;
  Loose.AddChild("a")->AddChild("b");
  EXPECT_EQ(Loose.SelectAll("a/b").size(), 1u);
  EXPECT_EQ(Loose.SelectAll("//b").size(), 1u);
}

TEST_F(Select, FollowsEditsAndSeesBuiltNodes) {
  ById("s1")->AddChild("item")->SetAttribute("id", "new");
  ById("g")->RemoveChild(0);
  doc_.XMLRoot()->MoveChild(0, *ById("t"), 0);
  EXPECT_EQ(Ids(doc_.SelectAll("//item")), "i4 i1 i2 i3 new");
  EXPECT_EQ(Ids(doc_.SelectAll("/catalog/note/store/item[3]")), "new");
}

// A random tree of elements a, b, c and text runs, each new node below a random element.
std::vector<TXMLNode*> RandomTree(TXMLParser& P, std::mt19937& Random) {
  static const char* const kNames[] = {"a", "b", "c"};
  P.New(kNames[Random() % 3]);
  std::vector<TXMLNode*> All{P.XMLRoot()}, Elements{P.XMLRoot()};
  const std::size_t Size = 1 + Random() % 30;
  for (std::size_t I = 0; I < Size; ++I) {
    TXMLNode* Parent = Elements[Random() % Elements.size()];
    if (Random() % 5 == 0) {
      All.push_back(Parent->AddText("t"));
    } else {
      All.push_back(Parent->AddChild(kNames[Random() % 3]));
      Elements.push_back(All.back());
      if (Random() % 2 == 0) All.back()->SetAttribute("k", std::to_string(Random() % 2));
    }
  }
  return All;
}

// A random path in the syntax: steps of ".", "..", a, b, c and "*", some with a position, last() or
// attribute tests in front of or behind it, joined by "/" and "//", from the document or not.
std::string RandomPath(std::mt19937& Random) {
  static const char* const kStarts[] = {"", "/", "//"};
  static const char* const kWords[] = {"a", "b", "c", "*", "a", "*", ".", ".."};
  std::string Path = kStarts[Random() % 3];
  const std::size_t Steps = 1 + Random() % 4;
  for (std::size_t I = 0; I < Steps; ++I) {
    if (I > 0) Path += Random() % 3 == 0 ? "//" : "/";
    const bool Deep = Path.ends_with("//");
    std::string Word = kWords[Random() % (Deep ? 6 : 8)];
    static const char* const kPredicates[] = {"[1]",  "[2]",      "[3]",       "[last()]",
                                              "[@k]", "[@k='1']", "[@k=\"0\"]"};
    for (std::size_t P = 0; Word != "." && Word != ".." && P < 2 && Random() % 3 == 0; ++P) {
      const std::string Predicate = kPredicates[Random() % std::size(kPredicates)];
      const bool Position = Predicate[1] != '@';
      if (Position && (Word.find("[l") != std::string::npos || Word.find("[1") != std::string::npos ||
                       Word.find("[2") != std::string::npos || Word.find("[3") != std::string::npos))
        continue;  // one position per step
      Word += Predicate;
    }
    Path += Word;
  }
  return Path;
}

// Every path selects what the reference model selects, from the document and from every node: the
// engine shares one walk between nested nodes, the model looks at each node on its own.
TEST(SelectModel, MatchesTheReferenceOnRandomTreesAndPaths) {
  std::mt19937 Random(1901);
  for (int Round = 0; Round < 3000; ++Round) {
    TXMLParser P;
    const std::vector<TXMLNode*> Nodes = RandomTree(P, Random);
    const std::string Path = RandomPath(Random);
    const auto Expected = model::SelectAll(Path, *P.XMLRoot(), true);
    ASSERT_TRUE(Expected.has_value()) << Path;
    const std::vector<TXMLNode*> Got = P.SelectAll(Path);
    ASSERT_EQ(std::vector<const TXMLNode*>(Got.begin(), Got.end()), *Expected)
        << Path << " in " << test::Outline(*P.XMLRoot());
    // A path parsed once runs as often as wanted, with what the parser's and the node's give.
    const TXMLPath Parsed(Path);
    ASSERT_EQ(Parsed.SelectAll(std::as_const(P)), *Expected) << Path;
    ASSERT_EQ(Parsed.SelectFirst(P), Got.empty() ? nullptr : Got.front()) << Path;
    for (TXMLNode* From : Nodes) {
      const auto FromNode = model::SelectAll(Path, *From, false);
      const std::vector<TXMLNode*> GotFromNode = From->SelectAll(Path);
      ASSERT_EQ(std::vector<const TXMLNode*>(GotFromNode.begin(), GotFromNode.end()), *FromNode)
          << Path << " from " << test::Outline(*From) << " in " << test::Outline(*P.XMLRoot());
      ASSERT_EQ(Parsed.SelectAll(*From), GotFromNode) << Path;
    }
  }
}

TEST(SelectModel, EveryMatchAfterNestedNodes) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText("<?xml version=\"1.0\"?>\n<r><x><a id=\"1\"/><y><a id=\"2\"/></y></x></r>\n"),
            ecOk);
  EXPECT_EQ(Ids(P.SelectAll("//a/../a")), "1 2");
  ASSERT_EQ(P.LoadFromText("<?xml version=\"1.0\"?>\n<r>t<a/></r>\n"), ecOk);
  EXPECT_TRUE(P.XMLRoot()->GetChild(0)->SelectAll(".").empty());  // a text run is never selected
  EXPECT_EQ(P.XMLRoot()->GetChild(0)->Select("."), nullptr);
}

TEST(SelectSyntax, ErrorsNameTheirPosition) {
  struct Case {
    const char* path;
    int position;
    const char* says;
  };
  const Case Cases[] = {
      {"", 1, "the path is empty"},
      {"a/", 3, "a step is missing at the end"},
      {"a//", 4, "a step is missing at the end"},
      {"//", 3, "a step is missing at the end"},
      {"a///b", 4, "a step is missing"},
      {"[1]", 1, "a tag name, '*', '.' or '..' is missing before '['"},
      {"/a/[2]", 4, "a tag name, '*', '.' or '..' is missing before '['"},
      {"a[x]", 3, "a position (1, 2, ...), last() or an attribute test (@name) is expected after '['"},
      {"a[]", 3, "a position (1, 2, ...), last() or an attribute test"},
      {"a[0]", 3, "positions count from 1"},
      {"a[-1]", 3, "a position (1, 2, ...), last() or an attribute test"},
      {"a[1", 4, "']' is expected"},
      {"a[1]b", 5, "'/' or the end of the path is expected"},
      {"a[1][2]", 6, "a step takes one position"},
      {"a[last()][@k][last()]", 15, "a step takes one position"},
      {"a[last(]", 3, "a position (1, 2, ...), last()"},
      {"a[@]", 4, "an attribute name is expected after '@'"},
      {"a[@k=1]", 6, "a quoted value"},
      {"a[@k='1]", 6, "the value's closing quote is missing"},
      {"a[@k x]", 5, "']' is expected"},
      {"a]", 2, "']' without '['"},
      {"a*", 2, "'*' stands for any element only as a step of its own"},
      {".[1]", 2, "'.' and '..' take no position"},
      {"//..", 3, "after \"//\" comes a tag name or '*'"},
      {"a b", 2, "a tag name holds no space"},
  };
  TXMLParser P;
  P.New("a");
  for (const Case& C : Cases) {
    for (const bool OnNode : {false, true}) {
      try {
        if (OnNode)
          (void)P.XMLRoot()->SelectAll(C.path);
        else
          (void)P.Select(C.path);
        ADD_FAILURE() << C.path << ": no exception";
      } catch (const std::invalid_argument& E) {
        const std::string Expected = "at position " + std::to_string(C.position) + ": " + C.says;
        EXPECT_NE(std::string(E.what()).find(Expected), std::string::npos) << C.path << ": " << E.what();
      }
    }
    // The path object refuses it alike, with the place and the reason as fields.
    try {
      (void)TXMLPath::Parse(C.path);
      ADD_FAILURE() << C.path << ": no exception";
    } catch (const EXMLPathError& E) {
      EXPECT_EQ(E.Position(), static_cast<std::size_t>(C.position)) << C.path;
      EXPECT_TRUE(E.Reason().starts_with(C.says)) << C.path << ": " << E.Reason();
    }
  }
}

}  // namespace
}  // namespace linexml
