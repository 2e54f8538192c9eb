#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <memory>
#include <string>
#include <vector>

#include "test_util.h"

using namespace linexml;

namespace {

// The sanitizers make every node several times dearer.
const int kDeep = static_cast<int>(test::ScaledDepth(1'000'000));

// A compact picture of a subtree, with the children of a normal element in braces.
std::string Shape(const TXMLNode& Root) {
  return test::Outline(Root, '{', '}');
}

using test::TreeFaults;

struct ParseCase {
  std::string input;
  TXMLErrorCode status;
  std::string rest;   // what S holds afterwards
  std::string shape;  // the node, see Shape
};

void CheckParses(const std::vector<ParseCase>& Cases) {
  for (const ParseCase& C : Cases) {
    SCOPED_TRACE("input [" + C.input + "]");
    TXMLNode Node;
    std::string S = C.input;
    EXPECT_EQ(ErrorCodeName(Node.ParseString(0, S)), std::string(ErrorCodeName(C.status)));
    EXPECT_EQ(S, C.rest);
    EXPECT_EQ(Shape(Node), C.shape);
    EXPECT_EQ(Node.Level(), 0);
    EXPECT_EQ(TreeFaults(Node), "");
  }
}

}  // namespace

TEST(XmlNodeParse, TagKinds) {
  CheckParses({
      {"<a/>", ecOk, "", "<a/>"},
      {"<a/>rest", ecOk, "rest", "<a/>"},
      {"<a />", ecOk, "", "<a/>"},  // through the attribute step, which sees only "/> "
      {"<a x=\"1\"/>", ecOk, "", "<a x=1/>"},
      {"<a x=\"1\" />", ecOk, "", "<a x=1/>"},
      {"<a/b>", ecOk, ">", "<a/>"},  // "/" after the name takes the next character with it
      {"<a/", ecOk, "", "<a/>"},
      {"<a></a>", ecOk, "", "<a>{}"},
      {"<a>x</a>", ecOk, "", "<a>{\"x\"}"},
      {"<a >x</a>", ecOk, "", "<a>{\"x\"}"},  // a space before ">" and no attributes
      {"<a><b/> t</a>", ecOk, "", "<a>{<b/>\" t\"}"},
      {"<a/>  <b/>", ecOk, "  <b/>", "<a/>"},
  });
}

TEST(XmlNodeParse, AttributeCutting) {
  CheckParses({
      {"<a x=\"1\" y='2'>t</a>", ecOk, "", "<a x=1 y=2>{\"t\"}"},
      {"<a z=\"3\" x=\"1\" y=\"2\"/>", ecOk, "", "<a z=3 x=1 y=2/>"},
      // A value is cut at its space; the second half is a token without "=".
      {"<a x=\"hello world\">t</a>", ecOk, "", "<a x=hell world\"=>{\"t\"}"},
      // The first ">" ends the tag, even inside a quoted value.
      {"<a x=\"1>2\">t</a>", ecOk, "", "<a x=>{\"2\">t\"}"},
      // Two spaces where a comment was cut out give an attribute with an empty name.
      {"<a x=\"1\"  y=\"2\">t</a>", ecOk, "", "<a x=1 = y=2>{\"t\"}"},
      {"<a  x=\"1\">t</a>", ecOk, "", "<a = x=1>{\"t\"}"},
      {"<a checked>t</a>", ecOk, "", "<a checked=>{\"t\"}"},
      {"<a checked/>", ecOk, "", "<a checked=/>"},
      {"<a x=\"\"/>", ecOk, "", "<a x=/>"},
  });
}

TEST(XmlNodeParse, TextRuns) {
  CheckParses({
      {" leading", ecOk, "", "\" leading\""},  // runs to the end of S, leading space kept
      {"abc<d/>", ecOk, "<d/>", "\"abc\""},
      {"<a> x</a>", ecOk, "", "<a>{\" x\"}"},
      {"<a><b/> <c/></a>", ecOk, "", "<a>{<b/>\" \"<c/>}"},  // one space between tags
      {"<a>x<b>y</b>z</a>", ecOk, "", "<a>{\"x\"<b>{\"y\"}\"z\"}"},
  });
}

TEST(XmlNodeParse, LevelsCountFromTheGivenLevel) {
  TXMLNode Node;
  std::string S = "<a><b><c/>t</b></a>";
  ASSERT_EQ(Node.ParseString(5, S), ecOk);
  EXPECT_EQ(Node.Level(), 5);
  const TXMLNode* B = Node.GetChild(0);
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->Level(), 6);
  ASSERT_EQ(B->GetNumberOfChildren(), 2);
  EXPECT_EQ(B->GetChild(0)->Level(), 7);
  EXPECT_EQ(B->GetChild(1)->Level(), 7);
}

