// How messages show text: the one quoting routine (QuoteText, EscapeText), and no byte of a document
// reaching a message, a warning or a refusal raw, where a terminal would act on it.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fuzz_checks.h"
#include "test_util.h"

namespace linexml {
namespace {

TEST(Quote, EscapesControlBytesAndCutsWhole) {
  struct Case {
    std::string text;
    std::size_t max;
    const char* quoted;
  };
  const Case Cases[] = {
      {"name", std::string::npos, "\"name\""},
      {"", std::string::npos, "\"\""},
      {"a\"b\\c", std::string::npos, "\"a\\\"b\\\\c\""},
      {"\t\n\r", std::string::npos, "\"\\t\\n\\r\""},
      {std::string("\x1b[2J\x07\x7f\0", 7), std::string::npos, "\"\\x1b[2J\\x07\\x7f\\x00\""},
      {"caf\xC3\xA9", std::string::npos, "\"caf\xC3\xA9\""},  // bytes from 128 up stay
      {"abcdef", 3, "\"abc...\""},
      {"abcdef", 6, "\"abcdef\""},
      {"ab\xC3\xA9z", 3, "\"ab...\""},  // never cut inside a UTF-8 sequence
  };
  for (const Case& C : Cases) EXPECT_EQ(QuoteText(C.text, C.max), C.quoted) << C.text;
  EXPECT_EQ(EscapeText("a\"b\x1b"), "a\"b\\x1b");
  EXPECT_EQ(EscapeText("plain-name"), "plain-name");
}

// Everything a load and the save check say about Text, none of which may hold a control byte.
void ExpectNoControlBytesSaid(const std::string& Text) {
  TXMLParser P;
  TXMLLoadOptions O;
  O.CollectWarnings = O.AcceptBOM = O.AcceptNoDeclaration = true;
  P.SetLoadOptions(O);
  P.LoadFromText(Text);
  EXPECT_FALSE(fuzz::HasControlByte(P.ErrorMessage())) << QuoteText(P.ErrorMessage());
  for (const TXMLWarning& W : P.Warnings()) EXPECT_FALSE(fuzz::HasControlByte(W.Text)) << QuoteText(W.Text);
  if (const auto Fault = P.FirstUnwritable()) {
    EXPECT_FALSE(fuzz::HasControlByte(Fault->Reason)) << QuoteText(Fault->Reason);
  }
}

TEST(Quote, NoControlByteOfADocumentReachesWhatALoadSays) {
  const std::string Decl = "<?xml version=\"1.0\"?>\n";
  const std::string Cases[] = {
      Decl + "<r>\n</b\x1b[2J>\n</r>\n",                           // a stray closing tag
      Decl + "<r\x1b]0;t\x07>\n<a/>\n",                            // a root without its closing tag
      Decl + "<r>\n<a n\x1b[1m=\"x y\"/>\n</r>\n",                 // a value cut, named by its attribute
      Decl + "<r>\n<a\x1b>\n<b/>\n</r>\n",                         // an element without its closing tag
      Decl + "<r>\n<g\x1b>\n<g\x1b>\n</g\x1b>\n</g\x1b>\n</r>\n",  // same-name nesting
      Decl + "<r>\n<x>\n<g\x07>\n<g\x07>y</g\x07>\n</g\x07>\n</x>\n</r>\n",
      Decl + "<r/>\n</q\x1b>\n",  // a closing tag after the root
      Decl + "<r/>\n\x1btext\n",  // text after the root
      "<?xml version=\"1.0\" encoding=\"a\x1b\" encoding=\"b\"?>\n<r/>\n",
      "<?\x1b\x07x?>\n",                                    // another instruction first
      Decl + "<!DOCTYPE r [\x1b<!ENTITY a \"b\">\n<r/>\n",  // a cut internal subset
      Decl + "<r>\n<!-- \x1b -->\n&\x1b;&#\x1b;\n</r>\n",
  };
  for (const std::string& Text : Cases) ExpectNoControlBytesSaid(Text);
}

// The same over the committed documents with control bytes put anywhere.
TEST(Quote, NoControlByteReachesWhatALoadSaysOfDamagedDocuments) {
  std::mt19937 Random(19);
  const char kBytes[] = {'\x1b', '\x07', '\x7f', '\x01', '\t', '\x08'};
  const std::filesystem::path Corpus = std::filesystem::path(LINEXML_FUZZ_CORPUS_DIR) / "load";
  for (const auto& Entry : std::filesystem::directory_iterator(Corpus)) {
    const std::string Original = test::ReadFile(Entry.path().string());
    if (Original.empty()) continue;
    for (int Round = 0; Round < 40; ++Round) {
      std::string Text = Original;
      for (int K = 0; K < 3; ++K)
        Text.insert(Text.begin() + static_cast<std::ptrdiff_t>(Random() % (Text.size() + 1)),
                    kBytes[Random() % sizeof kBytes]);
      ExpectNoControlBytesSaid(Text);
    }
  }
}

}  // namespace
}  // namespace linexml
