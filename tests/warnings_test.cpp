// Warnings about lossy reading: each kind found at its line and column, in the order of the source,
// only when asked for, and without changing what the load reads.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_util.h"

namespace linexml {
namespace {

constexpr const char* kDecl = "<?xml version=\"1.0\"?>\n";

std::string Body(const std::string& Text) {
  return kDecl + Text;
}

struct Seen {
  std::int64_t line, column;
  TXMLWarningKind kind;
  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& Out, const Seen& S) {
  return Out << S.line << ":" << S.column << " " << WarningKindName(S.kind);
}

std::vector<TXMLWarning> WarningsOf(const std::string& Text) {
  TXMLParser P;
  TXMLLoadOptions O;
  O.CollectWarnings = true;
  P.SetLoadOptions(O);
  P.LoadFromText(Text);
  return P.Warnings();
}

std::vector<Seen> Places(const std::string& Text) {
  std::vector<Seen> Out;
  for (const TXMLWarning& W : WarningsOf(Text)) Out.push_back({W.Line, W.Column, W.Kind});
  return Out;
}

TEST(Warnings, EachKindIsFoundAtItsPlace) {
  const struct {
    std::string text;
    std::vector<Seen> expected;
  } Cases[] = {
      {Body("<r>\n  <book title=\"two words\" id=\"7\"/>\n</r>"), {{3, 9, wkValueCut}}},
      // Cut at a space twice in one tag, the second time in its last attribute.
      {Body("<r>\n<a x=\"1 2\"   y='3 4'/>\n</r>"), {{3, 4, wkValueCut}, {3, 14, wkValueCut}}},
      // The ">" in the value also leaves the root without its closing tag.
      {Body("<r a=\"1>2\"/>"), {{2, 1, wkMissingClosingTag}, {2, 4, wkValueCut}}},
      {Body("<r>\n<a>\n\t<b>x</a>\n</r>"), {{4, 2, wkMissingClosingTag}}},
      {Body("<r>\n<a>\n  <a>x</a>\n</a>\n</r>"), {{4, 3, wkSameNameNesting}}},
      {"<!-- licence -->\n" + Body("<r> x <!-- note --> </r>"),
       {{1, 1, wkCommentDropped}, {3, 7, wkCommentDropped}}},
      // A "&" that starts no reference is kept too.
      {Body("<r a=\"&amp;\">x &#65; &#x42; &nbsp; & y &;</r>"),
       {{2, 7, wkReferenceKeptRaw},
        {2, 16, wkReferenceKeptRaw},
        {2, 22, wkReferenceKeptRaw},
        {2, 29, wkReferenceKeptRaw},
        {2, 36, wkLoneAmpersand},
        {2, 40, wkLoneAmpersand}}},
      {Body("<r a=\"AT&T\"/>"), {{2, 9, wkLoneAmpersand}}},
      // Attributes: written twice, without a value, "=" with white space around it, values out of
      // quotes or holding their own quote; a value holding the other quote is sound.
      {Body("<r>\n<a k=\"1\" k=\"2\" checked/>\n</r>"),
       {{3, 10, wkDuplicateAttribute}, {3, 16, wkValuelessAttribute}}},
      {Body("<r dir = \"rtl\" port=5432 a=\"x\"y\" b='it\"s'/>"),
       {{2, 4, wkSpaceAroundEquals}, {2, 16, wkUnquotedValue}, {2, 26, wkUnquotedValue}}},
      {Body("<r a= \"two words\" b =\"c\" checked>x</r>"),
       {{2, 4, wkSpaceAroundEquals}, {2, 19, wkSpaceAroundEquals}, {2, 26, wkValuelessAttribute}}},
      // A tab after the name, between attributes, and in a value.
      {Body("<r>\n<a\tb=\"1\"/>\n<c x=\"1\"\ty=\"2\" z=\"a\tb\"/>\n</r>"),
       {{3, 3, wkTabInTag}, {4, 9, wkTabInTag}, {4, 20, wkTabInTag}}},
      // Instructions in front of the root (dropped) and in the body (an element), CDATA sections;
      // what they hold is not looked at further.
      {Body("<?xml-stylesheet href=\"a&b\"?>\n<r>\n<?pi x=1?>\n<![CDATA[a=\"1 2\" &amp;]]>\n</r>"),
       {{2, 1, wkInstructionDropped},
        {4, 1, wkInstructionAsElement},
        {4, 1, wkMissingClosingTag},
        {5, 1, wkCDataSection},
        {5, 1, wkMissingClosingTag}}},
      // Text that ends a line, joined to the element or (past a comment) the text of the next one;
      // not at the start or the end of an element's content, nor between two tags.
      {Body("<r>\n<p>Hello\n<b>world</b>\n</p>\n<p>x\n<!-- c -->y</p>\n<p>\n<b/>\n<c/>z\n</p>\n</r>"),
       {{4, 1, wkTextJoined}, {7, 1, wkCommentDropped}, {7, 11, wkTextJoined}}},
      {Body("<!DOCTYPE r [\n<!ENTITY e \"v\">\n]>\n<r/>"), {{2, 1, wkDocTypeSubsetCut}}},
      // A subset that the first ">" does not cut is read whole.
      {Body("<!DOCTYPE r []>\n<r/>"), {}},
      // A failed declaration: the comments and references are still found.
      {"<!-- c -->\n<?xml version=\"1\" version=\"&#50;\"?><r a=\"x y\"/>",
       {{1, 1, wkCommentDropped}, {2, 28, wkReferenceKeptRaw}}},
      // Nothing lossy: no warnings.
      {Body("<r>\n  <a b=\"1\" c='2'/>\n  text\n</r>"), {}},
  };
  for (const auto& C : Cases) EXPECT_EQ(Places(C.text), C.expected) << C.text;
}

TEST(Warnings, TextsSayWhatWasReadAndHowAnXmlReaderReadsIt) {
  const std::vector<TXMLWarning> W =
      WarningsOf(Body("<!-- licence: MIT -->\n<r title=\"two words\">&amp;<a>\n<r/>\n</r>"));
  ASSERT_EQ(W.size(), 4u);
  EXPECT_EQ(W[0].Text, "the comment \"<!-- licence: MIT -->\" is cut out on loading, so a save drops it");
  EXPECT_EQ(
      W[1].Text,
      "the value of \"title\" holds a space, where it is cut: \"tw\" is kept, and the rest, \"words\\\">\", "
      "is read as an attribute of its own");
  EXPECT_EQ(W[2].Text, "the reference \"&amp;\" is kept as written; an XML reader reads \"&\"");
  EXPECT_EQ(W[3].Text,
            "no closing tag \"</a>\" is found for the element \"<a>\" (before the end of the element around "
            "it): it "
            "is read without content, and what follows it becomes its siblings");
  EXPECT_EQ(std::string(WarningKindName(W[3].Kind)), "wkMissingClosingTag");
  EXPECT_EQ(std::string(WarningKindName(static_cast<TXMLWarningKind>(99))), "unknown");
  // Every kind has a name; only a dropped comment or instruction concerns nothing but a save.
  for (int K = wkValueCut; K <= wkCommentUnclosed; ++K) {
    const auto Kind = static_cast<TXMLWarningKind>(K);
    EXPECT_NE(std::string(WarningKindName(Kind)), "unknown") << K;
    EXPECT_EQ(WarningConcernsSaveOnly(Kind), Kind == wkCommentDropped || Kind == wkInstructionDropped) << K;
  }
}

// Each text names what was read (the value a program gets) and what an XML reader reads instead.
TEST(Warnings, EachKindSaysWhatWasRead) {
  const struct {
    std::string text;
    TXMLWarningKind kind;
    std::string says;
  } Cases[] = {
      {Body("<db port=5432/>"), wkUnquotedValue,
       "the value of \"port\" is not in quotes: \"43\" is read (its first and last bytes are taken for "
       "quotes); an XML reader refuses it"},
      {Body("<a v=\"one\ntwo\"/>"), wkValueCut,
       "the value of \"v\" holds a line break, where it is cut: \"on\" is kept, and the rest, \"two\\\"/>\", "
       "is "
       "read as an attribute of its own"},
      {Body("<a dir = \"rtl\"/>"), wkSpaceAroundEquals,
       "white space stands before the \"=\" after \"dir\": it is read as an attribute with an empty value, "
       "and what follows the \"=\" as attributes of their own; an XML reader reads the value after the "
       "\"=\""},
      {Body("<a\tb=\"1\"/>"), wkTabInTag,
       "a tab in the tag \"<a\\tb=\\\"1\\\"\" is read as part of the element's name, \"a\\tb=\\\"1\\\"\"; an "
       "XML "
       "reader ends the name at the tab"},
      {Body("<a>x<![CDATA[http://host/]]></a>"), wkCDataSection,
       "the CDATA section \"<![CDATA[http://host/]]>\" is read as an element named \"![CDATA[http:\" and "
       "what "
       "follows it; an XML reader reads what the section holds, \"http://host/\", as text"},
      {Body("<a>AT&T</a>"), wkLoneAmpersand,
       "the \"&\" of \"&T\" starts no reference and is kept as written; an XML reader refuses it"},
      {Body("<a k=\"1\" k=\"2\"/>"), wkDuplicateAttribute,
       "the attribute \"k\" is written twice in this tag: both are kept, and lookups and changes find the "
       "first; an XML reader refuses it"},
      {Body("<input checked/>"), wkValuelessAttribute,
       "the attribute \"checked\" has no value: it is read with an empty one; an XML reader refuses it"},
      {Body("<p>Hello\n<b>world</b></p>"), wkTextJoined,
       "the line break between \"Hello\" and \"<b\" is dropped (the second line begins with a tag or a "
       "comment), so they are read joined; an XML reader reads white space between them"},
      {Body("<r>a <!-- b\n</r>"), wkCommentUnclosed,
       "the comment \"<!-- b</r>\" is never closed (there is no \"-->\" after its \"<!--\"): it and what "
       "follows it are read as the document; an XML reader refuses it"},
      {Body("<?xml-stylesheet href=\"a.css\"?>\n<r/>"), wkInstructionDropped,
       "the processing instruction \"<?xml-stylesheet href=\\\"a.css\\\"?>\" in front of the root element is "
       "read and dropped, so a save does not write it; an XML reader keeps it"},
  };
  for (const auto& C : Cases) {
    const std::vector<TXMLWarning> W = WarningsOf(C.text);
    const auto It = std::find_if(W.begin(), W.end(), [&](const TXMLWarning& X) { return X.Kind == C.kind; });
    ASSERT_NE(It, W.end()) << C.text;
    EXPECT_EQ(It->Text, C.says) << C.text;
  }
}

// Columns of warnings are traced back through collapsed spaces, tabs, CRLF and cut comments, as
// those of failures are.
TEST(Warnings, ColumnsCountTheLineAsItStandsInTheFile) {
  EXPECT_EQ(Places("<?xml version=\"1.0\"?>\r\n<r>\r\n\t <a   <!-- c -->  x=\"1 2\"/>\r\n</r>\r\n"),
            (std::vector<Seen>{{3, 8, wkCommentDropped}, {3, 20, wkValueCut}}));
}

TEST(Warnings, OnlyWhenAskedAndTheLoadReadsTheSame) {
  const std::string Docs[] = {
      Body("<!-- c -->\n<r a=\"x y\">\n<a>\n<a>t</a>\n</a>\n&amp;</r>"),
      Body("<r>\n<b>x</r>"),
      Body("<!DOCTYPE r [<!ENTITY e \"v\">]>\n<r/>"),
      Body("<r a=\"1 2\">\n  < x/>\n</r>"),
  };
  for (const std::string& D : Docs) {
    TXMLParser Plain, Asked;
    TXMLLoadOptions O;
    O.CollectWarnings = true;
    Asked.SetLoadOptions(O);
    EXPECT_EQ(Plain.LoadFromText(D), Asked.LoadFromText(D)) << D;
    EXPECT_TRUE(Plain.Warnings().empty());
    EXPECT_FALSE(Asked.Warnings().empty()) << D;
    EXPECT_EQ(test::Outline(*Plain.XMLRoot()), test::Outline(*Asked.XMLRoot())) << D;
    EXPECT_EQ(Plain.SaveToText(), Asked.SaveToText()) << D;
    EXPECT_EQ(Plain.ErrorLine(), Asked.ErrorLine());
    EXPECT_EQ(Plain.ErrorColumn(), Asked.ErrorColumn());
    EXPECT_EQ(Plain.ErrorMessage(), Asked.ErrorMessage());
    // The next load starts afresh.
    Asked.LoadFromText(Body("<r/>"));
    EXPECT_TRUE(Asked.Warnings().empty());
  }
}

TEST(Warnings, AFileLoadCollectsThemToo) {
  test::TempDir Dir;
  const std::string Path = Dir / "spaced.xml";
  test::WriteFile(Path, Body("<project>\n  <name value=\"My Project\"/>\n</project>\n"));
  TXMLParser P;
  TXMLLoadOptions O;
  O.CollectWarnings = true;
  P.SetLoadOptions(O);
  P.setFileName(Path);
  EXPECT_EQ(P.XMLErrorCode(), ecOk);
  ASSERT_EQ(P.Warnings().size(), 1u);
  EXPECT_EQ(P.Warnings()[0].Line, 3);
  EXPECT_EQ(P.Warnings()[0].Column, 9);
  P.setFileName(Dir / "missing.xml");
  EXPECT_TRUE(P.Warnings().empty());
}

// Many warnings are located in one walk over the line records: linear, not one walk each.
TEST(Warnings, ManyWarningsInALongDocument) {
  std::string Text = kDecl;
  Text += "<r>\n";
  const int Lines = static_cast<int>(test::Scaled(200000));
  for (int I = 0; I < Lines; ++I) Text += "  <a v=\"x y\">&amp;</a>\n";
  Text += "</r>\n";
  const std::vector<TXMLWarning> W = WarningsOf(Text);
  ASSERT_EQ(W.size(), 2u * static_cast<std::size_t>(Lines));
  EXPECT_EQ(W.back().Line, Lines + 2);
  EXPECT_EQ(W.back().Column, 14);
  EXPECT_EQ(W.back().Kind, wkReferenceKeptRaw);
}

}  // namespace
}  // namespace linexml
