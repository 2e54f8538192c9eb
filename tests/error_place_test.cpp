// Where and why a load failed: ErrorLine, ErrorColumn and ErrorMessage over the same cases, with
// tabs, CRLF, collapsed spaces, long joined lines and cut comments.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace linexml {
namespace {

constexpr const char* kDecl = "<?xml version=\"1.0\"?>\n";

std::string Body(const std::string& Text) {
  return kDecl + Text;
}

struct Case {
  std::string text;
  TXMLErrorCode status;
  std::int64_t line, column;
  std::string message;
};

void ExpectPlace(const Case& C, const TXMLLoadOptions& Options = {}) {
  TXMLParser P;
  P.SetLoadOptions(Options);
  EXPECT_EQ(P.LoadFromText(C.text), C.status) << C.text;
  EXPECT_EQ(P.ErrorLine(), C.line) << C.text;
  EXPECT_EQ(P.ErrorColumn(), C.column) << C.text;
  EXPECT_EQ(P.ErrorMessage(), C.message) << C.text;
}

const std::string kSameName =
    "an element \"g\" inside another \"g\" ends the outer one at the inner \"</g>\"";

TEST(ErrorPlace, BrokenTagsGiveLineColumnAndCause) {
  const Case Cases[] = {
      {Body("<r>\n<a>\n< b/>\n</a>\n</r>"), ecInvalidTag, 4, 1,
       "\"<\" is followed by a space: the name of a tag must follow \"<\" directly"},
      // Leading tabs and spaces count, one byte each.
      {Body("<r>\n  <a>\n\t \t< b/>\n</a>\n</r>"), ecInvalidTag, 4, 4,
       "\"<\" is followed by a space: the name of a tag must follow \"<\" directly"},
      {Body("<r>\n<a x=\"1\"</r>"), ecInvalidTag, 3, 1,
       "the tag \"<a\" has no \">\" before the end of the element around it"},
      {Body("<a"), ecInvalidTag, 2, 1, "the tag \"<a\" is cut off: the document ends before its \">\""},
      {Body("<r>\n  <>\n</r>"), ecInvalidTag, 3, 3, "an empty tag \"<>\": a tag needs a name"},
      {kDecl, ecInvalidTag, 0, 0, "nothing follows the prolog: the document has no root element"},
      // A closing tag where an element was expected: a stray one, and one left over because an
      // element of the same name inside another ended the outer one early.
      {Body("<r>\n<a>\n</b>\n</a>\n</r>"), ecInvalidTag, 4, 1,
       "the closing tag \"</b>\" stands where an element was expected: no element \"b\" is open here"},
      {Body("<svg>\n <g>\n  <g>\n   <path/>\n  </g>\n </g>\n</svg>"), ecInvalidTag, 7, 2,
       "the closing tag \"</g>\" stands where an element was expected: " + kSameName +
           ", so this one is left over"},
      {Body("<svg>\n<g>\n<x>\n<g>y</g>\n</x>\n</g>\n</svg>"), ecInvalidTag, 6, 1,
       "the closing tag \"</x>\" stands where an element was expected: " + kSameName +
           ", which leaves \"x\" without its content before it"},
  };
  for (const Case& C : Cases) ExpectPlace(C);
}

TEST(ErrorPlace, ColumnsCountTheLineAsItStandsInTheFile) {
  const Case Cases[] = {
      // Runs of spaces collapsed before the failure on the same line.
      {Body("<r>\n<a   x=\"1\"    y=\"2\"/>  <   b/>\n</r>"), ecInvalidTag, 3, 24,
       "\"<\" is followed by a space: the name of a tag must follow \"<\" directly"},
      // CRLF line ends and an indentation of tab and spaces.
      {"<?xml version=\"1.0\"?>\r\n<r>\r\n\t<a>  x  </a>\r\n\t  < b/>\r\n</r>\r\n", ecInvalidTag, 4, 4,
       "\"<\" is followed by a space: the name of a tag must follow \"<\" directly"},
      // A long text line joined on (with its joining space) before the failure on it.
      {Body("<r>\n" + std::string(5000, 'x') + "<>\n</r>"), ecInvalidTag, 3, 5001,
       "an empty tag \"<>\": a tag needs a name"},
      // Comments cut out of the line, and a comment over several lines before it.
      {Body("<r>\n  <!-- note -->  < x/>\n</r>"), ecInvalidTag, 3, 18,
       "\"<\" is followed by a space: the name of a tag must follow \"<\" directly"},
      {Body("<r><!-- a\n  b --> <>\n</r>"), ecInvalidTag, 3, 9, "an empty tag \"<>\": a tag needs a name"},
      {Body("<!-- a\nb\nc -->\n<r>\n<!-- d --><!-- e\n-->\n< x/>\n</r>"), ecInvalidTag, 8, 1,
       "\"<\" is followed by a space: the name of a tag must follow \"<\" directly"},
  };
  for (const Case& C : Cases) ExpectPlace(C);
}

TEST(ErrorPlace, TextAfterTheRootNamesWhatIsLeftOver) {
  const Case Cases[] = {
      {Body("<r/>\n  trailing   text and more than thirty-two bytes of it"), ecNotValid, 3, 3,
       "text follows the root element: \"trailing text and more than thir...\""},
      {Body("<r/>\n<s/>"), ecNotValid, 3, 1,
       "a second element, \"<s\", follows the root element: a document has one root element"},
      {Body("<r>\n<r>\n</r>\n</r>"), ecNotValid, 5, 1,
       "the closing tag \"</r>\" is left over after the root element: an element \"r\" inside another \"r\" "
       "ends the outer one at the inner \"</r>\""},
      {Body("<r/>\n</r>"), ecNotValid, 3, 1, "the closing tag \"</r>\" follows the end of the root element"},
      {Body("<r>\n<a/>"), ecNotValid, 3, 1,
       "the root element \"<r>\", opened on line 2, is never closed: there is no \"</r>\" after it (the "
       "document may be cut off), so the document after its opening tag is left over"},
      {Body("<r/>\n<?pi x?>"), ecNotValid, 3, 1,
       "the processing instruction \"<?pi\" follows the root element, where only comments may follow"},
      {Body("<r/>\n<!-- open"), ecNotValid, 3, 1,
       "a comment after the root element is never closed (there is no \"-->\" after its \"<!--\")"},
      {Body("<?xml-stylesheet href=\"a\"?>\n<!DOCTYPE r>\n<r/>"), ecNotValid, 4, 1,
       "\"<!DOCTYPE\" is read as the root element (a document-type line is read only right after the "
       "declaration, not after a style-sheet instruction), so the document after it is left over (accepting "
       "the full prolog reads it)"},
      {Body("<r/>\n<!-- open\n<!-- open"), ecNotValid, 3, 1,
       "a comment after the root element is never closed (there is no \"-->\" after its \"<!--\")"},
      {Body("<!-- open\n<r></r>"), ecInvalidTag, 3, 4,
       "a comment in front of the root element is never closed (there is no \"-->\" after its \"<!--\"), so "
       "it is read as the document-type line, up to its first \">\""},
      {Body("<?a?>\n<!-- open\n<r></r>"), ecNotValid, 4, 4,
       "a comment is never closed (there is no \"-->\" after its \"<!--\"), so it is read as the root "
       "element, and the document after it is left over"},
      // Control bytes and quotes in the quoted text are escaped.
      {Body("<r/>\nsay \"hi\"\x01!"), ecNotValid, 3, 1,
       "text follows the root element: \"say \\\"hi\\\"\\x01!\""},
  };
  for (const Case& C : Cases) ExpectPlace(C);
}

TEST(ErrorPlace, PrologFailuresPointAtTheStartAndSayWhy) {
  const Case Cases[] = {
      {"", ecInvalidFileFormat, 0, 0, "the document is empty: it has no XML declaration and no root element"},
      {"\n\n  <r/>", ecInvalidFileFormat, 3, 3,
       "the document begins with the element \"<r\" instead of the XML declaration \"<?xml ...?>\" "
       "(accepting a "
       "document without a declaration reads it)"},
      {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<r/>", ecInvalidFileFormat, 1, 1,
       "the document begins with a UTF-8 byte-order mark, which stands in front of the XML declaration "
       "(accepting a "
       "byte-order mark skips it)"},
      {"\xFF\xFE<\0?\0", ecInvalidFileFormat, 1, 1,
       "the document begins with a UTF-16 byte-order mark: it is UTF-16 text, and only encodings of 8-bit "
       "units are read"},
      {"<?xml version=\"1.0\"\n<r/>", ecInvalidFileFormat, 1, 1,
       "the XML declaration is never closed: there is no \"?>\" in the document"},
      {"<?xml-stylesheet href=\"a\"?>\n<r/>", ecInvalidFileFormat, 1, 1,
       "the document begins with the processing instruction \"<?xml-stylesheet\" instead of the XML "
       "declaration \"<?xml ...?>\""},
      {"  hello\n<r/>", ecInvalidFileFormat, 1, 3,
       "the document begins with text, \"hello\", instead of the XML declaration \"<?xml ...?>\""},
      {"<?xml version=\"1\" encoding=\"a\" version=\"2\" encoding=\"b\"?><r/>", ecNotValid, 1, 1,
       "the declaration keyword \"version\" is written twice (the first value is kept)"},
  };
  for (const Case& C : Cases) ExpectPlace(C);
}

TEST(ErrorPlace, SoundLoadsHaveNoPlaceAndNoMessage) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText(Body("<r/>\n  x")), ecNotValid);
  EXPECT_FALSE(P.ErrorMessage().empty());
  ASSERT_EQ(P.LoadFromText(Body("<r/>")), ecOk);
  EXPECT_EQ(P.ErrorLine(), 0);
  EXPECT_EQ(P.ErrorColumn(), 0);
  EXPECT_EQ(P.ErrorMessage(), "");
  P.setFileName("");
  EXPECT_EQ(P.XMLErrorCode(), ecInvalidFileName);
  EXPECT_EQ(P.ErrorColumn(), 0);
  EXPECT_EQ(P.ErrorMessage(), "the file name is empty");
}

