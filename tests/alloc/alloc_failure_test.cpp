// Every allocation of an operation is made to fail in turn: the k-th for k = 1, 2, ... until a run
// needs no more than k - 1, once with only that allocation failing and once with every allocation
// from it on failing (so that cleaning up needs no memory either). Each run must end without a
// crash, leak or sanitizer report, and leave the object in its documented state:
//  - a load reports ecOutOfMemory and leaves the document as a new parser has it;
//  - a parse step throws std::bad_alloc and leaves the object and its text as they were;
//  - SetAttributeValue, every edit, the queries and SaveToText throw std::bad_alloc and leave the
//    document as it was; removing needs no memory at all.

#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <functional>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "failing_new.h"
#include "test_util.h"

namespace linexml {
namespace {

using test::FailMode;

// Freed documents keep none of their blocks for later loads here, so that every block of every
// load comes from operator new and is a failure point of its own.
[[maybe_unused]] const bool kNothingKept = (SetLoadMemoryKept(0), true);

// One run of an operation with the k-th allocation failing.
class Trial {
 public:
  Trial(std::uint64_t At, FailMode Mode) : at_(At), mode_(Mode) {}

  // Runs Op with the failure armed; true when std::bad_alloc came out of it.
  template <class Fn>
  bool Run(Fn&& Op) {
    bool Threw = false;
    test::ArmAllocationFailure(at_, mode_);
    try {
      Op();
    } catch (const std::bad_alloc&) {
      Threw = true;
    }
    test::DisarmAllocationFailure();
    failed_ = test::AllocationFailed();
    return Threw;
  }
  // Whether the run made an allocation fail.
  bool Failed() const { return failed_; }

