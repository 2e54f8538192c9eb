// Counts and levels past what 32 bits hold are refused, never wrapped. The limits are far beyond
// what memory allows for nodes, so most cases lower them (a hook for tests); the level is also
// tried at its real limit.
#include "detail/limits.h"

#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <stdexcept>
#include <string>

#include "test_util.h"

namespace linexml {
namespace {

class Limits : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = detail::CurrentLimits();
    detail::CurrentLimits().max_count = 3;
    detail::CurrentLimits().max_level = 2;
  }
  void TearDown() override { detail::CurrentLimits() = saved_; }

 private:
  detail::Limits saved_;
};

TEST_F(Limits, ALoadPastALimitReportsOutOfMemoryAndKeepsNothing) {
  struct Case {
    const char* text;
    TXMLErrorCode status;
  };
  const Case Cases[] = {
      {"<?xml version=\"1\"?><r><a/><b/><c/></r>", ecOk},  // three children
      {"<?xml version=\"1\"?><r><a/><b/><c/><d/></r>", ecOutOfMemory},
      {"<?xml version=\"1\"?><r a=\"1\" b c/>", ecOk},  // three attributes
      {"<?xml version=\"1\"?><r a=\"1\" b c d/>", ecOutOfMemory},
      {"<?xml version=\"1\" a=\"1\" b c?><r/>", ecOk},  // three other declaration attributes
      {"<?xml version=\"1\" a=\"1\" b c d?><r/>", ecOutOfMemory},
      {"<?xml version=\"1\"?><r><a><b/></a></r>", ecOk},  // level 2
      {"<?xml version=\"1\"?><r><a><b></b></a></r>", ecOk},
      {"<?xml version=\"1\"?><r><a><b>t</b></a></r>", ecOutOfMemory},  // a text run at level 3
      {"<?xml version=\"1\"?><r><a><b><c/></b></a></r>", ecOutOfMemory},
  };
  const std::string New = TXMLParser().SaveToText();
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.text);
    TXMLParser P;
    ASSERT_EQ(P.LoadFromText("<?xml version=\"2\" x=\"y\"?>\n<old a=\"b\">\n<x/>\n< broken\n</old>"),
              ecInvalidTag);
    EXPECT_EQ(P.LoadFromText(C.text), C.status);
    if (C.status != ecOutOfMemory) continue;
    EXPECT_EQ(P.SaveToText(), New);
    EXPECT_EQ(P.ErrorLine(), 0);
  }
}

TEST_F(Limits, AStepPastALimitThrowsAndChangesNothing) {
  TXMLNode Node;
  std::string S = "<p k=\"v\">old</p>";
  ASSERT_EQ(Node.ParseString(0, S), ecOk);
  const std::string Before = test::Outline(Node);
  for (const char* Text : {"<a/><b/><c/><d/></p>", "<a><b><c/></b></a></p>"}) {
    S = Text;
    EXPECT_THROW(Node.ParseChildren(S), std::length_error) << Text;
    EXPECT_EQ(S, Text);
    EXPECT_EQ(test::Outline(Node), Before);
  }
  S = "x=\"1\" y z w>";
  EXPECT_THROW(Node.ParseAttributes(S), std::length_error);
  EXPECT_EQ(test::Outline(Node), Before);

  TXMLParameters Prolog;
  S = "<?xml a=\"1\" b c d?>";
  EXPECT_THROW(Prolog.ParseString(S), std::length_error);
  EXPECT_EQ(Prolog.XMLOtherAttrs().Count(), 0);
}

// The deepest Level is the largest 32-bit one; a child below it would wrap around to a negative
// level (and overflow a signed integer on the way).
TEST(LevelLimit, ChildrenBelowTheLargestLevelAreRefused) {
  constexpr std::int32_t kMax = 0x7FFFFFFF;
  TXMLNode Node;
  std::string S = "<a><b/></a>";
  ASSERT_EQ(Node.ParseString(kMax - 1, S), ecOk);
  EXPECT_EQ(Node.GetChild(0)->Level(), kMax);
  S = "<a><b/></a>";
  EXPECT_THROW(Node.ParseString(kMax, S), std::length_error);
  EXPECT_EQ(S, "<a><b/></a>");
  EXPECT_EQ(Node.Level(), kMax - 1);
  S = "<a/>";
  EXPECT_EQ(Node.ParseString(kMax, S), ecOk);  // no children: nothing below the limit
}

}  // namespace
}  // namespace linexml
