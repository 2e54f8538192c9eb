// Save layouts (TXMLSaveOptions) and load options (a byte-order mark, no declaration): the default
// output stays byte for byte, each choice writes what it says, and every combination loads back to
// the same document.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_util.h"

namespace linexml {
namespace {

using test::Outline;

const char* const kDoc =
    "<?xml version=\"1.1\" encoding=\"latin1\" language=\"FR\" standalone=\"no\" extra=\"x\"?>\n"
    "<!DOCTYPE shelf>\n"
    "<shelf code=\"a1\">\n"
    "  <book isbn=\"1-2\"/>\n"
    "  <title>Two   books</title>\n"
    "  <note>\n"
    "    keep dry\n"
    "    <b>now</b>\n"
    "  </note>\n"
    "</shelf>\n";

// Every combination of the layout choices, with the indents given (-1: tabs), and with and without
// a byte-order mark when asked.
std::vector<TXMLSaveOptions> Layouts(std::initializer_list<int> Indents, bool WithBom) {
  std::vector<TXMLSaveOptions> All;
  for (const int Indent : Indents)
    for (const TXMLLineEnding Eol : {leLF, leCRLF})
      for (const bool Bom : {false, true})
        for (const bool Standard : {false, true})
          for (const bool NoDocType : {false, true})
            for (const bool Inline : {false, true}) {
              if (Bom && !WithBom) continue;
              TXMLSaveOptions O;
              O.IndentWidth = Indent < 0 ? 2 : Indent;
              O.IndentWithTabs = Indent < 0;
              O.LineEnding = Eol;
              O.ByteOrderMark = Bom;
              O.StandardDeclaration = Standard;
              O.OmitEmptyDocType = NoDocType;
              O.InlineText = Inline;
              All.push_back(O);
            }
  return All;
}

// What the library has always written for kDoc; the saves without options must keep it.
const char* const kLayout =
    "<?xml version=\"1.1\" encoding=\"latin1\" language=\"FR\" standalone=\"no\" extra=\"x\"?>\n"
    "<!DOCTYPE shelf>\n"
    "\n"
    "<shelf code=\"a1\">\n"
    "  <book isbn=\"1-2\" />\n"
    "  <title>\n"
    "    Two books\n"
    "  </title>\n"
    "  <note>\n"
    "     keep dry\n"
    "    <b>\n"
    "      now\n"
    "    </b>\n"
    "  </note>\n"
    "</shelf>\n";

TEST(SaveOptions, TheDefaultsWriteTheLayoutByteForByte) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText(kDoc), ecOk);
  EXPECT_EQ(P.SaveToText(), kLayout);
  EXPECT_EQ(P.SaveToText(TXMLSaveOptions{}), kLayout);
  std::ostringstream A, B;
  P.SaveToStream(A);
  P.SaveToStream(B, TXMLSaveOptions{});
  EXPECT_EQ(A.str(), kLayout);
  EXPECT_EQ(B.str(), kLayout);
  test::TempDir Dir;
  P.SaveFile(Dir / "a.xml");
  P.SaveFile(Dir / "b.xml", TXMLSaveOptions{});
  EXPECT_EQ(test::ReadFile(Dir / "a.xml"), kLayout);
  EXPECT_EQ(test::ReadFile(Dir / "b.xml"), kLayout);
}

