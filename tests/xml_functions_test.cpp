#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <string>
#include <vector>

using linexml::ParseAttributeValue;

namespace {

struct ValueCase {
  std::string rest;  // what follows the "=" of a token, trailing space included where it has one
  std::string value;
};

void CheckValues(const std::vector<ValueCase>& Cases) {
  for (const ValueCase& C : Cases) {
    EXPECT_EQ(ParseAttributeValue(C.rest), C.value) << "rest [" << C.rest << "]";
  }
}

}  // namespace

TEST(ParseAttributeValue, WorkedCases) {
  CheckValues({
      {"\"1.0\" ", "1.0"},
      {"\"c\"> ", "c"},
      {"\"c\"/> ", "c"},
      {"\"UTF-8\"?> ", "UTF-8"},
      {"\"hello ", "hell"},  // the first half of a value that held a space
  });
}

TEST(ParseAttributeValue, TagClosersAloneGiveEmptyText) {
  CheckValues({
      {">", ""},
      {"/>", ""},
      {"?>", ""},
      {"!>", ""},
      {"?> ", ""},  // by the length rule, not by the exact match
      {"/> ", ""},
      {"> ", ""},
  });
}

TEST(ParseAttributeValue, QuotesAreNeverInspected) {
  CheckValues({
      {"'c'> ", "c"},
      {"'1.0' ", "1.0"},
      {"'a'/> ", "a"},
      {"abc ", "b"},      // unquoted: loses its first and last characters
      {"\"1.0\"", "1."},  // no trailing space: the last value character goes instead
      {"x1.0y ", "1.0"},
  });
}

TEST(ParseAttributeValue, ShortAndEmptyValues) {
  CheckValues({
      {"", ""},
      {" ", ""},
      {"\"", ""},
      {"\"\" ", ""},  // an empty value
      {"\"\"> ", ""},
      {"\"\"/> ", ""},
      {"abc", ""},  // three characters or fewer
      {"\"x\" ", "x"},
      {"\"1\"> ", "1"},  // one character followed by ">"
  });
}

TEST(ParseAttributeValue, OnlyTheCharacterBeforeTheLastDecidesTheRule) {
  CheckValues({
      {"\">\" ", ">"},       // a ">" that is the value itself stays
      {"\"a>b\" ", "a>b"},   // so does one inside the value
      {"\"a\"!> ", "a\""},   // "!" is not a closer: only ">" and the space go
      {"\"a\">x", "a"},      // the last character is taken as the space, whatever it is
      {"\"ab\"?>", "ab\""},  // no trailing space: "?>" is not recognised
  });
}