// The closing tag is found by search, so nothing is removed for an element without one: it has no
// children, and what follows it stays (as the rest of S, or as its parent's next children).
TEST(XmlNodeParse, MissingClosingTagRemovesNothingAfterTheOpeningTag) {
  CheckParses({
      {"<a>text", ecOk, "text", "<a>{}"},
      {"<a x=\"1\">xyz<b/>", ecOk, "xyz<b/>", "<a x=1>{}"},
      {"<r><a>x<b/></r>", ecOk, "", "<r>{<a>{}\"x\"<b/>}"},
      {"<r><br>one<br>two</r>tail", ecOk, "tail", "<r>{<br>{}\"one\"<br>{}\"two\"}"},
      {"<r><a>x</r></a>", ecOk, "</a>", "<r>{<a>{}\"x\"}"},  // its closing tag lies outside the parent
      {"<r><a><b><a></b>q</a></r>", ecOk, "", "<r>{<a>{<b>{<a>{}}\"q\"}}"},
  });
}

// The first "</name>" ends an element, so an inner element of the same name ends the outer one:
// the inner one has no children and the outer closing tag is left over.
TEST(XmlNodeParse, SameNameNestingEndsTheOuterElementEarly) {
  CheckParses({
      {"<a><a>x</a></a>", ecOk, "</a>", "<a>{<a>{}\"x\"}"},
      {"<a>p<a>q</a>r</a>", ecOk, "r</a>", "<a>{\"p\"<a>{}\"q\"}"},
      {"<r><a><a/></a></r>", ecOk, "", "<r>{<a>{<a/>}}"},  // a self-closing one does not count
  });
}

TEST(XmlNodeParse, FailuresAndWhatTheyLeave) {
  CheckParses({
      {"", ecInvalidTag, "", "<>{}"},
      {"< a>x</a>", ecInvalidTag, "< a>x</a>", "<>{}"},
      {"<>x", ecInvalidTag, "<>x", "<>{}"},
      {"</a>x", ecInvalidTag, "</a>x", "</>"},  // after "/" the node is self-closing
      {"<", ecInvalidTag, "<", "<>{}"},
      {"<abc", ecInvalidTag, "<abc", "<abc>{}"},  // the name runs to the end of S
      {"<a ", ecInvalidTag, "", "<a>{}"},         // cut off before ">": no junk attribute
      {"<a x=\"1\"", ecInvalidTag, "x=\"1\"", "<a>{}"},
  });
}

// A failing child ends every enclosing element; it stays in its parent's children, and the text
// resumes at the outermost element's closing tag, which is not removed.
TEST(XmlNodeParse, FirstFailingChildEndsTheParse) {
  CheckParses({
      {"<r>x< y>z</r>tail", ecInvalidTag, "</r>tail", "<r>{\"x\"<>{}}"},
      {"<r><a/></x><b/></r>", ecInvalidTag, "</r>", "<r>{<a/></>}"},
      {"<r><a><b>< c></b>q</a>w</r>", ecInvalidTag, "</r>", "<r>{<a>{<b>{<>{}}}}"},
      {"<r><ab</r>", ecInvalidTag, "</r>", "<r>{<ab>{}}"},  // a name that runs to the closing tag
      {"<r><a x=\"1\"</r>", ecInvalidTag, "</r>", "<r>{<a>{}}"},
  });
}

TEST(XmlNodeParse, AttributeStepConsumesThroughTheFirstGreaterThan) {
  const std::vector<ParseCase> Cases = {
      {"x=\"1\" y='2'>rest", ecOk, "rest", "< x=1 y=2>{}"},
      {"x=\"1\"/>rest", ecOk, "rest", "< x=1/>"},
      {">rest", ecOk, "rest", "<>{}"},
      {"/>", ecOk, "", "</>"},
      {"x=\"1\"", ecInvalidTag, "x=\"1\"", "<>{}"},
      {"", ecInvalidTag, "", "<>{}"},
  };
  for (const ParseCase& C : Cases) {
    SCOPED_TRACE("input [" + C.input + "]");
    TXMLNode Node;
    std::string S = "<a k=\"v\">";
    ASSERT_EQ(Node.ParseString(0, S), ecOk);  // an element with one attribute and no children
    S = C.input;
    EXPECT_EQ(Node.ParseAttributes(S), C.status);
    EXPECT_EQ(S, C.rest);
    EXPECT_EQ(Shape(Node), "<a" + C.shape.substr(1));  // the earlier attribute is gone in every case
  }
}

