// Loading a document: line handling, comments, statuses, repeated loads and error lines.
#include <gtest/gtest.h>
#include <linexml/linexml.h>
#include <sys/stat.h>

#include "test_util.h"

namespace linexml {
namespace {

using test::Outline;

constexpr const char* kDecl = "<?xml version=\"1.0\"?>\n";

struct Loaded {
  TXMLErrorCode status;
  std::string tree;
  std::int64_t line;
};

Loaded Load(std::string_view Text) {
  TXMLParser P;
  const TXMLErrorCode Status = P.LoadFromText(Text);
  EXPECT_EQ(Status, P.XMLErrorCode());
  return {Status, Outline(*P.XMLRoot()), P.ErrorLine()};
}

std::string Body(const std::string& Text) {
  return kDecl + Text;
}

// ---- line handling -------------------------------------------------------------------------

TEST(Lines, IndentedAndOneLineDocumentsGiveTheSameTree) {
  const Loaded Indented = Load(Body("<r>\n  <a x=\"1\">\n    <b/>\n  </a>\n   <c />\n</r>\n"));
  const Loaded OneLine = Load(Body("<r><a x=\"1\"><b/></a><c /></r>"));
  EXPECT_EQ(Indented.status, ecOk);
  EXPECT_EQ(Indented.tree, "<r>(<a x=1>(<b/>)<c/>)");
  EXPECT_EQ(OneLine.tree, Indented.tree);
}

TEST(Lines, TextLineGetsOneLeadingSpaceAndCollapsedSpaces) {
  EXPECT_EQ(Load(Body("<r>\n    hello    big  world   \n</r>")).tree, "<r>(\" hello big world\")");
  // A run that shares its line with the tag has no joining space.
  EXPECT_EQ(Load(Body("<r>hi  there</r>")).tree, "<r>(\"hi there\")");
}

TEST(Lines, TabsInsideALineStay) {
  EXPECT_EQ(Load(Body("<r>\n\tx\t\ty\t\n</r>")).tree, "<r>(\" x\t\ty\")");
}

TEST(Lines, BlankAndWhitespaceOnlyLinesAreSkippedEverywhere) {
  const Loaded L = Load("\n\n" + Body("\n   \n\t\t\n<r>\n\n \x01 \n</r>\n\n\n\n"));
  EXPECT_EQ(L.status, ecOk);
  EXPECT_EQ(L.tree, "<r>()");
}

TEST(Lines, CrlfAndLoneCrEndLinesLikeLf) {
  const std::string Lf = "<?xml version=\"1.0\"?>\n<r>\n  text\n  <a/>\n</r>\n";
  std::string Crlf, Cr;
  for (char C : Lf) {
    Crlf += C == '\n' ? std::string("\r\n") : std::string(1, C);
    Cr += C == '\n' ? '\r' : C;
  }
  const Loaded Expected = Load(Lf);
  EXPECT_EQ(Expected.tree, "<r>(\" text\"<a/>)");
  EXPECT_EQ(Load(Crlf).tree, Expected.tree);
  EXPECT_EQ(Load(Cr).tree, Expected.tree);
  // Line numbers count CRLF once and a lone CR as a line end.
  EXPECT_EQ(Load("<?xml version=\"1.0\"?>\r\n<r>\r\n< x/>\r\n</r>").line, 3);
  EXPECT_EQ(Load("<?xml version=\"1.0\"?>\r<r>\r\r< x/>\r</r>").line, 4);
}

TEST(Lines, NulAndHighBytesAreOrdinaryBytes) {
  using namespace std::string_literals;
  const Loaded L = Load(Body("<r>\n a\0b \xC3\xA9\n</r>"s));
  EXPECT_EQ(L.status, ecOk);
  EXPECT_EQ(L.tree, "<r>(\" a\0b \xC3\xA9\")"s);
}

TEST(Lines, ByteOrderMarkReachesTheDeclarationCheck) {
  const Loaded L = Load("\xEF\xBB\xBF" + Body("<r/>"));
  EXPECT_EQ(L.status, ecInvalidFileFormat);
  EXPECT_EQ(L.line, 1);
}

TEST(Lines, TrimSpacesTrimsControlBytesAndCollapsesSpaces) {
  EXPECT_EQ(TXMLParser::TrimSpaces("  a   b\t\tc  "), "a b\t\tc");
  EXPECT_EQ(TXMLParser::TrimSpaces("\x01\x1f a \x7f"), "a \x7f");
  EXPECT_EQ(TXMLParser::TrimSpaces("\xA0x\xA0"), "\xA0x\xA0");
  EXPECT_EQ(TXMLParser::TrimSpaces(" \t\r\n "), "");
  EXPECT_EQ(TXMLParser::TrimSpaces(std::string("a\0  b", 5)), std::string("a\0 b", 4));
}

// ---- comments ------------------------------------------------------------------------------

TEST(Comments, AreCutWhereverTheyStand) {
  struct Case {
    const char* body;
    const char* tree;
  };
  const Case Cases[] = {
      {"<r>\n<!-- one\n  two -->\n<a/>\n</r>", "<r>(<a/>)"},            // over several lines
      {"<r><!--a--><b/><!--c--></r>", "<r>(<b/>)"},                     // two in a line
      {"<r>\nhello <!-- x --> world\n</r>", "<r>(\" hello  world\")"},  // spaces were collapsed first
      {"<r a=\"1\"<!-- x --> b=\"2\"/>", "<r a=1 b=2/>"},               // inside a tag
      {"<r><!-- a <!-- b --> c --></r>", "<r>(\" c -->\")"},            // no nesting
      {"<r><!-->x</r>", "<r>(\"x\")"},                                  // "<!-->" is one comment
      {"<r>x<!<!-- y -->--z-->w</r>", "<r>(\"xw\")"},                   // a cut forms a new one
      {"<r>x<!-<!-- y -->-z-->w</r>", "<r>(\"xw\")"},
      {"<r/>\n<!-- after the root -->\n", "<r/>"},
  };
  for (const Case& C : Cases) {
    const Loaded L = Load(Body(C.body));
    EXPECT_EQ(L.status, ecOk) << C.body;
    EXPECT_EQ(L.tree, C.tree) << C.body;
  }
}

TEST(Comments, AnUnclosedCommentStaysInTheText) {
  const Loaded L = Load(Body("<r/>\n<!-- never closed\n"));
  EXPECT_EQ(L.status, ecNotValid);
  EXPECT_EQ(L.line, 3);
}

// ---- statuses and what each leaves ---------------------------------------------------------

TEST(Status, EveryOutcomeOfALoad) {
  struct Case {
    std::string text;
    TXMLErrorCode status;
    std::int32_t line;
  };
  const Case Cases[] = {
      {Body("<r/>"), ecOk, 0},
      {"<r/>", ecInvalidFileFormat, 1},                              // no declaration
      {"\n\n  <r/>", ecInvalidFileFormat, 3},                        // line of the document's start
      {"<?xml version=\"1\" version=\"2\"?>\n<r/>", ecNotValid, 1},  // repeated keyword
      {"", ecInvalidFileFormat, 0},                                  // empty file
      {"\n \n\t\n", ecInvalidFileFormat, 0},                         // only blank lines
      {kDecl, ecInvalidTag, 0},                                      // nothing after the prolog
      {Body("<r>\n<a>\n< b/>\n</a>\n</r>"), ecInvalidTag, 4},        // empty tag name
      {Body("<r>\n<a x=\"1\"</r>"), ecInvalidTag, 3},                // tag cut off before ">"
      {Body("<r/>\ntrailing text"), ecNotValid, 3},                  // text after the root
      {Body("<r/>\n<s/>"), ecNotValid, 3},                           // a second element
      {Body("<r>\n<r>\n</r>\n</r>"), ecNotValid, 5},                 // same-name nesting
  };
  for (const Case& C : Cases) {
    const Loaded L = Load(C.text);
    EXPECT_EQ(L.status, C.status) << C.text;
    EXPECT_EQ(L.line, C.line) << C.text;
  }
}

// AcceptFullProlog reads what XML allows between the declaration and the root (white space, the
// space a comment leaves, instructions, one document type, in any order), which fails by default;
// the instructions are dropped and warned.
TEST(Status, TheFullPrologOptionReadsWhatStandsInFrontOfTheRoot) {
  struct Case {
    std::string text;
    std::string doctype;
    std::vector<std::int64_t> instruction_lines;
  };
  const Case Cases[] = {
      {"<?xml version=\"1.0\"?> <!--*-nxml-*-->\n<!DOCTYPE busconfig PUBLIC \"x\"\n \"y\">\n<busconfig/>",
       "<!DOCTYPE busconfig PUBLIC \"x\" \"y\">",
       {}},
      {Body("<?xml-stylesheet href=\"a\"?>\n<!DOCTYPE r>\n<?pi?>\t<!-- c --> <r/>"), "<!DOCTYPE r>", {2, 4}},
      {Body("<!-- one --> <!-- two --> <?a?><?b?>\n<r/>"), "", {2, 2}},
      // Without a declaration (AcceptNoDeclaration is on too).
      {"<!-- c --> <?pi?> <r/>", "", {1}},
  };
  TXMLLoadOptions Full;
  Full.AcceptFullProlog = Full.AcceptNoDeclaration = Full.CollectWarnings = true;
  for (const Case& C : Cases) {
    EXPECT_NE(Load(C.text).status, ecOk) << C.text;
    TXMLParser P;
    P.SetLoadOptions(Full);
    EXPECT_EQ(P.LoadFromText(C.text), ecOk) << C.text;
    EXPECT_EQ(P.XMLParameters()->XMLDocType()->DocTypeDefinition(), C.doctype);
    EXPECT_EQ(P.XMLRoot()->Children().Count(), 0) << C.text;
    std::vector<std::int64_t> Lines;
    for (const TXMLWarning& W : P.Warnings())
      if (W.Kind == wkInstructionDropped) Lines.push_back(W.Line);
    EXPECT_EQ(Lines, C.instruction_lines) << C.text;
  }
  // A save that keeps the source keeps what stands in front of the root, byte for byte.
  TXMLParser Kept;
  TXMLLoadOptions Keep = Full;
  Keep.KeepSource = true;
  Kept.SetLoadOptions(Keep);
  ASSERT_EQ(Kept.LoadFromText(Cases[1].text), ecOk);
  TXMLSaveOptions Preserve;
  Preserve.PreserveSource = true;
  EXPECT_EQ(Kept.SaveToText(Preserve), Cases[1].text);
  // One document type only, and a cut subset, still fail.
  TXMLParser P;
  P.SetLoadOptions(Full);
  EXPECT_EQ(P.LoadFromText(Body("<!DOCTYPE a>\n<!DOCTYPE b>\n<r/>")), ecNotValid);
  EXPECT_EQ(P.LoadFromText(Body("<!DOCTYPE a [\n<!ENTITY e \"v\">\n]>\n<r/>")), ecNotValid);
}

TEST(Status, PrologFailureLeavesTheRootUnparsed) {
  TXMLParser P;
  EXPECT_EQ(P.LoadFromText("<?xml version=\"2\" version=\"3\" extra=\"x\"?>\n<r a=\"1\"/>"), ecNotValid);
  EXPECT_EQ(P.XMLParameters()->XMLVersion(), "2");
  ASSERT_EQ(P.XMLParameters()->XMLOtherAttrs().Count(), 1);
  EXPECT_EQ(P.XMLRoot()->TagName(), "");
  EXPECT_EQ(P.XMLRoot()->Attributes().Count(), 0);
}

TEST(Status, ErrorLinesTraceBackThroughCutComments) {
  const Loaded L = Load(Body("<!-- a\nb\nc -->\n<r>\n<!-- d --><!-- e\n-->\n< x/>\n</r>"));
  EXPECT_EQ(L.status, ecInvalidTag);
  EXPECT_EQ(L.line, 8);
}

// ---- loading files, repeated loads -----------------------------------------------------------

class FileLoad : public ::testing::Test {
 protected:
  test::TempDir dir_;
  std::string Write(const std::string& Name, const std::string& Text) {
    const std::string Path = dir_ / Name;
    test::WriteFile(Path, Text);
    return Path;
  }
};

TEST_F(FileLoad, LoadsAFileAndKeepsItsName) {
  const std::string Path = Write("a.xml", Body("<r id=\"1\">\n<a/>\n</r>\n"));
  TXMLParser P;
  P.setFileName(Path);
  EXPECT_EQ(P.XMLErrorCode(), ecOk);
  EXPECT_EQ(P.FileName(), Path);
  EXPECT_EQ(Outline(*P.XMLRoot()), "<r id=1>(<a/>)");
}

TEST_F(FileLoad, EmptyNameKeepsTheNameAndDocumentOfBefore) {
  const std::string Path = Write("a.xml", Body("<r/>"));
  TXMLParser P;
  P.setFileName(Path);
  P.setFileName("");
  EXPECT_EQ(P.XMLErrorCode(), ecInvalidFileName);
  EXPECT_EQ(P.FileName(), Path);
  EXPECT_EQ(P.XMLRoot()->TagName(), "r");
  EXPECT_EQ(P.ErrorLine(), 0);
}

TEST_F(FileLoad, AFileThatCannotBeReadChangesNothingButTheName) {
  const std::string Path = Write("a.xml", "<?xml version=\"1.1\" x=\"y\"?>\n<!DOCTYPE r>\n<r id=\"1\"/>");
  TXMLParser P;
  P.setFileName(Path);
  TXMLNode* Root = P.XMLRoot();
  for (const std::string& Bad : {dir_ / "missing.xml", dir_.path().string()}) {
    P.setFileName(Bad);
    EXPECT_EQ(P.XMLErrorCode(), ecNoFile);
    EXPECT_EQ(P.FileName(), Bad);
    EXPECT_EQ(P.XMLRoot(), Root);
    EXPECT_EQ(P.XMLRoot()->GetAttributeValue("id"), "1");
    EXPECT_EQ(P.XMLParameters()->XMLVersion(), "1.1");
    EXPECT_EQ(P.XMLParameters()->XMLDocType()->DocTypeDefinition(), "<!DOCTYPE r>");
  }
}

TEST_F(FileLoad, ARepeatedLoadStartsFromANewDocumentInPlace) {
  const std::string First =
      Write("1.xml", "<?xml version=\"1.1\" encoding=\"latin1\" x=\"y\"?>\n<!DOCTYPE r>\n<r id=\"1\">t</r>");
  const std::string Second = Write("2.xml", Body("<s/>"));
  TXMLParser P;
  P.setFileName(First);
  TXMLNode* Root = P.XMLRoot();
  TXMLParameters* Prolog = P.XMLParameters();
  P.setFileName(Second);
  EXPECT_EQ(P.XMLErrorCode(), ecOk);
  EXPECT_EQ(P.XMLRoot(), Root);
  EXPECT_EQ(P.XMLParameters(), Prolog);
  EXPECT_EQ(Outline(*Root), "<s/>");
  EXPECT_EQ(Prolog->XMLEncoding(), "UTF-8");
  EXPECT_EQ(Prolog->XMLOtherAttrs().Count(), 0);
  EXPECT_EQ(Prolog->XMLDocType()->DocTypeDefinition(), "");
  // A self-closing root does not stop a later load from reading a root with content.
  P.setFileName(First);
  EXPECT_EQ(P.XMLErrorCode(), ecOk);
  EXPECT_EQ(Outline(*Root), "<r id=1>(\"t\")");
}

TEST_F(FileLoad, AssigningTheSameNameLoadsAgain) {
  const std::string Path = Write("a.xml", Body("<r/>"));
  TXMLParser P;
  P.setFileName(Path);
  test::WriteFile(Path, Body("<changed/>"));
  P.setFileName(Path);
  EXPECT_EQ(P.XMLRoot()->TagName(), "changed");
}

TEST_F(FileLoad, ParseFileReturnsTheStatusWithoutStoringIt) {
  TXMLParser P;
  EXPECT_EQ(P.ParseFile(), ecNoFile);  // no name yet
  const std::string Path = Write("a.xml", "<r/>");
  P.setFileName(Path);
  EXPECT_EQ(P.XMLErrorCode(), ecInvalidFileFormat);
  test::WriteFile(Path, Body("<r/>"));
  EXPECT_EQ(P.ParseFile(), ecOk);
  EXPECT_EQ(P.XMLErrorCode(), ecInvalidFileFormat);
}

TEST_F(FileLoad, UnreadableFileGivesNoFile) {
  if (test::RunningAsRoot()) GTEST_SKIP() << "root reads files whatever their mode";
  const std::string Path = Write("a.xml", Body("<r/>"));
  ::chmod(Path.c_str(), 0);
  TXMLParser P;
  P.setFileName(Path);
  EXPECT_EQ(P.XMLErrorCode(), ecNoFile);
}

TEST_F(FileLoad, LoadFromTextLeavesTheFileNameAlone) {
  const std::string Path = Write("a.xml", Body("<r/>"));
  TXMLParser P;
  P.setFileName(Path);
  EXPECT_EQ(P.LoadFromText(Body("<s/>")), ecOk);
  EXPECT_EQ(P.FileName(), Path);
  EXPECT_EQ(P.XMLRoot()->TagName(), "s");
}

// ---- loading from a view into the document being replaced ------------------------------------

// Every string of a loaded document may be handed to the next load: the text is taken before the
// old document goes.
TEST(Views, LoadFromTextReadsTextHeldByTheDocumentItReplaces) {
  const std::string Doc =
      "<?xml version=\"1.0\" other=\"other-attribute-value-long-enough-for-the-heap\"?>\n"
      "<!DOCTYPE the-document-type-line-long-enough-to-live-on-the-heap>\n"
      "<root-element-with-a-long-name a=\"attribute-value-long-enough-for-the-heap\">\n"
      "<child-element-with-a-long-name/>\n"
      "a text run long enough to be held on the heap\n"
      "</root-element-with-a-long-name>\n";
  using Pick = const std::string& (*)(const TXMLParser&);
  const Pick Picks[] = {
      [](const TXMLParser& P) -> const std::string& { return P.XMLRoot()->GetChild(0)->TagName(); },
      [](const TXMLParser& P) -> const std::string& { return P.XMLRoot()->GetChild(1)->TextData(); },
      [](const TXMLParser& P) -> const std::string& { return P.XMLRoot()->TagName(); },
      [](const TXMLParser& P) -> const std::string& { return P.XMLRoot()->Attributes()[0]->Value; },
      [](const TXMLParser& P) -> const std::string& { return P.XMLParameters()->XMLOtherAttrs()[0]->Value; },
      [](const TXMLParser& P) -> const std::string& {
        return P.XMLParameters()->XMLDocType()->DocTypeDefinition();
      },
  };
  for (const Pick Get : Picks) {
    TXMLParser P;
    ASSERT_EQ(P.LoadFromText(Doc), ecOk);
    const std::string Copy = Get(P);
    const Loaded Expected = Load(Copy);
    SCOPED_TRACE(Copy);
    EXPECT_EQ(P.LoadFromText(Get(P)), Expected.status);
    EXPECT_EQ(Outline(*P.XMLRoot()), Expected.tree);
    EXPECT_EQ(P.ErrorLine(), Expected.line);
  }
}

TEST(Views, SetFileNameTakesANameHeldByTheDocumentItReplaces) {
  test::TempDir Dir;
  const std::string Second = Dir / "second.xml";
  test::WriteFile(Second, Body("<second/>"));
  const std::string First = Dir / "first.xml";
  test::WriteFile(First, Body("<first next=\"" + Second + "\"/>"));
  TXMLParser P;
  P.setFileName(First);
  ASSERT_EQ(P.XMLErrorCode(), ecOk);
  P.setFileName(P.XMLRoot()->Attributes()[0]->Value);
  EXPECT_EQ(P.XMLErrorCode(), ecOk);
  EXPECT_EQ(P.FileName(), Second);
  EXPECT_EQ(P.XMLRoot()->TagName(), "second");
}

}  // namespace
}  // namespace linexml
