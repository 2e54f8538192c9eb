#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using namespace linexml;

namespace {

// "name=value;" for every other attribute of the declaration, in order.
std::string Others(const TXMLParameters& P) {
  std::string Out;
  for (const TXMLAttribute* A : P.XMLOtherAttrs()) Out += A->Name + '=' + A->Value + ';';
  return Out;
}

struct PrologCase {
  std::string input;
  TXMLErrorCode status;
  std::string rest;  // what S holds afterwards
  std::string version, encoding, language, standalone;
  std::string others;   // see Others
  std::string docType;  // the stored document-type line
};

void CheckPrologs(const std::vector<PrologCase>& Cases) {
  for (const PrologCase& C : Cases) {
    SCOPED_TRACE("input [" + C.input + "]");
    TXMLParameters P;
    std::string S = C.input;
    EXPECT_EQ(ErrorCodeName(P.ParseString(S)), std::string(ErrorCodeName(C.status)));
    EXPECT_EQ(S, C.rest);
    EXPECT_EQ(P.XMLVersion(), C.version);
    EXPECT_EQ(P.XMLEncoding(), C.encoding);
    EXPECT_EQ(P.XMLLanguage(), C.language);
    EXPECT_EQ(P.XMLStandalone(), C.standalone);
    EXPECT_EQ(Others(P), C.others);
    EXPECT_EQ(P.XMLDocType()->DocTypeDefinition(), C.docType);
    EXPECT_EQ(P.XMLStyleSheet(), "");  // a parse never fills it
  }
}

std::string Saved(const TXMLParameters& P) {
  std::ostringstream Out;
  P.SaveToFile(Out);
  return Out.str();
}

// A stream buffer that takes Room bytes and refuses everything after them.
class FullBuffer : public std::streambuf {
 public:
  explicit FullBuffer(std::streamsize Room) : room_(Room) {}

 protected:
  int_type overflow(int_type C) override {
    if (traits_type::eq_int_type(C, traits_type::eof())) return traits_type::not_eof(C);
    if (room_ == 0) return traits_type::eof();
    --room_;
    return C;
  }
  std::streamsize xsputn(const char*, std::streamsize N) override {
    const std::streamsize Taken = std::min(N, room_);
    room_ -= Taken;
    return Taken;
  }

 private:
  std::streamsize room_;
};

}  // namespace

TEST(XmlParameters, NewRecordHasTheDefaults) {
  const TXMLParameters P;
  EXPECT_EQ(P.XMLVersion(), "1.0");
  EXPECT_EQ(P.XMLEncoding(), "UTF-8");
  EXPECT_EQ(P.XMLLanguage(), "EN");
  EXPECT_EQ(P.XMLStandalone(), "yes");
  EXPECT_EQ(P.XMLOtherAttrs().Count(), 0);
  EXPECT_EQ(P.XMLStyleSheet(), "");
  ASSERT_NE(P.XMLDocType(), nullptr);
  EXPECT_EQ(P.XMLDocType()->DocTypeDefinition(), "");
}

TEST(XmlParameters, Keywords) {
  CheckPrologs({
      {"<?xml version=\"1.1\" encoding=\"ISO-8859-1\" language=\"DE\" standalone=\"no\"?><r/>", ecOk, "<r/>",
       "1.1", "ISO-8859-1", "DE", "no", "", ""},
      {"<?xml version=\"2.0\"?><r/>", ecOk, "<r/>", "2.0", "UTF-8", "EN", "yes", "", ""},
      {"<?xml standalone='no' language='FR'?>", ecOk, "", "1.0", "UTF-8", "FR", "no", "", ""},
      {"<?xml a=\"1\" version=\"2.0\" b='2'?><r/>", ecOk, "<r/>", "2.0", "UTF-8", "EN", "yes", "a=1;b=2;",
       ""},
      // Keywords match only in lower case, at the start of a token, with "=" right after them.
      {"<?xml VERSION=\"2.0\" Encoding=\"x\" xversion=\"3\"?>", ecOk, "", "1.0", "UTF-8", "EN", "yes",
       "VERSION=2.0;Encoding=x;xversion=3;", ""},
      {"<?xml version =\"2.0\"?>", ecOk, "", "1.0", "UTF-8", "EN", "yes", "version=;=2.0;", ""},
      // Two spaces where a comment was cut out give an attribute with an empty name.
      {"<?xml version=\"2.0\"  a=\"1\"?>", ecOk, "", "2.0", "UTF-8", "EN", "yes", "=;a=1;", ""},
  });
}