TEST(XmlNodeParse, ChildrenStepLeavesTheClosingTag) {
  const std::vector<ParseCase> Cases = {
      {"x<b/></p>y", ecOk, "</p>y", "<p>{\"x\"<b/>}"},
      {"</p>", ecOk, "</p>", "<p>{}"},
      {"x<b/>", ecOk, "x<b/>", "<p>{}"},  // no closing tag: no children, nothing consumed
      {"x<b>y</b></p>", ecOk, "</p>", "<p>{\"x\"<b>{\"y\"}}"},
      {"a< >b<c/></p>", ecInvalidTag, "</p>", "<p>{\"a\"<>{}}"},  // stops after the failing child
  };
  for (const ParseCase& C : Cases) {
    SCOPED_TRACE("input [" + C.input + "]");
    TXMLNode Node;
    std::string S = "<p>old</p>";
    ASSERT_EQ(Node.ParseString(2, S), ecOk);
    S = C.input;
    EXPECT_EQ(Node.ParseChildren(S), C.status);
    EXPECT_EQ(S, C.rest);
    EXPECT_EQ(Shape(Node), C.shape);  // the earlier child is gone in every case
    EXPECT_EQ(TreeFaults(Node), "");
  }
}

// With an empty tag name the closing tag looked for is "</>".
TEST(XmlNodeParse, ChildrenStepOfANewNodeEndsAtEmptyClosingTag) {
  TXMLNode Node;
  std::string S = "x<b/></>y";
  EXPECT_EQ(Node.ParseChildren(S), ecOk);
  EXPECT_EQ(S, "</>y");
  EXPECT_EQ(Shape(Node), "<>{\"x\"<b/>}");
}

// A second parse of the same node touches only what its branch names: the kind is never set back
// to ttNormal, the other text field keeps its value, and the lists are emptied only by the step
// that refills them.
TEST(XmlNodeParse, ParsingAgainKeepsWhatTheNewParseDoesNotTouch) {
  {
    TXMLNode Node;
    std::string S = "<a/>";
    ASSERT_EQ(Node.ParseString(0, S), ecOk);
    S = "<b>x</b>";
    EXPECT_EQ(Node.ParseString(1, S), ecOk);
    EXPECT_EQ(Node.TagType(), ttShorted);  // so no children step, and the closing tag stays
    EXPECT_EQ(Node.TagName(), "b");
    EXPECT_EQ(Node.Level(), 1);
    EXPECT_EQ(S, "x</b>");
  }
  {
    TXMLNode Node;
    std::string S = "hello";
    ASSERT_EQ(Node.ParseString(0, S), ecOk);
    S = "<b k=\"v\">x</b>";
    EXPECT_EQ(Node.ParseString(0, S), ecOk);
    EXPECT_EQ(Node.TagType(), ttCDATA);
    EXPECT_EQ(Node.TagName(), "b");
    EXPECT_EQ(Node.TextData(), "hello");
    EXPECT_EQ(Node.GetAttributeValue("k"), "v");
    EXPECT_EQ(S, "x</b>");
  }
  {
    TXMLNode Node;
    std::string S = "<a k=\"v\">t<b/></a>";
    ASSERT_EQ(Node.ParseString(0, S), ecOk);
    S = "zz<c/>";
    EXPECT_EQ(Node.ParseString(0, S), ecOk);
    EXPECT_EQ(Node.TagType(), ttCDATA);
    EXPECT_EQ(Node.TagName(), "a");
    EXPECT_EQ(Node.TextData(), "zz");
    EXPECT_EQ(Node.GetNumberOfChildren(), 2);
    EXPECT_EQ(Node.Attributes().Count(), 1);
    EXPECT_EQ(S, "<c/>");
  }
  {
    TXMLNode Node;
    std::string S = "<a k=\"v\">t<b/></a>";
    ASSERT_EQ(Node.ParseString(0, S), ecOk);
    S = "<c>u</c>";  // no attribute step runs, the children step does
    EXPECT_EQ(Node.ParseString(0, S), ecOk);
    EXPECT_EQ(Shape(Node), "<c k=v>{\"u\"}");
    S = "<d x=\"1\"/>";
    EXPECT_EQ(Node.ParseString(0, S), ecOk);
    EXPECT_EQ(Shape(Node), "<d x=1/>");  // the children stay, but a self-closing node shows none
    EXPECT_EQ(Node.GetNumberOfChildren(), 1);
  }
}