TEST(SaveOptions, EachChoiceWritesWhatItSays) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText(kDoc), ecOk);
  const struct {
    const char* name;
    TXMLSaveOptions options;
    std::string expected;
  } Cases[] = {
      {"indent 4",
       [] {
         TXMLSaveOptions O;
         O.IndentWidth = 4;
         return O;
       }(),
       "<?xml version=\"1.1\" encoding=\"latin1\" language=\"FR\" standalone=\"no\" extra=\"x\"?>\n<!DOCTYPE "
       "shelf>\n\n"
       "<shelf code=\"a1\">\n    <book isbn=\"1-2\" />\n    <title>\n        Two books\n    </title>\n    "
       "<note>\n"
       "         keep dry\n        <b>\n            now\n        </b>\n    </note>\n</shelf>\n"},
      {"indent 0",
       [] {
         TXMLSaveOptions O;
         O.IndentWidth = 0;
         return O;
       }(),
       "<?xml version=\"1.1\" encoding=\"latin1\" language=\"FR\" standalone=\"no\" extra=\"x\"?>\n<!DOCTYPE "
       "shelf>\n\n"
       "<shelf code=\"a1\">\n<book isbn=\"1-2\" />\n<title>\nTwo books\n</title>\n<note>\n keep "
       "dry\n<b>\nnow\n</b>\n"
       "</note>\n</shelf>\n"},
      {"tabs",
       [] {
         TXMLSaveOptions O;
         O.IndentWithTabs = true;
         return O;
       }(),
       "<?xml version=\"1.1\" encoding=\"latin1\" language=\"FR\" standalone=\"no\" extra=\"x\"?>\n<!DOCTYPE "
       "shelf>\n\n"
       "<shelf code=\"a1\">\n\t<book isbn=\"1-2\" />\n\t<title>\n\t\tTwo books\n\t</title>\n\t<note>\n\t\t "
       "keep dry\n"
       "\t\t<b>\n\t\t\tnow\n\t\t</b>\n\t</note>\n</shelf>\n"},
      {"crlf",
       [] {
         TXMLSaveOptions O;
         O.LineEnding = leCRLF;
         return O;
       }(),
       "<?xml version=\"1.1\" encoding=\"latin1\" language=\"FR\" standalone=\"no\" "
       "extra=\"x\"?>\r\n<!DOCTYPE shelf>\r\n"
       "\r\n<shelf code=\"a1\">\r\n  <book isbn=\"1-2\" />\r\n  <title>\r\n    Two books\r\n  </title>\r\n  "
       "<note>\r\n"
       "     keep dry\r\n    <b>\r\n      now\r\n    </b>\r\n  </note>\r\n</shelf>\r\n"},
      {"inline text",
       [] {
         TXMLSaveOptions O;
         O.InlineText = true;
         return O;
       }(),
       "<?xml version=\"1.1\" encoding=\"latin1\" language=\"FR\" standalone=\"no\" extra=\"x\"?>\n<!DOCTYPE "
       "shelf>\n\n"
       "<shelf code=\"a1\">\n  <book isbn=\"1-2\" />\n  <title>Two books</title>\n  <note>\n     keep dry\n"
       "    <b>now</b>\n  </note>\n</shelf>\n"},
      {"interoperable", TXMLSaveOptions::Interoperable(),
       "<?xml version=\"1.1\" encoding=\"latin1\" standalone=\"no\" extra=\"x\"?>\n<!DOCTYPE shelf>\n\n"
       "<shelf code=\"a1\">\n  <book isbn=\"1-2\" />\n  <title>Two books</title>\n  <note>\n     keep dry\n"
       "    <b>now</b>\n  </note>\n</shelf>\n"},
  };
  for (const auto& C : Cases) EXPECT_EQ(P.SaveToText(C.options), C.expected) << C.name;
}

TEST(SaveOptions, PrologChoices) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText("<?xml version=\"1.0\"?><r/>"), ecOk);
  TXMLSaveOptions O;
  O.StandardDeclaration = true;
  O.OmitEmptyDocType = true;
  O.ByteOrderMark = true;
  EXPECT_EQ(P.SaveToText(O),
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n\n<r />\n");
  O.OmitEmptyDocType = false;
  O.ByteOrderMark = false;
  EXPECT_EQ(P.SaveToText(O), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n\n\n<r />\n");
}

TEST(SaveOptions, AnIndentOutsideItsRangeIsRefusedBeforeAnythingChanges) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText("<?xml version=\"1.0\"?><r/>"), ecOk);
  test::TempDir Dir;
  const std::string Path = Dir / "kept.xml";
  test::WriteFile(Path, "old");
  for (const std::int32_t Width : {-1, 256}) {
    TXMLSaveOptions O;
    O.IndentWidth = Width;
    EXPECT_THROW((void)P.SaveToText(O), std::invalid_argument);
    std::ostringstream Out;
    EXPECT_THROW(P.SaveToStream(Out, O), std::invalid_argument);
    EXPECT_EQ(Out.str(), "");
    EXPECT_THROW(P.SaveFile(Path, O), std::invalid_argument);
    EXPECT_EQ(test::ReadFile(Path), "old");
    EXPECT_EQ(P.FileName(), "");
  }
}

// A document that its own default save reloads unchanged: every text run starts with its joining
// space. Every layout must load back to exactly this.
struct Reference {
  std::string tree, version, encoding, language, standalone, others, doctype;
};

Reference Describe(const TXMLParser& P) {
  const TXMLParameters& Pr = *P.XMLParameters();
  std::string Others;
  for (const TXMLAttribute* A : Pr.XMLOtherAttrs()) Others += A->Name + "=" + A->Value + ";";
  return {Outline(*P.XMLRoot()),
          Pr.XMLVersion(),
          Pr.XMLEncoding(),
          Pr.XMLLanguage(),
          Pr.XMLStandalone(),
          Others,
          Pr.XMLDocType()->DocTypeDefinition()};
}