 private:
  std::uint64_t at_;
  FailMode mode_;
  bool failed_ = false;
};

// Calls Body(trial) for k = 1, 2, ... in both modes until a trial makes no allocation fail, and
// returns how many allocations the operation makes (the failure points, each of which was tried).
// Failures reported so far in the running test.
int FailuresSoFar() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

template <class Body>
std::uint64_t EveryFailurePoint(const std::string& What, Body&& Run) {
  std::uint64_t Points = 0;
  const int Before = FailuresSoFar();
  for (const FailMode Mode : {FailMode::kOnce, FailMode::kFromThenOn}) {
    for (std::uint64_t K = 1;; ++K) {
      Trial T(K, Mode);
      Run(T);
      if (FailuresSoFar() != Before) {
        ADD_FAILURE() << What << ": the first fault is at allocation " << K
                      << (Mode == FailMode::kOnce ? " (failing once)" : " (failing from then on)");
        return K;
      }
      if (!T.Failed()) {
        if (Mode == FailMode::kOnce) Points = K - 1;
        EXPECT_EQ(K - 1, Points) << What << ": the two modes found different numbers of allocations";
        break;
      }
    }
  }
  std::cout << "[ measure  ] " << What << ": " << Points
            << " allocation points, each made to fail once and from then on\n";
  EXPECT_GT(Points, 0u) << What;
  return Points;
}

// Everything a parser shows, in one string: the saved text holds the prolog, and every node with
// its kind, level (indentation), name, attributes and text.
std::string State(const TXMLParser& P) {
  const std::string Faults = test::TreeFaults(*P.XMLRoot());
  return "status " + std::string(ErrorCodeName(P.XMLErrorCode())) + ", line " +
         std::to_string(P.ErrorLine()) + ", file [" + P.FileName() + "]\n" +
         (Faults.empty() ? "" : Faults + "\n") + P.SaveToText();
}

// The same state with the status and file name of a load that ran out of memory.
std::string NewParserState(const std::string& FileName) {
  TXMLParser Fresh;
  std::string Expected = State(Fresh);
  const std::string From = "status ecOk, line 0, file []";
  Expected.replace(0, From.size(), "status ecOutOfMemory, line 0, file [" + FileName + "]");
  return Expected;
}

// Documents that use every feature of the format between them: the declaration with other
// attributes (valued and bare), a document type or a style sheet, comments over lines, inside text
// and between elements, text runs on their own lines and beside tags, self-closing and nested
// elements, attributes with and without values and in both quotes, CRLF, tabs, runs of spaces.
const char* const kCatalog =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" extra=\"x\" bare?>\r\n"
    "<!DOCTYPE catalog SYSTEM \"catalog.dtd\">\r\n"
    "<!-- a comment\r\n over two lines -->\r\n"
    "<catalog id=\"c1\" open>\r\n"
    "\t<store code=\"S1\" opened='1998'>\r\n"
    "\t\t<name>Harbour\tLane   Books</name>\r\n"
    "\t\ttext on a line of its own\r\n"
    "\t\t<address street=\"12_Harbour_Lane\" />\r\n"
    "\t\t<empty/>\r\n"
    "\t\t<nested><deeper><deepest a=\"1\"/></deeper></nested>\r\n"
    "\t</store>\r\n"
    "\t<!-- between -->\r\n"
    "\t<note>one <!-- inside --> two</note>\r\n"
    "</catalog>\r\n";
const char* const kStyled =
    "<? xml version=\"1.1\" standalone=\"no\" other='y'?>\n"
    "<?xml-stylesheet href=\"style.xsl\"?>\n"
    "<r a=\"1\"><b/>text<c x=\"2\">y</c></r>\n";
const char* const kBroken = "<?xml version=\"1.0\"?>\n<r>\n<a>\n< b/>\n</a>\n</r>\n";

// A root with 66,000 children, one of which has 3,000: the long lists that a load stores apart.
std::string WideDocument() {
  std::string Text = "<?xml version=\"1.0\"?>\n<root>\n<w>";
  for (int I = 0; I < 3000; ++I) Text += "<j/>";
  Text += "</w>\n";
  for (int I = 0; I < 66000; ++I) Text += "<i/>";
  return Text + "\n</root>\n";
}

struct Document {
  std::string name;
  std::string text;
};

std::vector<Document> Documents() {
  return {{"catalog", kCatalog}, {"styled", kStyled}, {"broken", kBroken}, {"wide", WideDocument()}};
}

// What a load of Text into a new parser shows.
std::string LoadedState(const std::string& Text) {
  TXMLParser P;
  P.LoadFromText(Text);
  return State(P);
}

// ---- loading -----------------------------------------------------------------------------------

// A parser that held a document before: a failed load must not leave any of it either.
void LoadSomethingElse(TXMLParser& P) {
  ASSERT_EQ(P.LoadFromText("<?xml version=\"9\" z=\"1\"?>\n<!DOCTYPE old>\n<old a=\"b\"><x/>t</old>"), ecOk);
}

TEST(AllocFailure, LoadFromTextReportsOutOfMemoryAndLeavesANewDocument) {
  for (const Document& D : Documents()) {
    const std::string Expected = LoadedState(D.text);
    EveryFailurePoint("LoadFromText(" + D.name + ")", [&](Trial& T) {
      TXMLParser P;
      LoadSomethingElse(P);
      TXMLErrorCode Status = ecOk;
      EXPECT_FALSE(T.Run([&] { Status = P.LoadFromText(D.text); })) << "a load never throws";
      EXPECT_EQ(Status, P.XMLErrorCode());
      if (Status == ecOutOfMemory) {
        EXPECT_TRUE(T.Failed());
        EXPECT_EQ(State(P), NewParserState(""));
        // And the parser is sound: the next load is whole.
        P.LoadFromText(D.text);
      }
      EXPECT_EQ(State(P), Expected);
    });
  }
}

TEST(AllocFailure, ALoadThatKeepsItsSourceReportsOutOfMemoryAndKeepsNothing) {
  for (const Document& D : Documents()) {
    TXMLParser Whole;
    Whole.SetLoadOptions({.KeepSource = true});
    Whole.LoadFromText(D.text);
    const std::string Expected = State(Whole);
    const std::string Saved = Whole.SaveToText({.PreserveSource = true});
    EveryFailurePoint("LoadFromText(" + D.name + ", keeping the source)", [&](Trial& T) {
      TXMLParser P;
      P.SetLoadOptions({.KeepSource = true});
      TXMLErrorCode Status = ecOk;
      EXPECT_FALSE(T.Run([&] { Status = P.LoadFromText(D.text); })) << "a load never throws";
      if (Status == ecOutOfMemory) {
        EXPECT_FALSE(P.HasSource());
        EXPECT_EQ(State(P), NewParserState(""));
        return;
      }
      EXPECT_EQ(State(P), Expected);
      EXPECT_EQ(P.SaveToText({.PreserveSource = true}), Saved);
    });
  }
}

TEST(AllocFailure, APreservingSaveAndItsCheckLeaveTheDocumentAsItWas) {
  for (const Document& D : Documents()) {
    TXMLParser P;
    P.SetLoadOptions({.KeepSource = true});
    if (P.LoadFromText(D.text) != ecOk) continue;
    P.XMLRoot()->SetAttribute("added", "1");
    P.XMLRoot()->AddChild("new");
    P.XMLRoot()->RemoveChild(0);
    const TXMLSaveOptions Preserve{.PreserveSource = true};
    const std::string Saved = P.SaveToText(Preserve);
    const std::string Before = State(P);
    EveryFailurePoint("SaveToText(" + D.name + ", preserving)", [&](Trial& T) {
      std::string Text;
      if (!T.Run([&] { Text = P.SaveToText(Preserve); })) {
        EXPECT_EQ(Text, Saved);
      }
      EXPECT_EQ(State(P), Before);
    });
    // Its check loads what the save writes: the long lists of "wide" add nothing but time there.
    if (D.name == "wide") continue;
    EveryFailurePoint("FirstUnwritable(" + D.name + ", preserving)", [&](Trial& T) {
      std::optional<TXMLUnwritable> Fault;
      if (!T.Run([&] { Fault = P.FirstUnwritable(Preserve); })) {
        EXPECT_FALSE(Fault) << Fault->Reason;
      }
      EXPECT_EQ(State(P), Before);
    });
  }
}

// A document large enough to be read by two threads: a long text whose lines hold runs of
// spaces, then enough elements for the closing-tag index to take two threads too. A failure on
// the second thread must come back as the same status, with nothing left behind.
TEST(AllocFailure, ATwoThreadLoadReportsOutOfMemoryAndLeavesANewDocument) {
  std::string Text = "<?xml version=\"1.0\"?>\n<r>\n";
  while (Text.size() < (std::size_t{2} << 20)) Text += "  some  words   of a long text\n";
  for (int I = 0; I < 17000; ++I) Text += "<b>x</b>\n";
  Text += "</r>\n";
  TXMLParser OneThread;
  OneThread.SetLoadOptions({.Threads = 1});
  OneThread.LoadFromText(Text);
  const std::string Expected = State(OneThread);
  EveryFailurePoint("LoadFromText(two threads)", [&](Trial& T) {
    TXMLParser P;
    TXMLErrorCode Status = ecOk;
    EXPECT_FALSE(T.Run([&] { Status = P.LoadFromText(Text); })) << "a load never throws";
    if (Status == ecOutOfMemory) {
      EXPECT_TRUE(T.Failed());
      EXPECT_EQ(State(P), NewParserState(""));
      P.LoadFromText(Text);
    }
    EXPECT_EQ(State(P), Expected);
  });
}

class AllocFailureFile : public ::testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(AllocFailureFile, SetFileNameReportsOutOfMemoryAndLeavesANewDocument) {
  const std::string Path = dir_ / "catalog.xml";
  test::WriteFile(Path, kCatalog);
  TXMLParser Reference;
  Reference.setFileName(Path);
  const std::string Expected = State(Reference);
  EveryFailurePoint("setFileName", [&](Trial& T) {
    TXMLParser P;
    LoadSomethingElse(P);
    EXPECT_FALSE(T.Run([&] { P.setFileName(Path); })) << "a load never throws";
    if (P.XMLErrorCode() == ecOutOfMemory) {
      EXPECT_TRUE(T.Failed());
      // The name is stored unless there was no memory even for that; the earlier name never stays.
      EXPECT_TRUE(P.FileName() == Path || P.FileName().empty()) << P.FileName();
      EXPECT_EQ(State(P), NewParserState(P.FileName()));
      P.setFileName(Path);
    }
    EXPECT_EQ(State(P), Expected);
  });
}

TEST_F(AllocFailureFile, ParseFileReportsOutOfMemoryAndLeavesANewDocument) {
  const std::string Path = dir_ / "catalog.xml";
  test::WriteFile(Path, kCatalog);
  TXMLParser Reference;
  Reference.setFileName(Path);
  const std::string Expected = State(Reference);
  EveryFailurePoint("ParseFile", [&](Trial& T) {
    TXMLParser P;
    P.setFileName(Path);
    TXMLErrorCode Status = ecOk;
    EXPECT_FALSE(T.Run([&] { Status = P.ParseFile(); })) << "a load never throws";
    EXPECT_EQ(P.XMLErrorCode(), ecOk) << "ParseFile does not store its status";
    if (Status == ecOutOfMemory) {
      EXPECT_TRUE(T.Failed());
      // The status is the earlier load's, so compare all but the first line.
      const std::string Now = State(P), New = NewParserState(Path);
      EXPECT_EQ(Now.substr(Now.find('\n')), New.substr(New.find('\n')));
      P.setFileName(Path);
    } else {
      EXPECT_EQ(Status, ecOk);
    }
    EXPECT_EQ(State(P), Expected);
  });
}

// ---- parse steps through the public strings ---------------------------------------------------

// Everything a node shows, with its subtree.
std::string NodeState(const TXMLNode& N) {
  return std::to_string(N.Level()) + ' ' + TagTypeName(N.TagType()) + " [" + N.TextData() + "] " +
         test::Outline(N);
}

// A node that was parsed before, so that a step has something to replace.
void Prepare(TXMLNode& N) {
  std::string Init = "<old k=\"v\" w>t<o a=\"1\"><p/></o></old>";
  ASSERT_EQ(N.ParseString(3, Init), ecOk);
}

// Sweeps a step on a node parsed before (a failure must leave it as it was) and on a new node
// (whose tree must hold the invariants after every run, failed or not).
template <class Step>
void SweepNodeStep(const std::string& What, const std::string& Input, Step&& Run) {
  for (const bool Reparse : {true, false}) {
    TXMLNode Reference;
    if (Reparse) Prepare(Reference);
    std::string RefRest = Input;
    const TXMLErrorCode RefStatus = Run(Reference, RefRest);
    const std::string RefState = NodeState(Reference);

    EveryFailurePoint(What + (Reparse ? " again" : " on a new node"), [&](Trial& T) {
      auto N = std::make_unique<TXMLNode>();
      if (Reparse) Prepare(*N);
      const std::string Before = NodeState(*N);
      std::string S = Input;
      TXMLErrorCode Status = ecOk;
      if (T.Run([&] { Status = Run(*N, S); })) {
        EXPECT_EQ(S, Input) << "a failed step consumes nothing";
        EXPECT_EQ(NodeState(*N), Before) << "a failed step changes nothing";
      } else {
        EXPECT_EQ(Status, RefStatus);
        EXPECT_EQ(S, RefRest);
        EXPECT_EQ(NodeState(*N), RefState);
      }
      // A parse again may leave what the invariants forbid (a text node keeps its children): that
      // is what a second parse does, so only a new node is held to them after success.
      if (!Reparse || T.Failed()) {
        EXPECT_EQ(test::TreeFaults(*N), "");
      }
      N.reset();
    });
  }
}

TEST(AllocFailure, NodeParseStringLeavesNodeAndTextAsTheyWere) {
  SweepNodeStep("TXMLNode::ParseString",
                "<a k=\"v\" flag x='1'>one<b/>\ttwo<c d=\"2\"><e/>deep</c><f>x</f></a>rest",
                [](TXMLNode& N, std::string& S) { return N.ParseString(3, S); });
  SweepNodeStep("TXMLNode::ParseString (text)", "a run of text long enough to need memory<a/>",
                [](TXMLNode& N, std::string& S) { return N.ParseString(1, S); });
  SweepNodeStep("TXMLNode::ParseString (failing child)", "<a>one< b>two</a>rest",
                [](TXMLNode& N, std::string& S) { return N.ParseString(0, S); });
}

TEST(AllocFailure, NodeParseAttributesLeavesNodeAndTextAsTheyWere) {
  SweepNodeStep("TXMLNode::ParseAttributes", "x=\"1\" y='2' flag z=\"a value long enough to allocate\"/>rest",
                [](TXMLNode& N, std::string& S) { return N.ParseAttributes(S); });
}

TEST(AllocFailure, NodeParseChildrenLeavesNodeAndTextAsTheyWere) {
  SweepNodeStep("TXMLNode::ParseChildren", "t<b k=\"1\">u</b><c/><d>v<e/><f>w</f></d>x</old>rest",
                [](TXMLNode& N, std::string& S) { return N.ParseChildren(S); });
  SweepNodeStep("TXMLNode::ParseChildren (failing child)", "a<b>c</b>< >d</old>rest",
                [](TXMLNode& N, std::string& S) { return N.ParseChildren(S); });
}

std::string PrologState(const TXMLParameters& P) {
  std::ostringstream Out;
  P.SaveToFile(Out);
  return Out.str() + "others " + std::to_string(P.XMLOtherAttrs().Count());
}

template <class Step>
void SweepPrologStep(const std::string& What, const std::string& Input, Step&& Run) {
  auto Prepare = [](TXMLParameters& P) {
    std::string Init = "<?xml version=\"2\" encoding=\"e\" a=\"1\" b=\"2\"?><!DOCTYPE old>";
    ASSERT_EQ(P.ParseString(Init), ecOk);
  };
  TXMLParameters Reference;
  Prepare(Reference);
  std::string RefRest = Input;
  const TXMLErrorCode RefStatus = Run(Reference, RefRest);
  const std::string RefState = PrologState(Reference);

  EveryFailurePoint(What, [&](Trial& T) {
    auto P = std::make_unique<TXMLParameters>();
    Prepare(*P);
    const std::string Before = PrologState(*P);
    std::string S = Input;
    TXMLErrorCode Status = ecOk;
    if (T.Run([&] { Status = Run(*P, S); })) {
      EXPECT_EQ(S, Input) << "a failed step consumes nothing";
      EXPECT_EQ(PrologState(*P), Before) << "a failed step changes nothing";
    } else {
      EXPECT_EQ(Status, RefStatus);
      EXPECT_EQ(S, RefRest);
      EXPECT_EQ(PrologState(*P), RefState);
    }
    P.reset();
  });
}

TEST(AllocFailure, PrologParseStringLeavesPrologAndTextAsTheyWere) {
  const std::string Decl =
      "<?xml version=\"1.0\" standalone=\"no\" language=\"a-language-name-long-enough\" extra=\"x\" bare "
      "another='y'?>";
  SweepPrologStep("TXMLParameters::ParseString", Decl + "<!DOCTYPE r SYSTEM \"a-long-system-id.dtd\"><r/>",
                  [](TXMLParameters& P, std::string& S) { return P.ParseString(S); });
  SweepPrologStep("TXMLParameters::ParseString (style sheet)", Decl + "<?style x?><r/>",
                  [](TXMLParameters& P, std::string& S) { return P.ParseString(S); });
  SweepPrologStep("TXMLParameters::ParseXMLHeader", Decl + "<r/>",
                  [](TXMLParameters& P, std::string& S) { return P.ParseXMLHeader(S); });
}

TEST(AllocFailure, AttributeParseStringLeavesAttributeAndTextAsTheyWere) {
  for (const std::string Input :
       {"name=\"a value long enough to need memory\"/> ", "a-name-long-enough-to-need-memory-of-its-own> "}) {
    TXMLAttribute Reference{"pre", "old"};
    std::string RefRest = Input;
    ASSERT_EQ(Reference.ParseString(RefRest), ecOk);
    EveryFailurePoint("TXMLAttribute::ParseString", [&](Trial& T) {
      TXMLAttribute A{"a-name-before-long-enough-to-need-memory", "old"};
      const TXMLAttribute Before = A;
      std::string S = Input;
      if (T.Run([&] { (void)A.ParseString(S); })) {
        EXPECT_EQ(S, Input);
        EXPECT_EQ(A.Name, Before.Name);
        EXPECT_EQ(A.Value, Before.Value);
      } else {
        EXPECT_EQ(S, RefRest);
        EXPECT_EQ(A.Name, Before.Name + Reference.Name.substr(3));
        EXPECT_EQ(A.Value, Reference.Value);
      }
    });
  }
}

// ---- editing and saving ------------------------------------------------------------------------

TEST(AllocFailure, SetAttributeValueChangesAllOrNothing) {
  const std::string Long = "a value long enough that a string must allocate for it";
  for (const char* Name : {"id", "added-attribute-name-long-enough-to-allocate"}) {
    TXMLParser Reference;
    ASSERT_EQ(Reference.LoadFromText(kCatalog), ecOk);
    Reference.XMLRoot()->SetAttributeValue(Name, Long);
    const std::string Expected = State(Reference);
    EveryFailurePoint(std::string("SetAttributeValue(") + Name + ")", [&](Trial& T) {
      TXMLParser P;
      ASSERT_EQ(P.LoadFromText(kCatalog), ecOk);
      const std::string Before = State(P);
      if (T.Run([&] { P.XMLRoot()->SetAttributeValue(Name, Long); })) {
        EXPECT_EQ(State(P), Before);
      } else {
        EXPECT_EQ(State(P), Expected);
      }
      // A node the edit built (not from the document's storage) must be released as well.
      TXMLNode Own;
      std::string S = "<own k=\"v\"/>";
      ASSERT_EQ(Own.ParseString(0, S), ecOk);
      const std::string OwnBefore = NodeState(Own);
      if (T.Run([&] { Own.SetAttributeValue(Name, Long); })) {
        EXPECT_EQ(NodeState(Own), OwnBefore);
      }
    });
  }
}

// Every kind of edit, on a loaded document (its nodes in the document's storage) and on one built
// with the edits: a failed allocation leaves the document exactly as it was.
TEST(AllocFailure, EditsChangeAllOrNothing) {
  const std::string Long = "a text long enough that a string must allocate for it";
  const std::string Value = "a-value-long-enough-that-a-string-must-allocate-for-it";
  struct Edit {
    const char* name;
    std::function<void(TXMLParser&)> run;
  };
  const Edit Edits[] = {
      {"AddChild", [&](TXMLParser& P) { P.XMLRoot()->AddChild("added-name-long-enough-to-allocate"); }},
      {"InsertChild", [&](TXMLParser& P) { P.XMLRoot()->InsertChild(0, "x"); }},
      {"AddText", [&](TXMLParser& P) { P.XMLRoot()->GetChild(0)->AddText(Long); }},
      {"InsertText", [&](TXMLParser& P) { P.XMLRoot()->InsertText(1, Long); }},
      {"MoveChild",
       [&](TXMLParser& P) { P.XMLRoot()->MoveChild(2, *P.XMLRoot()->GetChild(0)->GetChild(0), 0); }},
      {"AppendNodes",
       [&](TXMLParser& P) {
         TXMLNode& R = *P.XMLRoot();
         R.GetChild(0)->GetChild(0)->AppendNodes(std::vector{R.GetChild(2), R.GetChild(2)->GetChild(0)});
       }},
      {"RemoveNodes",
       [&](TXMLParser& P) {
         TXMLNode& R = *P.XMLRoot();
         TXMLNode::RemoveNodes(std::vector{R.GetChild(0)->GetChild(0), R.GetChild(1), R.GetChild(0)});
       }},
      {"SetAttribute",
       [&](TXMLParser& P) { P.XMLRoot()->SetAttribute("new-attribute-name-long-enough", Value); }},
      {"SetTagName",
       [&](TXMLParser& P) { P.XMLRoot()->GetChild(0)->SetTagName("renamed-long-enough-to-allocate"); }},
      {"SetTextData", [&](TXMLParser& P) { P.XMLRoot()->GetChild(1)->SetTextData(Long); }},
      {"New", [&](TXMLParser& P) { P.New("a-new-root-name-long-enough-to-allocate"); }},
  };
  const char* const Body = "<?xml version=\"1.0\"?><r k=\"v\"><a><b/></a> text <c>x</c></r>";
  auto Make = [&](TXMLParser& P, bool Loaded) {
    if (Loaded) {
      ASSERT_EQ(P.LoadFromText(Body), ecOk);
      return;
    }
    P.New("r");
    P.XMLRoot()->SetAttribute("k", "v");
    P.XMLRoot()->AddChild("a")->AddChild("b");
    P.XMLRoot()->AddText(" text");
    P.XMLRoot()->AddChild("c")->AddText("x");
  };
  for (const bool Loaded : {true, false}) {
    for (const Edit& E : Edits) {
      const std::string What = std::string(E.name) + (Loaded ? " (loaded)" : " (built)");
      TXMLParser Reference;
      Make(Reference, Loaded);
      E.run(Reference);
      const std::string Expected = State(Reference);
      EveryFailurePoint(What, [&](Trial& T) {
        TXMLParser P;
        Make(P, Loaded);
        const std::string Before = State(P);
        if (T.Run([&] { E.run(P); })) {
          EXPECT_EQ(State(P), Before);
        } else {
          EXPECT_EQ(State(P), Expected);
        }
      });
    }
  }
}

TEST(AllocFailure, QueriesLeaveTheDocumentAsItWas) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText(kCatalog), ecOk);
  P.XMLRoot()->AddChild("built")->AddText("t");
  const std::string Before = State(P);
  const std::size_t Matches = P.SelectAll("//*/..//*[1]").size();
  EveryFailurePoint("SelectAll", [&](Trial& T) {
    std::size_t Got = 0;
    if (!T.Run([&] { Got = P.SelectAll("//*/..//*[1]").size(); })) {
      EXPECT_EQ(Got, Matches);
    }
    EXPECT_EQ(State(P), Before);
  });
  const std::string Fault = P.FirstUnwritable().value_or(TXMLUnwritable{}).Reason;
  EveryFailurePoint("FirstUnwritable", [&](Trial& T) {
    std::string Found;
    if (!T.Run([&] { Found = P.FirstUnwritable().value_or(TXMLUnwritable{}).Reason; })) {
      EXPECT_EQ(Found, Fault);
    }
    EXPECT_EQ(State(P), Before);
  });
}