// Nesting is parsed and destroyed on explicit stacks: depth costs memory, never call stack.
TEST(XmlNodeParse, DeepNestingParsesAndIsDestroyed) {
  std::string S;
  S.reserve(20 * static_cast<std::size_t>(kDeep));
  for (int I = 0; I < kDeep; ++I) S.append("<e").append(std::to_string(I)).push_back('>');
  S += "x";
  for (int I = kDeep - 1; I >= 0; --I) S.append("</e").append(std::to_string(I)).push_back('>');
  S += "tail";

  auto Root = std::make_unique<TXMLNode>();
  ASSERT_EQ(Root->ParseString(0, S), ecOk);
  EXPECT_EQ(S, "tail");

  const TXMLNode* N = Root.get();
  int Depth = 0;
  bool ChainHolds = true;
  while (N->TagType() == ttNormal && N->GetNumberOfChildren() == 1) {
    N = N->GetChild(0);
    ++Depth;
    ChainHolds = ChainHolds && N->Level() == Depth;
  }
  EXPECT_TRUE(ChainHolds);
  EXPECT_EQ(Depth, kDeep);
  EXPECT_EQ(N->TagType(), ttCDATA);
  EXPECT_EQ(N->TextData(), "x");
  ASSERT_EQ(N->Level(), kDeep);
  Root.reset();
}

// Elements that are never closed each cost one failed look-up, not a scan of the rest of the text.
TEST(XmlNodeParse, ManyUnclosedElementsBecomeSiblings) {
  constexpr int kCount = 100'000;
  std::string S = "<root>";
  for (int I = 0; I < kCount; ++I) S += "<br>line " + std::to_string(I);
  S += "</root>";

  TXMLNode Root;
  ASSERT_EQ(Root.ParseString(0, S), ecOk);
  EXPECT_EQ(S, "");
  ASSERT_EQ(Root.GetNumberOfChildren(), 2 * kCount);
  bool PatternHolds = true;
  for (int I = 0; I < kCount; ++I) {
    const TXMLNode* Br = Root.GetChild(2 * I);
    const TXMLNode* Text = Root.GetChild(2 * I + 1);
    PatternHolds = PatternHolds && Br->TagName() == "br" && Br->TagType() == ttNormal &&
                   Br->GetNumberOfChildren() == 0 && Br->Level() == 1 && Text->TagType() == ttCDATA &&
                   Text->Level() == 1;
  }
  EXPECT_TRUE(PatternHolds);
  EXPECT_EQ(Root.GetChild(1)->TextData(), "line 0");
  EXPECT_EQ(Root.GetChild(2 * kCount - 1)->TextData(), "line " + std::to_string(kCount - 1));
  EXPECT_EQ(Root.GetChild(2 * 777 + 1)->TextData(), "line 777");
}

// A step may be handed a string of the very attributes or children it replaces (their fields are
// public): the old ones are released only after the step is done with the text.
TEST(XmlNodeParse, StepsTakeTextHeldByWhatTheyReplace) {
  const std::string Long = "-a-value-long-enough-to-be-held-on-the-heap";
  {
    TXMLNode Node;
    std::string S = "<a k=\"v\">t<b x=\"1\"/></a>";
    ASSERT_EQ(Node.ParseString(0, S), ecOk);
    std::string& Own = Node.Attributes()[0]->Value;
    Own = "<z q=\"1" + Long + "\">w</z>";
    EXPECT_EQ(Node.ParseString(0, Own), ecOk);
    EXPECT_EQ(Shape(Node), "<z q=1" + Long + ">{\"w\"}");
  }
  {
    TXMLNode Node;
    std::string S = "<a k=\"v\"/>";
    ASSERT_EQ(Node.ParseString(0, S), ecOk);
    std::string& Own = Node.Attributes()[0]->Value;
    Own = "x=\"1" + Long + "\" y=\"2\">rest";
    EXPECT_EQ(Node.ParseAttributes(Own), ecOk);
    EXPECT_EQ(Shape(Node), "<a x=1" + Long + " y=2/>");
  }
  {
    TXMLNode Node;
    std::string S = "<a>t<b x=\"1\"/></a>";
    ASSERT_EQ(Node.ParseString(0, S), ecOk);
    std::string& Inner = Node.GetChild(1)->Attributes()[0]->Value;
    Inner = "<c" + Long + "/>u</a>";
    EXPECT_EQ(Node.ParseChildren(Inner), ecOk);
    EXPECT_EQ(Shape(Node), "<a>{<c" + Long + "/>\"u\"}");
  }
}
