#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <sstream>
#include <string>

using namespace linexml;

TEST(XmlDocType, ParseTakesThroughTheFirstGreaterThan) {
  struct {
    std::string input, rest, definition;
  } const Cases[] = {
      {"<!DOCTYPE r SYSTEM \"r.dtd\"><r/>", "<r/>", "<!DOCTYPE r SYSTEM \"r.dtd\">"},
      // An internal subset is cut at its first ">"; the rest stays for the root.
      {"<!DOCTYPE r [<!ELEMENT r ANY>]><r/>", "]><r/>", "<!DOCTYPE r [<!ELEMENT r ANY>"},
      {"abc>def", "def", "abc>"},  // whatever the text begins with
      {">", "", ">"},
      {"<!DOCTYPE r", "<!DOCTYPE r", ""},
      {"", "", ""},
  };
  for (const auto& C : Cases) {
    TXMLDocType D;
    std::string S = C.input;
    EXPECT_EQ(D.ParseString(S), ecOk) << C.input;
    EXPECT_EQ(S, C.rest) << C.input;
    EXPECT_EQ(D.DocTypeDefinition(), C.definition) << C.input;
  }
}

TEST(XmlDocType, ParseWithoutGreaterThanDropsTheEarlierDefinition) {
  TXMLDocType D;
  std::string S = "<!DOCTYPE a>";
  ASSERT_EQ(D.ParseString(S), ecOk);
  ASSERT_EQ(D.DocTypeDefinition(), "<!DOCTYPE a>");
  S = "<!DOCTYPE b";
  EXPECT_EQ(D.ParseString(S), ecOk);
  EXPECT_EQ(D.DocTypeDefinition(), "");
  EXPECT_EQ(S, "<!DOCTYPE b");
}

TEST(XmlDocType, SaveWritesOneLineEmptyWhenThereIsNone) {
  TXMLDocType D;
  std::ostringstream Empty;
  D.SaveToFile(Empty);
  EXPECT_EQ(Empty.str(), "\n");

  std::string S = "<!DOCTYPE r [<!ELEMENT r ANY>";
  ASSERT_EQ(D.ParseString(S), ecOk);
  std::ostringstream Out;
  D.SaveToFile(Out);
  EXPECT_EQ(Out.str(), "<!DOCTYPE r [<!ELEMENT r ANY>\n");
}

TEST(XmlDocType, SaveToABadStreamThrows) {
  const TXMLDocType D;
  std::ostringstream Out;
  Out.setstate(std::ios::badbit);
  EXPECT_THROW(D.SaveToFile(Out), EInOutError);
  EXPECT_EQ(Out.str(), "");
}