// Removing nodes and attributes, and moving within one parent, need no memory at all: every
// allocation failing, they still do their work.
TEST(AllocFailure, RemovingAndMovingWithinNeedNoMemory) {
  for (const bool Loaded : {true, false}) {
    TXMLParser P;
    if (Loaded) {
      ASSERT_EQ(P.LoadFromText(kCatalog), ecOk);
    } else {
      P.New("catalog");
      P.XMLRoot()->SetAttribute("id", "1");
      P.XMLRoot()->AddChild("x")->AddChild("y")->AddText("t");
    }
    P.XMLRoot()->GetChild(0)->AddChild("built")->AddChild("inner");  // built nodes below loaded ones
    const std::int32_t Before = P.XMLRoot()->GetNumberOfChildren();
    Trial T(1, FailMode::kFromThenOn);
    EXPECT_FALSE(T.Run([&] {
      P.XMLRoot()->MoveChild(0, *P.XMLRoot(), P.XMLRoot()->GetNumberOfChildren() - 1);
      P.XMLRoot()->RemoveChild(P.XMLRoot()->GetNumberOfChildren() - 1);
      P.XMLRoot()->RemoveAttribute("id");
    }));
    EXPECT_FALSE(T.Failed()) << "an allocation was tried";
    EXPECT_EQ(P.XMLRoot()->GetNumberOfChildren(), Before - 1);
    EXPECT_EQ(P.XMLRoot()->FindAttribute("id"), nullptr);
  }
}

TEST(AllocFailure, SaveToTextLeavesTheDocumentAsItWas) {
  for (const Document& D : Documents()) {
    TXMLParser P;
    P.LoadFromText(D.text);
    const std::string Before = State(P);
    const std::string Saved = P.SaveToText();
    EveryFailurePoint("SaveToText(" + D.name + ")", [&](Trial& T) {
      std::string Text;
      if (!T.Run([&] { Text = P.SaveToText(); })) {
        EXPECT_EQ(Text, Saved);
      }
      EXPECT_EQ(State(P), Before);
    });
  }
}

}  // namespace
}  // namespace linexml
