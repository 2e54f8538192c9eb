#include <gtest/gtest.h>

#include "linexml.h"

using linexml::ParseAttributeValue;

TEST(ParseAttributeValue, WorkedCases) {
  EXPECT_EQ(ParseAttributeValue("\"1.0\" "), "1.0");
  EXPECT_EQ(ParseAttributeValue("\"c\"> "), "c");
  EXPECT_EQ(ParseAttributeValue("\"c\"/> "), "c");
  EXPECT_EQ(ParseAttributeValue("\"UTF-8\"?> "), "UTF-8");
  EXPECT_EQ(ParseAttributeValue("\"hello "), "hell");
}
