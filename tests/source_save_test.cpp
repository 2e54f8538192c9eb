// Saving with the source kept (TXMLLoadOptions::KeepSource, TXMLSaveOptions::PreserveSource): the
// bytes no edit touched come back as they were read, and an edit changes only the lines of its node.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_util.h"

namespace linexml {
namespace {

TXMLSaveOptions Preserving() {
  TXMLSaveOptions O;
  O.PreserveSource = true;
  return O;
}

// Loads Text keeping its source; a test that needs the load to succeed checks the status.
TXMLErrorCode LoadKept(TXMLParser& P, const std::string& Text) {
  TXMLLoadOptions L;
  L.KeepSource = true;
  L.AcceptBOM = true;
  P.SetLoadOptions(L);
  return P.LoadFromText(Text);
}

// Documents in the layouts a load accepts: line ends of all three kinds, a byte-order mark, tabs,
// blank lines, comments everywhere, a document type, a style sheet, values in both quotes, cut at
// a space or without quotes, a tag over lines, text beside tags and on lines of its own, no line
// end at the end.
const std::vector<std::string> kLayouts = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- licence -->\n<config>\n  <item id='1' name=\"a\"/>\n"
    "  <item id=\"2\"   name=\"b\" >text here</item>\n  <group>\n    <x v=\"1\"/>\n    <y/>\n  </group>\n"
    "</config>\n<!-- trailer -->\n",
    "<?xml version=\"1.0\"?>\r\n<r>\r\n\t<a k=\"v\">\r\n\t\t<b/>\r\n\t</a>\r\n\r\n\t<c/>\r\n</r>\r\n",
    "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r<r>\r  <a/>\r  <b x=\"1\"></b>\r</r>",
    "<? xml version=\"1.1\" standalone=\"no\" other='y'?>\n<!DOCTYPE r SYSTEM \"r.dtd\">\n\n\n<r   a = "
    "\"1\"\n"
    "   b=\"two words\" c=unquoted d>\n  <!-- a\n  comment over lines -->\n  some text\n  over two lines\n"
    "  <e>inline <!-- cut --> text</e><f/><g/>\n</r>",
    "<?xml version=\"1.0\"?>\n<?xml-stylesheet href=\"s.xsl\"?>\n<doc><p>one</p><p>two</p><q "
    "x=\"&amp;\"/></doc>\n",
    "<?xml version=\"1.0\"?>\n<list>\n    <entry key=\"a\"   value='1' />\n    <entry key=\"b\" value='2'/>\n"
    "    <entry key=\"c\">\n        <sub/>\n    </entry>\n</list>\n",
};

// The documents the examples folder ships (all of them load).
std::vector<std::string> Examples() {
  std::vector<std::string> Out;
  for (const char* Name : {"catalog.xml", "config.xml", "settings.xml", "fonts.xml", "lossy/build.xml"})
    Out.push_back(test::ReadFile(std::string(LINEXML_EXAMPLES_DIR) + "/" + Name));
  return Out;
}

// The lines of Text with their line ends (LF, CRLF or a lone CR, as a load splits them).
std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> Out(1);
  for (std::size_t I = 0; I < Text.size(); ++I) {
    Out.back() += Text[I];
    if (Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') continue;
    if (Text[I] == '\n' || Text[I] == '\r') Out.emplace_back();
  }
  return Out;
}

// Where Out differs from Source, in whole lines: lines [First, SourceEnd) of Source (1-based lines)
// became lines [First, OutEnd) of Out; First == SourceEnd == OutEnd when nothing differs.
struct Changed {
  std::size_t first, source_end, out_end;
};
Changed ChangedLines(const std::string& Source, const std::string& Out) {
  const std::vector<std::string> A = Lines(Source), B = Lines(Out);
  std::size_t Front = 0;
  while (Front < A.size() && Front < B.size() && A[Front] == B[Front]) ++Front;
  std::size_t Back = 0;
  while (Back < A.size() - Front && Back < B.size() - Front &&
         A[A.size() - 1 - Back] == B[B.size() - 1 - Back])
    ++Back;
  return {Front + 1, A.size() - Back + 1, B.size() - Back + 1};
}

// Only whole lines [First, Last] of the source are gone.
std::string WithoutLines(const std::string& Source, std::int64_t First, std::int64_t Last) {
  std::string Out;
  std::int64_t Line = 1;
  for (const std::string& L : Lines(Source))
    if (Line++ < First || Line - 1 > Last) Out += L;
  return Out;
}

TEST(SourceSave, NoEditGivesTheSourceBackByteForByte) {
  std::vector<std::string> All = kLayouts;
  for (std::string& D : Examples()) All.push_back(std::move(D));
  for (const std::string& Text : All) {
    TXMLParser P;
    ASSERT_EQ(LoadKept(P, Text), ecOk) << Text;
    ASSERT_TRUE(P.HasSource());
    EXPECT_EQ(P.Source(), Text);
    EXPECT_EQ(P.SaveToText(Preserving()), Text);
    EXPECT_FALSE(P.FirstUnwritable(Preserving())) << Text;
  }
  // And through a file.
  test::TempDir Dir;
  test::WriteFile(Dir / "in.xml", kLayouts[1]);
  TXMLParser P;
  P.SetLoadOptions({.KeepSource = true});
  P.setFileName(Dir / "in.xml");
  ASSERT_EQ(P.XMLErrorCode(), ecOk);
  P.SaveFile(Dir / "out.xml", Preserving());
  EXPECT_EQ(test::ReadFile(Dir / "out.xml"), kLayouts[1]);
}

// True when only blanks stand between Pos and the start (Forward: the end) of its line.
bool BlankTo(std::string_view Text, std::size_t Pos, bool Forward) {
  if (Forward) {
    while (Pos < Text.size() && (Text[Pos] == ' ' || Text[Pos] == '\t')) ++Pos;
    return Pos == Text.size() || Text[Pos] == '\n' || Text[Pos] == '\r';
  }
  while (Pos > 0 && (Text[Pos - 1] == ' ' || Text[Pos - 1] == '\t')) --Pos;
  return Pos == 0 || Text[Pos - 1] == '\n' || Text[Pos - 1] == '\r';
}

// Every element of every document, edited in every way one at a time: the lines that differ from
// the source are those of the edited element, and the save is not refused.
TEST(SourceSave, AnEditChangesOnlyTheLinesOfItsElement) {
  std::vector<std::string> All = kLayouts;
  for (std::string& D : Examples()) All.push_back(std::move(D));
  enum Reach { kStartTag, kElement };  // the lines an edit may change
  struct Edit {
    const char* name;
    std::function<void(TXMLNode&)> apply;
    Reach reach;
    std::size_t most_new_lines;
  };
  const Edit kEdits[] = {
      {"set",
       [](TXMLNode& N) { N.SetAttribute(N.Attributes().Count() > 0 ? N.Attributes()[0]->Name : "k", "v2"); },
       kStartTag, 0},
      {"add attribute", [](TXMLNode& N) { N.SetAttribute("added", "1"); }, kStartTag, 0},
      {"remove attribute",
       [](TXMLNode& N) {
         if (N.Attributes().Count() > 0) (void)N.RemoveAttribute(N.Attributes()[0]->Name);
       },
       kStartTag, 0},
      {"rename", [](TXMLNode& N) { N.SetTagName("renamed"); }, kElement, 0},
      {"add child", [](TXMLNode& N) { N.AddChild("added"); }, kElement, 3},
      {"remove", [](TXMLNode& N) { N.Parent()->RemoveChild(N.IndexInParent()); }, kElement, 0},
  };
  for (const std::string& Text : All) {
    TXMLParser Probe;
    ASSERT_EQ(LoadKept(Probe, Text), ecOk);
    const std::size_t Elements = Probe.SelectAll("//*").size() + 1;
    // Some forty elements of each document, spread over it, each with every edit.
    const std::size_t Stride = Elements / 40 + 1;
    for (const Edit& E : kEdits) {
      for (std::size_t I = 0; I < Elements; I += Stride) {
        TXMLParser P;
        ASSERT_EQ(LoadKept(P, Text), ecOk);
        std::vector<TXMLNode*> Nodes = P.SelectAll("//*");
        Nodes.insert(Nodes.begin(), P.XMLRoot());
        TXMLNode& N = *Nodes[I];
        const bool Remove = std::string(E.name) == "remove";
        if (Remove && N.Parent() == nullptr) continue;
        const TXMLSourceRange R = *P.SourceRange(N);
        E.apply(N);
        const std::string Out = P.SaveToText(Preserving());
        const std::string Where = std::string(E.name) + " of element " + std::to_string(I) + ":\n" + Out;
        const auto Fault = P.FirstUnwritable(Preserving());
        EXPECT_FALSE(Fault) << (Fault ? Fault->Reason : "") << " " << Where;
        const Changed C = ChangedLines(Text, Out);
        // Where the save writes the node: where it stood, or among the lines it added.
        if (!Remove) {
          EXPECT_EQ(P.LineWritten(N, Preserving()), R.Line) << Where;
        }
        if (std::string(E.name) == "add child") {
          const std::int64_t Added = P.LineWritten(*N.GetChild(N.GetNumberOfChildren() - 1), Preserving());
          EXPECT_GE(Added, static_cast<std::int64_t>(C.first)) << Where;
          EXPECT_LT(Added, static_cast<std::int64_t>(C.out_end)) << Where;
        }
        if (C.first == C.source_end && C.first == C.out_end) continue;  // removed no attribute
        EXPECT_GE(static_cast<std::int64_t>(C.first), R.Line) << Where;
        EXPECT_LE(static_cast<std::int64_t>(C.source_end),
                  (E.reach == kStartTag ? R.TagLastLine : R.LastLine) + 1)
            << Where;
        EXPECT_LE(C.out_end, C.source_end + E.most_new_lines) << Where;
        // An element that stood on lines of its own goes with exactly those lines.
        const std::string_view Src = P.Source();
        if (Remove && BlankTo(Src, R.Begin, false) && BlankTo(Src, R.End, true)) {
          EXPECT_EQ(Out, WithoutLines(Text, R.Line, R.LastLine)) << Where;
        }
      }
    }
  }
}

// What each kind of edit writes, byte for byte.
TEST(SourceSave, EditsAreWrittenInTheStyleOfTheSource) {
  struct Case {
    const char* what;
    const char* source;
    std::function<void(TXMLParser&)> edit;
    const char* expected;
  };
  const char* const kDecl = "<?xml version=\"1.0\"?>\n";
  auto Root = [](TXMLParser& P) -> TXMLNode& { return *P.XMLRoot(); };
  const Case kCases[] = {
      {"a value keeps its quote", "<r a='1' b=\"2\"/>\n",
       [&](TXMLParser& P) { Root(P).SetAttribute("a", "x"); }, "<r a='x' b=\"2\"/>\n"},
      {"a value holding the quote takes the other", "<r a='1'/>\n",
       [&](TXMLParser& P) { Root(P).SetAttribute("a", "it's"); }, "<r a=\"it's\"/>\n"},
      {"an unquoted value gets quotes", "<r a=5432/>\n",
       [&](TXMLParser& P) { Root(P).SetAttribute("a", "7"); }, "<r a=\"7\"/>\n"},
      {"a removed attribute takes the space before it", "<r a=\"1\"   b=\"2\" c=\"3\"/>\n",
       [&](TXMLParser& P) { (void)Root(P).RemoveAttribute("b"); }, "<r a=\"1\" c=\"3\"/>\n"},
      {"a new attribute goes at the end of the tag", "<r a=\"1\" />\n",
       [&](TXMLParser& P) { Root(P).SetAttribute("n", "v"); }, "<r a=\"1\" n=\"v\" />\n"},
      {"a rename changes both tags", "<r>\n  <a x=\"1\">t</a>\n</r>\n",
       [&](TXMLParser& P) { Root(P).GetChild(0)->SetTagName("b"); }, "<r>\n  <b x=\"1\">t</b>\n</r>\n"},
      {"a new child takes its siblings' indentation", "<r>\n\t<a/>\n</r>\n",
       [&](TXMLParser& P) { Root(P).AddChild("b")->SetAttribute("k", "v"); },
       "<r>\n\t<a/>\n\t<b k=\"v\" />\n</r>\n"},
      {"a new child is indented like the sibling it follows", "<r>\n  <a/>\n\t<c>\n  </c>\n</r>\n",
       [&](TXMLParser& P) { Root(P).AddChild("b"); }, "<r>\n  <a/>\n\t<c>\n  </c>\n\t<b />\n</r>\n"},
      {"a first child takes the parent's and one step", "<r>\n    <a>\n    </a>\n</r>\n",
       [&](TXMLParser& P) { Root(P).GetChild(0)->AddChild("b"); },
       "<r>\n    <a>\n        <b />\n    </a>\n</r>\n"},
      {"a self-closing element gains its closing tag", "<r>\n  <a x=\"1\" />\n</r>\n",
       [&](TXMLParser& P) { Root(P).GetChild(0)->AddText("t"); },
       "<r>\n  <a x=\"1\">\n    t\n  </a>\n</r>\n"},
      {"a new line takes the source's line end", "<?xml version=\"1.0\"?>\r\n<r>\r\n  <a/>\r\n</r>\r\n",
       [&](TXMLParser& P) { Root(P).InsertChild(0, "b"); },
       "<?xml version=\"1.0\"?>\r\n<r>\r\n  <b />\r\n  <a/>\r\n</r>\r\n"},
      {"a child on a shared line goes to a line of its own", "<r><a/><c/></r>\n",
       [&](TXMLParser& P) { Root(P).InsertChild(1, "b"); }, "<r><a/>\n  <b />\n  <c/></r>\n"},
      {"an element on lines of its own goes with them", "<r>\n  <a>\n    <x/>\n  </a>\n  <b/>\n</r>\n",
       [&](TXMLParser& P) { Root(P).RemoveChild(0); }, "<r>\n  <b/>\n</r>\n"},
      {"an element sharing a line is cut out of it", "<r>\n  <a/><b/>\n</r>\n",
       [&](TXMLParser& P) { Root(P).RemoveChild(0); }, "<r>\n  <b/>\n</r>\n"},
      {"a moved element keeps its bytes", "<r>\n  <a k=\"1\"/>\n  <g>\n  </g>\n</r>\n",
       [&](TXMLParser& P) { Root(P).MoveChild(0, *Root(P).GetChild(1), 0); },
       "<r>\n  <g>\n    <a k=\"1\"/>\n  </g>\n</r>\n"},
      {"a changed text replaces its bytes", "<r>\n  <a>old</a>\n  joined\n  text\n</r>\n",
       [&](TXMLParser& P) {
         Root(P).GetChild(0)->GetChild(0)->SetTextData("new");
         Root(P).GetChild(1)->SetTextData("other");
       },
       "<r>\n  <a>new</a>\n  other\n</r>\n"},
      {"a self-closing tag ending in a blank is closed anew where a line end comes to follow it",
       "<r>\n  <g/ t>\n  <h/ u>\n</r>\n",
       [&](TXMLParser& P) {
         Root(P).InsertChild(1, "b");
         Root(P).GetChild(4)->SetTextData("v");
       },
       "<r>\n  <g/>\n  <b />\n  t>\n  <h/ v\n</r>\n"},
      {"a run of spaces goes with its node", "<r>  <p/>\n  <g/>text  <b/>\n</r>\n",
       [&](TXMLParser& P) {
         Root(P).MoveChild(0, *Root(P).GetChild(2), 0);
         Root(P).RemoveChild(2);
       },
       "<r><p/>\n  <g>\n      \n  </g><b/>\n</r>\n"},
      {"a removed attribute takes the \"?\" glued to it", "<r a=\"1\"?>\n  <?p\n?>\n</r>\n",
       [&](TXMLParser& P) {
         (void)Root(P).RemoveAttribute("a");
         (void)Root(P).GetChild(0)->RemoveAttribute("");
       },
       "<r>\n  <?p>\n</r>\n"},
      {"a changed declaration is written anew, the rest stays",
       "<?xml version=\"1.0\" x=\"1\"?>\n<!-- c -->\n<r/>\n",
       [&](TXMLParser& P) { P.XMLParameters()->XMLOtherAttrs()[0]->Value = "2"; },
       "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\" x=\"2\"?>\n<!-- c "
       "-->\n<r/>\n"},
  };
  for (const Case& C : kCases) {
    const std::string Source =
        std::string(C.source).starts_with("<?xml") ? C.source : kDecl + std::string(C.source);
    const std::string Expected =
        std::string(C.expected).starts_with("<?xml") ? C.expected : kDecl + std::string(C.expected);
    TXMLParser P;
    ASSERT_EQ(LoadKept(P, Source), ecOk) << C.what;
    C.edit(P);
    EXPECT_EQ(P.SaveToText(Preserving()), Expected) << C.what;
    const auto Fault = P.FirstUnwritable(Preserving());
    EXPECT_FALSE(Fault) << C.what << ": " << (Fault ? Fault->Reason : "");
  }
}

TEST(SourceSave, TheSourceIsKeptOnlyByASuccessfulLoadThatAsks) {
  const std::string Text =
      "<?xml version=\"1.0\"?>\n<!-- c -->\n<r>\n  <a x=\"1\">\n    text\n  </a>\n</r>\n";
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText(Text), ecOk);
  EXPECT_FALSE(P.HasSource());
  EXPECT_EQ(P.SaveToText(Preserving()), P.SaveToText()) << "without a source: the library's layout";
  ASSERT_EQ(LoadKept(P, Text), ecOk);
  ASSERT_TRUE(P.HasSource());
  EXPECT_EQ(P.SourceLine(4), "  <a x=\"1\">");
  const TXMLSourceRange A = *P.SourceRange(*P.XMLRoot()->GetChild(0));
  EXPECT_EQ(Text.substr(A.Begin, A.End - A.Begin), "<a x=\"1\">\n    text\n  </a>");
  EXPECT_EQ(A.TagEnd - A.Begin, 9u);
  EXPECT_EQ(A.Line, 4);
  EXPECT_EQ(A.TagLastLine, 4);
  EXPECT_EQ(A.LastLine, 6);
  EXPECT_FALSE(P.SourceRange(*P.XMLRoot()->AddChild("new")));
  EXPECT_NE(LoadKept(P, "<?xml version=\"1.0\"?>\n<r>< a/></r>"), ecOk);
  EXPECT_FALSE(P.HasSource()) << "a failed load keeps nothing";
  ASSERT_EQ(LoadKept(P, Text), ecOk);
  P.New("fresh");
  EXPECT_FALSE(P.HasSource()) << "a new document has no source";
}