TEST(XmlParameters, PrefixAndClosingVariants) {
  CheckPrologs({
      {"<? xml version=\"2.0\"?><r/>", ecOk, "<r/>", "2.0", "UTF-8", "EN", "yes", "", ""},
      {"<?xml version=\"2.0\" ?><r/>", ecOk, "<r/>", "2.0", "UTF-8", "EN", "yes", "", ""},
      {"<?xml ?><r/>", ecOk, "<r/>", "1.0", "UTF-8", "EN", "yes", "", ""},
      {"<?xml?><r/>", ecInvalidFileFormat, "<r/>", "1.0", "UTF-8", "EN", "yes", "<?xml=;", ""},
      {"<?XML version=\"2.0\"?><r/>", ecInvalidFileFormat, "<r/>", "2.0", "UTF-8", "EN", "yes", "<?XML=;",
       ""},
      // A byte-order mark in front of the declaration fails the prefix check.
      {"\xEF\xBB\xBF<?xml version=\"2.0\"?><r/>", ecInvalidFileFormat, "<r/>", "2.0", "UTF-8", "EN", "yes",
       "\xEF\xBB\xBF<?xml=;", ""},
      // The first "?>" ends the declaration, even inside a quoted value.
      {"<?xml a=\"?>\"?><r/>", ecOk, "\"?><r/>", "1.0", "UTF-8", "EN", "yes", "a=;", ""},
  });
}

// Without any "?>" the whole text is taken for a declaration that is not one.
TEST(XmlParameters, TextWithoutDeclarationEndIsConsumed) {
  CheckPrologs({
      {"<r>text</r>", ecInvalidFileFormat, "", "1.0", "UTF-8", "EN", "yes", "<r>text</r=;", ""},
      {"<?xml version=\"2.0\" <r/>", ecInvalidFileFormat, "", "2.0", "UTF-8", "EN", "yes", "<r=;", ""},
      {"", ecInvalidFileFormat, "", "1.0", "UTF-8", "EN", "yes", "=;", ""},
  });
}

// A repeated keyword keeps its first value and makes the declaration not valid; nothing after it
// clears that, and it wins over a failed prefix check.
TEST(XmlParameters, RepeatedKeywords) {
  CheckPrologs({
      {"<?xml version=\"1.1\" version=\"2.0\"?><r/>", ecNotValid, "<r/>", "1.1", "UTF-8", "EN", "yes", "",
       ""},
      {"<?xml encoding=\"a\" version=\"2.0\" encoding=\"b\" x=\"1\"?><r/>", ecNotValid, "<r/>", "2.0", "a",
       "EN", "yes", "x=1;", ""},
      {"<?xml standalone=\"no\" standalone=\"yes\" language=\"FR\"?>", ecNotValid, "", "1.0", "UTF-8", "FR",
       "no", "", ""},
      {"<?XML version=\"1.1\" version=\"2.0\"?><r/>", ecNotValid, "<r/>", "1.1", "UTF-8", "EN", "yes",
       "<?XML=;", ""},
      {"<?xml version=\"1.1\" version=\"2.0\"?><!DOCTYPE r><r/>", ecNotValid, "<!DOCTYPE r><r/>", "1.1",
       "UTF-8", "EN", "yes", "", ""},  // nothing more is consumed after a failure
  });
}

// At most one style-sheet instruction or one document-type line follows the declaration.
TEST(XmlParameters, StyleSheetAndDocumentType) {
  CheckPrologs({
      {"<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?><r/>", ecOk, "<r/>", "1.0",
       "UTF-8", "EN", "yes", "", ""},
      {"<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"r.dtd\"><r/>", ecOk, "<r/>", "1.0", "UTF-8", "EN", "yes",
       "", "<!DOCTYPE r SYSTEM \"r.dtd\">"},
      {"<?xml version=\"1.0\"?><?ss a?><!DOCTYPE r><r/>", ecOk, "<!DOCTYPE r><r/>", "1.0", "UTF-8", "EN",
       "yes", "", ""},
      {"<?xml version=\"1.0\"?><?ss <r/>", ecOk, "<?ss <r/>", "1.0", "UTF-8", "EN", "yes", "", ""},
      {"<?xml version=\"1.0\"?><!DOCTYPE r", ecOk, "<!DOCTYPE r", "1.0", "UTF-8", "EN", "yes", "", ""},
      {"<?xml version=\"1.0\"?> <!DOCTYPE r><r/>", ecOk, " <!DOCTYPE r><r/>", "1.0", "UTF-8", "EN", "yes", "",
       ""},
      {"<?xml version=\"1.0\"?><", ecOk, "<", "1.0", "UTF-8", "EN", "yes", "", ""},
  });
}