// What stands between the declaration and the root: the default reading fails on a space that a
// comment there leaves (or that shares the declaration's line) at that space, names the document
// type's cut subset, and says which option reads the rest.
TEST(ErrorPlace, ItemsInFrontOfTheRootSayWhatFails) {
  const std::string Space =
      "a space in front of the root element, which a comment cut out there leaves, is read as text where the "
      "root element should begin, so the document after it is left over (accepting the full prolog reads it)";
  const Case Cases[] = {
      {"<?xml version=\"1.0\"?> <!--*-nxml-*-->\n<!DOCTYPE busconfig>\n<busconfig/>", ecNotValid, 1, 22,
       Space},
      {"<?xml version=\"1.0\"?>\n<!-- licence --> <r/>", ecNotValid, 2, 17, Space},
      {"<?xml version=\"1.0\"?> <r/>", ecNotValid, 1, 22,
       "a space in front of the root element is read as text where the root element should begin, so the "
       "document after it is left over (accepting the full prolog reads it)"},
      {Body("<!DOCTYPE r [\n<!ENTITY a \"b\">\n<!ELEMENT r ANY>\n]>\n<r/>"), ecNotValid, 5, 1,
       "the internal subset of the document type is cut at its first \">\", so \"<!ELEMENT\" after it is "
       "read "
       "as the root element, and the document after it is left over"},
      {Body("<!DOCTYPE r [\n<!ENTITY a \"b\">\n]>\n<r/>"), ecNotValid, 5, 1,
       "the internal subset of the document type is cut at its first \">\", so the rest of it, \"]>\", is "
       "read "
       "as text where the root element should begin, and the document after it is left over"},
      {Body("<?a?>\n<?b?>\n<r/>"), ecNotValid, 4, 1,
       "the processing instruction \"<?b?\" is read as the root element (only one instruction is read after "
       "the declaration), so the document after it is left over (accepting the full prolog reads it)"},
  };
  for (const Case& C : Cases) ExpectPlace(C);
}