// A value that the load cut at its ">" holds "</a>": renaming the root to "a" would let that end
// the root on the next load, so the save is refused, naming the renamed root.
TEST(SourceSave, ASaveThatWouldLoadDifferentlyIsRefused) {
  TXMLParser P;
  ASSERT_EQ(LoadKept(P, "<?xml version=\"1.0\"?>\n<r>\n  <b d=\"</a>x\"/>\n</r>\n"), ecOk);
  P.XMLRoot()->SetTagName("a");
  const auto Fault = P.FirstUnwritable(Preserving());
  ASSERT_TRUE(Fault);
  EXPECT_EQ(Fault->Node, P.XMLRoot());
  EXPECT_NE(Fault->Reason.find("would not load"), std::string::npos) << Fault->Reason;
  // An untouched document that the library's layout cannot carry is never refused.
  ASSERT_EQ(LoadKept(P, "<?xml version=\"1.0\"?>\n<r><r>x</r>\n"), ecOk);
  EXPECT_TRUE(P.FirstUnwritable());
  EXPECT_FALSE(P.FirstUnwritable(Preserving()));
}

// Large enough for a load to use two threads: the source is kept as a load on one thread keeps it
// (the name puts it among the tests that CI runs under ThreadSanitizer).
TEST(SourceSave, TwoThreadLoadsKeepTheSourceAsOneDoes) {
  std::string Text = "<?xml version=\"1.0\"?>\n<!-- records -->\n<r>\n";
  for (int I = 0; Text.size() < (std::size_t{3} << 20); ++I)
    Text += "  <rec id=\"" + std::to_string(I) + "\" kind='k'>\n    <name>n  " + std::to_string(I) +
            "</name><!-- c -->\n    text of a record\n  </rec>\n";
  Text += "</r>\n";
  TXMLParser P;
  ASSERT_EQ(LoadKept(P, Text), ecOk);
  EXPECT_EQ(P.SaveToText(Preserving()), Text);
  std::vector<TXMLNode*> Records = P.SelectAll("/r/rec");
  ASSERT_GT(Records.size(), 1000u);
  TXMLNode& Last = *Records.back();
  const TXMLSourceRange R = *P.SourceRange(Last);
  Last.SetAttribute("kind", "changed");
  const std::string Out = P.SaveToText(Preserving());
  const Changed C = ChangedLines(Text, Out);
  EXPECT_EQ(static_cast<std::int64_t>(C.first), R.Line);
  EXPECT_EQ(C.source_end, C.first + 1);
  EXPECT_EQ(C.out_end, C.first + 1);
  EXPECT_FALSE(P.FirstUnwritable(Preserving()));
}

TEST(SourceSave, ADeepChainIsEditedAndSavedWithoutRecursion) {
  const long long Depth = test::Scaled(1'000'000);
  const std::string Text = test::NestedDocument(Depth);
  TXMLParser P;
  ASSERT_EQ(LoadKept(P, Text), ecOk);
  TXMLNode* Deepest = P.XMLRoot();
  while (Deepest->GetNumberOfChildren() > 0 && Deepest->GetChild(0)->TagType() != ttCDATA)
    Deepest = Deepest->GetChild(0);
  Deepest->SetAttribute("deep", "yes");
  const std::string Out = P.SaveToText(Preserving());
  EXPECT_EQ(Out.size(), Text.size() + 11);
  EXPECT_FALSE(P.FirstUnwritable(Preserving()));
}

}  // namespace
}  // namespace linexml
