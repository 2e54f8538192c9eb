// What a save can write so that a load reads it back the same: the rules for names, values and
// texts (each checked against a real save and load), the document check with what it reports, and
// the entity conversions for other XML readers.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <functional>
#include <random>
#include <string>

#include "test_util.h"

namespace linexml {
namespace {

// Every string of up to MaxLength bytes drawn from Alphabet, then Random ones longer than that.
template <class Fn>
void ForStrings(const std::string& Alphabet, std::size_t MaxLength, Fn&& Each) {
  std::vector<std::string> Level{""};
  for (std::size_t L = 0; L <= MaxLength; ++L) {
    std::vector<std::string> Next;
    for (const std::string& S : Level) {
      Each(S);
      if (L < MaxLength)
        for (const char C : Alphabet) Next.push_back(S + C);
    }
    Level.swap(Next);
  }
  std::mt19937 Random(20261208);
  for (int I = 0; I < 3000; ++I) {
    std::string S;
    for (std::size_t N = MaxLength + 1 + Random() % 6; N > 0; --N) S += Alphabet[Random() % Alphabet.size()];
    Each(S);
  }
}

// A document made with the parse steps (which take their text as it is, unlike a load), saved and
// loaded again.
struct RoundTrip {
  explicit RoundTrip(const std::string& Body) {
    std::string S = Body;
    first_ok = First.XMLRoot()->ParseString(0, S) == ecOk && S.empty();
    second_status = Second.LoadFromText(First.SaveToText());
  }
  TXMLParser First, Second;
  bool first_ok = false;
  TXMLErrorCode second_status = ecOk;
};

// The name of the element between the two text runs of the root, or "?".
std::string ChildName(const TXMLParser& P) {
  const TXMLNode* R = P.XMLRoot();
  return R->GetNumberOfChildren() == 3 && R->GetChild(1)->TagType() != ttCDATA ? R->GetChild(1)->TagName()
                                                                               : "?";
}

TEST(Writable, NamesAreWhatTagAndAttributeNamesCarry) {
  // Bytes that a tag name can hold at all (a space, "/" and ">" end it: never writable).
  ForStrings(std::string("a!-<=\"\t\n?\xc3", 10), 4, [](const std::string& Name) {
    SCOPED_TRACE("name [" + Name + "]");
    // The "-->" after it ends a comment that the name might start.
    RoundTrip AsTag("<r>t<" + Name + "><x/></" + Name + ">--></r>");
    const bool TagComesBack =
        AsTag.first_ok && AsTag.second_status == ecOk && ChildName(AsTag.Second) == Name && !Name.empty();
    RoundTrip AsAttribute("<r " + Name + "=\"v\"/>");
    const TXMLNode& R = *AsAttribute.Second.XMLRoot();
    const bool AttributeComesBack = AsAttribute.second_status == ecOk && R.Attributes().Count() == 1 &&
                                    R.Attributes()[0]->Name == Name && R.Attributes()[0]->Value == "v";
    if (IsWritableName(Name)) {
      EXPECT_TRUE(TagComesBack);
      EXPECT_TRUE(AttributeComesBack);
    } else if (Name.find('"') == std::string::npos) {
      // '"' is refused for what a closing tag inside an attribute could do elsewhere in a document.
      EXPECT_FALSE(TagComesBack && AttributeComesBack);
    }
  });
  for (const char* Never : {"a b", "a/b", "a>b", ""}) EXPECT_FALSE(IsWritableName(Never)) << Never;
}

TEST(Writable, ValuesAreWhatAttributeValuesCarry) {
  ForStrings(std::string("a <>!-\"'=/?\t\n\r\x01\xc3", 16), 3, [](const std::string& Value) {
    SCOPED_TRACE("value [" + Value + "]");
    for (const bool Shorted : {false, true}) {
      TXMLParser P;
      P.New("r");
      P.XMLRoot()->SetAttributeValue("first", Value);  // unchecked: anything goes in
      P.XMLRoot()->SetAttributeValue("last", Value);
      if (!Shorted) P.XMLRoot()->AddChild("x");
      TXMLParser Again;
      const bool ComesBack = Again.LoadFromText(P.SaveToText()) == ecOk &&
                             Again.XMLRoot()->Attributes().Count() == 2 &&
                             Again.XMLRoot()->GetAttributeValue("first") == Value &&
                             Again.XMLRoot()->GetAttributeValue("last") == Value;
      EXPECT_EQ(IsWritableValue(Value), ComesBack) << (Shorted ? "self-closing" : "normal");
    }
  });
}

TEST(Writable, TextsComeBackAsTheyWereOrWithOneSpaceInFront) {
  ForStrings(std::string("a \t>&\x01\xc3\n", 8), 4, [](const std::string& Text) {
    SCOPED_TRACE("text [" + Text + "]");
    RoundTrip R("<r><a/>" + Text + "<b/></r>");
    const TXMLNode& Back = *R.Second.XMLRoot();
    const bool ComesBack =
        !Text.empty() && R.second_status == ecOk && Back.GetNumberOfChildren() == 3 &&
        (Back.GetChild(1)->TextData() == Text || Back.GetChild(1)->TextData() == " " + Text);
    EXPECT_EQ(IsWritableText(Text), ComesBack);
  });
  for (const char* Never : {"a<b", "<", "a\nb"}) EXPECT_FALSE(IsWritableText(Never)) << Never;
}

// ---- the document check -------------------------------------------------------------------------

// What a load does to a text run on its own line is the documented text rule of a save (ends
// trimmed, spaces collapsed, one space in front, an empty run gone): the check lets it pass, and the
// reload is the document under that rule. A line break inside a run (only the string parse steps
// can make one) changes the tree, and is found.
TEST(Unwritable, TextRunsFollowTheTextRule) {
  const char* const Passing[] = {
      "<?xml version=\"1.0\"?><r><a/> <b/></r>", "<?xml version=\"1.0\"?><r>\n<a/>\tx\x01<b/></r>",
      "<?xml version=\"1.0\"?><r>Hello <b>x</b> world</r>", "<?xml version=\"1.0\"?><r>a <!-- c --> b</r>"};
  for (const char* Source : Passing) {
    SCOPED_TRACE(Source);
    TXMLParser P;
    ASSERT_EQ(P.LoadFromText(Source), ecOk);
    EXPECT_FALSE(P.FirstUnwritable().has_value());
    TXMLParser Again;
    ASSERT_EQ(Again.LoadFromText(P.SaveToText()), ecOk);
    EXPECT_FALSE(Again.FirstUnwritable().has_value());
  }
  TXMLParser P;
  std::string Body = "<r>a\nb</r>";
  ASSERT_EQ(P.XMLRoot()->ParseString(0, Body), ecOk);
  const auto Fault = P.FirstUnwritable();
  ASSERT_TRUE(Fault.has_value());
  EXPECT_EQ(Fault->Reason, "byte 2 of the text is 0x0A, a line break, which splits the line");
}

TEST(Unwritable, LoadedDocumentsThatWouldNotComeBackAreFound) {
  struct Case {
    const char* source;
    const char* node;  // the tag name (or "text") of the node at fault; "" for the prolog
    const char* reason;
    bool lost = true;  // whether this document indeed does not come back (see '"' in names)
  };
  const Case Cases[] = {
      // An unclosed comment start stays in the text: an element named "!--", whose "<!--" starts a
      // comment on a later load as soon as anything after it holds "-->" (here nothing does yet).
      {"<?xml version=\"1.0\"?><r><!-- a=\"1\"/></r>", "!--", "bytes 1 to 3 of the tag name are \"!--\"",
       false},
      // Its closing tag "</!-->" holds one.
      {"<?xml version=\"1.0\"?><r><!-- a=\"1\">x</r>", "!--", "bytes 1 to 3 of the tag name are \"!--\""},
      {"<?xml version=\"1.0\"?><r><a><a>x</a></r>", "a",
       "a normal element inside an element of the same name"},
      {"<?xml version=\"1.0\"?><?pi x?><!r/>", "!r", "the root's name begins with '!'"},
      {"<?xml version=\"1.0\"?><r a\"b=\"1\"/>", "r", "byte 2 of the name of attribute 1 is '\"'", false},
      {"<?xml version=\"1.0\" encoding?><r/>", "",
       "is named \"encoding\", so a load takes it for that keyword"},
      {"<?xml version=\"1.0\"?><!DOCTYPE a <!-- c --> b><r/>", "", "two spaces in a row"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.source);
    TXMLParser P;
    ASSERT_EQ(P.LoadFromText(C.source), ecOk);
    const auto Fault = P.FirstUnwritable();
    ASSERT_TRUE(Fault.has_value());
    const std::string At = Fault->Node == nullptr              ? ""
                           : Fault->Node->TagType() == ttCDATA ? "text"
                                                               : Fault->Node->TagName();
    EXPECT_EQ(At, C.node);
    EXPECT_NE(Fault->Reason.find(C.reason), std::string::npos) << Fault->Reason;
    // And indeed it does not come back: the reload differs or fails.
    if (!C.lost) continue;
    TXMLParser Again;
    const TXMLErrorCode Status = Again.LoadFromText(P.SaveToText());
    EXPECT_TRUE(Status != ecOk || Again.SaveToText() != P.SaveToText() ||
                test::Outline(*Again.XMLRoot()) != test::Outline(*P.XMLRoot()) ||
                Again.XMLParameters()->XMLOtherAttrs().Count() != P.XMLParameters()->XMLOtherAttrs().Count());
  }
}

// A save that writes the standard declaration claims to be XML: the check with its options also
// refuses what an XML reader cannot read, where the format alone reads it back fine.
TEST(Unwritable, AsXmlOnlyWhatAnXmlReaderReads) {
  struct Case {
    std::string source;
    const char* node;    // the tag name (or "text") of the node at fault; "" for the prolog
    const char* reason;  // empty: an XML reader reads it
  };
  const std::string Decl = "<?xml version=\"1.0\"?>";
  const Case Cases[] = {
      {Decl + "<r a='two words'/>", "r",
       "byte 6 of the name of attribute 2 is ''', which an XML name cannot hold"},
      {Decl + "<r a=\"x&y\"/>", "r",
       "byte 2 of the value of attribute \"a\" is '&', which starts no reference"},
      {Decl + "<r>Tom & Jerry</r>", "text", "byte 5 of the text is '&', which starts no reference"},
      {Decl + "<r>a ]]> b</r>", "text",
       "bytes 3 to 5 of the text are \"]]>\", which an XML reader does not allow"},
      {Decl + "<1a/>", "1a", "byte 1 of the tag name is '1', which cannot begin an XML name"},
      {Decl + "<r a=\"1\" a=\"2\"/>", "r", "attribute 2 repeats the name \"a\" of attribute 1"},
      {Decl + "<r a=\"&copy;\"/>", "r", "is '&', which starts no reference"},
      {"<?xml version=\"1.0\" standalone=\"no\"?><!DOCTYPE r SYSTEM \"r.dtd\"><r a=\"&copy;\"/>", "", ""},
      {Decl + "<r>a\x01"
              "b</r>",
       "text", "byte 2 of the text is 0x01, which is no character of XML 1.0"},
      {Decl + "<r>caf\xE9</r>", "text",
       "byte 4 of the text is 0xE9, which does not begin a well-formed UTF-8"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xE9</r>", "", ""},
      {Decl + "<r a=\"x<y\"/>", "r", "byte 2 of the value of attribute \"a\" is '<'"},
      {Decl + "<r a=\"x\"y\"/>", "r", "byte 2 of the value of attribute \"a\" is '\"', which ends the value"},
      {"<?xml version=\"2.0\"?><r/>", "", "the declaration's version is \"2.0\", which is no XML version"},
      {"<?xml version=\"1.0\" standalone=\"maybe\"?><r/>", "", "the declaration's standalone is \"maybe\""},
      {"<?xml version=\"1.0\" extra=\"x\"?><r/>", "", "the declaration has an attribute \"extra\""},
      {Decl + "<!doctype r><r/>", "", "does not begin with \"<!DOCTYPE \""},
      {Decl + "<r a=\"&amp;&#233;&#x41;\">caf\xC3\xA9 &lt; <b:c-d.e/></r>", "", ""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.source);
    TXMLParser P;
    ASSERT_EQ(P.LoadFromText(C.source), ecOk);
    EXPECT_FALSE(P.FirstUnwritable().has_value());  // the format itself reads it back
    EXPECT_FALSE(P.FirstUnwritable(TXMLSaveOptions{}).has_value());
    const auto Fault = P.FirstUnwritable(TXMLSaveOptions::Interoperable());
    if (std::string(C.reason).empty()) {
      EXPECT_FALSE(Fault.has_value()) << Fault->Reason;
      continue;
    }
    ASSERT_TRUE(Fault.has_value());
    const std::string At = Fault->Node == nullptr              ? ""
                           : Fault->Node->TagType() == ttCDATA ? "text"
                                                               : Fault->Node->TagName();
    EXPECT_EQ(At, C.node);
    EXPECT_NE(Fault->Reason.find(C.reason), std::string::npos) << Fault->Reason;
  }
}

TEST(Unwritable, EditedAndBuiltDocumentsAreCheckedToo) {
  struct Case {
    const char* what;
    std::function<void(TXMLParser&)> edit;
    const char* reason;
  };
  const Case Cases[] = {
      {"nothing but a new parser", [](TXMLParser&) {}, "the tag name is empty"},
      {"two text runs side by side",
       [](TXMLParser& P) {
         P.New("r");
         P.XMLRoot()->AddText("a");
         P.XMLRoot()->AddText("b");
       },
       "a text run right after another"},
      {"a normal element of the same name below",
       [](TXMLParser& P) {
         P.New("r");
         P.XMLRoot()->AddChild("r")->AddChild("x");
       },
       "inside an element of the same name"},
      {"an unchecked value",
       [](TXMLParser& P) {
         P.New("r");
         P.XMLRoot()->SetAttributeValue("k", "a b");
       },
       "byte 2 of the value of attribute \"k\" is ' '"},
      {"a root parsed at another level",
       [](TXMLParser& P) {
         std::string S = "<r/>";
         P.XMLRoot()->ParseString(3, S);
       },
       "the root's level is 3, not 0"},
      {"a style sheet and a document type",
       [](TXMLParser& P) {
         ASSERT_EQ(P.LoadFromText("<?xml version=\"1.0\"?><!DOCTYPE d><r/>"), ecOk);
         P.XMLParameters()->setXMLStyleSheet("s.xsl");
       },
       "a style-sheet link and a document-type line"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.what);
    TXMLParser P;
    C.edit(P);
    const auto Fault = P.FirstUnwritable();
    ASSERT_TRUE(Fault.has_value());
    EXPECT_NE(Fault->Reason.find(C.reason), std::string::npos) << Fault->Reason;
  }
}

TEST(Unwritable, DocumentsThatPassComeBackTheSame) {
  const char* const Sources[] = {
      "<?xml version=\"1.0\" x=\"1\"?><!DOCTYPE r><r a='1' b=\"\"><a><b/></a>\ntext\n<c/>\nmore\n<a/></r>",
      "<?xml version=\"1.0\"?><!DOCTYPE d><!root><a/></!root>",  // a document type in front
      "<?xml version=\"1.0\"?><r><r/><x><r/></x></r>",           // same names, but self-closing
  };
  for (const char* Source : Sources) {
    TXMLParser P;
    ASSERT_EQ(P.LoadFromText(Source), ecOk) << Source;
    ASSERT_EQ(P.FirstUnwritable(), std::nullopt) << Source << ": " << P.FirstUnwritable()->Reason;
    TXMLParser Again;
    ASSERT_EQ(Again.LoadFromText(P.SaveToText()), ecOk);
    EXPECT_EQ(Again.SaveToText(), P.SaveToText()) << Source;
  }
  // The example catalogue, as the tool's examples use it.
  TXMLParser Catalog;
  Catalog.setFileName(LINEXML_EXAMPLES_DIR "/catalog.xml");
  ASSERT_EQ(Catalog.XMLErrorCode(), ecOk);
  EXPECT_EQ(Catalog.FirstUnwritable(), std::nullopt);
}

// ---- entities ---------------------------------------------------------------------------------------

TEST(Entities, EncodeWritesTheFivePredefinedOnes) {
  EXPECT_EQ(EncodeEntities("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  EXPECT_EQ(EncodeEntities(""), "");
  EXPECT_EQ(EncodeEntities("\xc3\xa9 plain"), "\xc3\xa9 plain");
  EXPECT_EQ(DecodeEntities(EncodeEntities("<&amp;>")), "<&amp;>");
}

TEST(Entities, DecodeReadsThemAndCharacterReferences) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case Cases[] = {
      {"&lt;&gt;&amp;&quot;&apos;", "<>&\"'"},
      {"&amp;lt;", "&lt;"},  // one pass
      {"&#65;&#x42;&#x63;", "ABc"},
      {"&#233;", "\xc3\xa9"},
      {"&#x20AC;", "\xe2\x82\xac"},
      {"&#x1F600;", "\xf0\x9f\x98\x80"},
      {"&#x10FFFF;", "\xf4\x8f\xbf\xbf"},
      {"&#x110000;", "&#x110000;"},  // past the last code point
      {"&#xD800;", "&#xD800;"},      // a surrogate
      {"&#0;", "&#0;"},
      {"&#99999999999999999999999;", "&#99999999999999999999999;"},
      {"&#X41;", "&#X41;"},  // only a lower-case x
      {"&#;&#x;&#12", "&#;&#x;&#12"},
      {"&nbsp;&copy", "&nbsp;&copy"},
      {"a & b &", "a & b &"},
      {"&&lt;", "&<"},
  };
  for (const Case& C : Cases) EXPECT_EQ(DecodeEntities(C.in), C.out) << C.in;
}

}  // namespace
}  // namespace linexml