TEST(SaveOptions, EveryCombinationLoadsBackToTheSameDocument) {
  const std::string Sources[] = {
      kDoc,
      "<?xml version=\"1.0\"?>\n<r a=\"1\">\n<e/>\n<e>\n<e/>\n</e>\n<t>x</t>\n<u>\n<v>deep</v>\n</u>\n</r>\n",
      "<?xml version=\"1.0\"?><only/>",
  };
  for (const std::string& Source : Sources) {
    TXMLParser Fixed;
    ASSERT_EQ(Fixed.LoadFromText(Source), ecOk);
    ASSERT_EQ(Fixed.LoadFromText(Fixed.SaveToText()), ecOk);
    const Reference Want = Describe(Fixed);
    int Combinations = 0;
    for (const TXMLSaveOptions& O : Layouts({0, 1, 2, 8, -1}, true)) {
      const bool Bom = O.ByteOrderMark;
      const bool Standard = O.StandardDeclaration;
      const std::string Saved = Fixed.SaveToText(O);
      TXMLParser Back;
      TXMLLoadOptions L;
      L.AcceptBOM = Bom;
      Back.SetLoadOptions(L);
      ASSERT_EQ(Back.LoadFromText(Saved), ecOk) << Saved;
      Reference Got = Describe(Back);
      EXPECT_EQ(Back.HadByteOrderMark(), Bom);
      if (Standard) {
        EXPECT_EQ(Got.language, "EN");  // XML has no language keyword: it is not written
        Got.language = Want.language;
      }
      EXPECT_EQ(Got.tree, Want.tree) << Saved;
      EXPECT_EQ(
          std::tie(Got.version, Got.encoding, Got.language, Got.standalone, Got.others, Got.doctype),
          std::tie(Want.version, Want.encoding, Want.language, Want.standalone, Want.others, Want.doctype))
          << Saved;
      ++Combinations;
    }
    EXPECT_EQ(Combinations, 160);
  }
}

// Every node's line as written, for every layout: the line the save writes it on (its first line;
// a text run written inline shares its element's), found by the writer itself.
TEST(SaveOptions, LineWrittenIsTheLineTheSaveWritesTheNodeOn) {
  const std::string Sources[] = {
      kDoc,
      "<?xml version=\"1.0\"?><?stylesheet "
      "link=\"s.css\"?>\n<r><e/><e><e/></e><t>x</t>y<u><v>deep</v></u></r>\n",
      "<?xml version=\"1.0\"?><only/>",
  };
  for (const std::string& Source : Sources) {
    TXMLParser P;
    ASSERT_EQ(P.LoadFromText(Source), ecOk);
    std::vector<const TXMLNode*> Nodes{P.XMLRoot()};  // in document order
    for (std::size_t I = 0; I < Nodes.size(); ++I) {
      const auto& Kids = Nodes[I]->Children();
      Nodes.insert(Nodes.begin() + static_cast<std::ptrdiff_t>(I) + 1, Kids.begin(), Kids.end());
    }
    for (const TXMLSaveOptions& O : Layouts({0, 2, -1}, false)) {
      std::vector<std::string> Lines{""};  // Lines[N] is line N
      std::istringstream Saved(P.SaveToText(O));
      for (std::string L; std::getline(Saved, L);) Lines.push_back(L);
      std::int64_t Last = 0;
      for (const TXMLNode* N : Nodes) {
        const std::int64_t Line = P.LineWritten(*N, O);
        ASSERT_GT(Line, 0);
        ASSERT_LT(Line, static_cast<std::int64_t>(Lines.size()));
        const std::string& Text = Lines[static_cast<std::size_t>(Line)];
        const bool IsText = N->TagType() == ttCDATA;
        const std::string& Data = N->TextData();
        const std::string Starts = IsText ? Data.substr(Data.find_first_not_of(' '), 3) : "<" + N->TagName();
        const std::size_t Begins = Text.find_first_not_of(" \t");
        ASSERT_NE(Text.find(Starts), std::string::npos) << Text << " for " << Starts;
        // Inline text shares its element's line, the one before it in document order;
        // every other node begins a line of its own, after the lines of those before it.
        if (IsText && Text[Begins] == '<') {
          EXPECT_EQ(Line, Last) << Text;
        } else {
          EXPECT_GT(Line, Last) << Text;
          EXPECT_EQ(Text.compare(Begins, Starts.size(), Starts), 0) << Text << " for " << Starts;
        }
        Last = Line;
      }
      TXMLNode Loose;
      EXPECT_EQ(P.LineWritten(Loose, O), 0);
    }
  }
}

