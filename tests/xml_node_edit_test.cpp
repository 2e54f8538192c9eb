// Building and changing trees: navigation, new documents, every edit, the refusals that leave the
// tree as it was, and trees a million levels deep.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "test_util.h"

namespace linexml {
namespace {

using test::NestedDocument;
using test::Outline;

// Loads Body behind a declaration (asserting the load is clean).
std::unique_ptr<TXMLParser> Doc(const std::string& Body) {
  auto P = std::make_unique<TXMLParser>();
  EXPECT_EQ(P->LoadFromText("<?xml version=\"1.0\"?>" + Body), ecOk) << Body;
  return P;
}

// The same tree built with the edits instead of loaded: r(a(x, "t"), b/) with attributes.
std::unique_ptr<TXMLParser> Built() {
  auto P = std::make_unique<TXMLParser>();
  P->New("r");
  TXMLNode* A = P->XMLRoot()->AddChild("a");
  A->SetAttribute("k", "1");
  A->AddChild("x");
  A->AddText("t");
  P->XMLRoot()->AddChild("b");
  return P;
}
const char* const kBuiltBody = "<r><a k=\"1\"><x/>t</a><b/></r>";

// Everything the document shows, for comparing before and after.
std::string State(const TXMLParser& P) {
  return Outline(*P.XMLRoot()) + "\n" + P.SaveToText();
}

// ---- navigation ---------------------------------------------------------------------------------

TEST(Navigation, EveryNodeKnowsItsParentPositionAndSiblings) {
  const auto P = Doc("<r><a><b/>text<c><d/></c></a><e/></r>");
  const TXMLNode& R = *P->XMLRoot();  // the root, like a node of no tree, has none
  EXPECT_EQ(R.Parent(), nullptr);
  EXPECT_EQ(R.IndexInParent(), -1);
  EXPECT_EQ(R.NextSibling(), nullptr);
  EXPECT_EQ(R.PreviousSibling(), nullptr);
  EXPECT_EQ(test::LinkFaults(R), "");
  const TXMLNode* A = R.GetChild(0);
  const TXMLNode* E = R.GetChild(1);
  EXPECT_EQ(A->NextSibling(), E);
  EXPECT_EQ(E->PreviousSibling(), A);
  EXPECT_EQ(E->NextSibling(), nullptr);
  EXPECT_EQ(A->PreviousSibling(), nullptr);
  EXPECT_EQ(A->GetChild(1)->Parent(), A);  // a text run too
  EXPECT_EQ(A->GetChild(2)->GetChild(0)->IndexInParent(), 0);
}

TEST(Navigation, ParseStepsLinkTheirChildrenToTheNodeTheyFill) {
  TXMLNode N;
  std::string S = "<r><a/>t<b><c/></b></r>";
  ASSERT_EQ(N.ParseString(0, S), ecOk);
  EXPECT_EQ(test::LinkFaults(N), "");
  ASSERT_EQ(N.GetNumberOfChildren(), 3);
  EXPECT_EQ(N.GetChild(2)->Parent(), &N);
  // The same on a node of a loaded document, parsed again.
  const auto P = Doc("<r><a/></r>");
  S = "<x/><y/>";
  ASSERT_EQ(P->XMLRoot()->GetChild(0)->ParseChildren(S), ecOk);
  EXPECT_EQ(test::LinkFaults(*P->XMLRoot()), "");
}

// ---- building from nothing ----------------------------------------------------------------------

TEST(Build, ANewDocumentIsFilledAndSaved) {
  TXMLParser P;
  P.New("config");
  TXMLNode* Server = P.XMLRoot()->AddChild("server");
  Server->SetAttribute("port", "8080");
  Server->AddChild("name")->AddText("main");
  P.XMLRoot()->AddChild("log");
  EXPECT_EQ(P.SaveToText(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\"?>\n\n\n"
            "<config>\n"
            "  <server port=\"8080\">\n"
            "    <name>\n"
            "      main\n"
            "    </name>\n"
            "  </server>\n"
            "  <log />\n"
            "</config>\n");
  EXPECT_EQ(P.FirstUnwritable(), std::nullopt);
  TXMLParser Again;
  ASSERT_EQ(Again.LoadFromText(P.SaveToText()), ecOk);
  EXPECT_EQ(Outline(*Again.XMLRoot()), "<config>(<server port=8080>(<name>(\" main\"))<log/>)");
}

TEST(Build, NewStartsOverInTheSameObjects) {
  TXMLParser P;
  P.setFileName("/nonexistent/x.xml");  // only for the name
  ASSERT_EQ(P.LoadFromText("<?xml version=\"2\" extra=\"1\"?><!DOCTYPE d><old a=\"1\"><b/></old>"), ecOk);
  TXMLNode* const Root = P.XMLRoot();
  TXMLParameters* const Prolog = P.XMLParameters();
  P.New("fresh");
  EXPECT_EQ(P.XMLRoot(), Root);
  EXPECT_EQ(P.XMLParameters(), Prolog);
  EXPECT_EQ(P.XMLErrorCode(), ecOk);
  EXPECT_EQ(P.ErrorLine(), 0);
  EXPECT_EQ(P.FileName(), "/nonexistent/x.xml");
  EXPECT_EQ(Outline(*Root), "<fresh/>");
  EXPECT_EQ(P.SaveToText(), std::string(test::kDefaultProlog) + "<fresh />\n");
}

// Whatever the parser held before (nothing, a sound load, a failure with its place and message,
// warnings), New leaves the state of a sound load: status, place, message and warnings agree.
TEST(Build, NewLeavesNoMessagePlaceOrWarnings) {
  const char* const Before[] = {
      nullptr,
      "<?xml version=\"1.0\"?>\n<r/>\n",
      "<?xml version=\"1.0\"?>\n<r>\n</x>\n</r>\n",
      "<?xml version=\"1.0\"?>\n<r a=\"1 2\"/>\n",
  };
  for (const char* Text : Before) {
    TXMLParser P;
    TXMLLoadOptions O;
    O.CollectWarnings = true;
    P.SetLoadOptions(O);
    if (Text != nullptr) (void)P.LoadFromText(Text);
    P.New("fresh");
    EXPECT_EQ(P.XMLErrorCode(), ecOk);
    EXPECT_EQ(P.ErrorMessage(), "") << (Text ? Text : "a new parser");
    EXPECT_EQ(P.ErrorLine(), 0);
    EXPECT_EQ(P.ErrorColumn(), 0);
    EXPECT_TRUE(P.Warnings().empty());
  }
}

TEST(Build, NewChildrenAreEmptyElementsThatBecomeNormalWithAChild) {
  TXMLParser P;
  P.New("r");
  EXPECT_EQ(P.XMLRoot()->TagType(), ttShorted);
  TXMLNode* A = P.XMLRoot()->AddChild("a");
  EXPECT_EQ(P.XMLRoot()->TagType(), ttNormal);
  EXPECT_EQ(A->TagType(), ttShorted);
  EXPECT_EQ(A->Level(), 1);
  A->AddText("x");  // a text run is a child too
  EXPECT_EQ(A->TagType(), ttNormal);
  TXMLNode* B = P.XMLRoot()->AddChild("b");
  P.XMLRoot()->MoveChild(0, *B, 0);  // and so is a moved node
  EXPECT_EQ(B->TagType(), ttNormal);
  EXPECT_EQ(A->Level(), 2);
  EXPECT_EQ(A->GetChild(0)->Level(), 3);
}

TEST(Build, InsertPutsTheNodeAtItsPositionAndRenumbersTheRest) {
  TXMLParser P;
  P.New("r");
  TXMLNode& R = *P.XMLRoot();
  R.AddChild("c");
  R.InsertChild(0, "a");
  R.InsertText(1, "b");
  R.InsertChild(3, "d");
  EXPECT_EQ(Outline(R), "<r>(<a/>\"b\"<c/><d/>)");
  EXPECT_EQ(test::TreeFaults(R), "");
}

// ---- each edit ------------------------------------------------------------------------------------

// The same edits on a loaded document and on one built from nothing give the same document: the
// nodes of a document's storage and nodes made one by one behave alike.
TEST(Edit, LoadedAndBuiltNodesBehaveTheSame) {
  struct Case {
    const char* what;
    std::function<void(TXMLNode&)> edit;
    const char* outline;
  };
  const Case Cases[] = {
      {"remove", [](TXMLNode& R) { R.GetChild(0)->RemoveChild(0); }, "<r>(<a k=1>(\"t\")<b/>)"},
      {"move within", [](TXMLNode& R) { R.MoveChild(1, R, 0); }, "<r>(<b/><a k=1>(<x/>\"t\"))"},
      {"move down", [](TXMLNode& R) { R.MoveChild(1, *R.GetChild(0), 1); }, "<r>(<a k=1>(<x/><b/>\"t\"))"},
      {"move up", [](TXMLNode& R) { R.GetChild(0)->MoveChild(0, R, 2); }, "<r>(<a k=1>(\"t\")<b/><x/>)"},
      {"rename", [](TXMLNode& R) { R.GetChild(0)->SetTagName("z"); }, "<r>(<z k=1>(<x/>\"t\")<b/>)"},
      {"text", [](TXMLNode& R) { R.GetChild(0)->GetChild(1)->SetTextData(" u v"); },
       "<r>(<a k=1>(<x/>\" u v\")<b/>)"},
      {"attribute", [](TXMLNode& R) { R.GetChild(0)->SetAttribute("k", "2"); },
       "<r>(<a k=2>(<x/>\"t\")<b/>)"},
      {"remove attribute", [](TXMLNode& R) { EXPECT_TRUE(R.GetChild(0)->RemoveAttribute("k")); },
       "<r>(<a>(<x/>\"t\")<b/>)"},
      {"add under a leaf", [](TXMLNode& R) { R.GetChild(1)->AddChild("y")->AddChild("z"); },
       "<r>(<a k=1>(<x/>\"t\")<b>(<y>(<z/>)))"},
  };
  for (const Case& C : Cases) {
    for (const bool Loaded : {true, false}) {
      SCOPED_TRACE(std::string(C.what) + (Loaded ? " (loaded)" : " (built)"));
      const auto P = Loaded ? Doc(kBuiltBody) : Built();
      ASSERT_EQ(Outline(*P->XMLRoot()), "<r>(<a k=1>(<x/>\"t\")<b/>)");
      C.edit(*P->XMLRoot());
      EXPECT_EQ(Outline(*P->XMLRoot()), C.outline);
      EXPECT_EQ(test::TreeFaults(*P->XMLRoot()), "");
      // And a reload frees everything, under ASan too.
      ASSERT_EQ(P->LoadFromText(P->SaveToText()), ecOk);
    }
  }
}

TEST(Edit, RemovingAndMovingKeepPointersToOtherNodes) {
  const auto P = Doc("<r><a><a1/><a2/></a><b><b1/></b><c/></r>");
  TXMLNode& R = *P->XMLRoot();
  TXMLNode* A = R.GetChild(0);
  TXMLNode* A2 = A->GetChild(1);
  TXMLNode* C = R.GetChild(2);
  R.RemoveChild(1);  // b and b1 go
  EXPECT_EQ(C->IndexInParent(), 1);
  EXPECT_EQ(R.MoveChild(0, *C, 0), A);
  EXPECT_EQ(A2->Parent()->Parent(), C);
  EXPECT_EQ(A2->Level(), 3);
  EXPECT_EQ(A2->TagName(), "a2");
  EXPECT_EQ(Outline(R), "<r>(<c>(<a>(<a1/><a2/>)))");
  EXPECT_EQ(test::TreeFaults(R), "");
}

TEST(Edit, RemoveAttributeTakesTheFirstOfThatName) {
  const auto P = Doc("<r k=\"1\" k=\"2\" j=\"3\"/>");
  TXMLNode& R = *P->XMLRoot();
  R.SetAttributeValue("n", "4");  // one added since the load
  EXPECT_TRUE(R.RemoveAttribute("k"));
  EXPECT_EQ(Outline(R), "<r k=2 j=3 n=4/>");
  EXPECT_TRUE(R.RemoveAttribute("n"));
  EXPECT_FALSE(R.RemoveAttribute("absent"));
  EXPECT_TRUE(R.RemoveAttribute("k"));
  EXPECT_EQ(Outline(R), "<r j=3/>");
  // The loaded attributes stay the document's: a reload and the parser's end free them once.
  R.SetAttributeValue("k", "5");
  EXPECT_EQ(Outline(R), "<r j=3 k=5/>");
}

TEST(Edit, MovesBetweenTreesOnlyForNodesBuiltOneByOne) {
  const auto Loaded = Doc("<r><a/></r>");
  TXMLParser Other;
  Other.New("o");
  // A loaded node lives in its document's storage, which the other tree would outlive.
  EXPECT_THROW(Loaded->XMLRoot()->MoveChild(0, *Other.XMLRoot(), 0), std::invalid_argument);
  // One built since may go; so may a subtree built on a node of no document.
  Loaded->XMLRoot()->AddChild("built")->AddChild("inner");
  EXPECT_EQ(Loaded->XMLRoot()->MoveChild(1, *Other.XMLRoot(), 0)->TagName(), "built");
  TXMLNode Loose;
  Loose.AddChild("piece")->AddText("x");
  Loose.MoveChild(0, *Loaded->XMLRoot(), 0);
  EXPECT_EQ(Outline(*Loaded->XMLRoot()), "<r>(<piece>(\"x\")<a/>)");
  EXPECT_EQ(Outline(*Other.XMLRoot()), "<o>(<built>(<inner/>))");
  EXPECT_EQ(Loaded->XMLRoot()->GetChild(0)->Level(), 1);
  EXPECT_EQ(Other.XMLRoot()->GetChild(0)->GetChild(0)->Level(), 2);
  // A subtree with a loaded node in it stays too, even below a built node.
  Loaded->XMLRoot()->MoveChild(1, *Loaded->XMLRoot()->GetChild(0), 0);
  EXPECT_THROW(Loaded->XMLRoot()->MoveChild(0, *Other.XMLRoot(), 0), std::invalid_argument);
}

// AppendNodes is one MoveChild after another, for any nodes in any order (nested ones too), in
// loaded and built trees.
TEST(Edit, AppendNodesMovesAsMoveChildDoesOneAfterAnother) {
  std::mt19937 Random(194);
  for (int Round = 0; Round < 400; ++Round) {
    // Two copies of one random tree: loaded, or built one node at a time.
    TXMLParser Source;
    Source.New("r");
    std::vector<TXMLNode*> Elements{Source.XMLRoot()};
    for (int I = 0, Size = 1 + static_cast<int>(Random() % 20); I < Size; ++I) {
      TXMLNode* Parent = Elements[Random() % Elements.size()];
      if (Random() % 4 == 0)
        Parent->AddText("t" + std::to_string(I));
      else
        Elements.push_back(Parent->AddChild("e" + std::to_string(I)));
    }
    const bool Loaded = Round % 2 == 0;
    auto Copy = [&](TXMLParser& P) {
      if (Loaded) {
        ASSERT_EQ(P.LoadFromText(Source.SaveToText()), ecOk);
        return;
      }
      // Built: the nodes made one by one, in the same order.
      P.New("r");
      std::vector<std::pair<const TXMLNode*, TXMLNode*>> Stack{{Source.XMLRoot(), P.XMLRoot()}};
      while (!Stack.empty()) {
        const auto [From, To] = Stack.back();
        Stack.pop_back();
        for (const TXMLNode* K : From->Children()) {
          if (K->TagType() == ttCDATA)
            To->AddText(K->TextData());
          else
            Stack.push_back({K, To->AddChild(K->TagName())});
        }
      }
    };
    TXMLParser One, All;
    Copy(One);
    Copy(All);
    // The same nodes of both, by their place in document order.
    const std::vector<TXMLNode*> InOne = One.SelectAll("//*"), InAll = All.SelectAll("//*");
    const std::size_t Target = Random() % InOne.size();
    std::vector<std::size_t> Picked;
    for (std::size_t I = 1; I < InOne.size(); ++I)
      if (I != Target && Random() % 3 == 0) Picked.push_back(I);
    std::shuffle(Picked.begin(), Picked.end(), Random);
    std::vector<TXMLNode*> Moved;
    for (const std::size_t I : Picked) Moved.push_back(InAll[I]);
    std::string OneFailed, AllFailed;
    try {
      for (const std::size_t I : Picked) {
        TXMLNode* N = InOne[I];
        const std::int32_t End =
            InOne[Target]->GetNumberOfChildren() - (N->Parent() == InOne[Target] ? 1 : 0);
        N->Parent()->MoveChild(N->IndexInParent(), *InOne[Target], End);
      }
    } catch (const std::invalid_argument& E) {
      OneFailed = E.what();
    }
    const std::string Before = State(All);
    try {
      InAll[Target]->AppendNodes(Moved);
    } catch (const std::invalid_argument& E) {
      AllFailed = E.what();
    }
    // Refused as a whole where one of the moves is refused; else the same tree.
    ASSERT_EQ(OneFailed.empty(), AllFailed.empty()) << OneFailed << AllFailed;
    if (!AllFailed.empty()) {
      EXPECT_EQ(State(All), Before);
      continue;
    }
    ASSERT_EQ(Outline(*All.XMLRoot()), Outline(*One.XMLRoot()));
    ASSERT_EQ(test::TreeFaults(*All.XMLRoot()), "");
  }
}

// RemoveNodes is RemoveChild one node after another, latest first, for any nodes (nested ones too).
TEST(Edit, RemoveNodesRemovesAsRemoveChildDoesLatestFirst) {
  std::mt19937 Random(1944);
  for (int Round = 0; Round < 300; ++Round) {
    // Elements e0, e1, ... nested at random.
    std::string Body = "<r>";
    std::vector<int> Open;
    for (int I = 0, Size = 1 + static_cast<int>(Random() % 25); I < Size; ++I) {
      if (!Open.empty() && Random() % 3 == 0) {
        Body += "</e" + std::to_string(Open.back()) + ">";
        Open.pop_back();
      }
      Body += "<e" + std::to_string(I) + ">";
      Open.push_back(I);
    }
    for (; !Open.empty(); Open.pop_back()) Body += "</e" + std::to_string(Open.back()) + ">";
    const auto One = Doc(Body + "</r>"), All = Doc(Body + "</r>");
    const std::vector<TXMLNode*> InOne = One->SelectAll("/r//*"), InAll = All->SelectAll("/r//*");
    std::vector<TXMLNode*> Removed;
    for (std::size_t I = 0; I < InOne.size(); ++I) {
      if (Random() % 3 != 0) continue;
      Removed.push_back(InAll[I]);
    }
    // One at a time, latest first: a node inside another goes before the one that holds it.
    for (std::size_t I = InOne.size(); I-- > 0;) {
      if (std::find(Removed.begin(), Removed.end(), InAll[I]) == Removed.end()) continue;
      InOne[I]->Parent()->RemoveChild(InOne[I]->IndexInParent());
    }
    std::shuffle(Removed.begin(), Removed.end(), Random);
    TXMLNode::RemoveNodes(Removed);
    ASSERT_EQ(Outline(*All->XMLRoot()), Outline(*One->XMLRoot())) << Body;
    ASSERT_EQ(test::TreeFaults(*All->XMLRoot()), "");
  }
}

TEST(Edit, ParseStepsAndReloadsAfterEditsFreeEverything) {
  // Loaded nodes under built ones and built under loaded, then the tree replaced in every way:
  // AddressSanitizer's leak check and use checks do the asserting.
  for (int Way = 0; Way < 4; ++Way) {
    auto P = Doc("<r><a><b/></a><c/></r>");
    TXMLNode& R = *P->XMLRoot();
    TXMLNode* New = R.AddChild("n");
    R.MoveChild(0, *New, 0);                     // a (loaded) under n (built)
    R.GetChild(0)->AddChild("m")->AddText("t");  // built under c (loaded)
    R.GetChild(1)->GetChild(0)->SetTagName("renamed");
    std::string S = "<x><y/></x>";
    switch (Way) {
      case 0:
        ASSERT_EQ(R.ParseString(0, S), ecOk);
        break;
      case 1:
        ASSERT_EQ(P->LoadFromText("<?xml version=\"1.0\"?><z/>"), ecOk);
        break;
      case 2:
        R.RemoveChild(1);
        R.RemoveChild(0);
        break;
      default:
        P.reset();
        continue;
    }
    EXPECT_EQ(test::TreeFaults(*P->XMLRoot()), "");
  }
}

// ---- refusals leave the tree as it was -------------------------------------------------------------

TEST(Refusal, CheckedEditsRefuseWhatASaveCannotCarryAndChangeNothing) {
  struct Case {
    const char* what;
    std::function<void(TXMLNode& Root)> edit;
    const char* message;  // a part of what() that names the fault and where it is
  };
  const Case Cases[] = {
      {"AddChild with a space", [](TXMLNode& R) { R.AddChild("a b"); },
       "byte 2 of the name is ' ', which ends a name"},
      {"AddChild empty", [](TXMLNode& R) { R.AddChild(""); }, "the name is empty"},
      {"AddChild comment start", [](TXMLNode& R) { R.AddChild("!--x"); },
       "bytes 1 to 3 of the name are \"!--\""},
      {"InsertChild with '/'", [](TXMLNode& R) { R.InsertChild(0, "a/b"); }, "byte 2 of the name is '/'"},
      {"AddText with '<'", [](TXMLNode& R) { R.AddText("a<b"); }, "byte 2 of the text is '<'"},
      {"AddText of spaces", [](TXMLNode& R) { R.AddText(" "); }, "the text is empty"},
      {"AddText with two spaces", [](TXMLNode& R) { R.AddText("a  b"); }, "bytes 2 to 3 of the text"},
      {"AddText ending in a tab", [](TXMLNode& R) { R.AddText("ab\t"); }, "byte 3 of the text is 0x09"},
      {"InsertText with a line break", [](TXMLNode& R) { R.InsertText(0, "a\nb"); },
       "byte 2 of the text is 0x0A, a line break, which splits the line"},
      {"SetAttribute value with '>'", [](TXMLNode& R) { R.SetAttribute("k", "a>b"); },
       "byte 2 of the value is '>'"},
      {"SetAttribute name with '='", [](TXMLNode& R) { R.SetAttribute("a=b", "1"); },
       "byte 2 of the name is '='"},
      {"SetAttribute value with a comment", [](TXMLNode& R) { R.SetAttribute("k", "x<!--"); },
       "bytes 2 to 5 of the value are \"<!--\""},
      {"SetTagName with a quote", [](TXMLNode& R) { R.SetTagName("a\"b"); }, "byte 2 of the name is '\"'"},
      {"SetTagName on a text run", [](TXMLNode& R) { R.GetChild(1)->SetTagName("x"); },
       "a text run has no tag name"},
      {"SetTextData on an element", [](TXMLNode& R) { R.SetTextData("x"); }, "an element has no text data"},
      {"SetTextData with two leading spaces", [](TXMLNode& R) { R.GetChild(1)->SetTextData("  x"); },
       "byte 2 of the text is ' '"},
      {"AddChild to a text run", [](TXMLNode& R) { R.GetChild(1)->AddChild("x"); },
       "a text run has no children"},
      {"SetAttribute on a text run", [](TXMLNode& R) { R.GetChild(1)->SetAttribute("k", "v"); },
       "a text run has no children or attributes"},
      {"MoveChild into its own subtree", [](TXMLNode& R) { R.MoveChild(0, *R.GetChild(0)->GetChild(0), 0); },
       "the new parent lies in the moved subtree"},
      {"MoveChild into itself", [](TXMLNode& R) { R.MoveChild(0, *R.GetChild(0), 0); },
       "the new parent lies in the moved subtree"},
      {"MoveChild under a text run", [](TXMLNode& R) { R.MoveChild(0, *R.GetChild(1), 0); },
       "the new parent is a text run"},
      {"AppendNodes into a moved subtree",
       [](TXMLNode& R) {
         R.GetChild(0)->GetChild(0)->AppendNodes(std::vector{R.GetChild(1), R.GetChild(0)});
       },
       "the new parent lies in the moved subtree"},
      {"AppendNodes of the root", [](TXMLNode& R) { R.GetChild(0)->AppendNodes(std::vector{&R}); },
       "a node without a parent (a root) cannot be moved"},
      {"AppendNodes of a node twice",
       [](TXMLNode& R) {
         R.GetChild(0)->AppendNodes(std::vector{R.GetChild(1), R.GetChild(1)});
       },
       "a node is given twice"},
      {"AppendNodes under a text run",
       [](TXMLNode& R) { R.GetChild(1)->AppendNodes(std::vector{R.GetChild(0)}); },
       "a text run has no children"},
      {"RemoveNodes of the root",
       [](TXMLNode& R) {
         TXMLNode::RemoveNodes(std::vector{R.GetChild(0), &R});
       },
       "a node without a parent (a root) cannot be removed"},
      {"RemoveNodes of a node twice",
       [](TXMLNode& R) {
         TXMLNode::RemoveNodes(std::vector{R.GetChild(0), R.GetChild(1), R.GetChild(0)});
       },
       "a node is given twice"},
      {"AppendNodes to another tree",
       [](TXMLNode& R) {
         TXMLNode Loose;
         Loose.AppendNodes(std::vector{R.GetChild(1), R.GetChild(0)});
       },
       "a loaded document's node cannot move to another tree"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.what);
    const auto P = Doc("<r><a><b/></a> t</r>");
    const std::string Before = State(*P);
    try {
      C.edit(*P->XMLRoot());
      ADD_FAILURE() << "no exception";
    } catch (const EXMLRefusal& E) {
      // The call and the reason as fields, and together as what() (a std::invalid_argument).
      const std::string_view What = C.what;
      EXPECT_EQ(E.Operation(), What.substr(0, What.find(' ')));
      EXPECT_NE(E.Reason().find(C.message), std::string::npos) << E.what();
      EXPECT_EQ(std::string(static_cast<const std::invalid_argument&>(E).what()),
                E.Operation() + ": " + E.Reason());
    }
    EXPECT_EQ(State(*P), Before);
  }
}

// The reason a checked edit gives is the one the public rules give for its argument, so a caller
// can ask first and get the same words; and every library exception is an EXMLError as well as the
// standard exception it always was.
TEST(Refusal, ReasonsAreWhatTheRulesSayAndEveryErrorHasOneBase) {
  const auto P = Doc("<r>x</r>");
  TXMLNode& R = *P->XMLRoot();
  struct Case {
    std::function<void()> edit;
    std::optional<std::string> why;
  };
  const Case Cases[] = {
      {[&] { R.AddChild("a b"); }, WhyNotWritableName("a b")},
      {[&] { R.SetTagName("a>"); }, WhyNotWritableName("a>")},
      {[&] { R.SetAttribute("k", "v w"); }, WhyNotWritableValue("v w")},
      {[&] { R.GetChild(0)->SetTextData("a<b"); }, WhyNotWritableText("a<b")},
      {[&] { P->New(""); }, WhyNotWritableName("")},
  };
  for (const Case& C : Cases) {
    ASSERT_TRUE(C.why.has_value());
    try {
      C.edit();
      ADD_FAILURE() << *C.why << ": no exception";
    } catch (const EXMLError& E) {
      const auto* Refusal = dynamic_cast<const EXMLRefusal*>(&E);
      ASSERT_NE(Refusal, nullptr) << E.what();
      EXPECT_EQ(Refusal->Reason(), *C.why);
    }
  }
  EXPECT_EQ(WhyNotWritableName("ok"), std::nullopt);
  try {
    (void)R.SelectAll("a/[1]");
    ADD_FAILURE() << "no exception";
  } catch (const EXMLError& E) {
    const auto* Path = dynamic_cast<const EXMLPathError*>(&E);
    ASSERT_NE(Path, nullptr) << E.what();
    EXPECT_EQ(Path->Path(), "a/[1]");
    EXPECT_EQ(Path->Position(), 3u);
    EXPECT_EQ(Path->Reason(), "a tag name, '*', '.' or '..' is missing before '['");
    EXPECT_NE(dynamic_cast<const std::invalid_argument*>(&E), nullptr);
  }
  std::ostringstream Broken;
  Broken.setstate(std::ios::badbit);
  try {
    P->SaveToStream(Broken);
    ADD_FAILURE() << "no exception";
  } catch (const EXMLError& E) {
    const auto* Io = dynamic_cast<const EInOutError*>(&E);
    ASSERT_NE(Io, nullptr) << E.what();
    EXPECT_NE(dynamic_cast<const std::runtime_error*>(&E), nullptr);
    EXPECT_EQ(std::string(E.what()), Io->FileName() + ": " + Io->Cause());
  }
}

TEST(Refusal, PositionsOutsideTheChildrenAreOutOfRange) {
  const auto P = Doc("<r><a/><b/></r>");
  TXMLNode& R = *P->XMLRoot();
  const std::string Before = State(*P);
  EXPECT_THROW(R.RemoveChild(2), std::out_of_range);
  EXPECT_THROW(R.RemoveChild(-1), std::out_of_range);
  EXPECT_THROW(R.InsertChild(3, "x"), std::out_of_range);
  EXPECT_THROW(R.InsertText(-1, "x"), std::out_of_range);
  EXPECT_THROW(R.MoveChild(2, R, 0), std::out_of_range);
  EXPECT_THROW(R.MoveChild(0, R, 2), std::out_of_range);  // within: at most the last position
  EXPECT_THROW(R.MoveChild(0, *R.GetChild(1), 1), std::out_of_range);
  EXPECT_THROW(R.MoveChild(0, *R.GetChild(1), -1), std::out_of_range);
  EXPECT_EQ(State(*P), Before);
}

TEST(Refusal, NewRefusesAnUnwritableRootName) {
  const auto P = Doc("<r a=\"1\"/>");
  const std::string Before = State(*P);
  for (const char* Bad : {"", "a b", "a>", "!--"}) EXPECT_THROW(P->New(Bad), std::invalid_argument) << Bad;
  EXPECT_EQ(State(*P), Before);
}

// ---- depth ----------------------------------------------------------------------------------------

TEST(Depth, AMillionLevelsAreMovedSelectedRemovedAndDestroyedWithoutRecursion) {
  const long long Depth = test::ScaledDepth(1'000'000);
  const std::string Last = "n" + std::to_string(Depth - 1);
  for (const bool Loaded : {true, false}) {
    SCOPED_TRACE(Loaded ? "loaded" : "built");
    TXMLParser P;
    if (Loaded) {
      ASSERT_EQ(P.LoadFromText(NestedDocument(Depth)), ecOk);
    } else {
      P.New("n0");
      TXMLNode* N = P.XMLRoot();
      for (long long I = 1; I < Depth; ++I) N = N->AddChild("n" + std::to_string(I));
      N->AddText(" leaf");
    }
    TXMLNode& Root = *P.XMLRoot();
    TXMLNode* Holder = Root.AddChild("holder");
    // The chain below n0 moves one level down: every level follows.
    ASSERT_EQ(Root.MoveChild(0, *Holder, 0)->TagName(), "n1");
    const TXMLNode* Deepest = P.Select("//" + Last);
    ASSERT_NE(Deepest, nullptr);
    EXPECT_EQ(Deepest->Level(), Depth);
    // Nested contexts: each "//" walks the chain once, not once per context.
    EXPECT_EQ(P.SelectAll("//*//*//" + Last).size(), 1u);
    EXPECT_EQ(P.SelectAll("//n1//*").size(), static_cast<std::size_t>(Depth - 2));
    EXPECT_EQ(Holder->Select(".//" + Last), Deepest);
    EXPECT_EQ(Deepest->Select("/n0/holder"), Holder);
    // Every node of the chain moved up to the root at once: linear, where one move at a time
    // walks the chain each time (or relevels what is left of it).
    Root.AppendNodes(P.SelectAll("/n0/holder//*"));
    EXPECT_EQ(Root.GetNumberOfChildren(), Depth);
    EXPECT_EQ(Root.GetChild(static_cast<std::int32_t>(Depth - 1))->TagName(), Last);
    EXPECT_EQ(Root.GetChild(static_cast<std::int32_t>(Depth - 1))->Level(), 1);
    EXPECT_EQ(test::TreeFaults(Root), "");
    // Removed, they are destroyed.
    while (Root.GetNumberOfChildren() > 1) Root.RemoveChild(Root.GetNumberOfChildren() - 1);
    EXPECT_EQ(P.Select("//" + Last), nullptr);
    EXPECT_EQ(Outline(Root), "<n0>(<holder>())");
  }
}

// Many siblings removed or moved at once leave their list in one pass (one at a time, each shifts
// the siblings after it).
TEST(Size, ManySiblingsAreRemovedAndMovedAtOnce) {
  const auto Count = static_cast<std::int32_t>(test::Scaled(1'500'000));
  TXMLParser P;
  std::string Text = "<?xml version=\"1.0\"?>\n<r>\n";
  for (std::int32_t I = 0; I < Count; ++I) Text += "<d/>\n";
  for (std::int32_t I = 0; I < Count; ++I) Text += "<m/>\n";
  ASSERT_EQ(P.LoadFromText(Text + "<to/>\n</r>\n"), ecOk);
  TXMLNode::RemoveNodes(P.SelectAll("/r/d"));
  ASSERT_EQ(P.XMLRoot()->GetNumberOfChildren(), Count + 1);
  TXMLNode* To = P.Select("/r/to");
  To->AppendNodes(P.SelectAll("/r/m"));
  EXPECT_EQ(To->GetNumberOfChildren(), Count);
  EXPECT_EQ(P.XMLRoot()->GetNumberOfChildren(), 1);
  EXPECT_EQ(To->IndexInParent(), 0);
  EXPECT_EQ(test::TreeFaults(*P.XMLRoot()), "");
}

}  // namespace
}  // namespace linexml