// A root element that is never closed (a file cut off, a closing tag missing): the message and a
// note name it and where it was opened; ErrorLine stays where the left-over text starts.
TEST(ErrorPlace, AnUnclosedRootIsNamedWithWhereItOpened) {
  TXMLParser P;
  P.LoadFromText(Body("<!-- header -->\n  <config>\n    <a>\n      <b>x</b>\n"));
  EXPECT_EQ(P.XMLErrorCode(), ecNotValid);
  EXPECT_EQ(P.ErrorLine(), 4);
  EXPECT_EQ(P.ErrorColumn(), 5);
  EXPECT_EQ(
      P.ErrorMessage(),
      "the root element \"<config>\", opened on line 3, is never closed: there is no \"</config>\" after "
      "it (the document may be cut off), so the document after its opening tag is left over");
  ASSERT_EQ(P.ErrorNotes().size(), 1u);
  EXPECT_EQ(P.ErrorNotes()[0].Line, 3);
  EXPECT_EQ(P.ErrorNotes()[0].Column, 3);
  EXPECT_EQ(P.ErrorNotes()[0].Text, "the root element \"<config>\" is opened here");
  // Other failures, and the next load, have none.
  P.LoadFromText(Body("<r/>\n<s/>"));
  EXPECT_TRUE(P.ErrorNotes().empty());
}