TEST(XmlParameters, HeaderStepLeavesWhatFollows) {
  TXMLParameters P;
  std::string S = "<?xml version=\"2.0\" a=\"1\"?><?ss?><r/>";
  EXPECT_EQ(P.ParseXMLHeader(S), ecOk);
  EXPECT_EQ(S, "<?ss?><r/>");
  // A second declaration drops the earlier other attributes but keeps the keywords it lacks.
  S = "<?xml encoding=\"x\" b=\"2\"?>";
  EXPECT_EQ(P.ParseXMLHeader(S), ecOk);
  EXPECT_EQ(P.XMLVersion(), "2.0");
  EXPECT_EQ(P.XMLEncoding(), "x");
  EXPECT_EQ(Others(P), "b=2;");
}

TEST(XmlParameters, StyleSheetStepRemovesThroughTheFirstEnd) {
  struct {
    std::string input, rest;
  } const Cases[] = {
      {"<?ss x?>rest", "rest"}, {"a?>b?>c", "b?>c"}, {"<?ss <r/>", "<?ss <r/>"}, {"?>", ""}, {"", ""},
  };
  for (const auto& C : Cases) {
    TXMLParameters P;
    std::string S = C.input;
    EXPECT_EQ(P.ParseStyleSheet(S), ecOk) << C.input;
    EXPECT_EQ(S, C.rest) << C.input;
    EXPECT_EQ(P.XMLStyleSheet(), "");
  }
}

TEST(XmlParameters, SaveWritesAllKeywordsThenDocumentTypeThenEmptyLine) {
  TXMLParameters P;
  EXPECT_EQ(Saved(P), "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\"?>\n\n\n");

  std::string S = "<? xml b=\"x\" version=\"2.0\" a='y'?><!DOCTYPE r SYSTEM \"r.dtd\">";
  ASSERT_EQ(P.ParseString(S), ecOk);
  EXPECT_EQ(Saved(P),
            "<?xml version=\"2.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\" b=\"x\" "
            "a=\"y\"?>\n<!DOCTYPE r SYSTEM \"r.dtd\">\n\n");

  P.setXMLStyleSheet("s.css");
  EXPECT_EQ(Saved(P),
            "<?xml version=\"2.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\" b=\"x\" "
            "a=\"y\"?>\n<?stylesheet link=\"s.css\"?>\n<!DOCTYPE r SYSTEM \"r.dtd\">\n\n");
}

TEST(XmlParameters, SaveWritesValuesRaw) {
  TXMLParameters P;
  std::string S = "<?xml version='a\"b' c=\"<&>\"?>";
  ASSERT_EQ(P.ParseString(S), ecOk);
  EXPECT_EQ(Saved(P),
            "<?xml version=\"a\"b\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\" "
            "c=\"<&>\"?>\n\n\n");
}

TEST(XmlParameters, SaveToAFailingStreamThrows) {
  const TXMLParameters P;
  for (const std::streamsize Room : {0, 10}) {
    FullBuffer Buffer(Room);
    std::ostream Out(&Buffer);
    try {
      P.SaveToFile(Out);
      ADD_FAILURE() << "no exception with room for " << Room << " bytes";
    } catch (const EInOutError& E) {
      EXPECT_FALSE(E.Cause().empty());
      EXPECT_EQ(std::string(E.what()), E.FileName() + ": " + E.Cause());
    }
  }
}

// The declaration may be parsed from a string of the other attributes it replaces.
TEST(XmlParameters, ParseStringTakesTextHeldByTheAttributesItReplaces) {
  TXMLParameters P;
  std::string S = "<?xml version=\"1.0\" old=\"x\"?>";
  ASSERT_EQ(P.ParseString(S), ecOk);
  std::string& Own = P.XMLOtherAttrs()[0]->Value;
  Own = "<?xml version=\"2\" new=\"a-value-long-enough-to-be-held-on-the-heap\"?><!DOCTYPE d>";
  EXPECT_EQ(P.ParseString(Own), ecOk);
  EXPECT_EQ(P.XMLVersion(), "2");
  EXPECT_EQ(Others(P), "new=a-value-long-enough-to-be-held-on-the-heap;");
  EXPECT_EQ(P.XMLDocType()->DocTypeDefinition(), "<!DOCTYPE d>");
}
