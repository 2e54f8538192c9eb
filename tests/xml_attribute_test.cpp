#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <string>
#include <vector>

using linexml::ecOk;
using linexml::TXMLAttribute;

namespace {

struct TokenCase {
  std::string token;  // as the tokenizers cut it: the item and its one trailing space
  std::string name;
  std::string value;
  std::string rest;  // what S holds afterwards
};

void CheckTokens(const std::vector<TokenCase>& Cases, const std::string& OldName = "",
                 const std::string& OldValue = "") {
  for (const TokenCase& C : Cases) {
    TXMLAttribute A;
    A.Name = OldName;
    A.Value = OldValue;
    std::string S = C.token;
    EXPECT_EQ(A.ParseString(S), ecOk) << "token [" << C.token << "]";
    EXPECT_EQ(A.Name, C.name) << "token [" << C.token << "]";
    EXPECT_EQ(A.Value, C.value) << "token [" << C.token << "]";
    EXPECT_EQ(S, C.rest) << "token [" << C.token << "]";
  }
}

}  // namespace

TEST(XmlAttribute, NewAttributeIsEmpty) {
  const TXMLAttribute A;
  EXPECT_EQ(A.Name, "");
  EXPECT_EQ(A.Value, "");
}

TEST(XmlAttribute, NameBeforeFirstEqualsValueCutFromTheRest) {
  CheckTokens({
      {"version=\"1.0\" ", "version", "1.0", "\"1.0\" "},
      {"a=\"c\"> ", "a", "c", "\"c\"> "},
      {"a=\"c\"/> ", "a", "c", "\"c\"/> "},
      {"encoding=\"UTF-8\"?> ", "encoding", "UTF-8", "\"UTF-8\"?> "},
      {"a='x' ", "a", "x", "'x' "},
      {"a=\"\" ", "a", "", "\"\" "},
      {"a=\"hello ", "a", "hell", "\"hello "},  // a value cut at its space
      {"a=b=\"c\" ", "a", "=\"c", "b=\"c\" "},  // only the first "=" separates
      {"=\"v\" ", "", "v", "\"v\" "},
  });
}

TEST(XmlAttribute, NameKeepsStrayCharacters) {
  CheckTokens({
      {"\"a=\"1\" ", "\"a", "1", "\"1\" "},
      {"<a=\"1\" ", "<a", "1", "\"1\" "},
      {"'b'=\"2\"> ", "'b'", "2", "\"2\"> "},
  });
}

TEST(XmlAttribute, NameIsAppendedValueIsReplaced) {
  CheckTokens({{"b=\"1\" ", "preb", "1", "\"1\" "}}, "pre", "old");
  CheckTokens({{"x> ", "prex", "", ""}}, "pre");
}

// A token without "=" is a valueless attribute: the name loses the trailing space and the tag's
// closing characters, the value stays empty, S is emptied and the status stays ecOk.
TEST(XmlAttribute, TokenWithoutEqualsNamesAValuelessAttribute) {
  CheckTokens({
      {"checked> ", "checked", "", ""},
      {"checked/> ", "checked", "", ""},
      {"checked?> ", "checked", "", ""},
      {"checked ", "checked", "", ""},
      {"checked", "checked", "", ""},
      {"world\"> ", "world\"", "", ""},  // the second half of a value cut at its space
      {" ", "", "", ""},                 // the token a removed comment leaves between two spaces
      {"", "", "", ""},
      {"> ", "", "", ""},
      {"<?xml ", "<?xml", "", ""},  // what a failed declaration prefix check leaves
  });
}