TEST(ErrorPlace, LoadOptionsChangeWhatFails) {
  TXMLLoadOptions NoDeclaration;
  NoDeclaration.AcceptNoDeclaration = true;
  // What is left over starts the place: the root element after the text.
  ExpectPlace(
      {"  hello\n<r/>", ecNotValid, 2, 1,
       "the document has text, \"hello\", where its root element should begin, and what follows it is "
       "left over"},
      NoDeclaration);
  ExpectPlace({"\xEF\xBB\xBF<r/>", ecNotValid, 1, 4,
               "the document begins with a UTF-8 byte-order mark, which is read as text where the root "
               "element should begin (accepting a byte-order mark skips it)"},
              NoDeclaration);
  TXMLLoadOptions Bom;
  Bom.AcceptBOM = true;
  // The mark's three bytes still count in the first line's columns.
  ExpectPlace({"\xEF\xBB\xBF  <r/>", ecInvalidFileFormat, 1, 6,
               "the document begins with the element \"<r\" instead of the XML declaration \"<?xml ...?>\" "
               "(accepting a "
               "document without a declaration reads it)"},
              Bom);
  ExpectPlace({"\xEF\xBB\xBF<?xml version=\"1.0\"?><r> <> </r>", ecInvalidTag, 1, 29,
               "an empty tag \"<>\": a tag needs a name"},
              Bom);
}

TEST(ErrorPlace, AFileThatCannotBeReadSaysWhy) {
  test::TempDir Dir;
  TXMLParser P;
  P.setFileName(Dir / "missing.xml");
  EXPECT_EQ(P.XMLErrorCode(), ecNoFile);
  EXPECT_EQ(P.ErrorMessage(), "the file cannot be read: No such file or directory");
  P.setFileName(Dir.path().string());
  EXPECT_EQ(P.ErrorMessage(), "the file cannot be read: Is a directory");
  EXPECT_EQ(P.ErrorLine(), 0);
  EXPECT_EQ(P.ErrorColumn(), 0);
  if (!test::RunningAsRoot()) {
    const std::string Locked = Dir / "locked.xml";
    test::WriteFile(Locked, Body("<r/>"));
    std::filesystem::permissions(Locked, std::filesystem::perms::none);
    P.setFileName(Locked);
    EXPECT_EQ(P.ErrorMessage(), "the file cannot be read: Permission denied");
  }
  TXMLParser Unnamed;
  EXPECT_EQ(Unnamed.ParseFile(), ecNoFile);
  EXPECT_EQ(Unnamed.ErrorMessage(), "no file name is set");
}