// Inline text keeps a text run exactly as it was, also one without the leading joining space.
TEST(SaveOptions, InlineTextLoadsBackWithoutALeadingSpace) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText("<?xml version=\"1.0\"?><r><name>Harbour Lane</name><e> </e></r>"), ecOk);
  const std::string Before = Outline(*P.XMLRoot());
  TXMLSaveOptions O;
  O.InlineText = true;
  TXMLParser Back;
  ASSERT_EQ(Back.LoadFromText(P.SaveToText(O)), ecOk);
  EXPECT_EQ(Outline(*Back.XMLRoot()), Before);
  EXPECT_EQ(Before, "<r>(<name>(\"Harbour Lane\")<e>(\" \"))");
}

TEST(LoadOptions, AByteOrderMarkIsSkippedAndKeptWhenAsked) {
  const std::string Marked = "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<r a=\"1\"/>\n";
  TXMLParser P;
  EXPECT_EQ(P.LoadFromText(Marked), ecInvalidFileFormat);
  EXPECT_FALSE(P.HadByteOrderMark());
  TXMLLoadOptions O;
  O.AcceptBOM = true;
  P.SetLoadOptions(O);
  EXPECT_TRUE(P.LoadOptions().AcceptBOM);
  ASSERT_EQ(P.LoadFromText(Marked), ecOk);
  EXPECT_TRUE(P.HadByteOrderMark());
  EXPECT_EQ(Outline(*P.XMLRoot()), "<r a=1/>");
  TXMLSaveOptions Keep;
  Keep.ByteOrderMark = P.HadByteOrderMark();
  EXPECT_EQ(P.SaveToText(Keep).substr(0, 9), "\xEF\xBB\xBF<?xml ");
  // A document without a mark clears the fact; a mark on a line of its own is skipped too.
  ASSERT_EQ(P.LoadFromText("<?xml version=\"1.0\"?><r/>"), ecOk);
  EXPECT_FALSE(P.HadByteOrderMark());
  ASSERT_EQ(P.LoadFromText("\xEF\xBB\xBF\n<?xml version=\"1.0\"?><r/>"), ecOk);
  EXPECT_TRUE(P.HadByteOrderMark());
  // Only at the very start.
  EXPECT_EQ(P.LoadFromText("\n\xEF\xBB\xBF<?xml version=\"1.0\"?><r/>"), ecInvalidFileFormat);
}

TEST(LoadOptions, ADocumentWithoutADeclarationLoadsWithTheDefaults) {
  TXMLParser P;
  TXMLLoadOptions O;
  O.AcceptNoDeclaration = true;
  P.SetLoadOptions(O);
  const struct {
    const char* text;
    std::string tree, doctype;
  } Cases[] = {
      {"<r a=\"1\"><b/></r>", "<r a=1>(<b/>)", ""},
      {"<!DOCTYPE r>\n<r/>", "<r/>", "<!DOCTYPE r>"},
      {"<?xml-stylesheet href=\"s.css\"?>\n<r/>", "<r/>", ""},
  };
  for (const auto& C : Cases) {
    ASSERT_EQ(P.LoadFromText(C.text), ecOk) << C.text;
    EXPECT_FALSE(P.HadDeclaration());
    EXPECT_EQ(Outline(*P.XMLRoot()), C.tree);
    EXPECT_EQ(P.XMLParameters()->XMLVersion(), "1.0");
    EXPECT_EQ(P.XMLParameters()->XMLDocType()->DocTypeDefinition(), C.doctype);
    EXPECT_EQ(P.XMLParameters()->XMLOtherAttrs().Count(), 0);
  }
  // A declaration is still read, and still checked.
  ASSERT_EQ(P.LoadFromText("<?xml version=\"1.1\" x=\"y\"?><r/>"), ecOk);
  EXPECT_TRUE(P.HadDeclaration());
  EXPECT_EQ(P.XMLParameters()->XMLVersion(), "1.1");
  EXPECT_EQ(P.LoadFromText("<?xml version=\"1\" version=\"2\"?><r/>"), ecNotValid);
  // Both options at once: a mark, then no declaration.
  O.AcceptBOM = true;
  P.SetLoadOptions(O);
  ASSERT_EQ(P.LoadFromText("\xEF\xBB\xBF<r/>"), ecOk);
  EXPECT_TRUE(P.HadByteOrderMark());
  EXPECT_FALSE(P.HadDeclaration());
  // The saved document has a declaration, and loads without the options.
  TXMLParser Plain;
  EXPECT_EQ(Plain.LoadFromText(P.SaveToText()), ecOk);
}

}  // namespace
}  // namespace linexml