// The column comes from records that the load keeps for every line: in a file of many lines, each
// failure is found at its own place.
TEST(ErrorPlace, EveryLineOfAManyLineFileIsLocated) {
  for (int Broken = 1; Broken <= 200; Broken += 37) {
    std::string Text = kDecl;
    Text += "<r>\n";
    for (int I = 1; I <= 200; ++I) {
      Text += std::string(static_cast<std::size_t>(I % 7), I % 2 != 0 ? ' ' : '\t');
      Text += I == Broken ? "<a   b=\"1\">  < c/></a>\n" : "<a   b=\"1\">  x  </a>\n";
    }
    Text += "</r>\n";
    ExpectPlace({Text, ecInvalidTag, Broken + 2, Broken % 7 + 14,
                 "\"<\" is followed by a space: the name of a tag must follow \"<\" directly"});
  }
}

// A document large enough for two threads gives the place, message, warnings and tree of a load
// on one, with the fault or the lossy reading before the middle, after it, or none: the halves'
// lines, columns and collapsed spaces are traced back as one.
TEST(ErrorPlace, TwoThreadLoadsGiveTheSamePlaceMessageAndWarnings) {
  const std::string Broken = "<a   b=\"1\">  < c/></a>";
  const std::string Lossy = "<a b=\"one two\">&amp;</a>";
  for (const std::string* Odd : {&Broken, &Lossy}) {
    for (const double At : {0.3, 0.7, 2.0}) {
      std::vector<std::string> Lines;
      for (std::size_t Size = 0; Size < (std::size_t{2} << 20) + 4096; Size += Lines.back().size()) {
        const std::size_t N = Lines.size();
        Lines.push_back(std::string(N % 9, N % 2 != 0 ? ' ' : '\t') +
                        (N % 3 == 0 ? "text  with   runs  of spaces\r\n" : "<a   b=\"1\">  x  </a>\n") +
                        (N % 5 == 0 ? "  \n\n" : ""));
      }
      std::string Text = kDecl;
      Text += "<r>\n";
      for (std::size_t I = 0; I < Lines.size(); ++I) {
        if (I == static_cast<std::size_t>(At * static_cast<double>(Lines.size())))
          Text += "\t " + *Odd + "\n";
        Text += Lines[I];
      }
      Text += "</r>\n";
      for (const bool Warnings : {false, true}) {
        SCOPED_TRACE(testing::Message() << "at " << At << " warnings " << Warnings << " " << *Odd);
        TXMLParser One, Two;
        One.SetLoadOptions({.CollectWarnings = Warnings, .Threads = 1});
        Two.SetLoadOptions({.CollectWarnings = Warnings, .Threads = 0});
        const TXMLErrorCode Status = One.LoadFromText(Text);
        EXPECT_EQ(Status, Odd == &Broken && At < 1 ? ecInvalidTag : ecOk);
        ASSERT_EQ(Two.LoadFromText(Text), Status);
        EXPECT_EQ(Two.ErrorLine(), One.ErrorLine());
        EXPECT_EQ(Two.ErrorColumn(), One.ErrorColumn());
        EXPECT_EQ(Two.ErrorMessage(), One.ErrorMessage());
        ASSERT_EQ(Two.Warnings().size(), One.Warnings().size());
        for (std::size_t I = 0; I < One.Warnings().size(); ++I) {
          EXPECT_EQ(Two.Warnings()[I].Line, One.Warnings()[I].Line);
          EXPECT_EQ(Two.Warnings()[I].Column, One.Warnings()[I].Column);
          EXPECT_EQ(Two.Warnings()[I].Text, One.Warnings()[I].Text);
        }
        if (Status == ecOk) {
          EXPECT_TRUE(Two.SaveToText() == One.SaveToText());
        }
      }
    }
  }
}

}  // namespace
}  // namespace linexml
