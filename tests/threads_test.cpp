// Reading one loaded document from several threads (searching, selecting by path, navigating,
// checking, saving), and separate parsers on separate threads.
// Meant to run under ThreadSanitizer (the tsan preset) as well as in the ordinary builds.
#include <gtest/gtest.h>
#include <linexml/linexml.h>

#include <sstream>
#include <thread>
#include <vector>

namespace linexml {
namespace {

std::string Catalogue(int Books) {
  std::string Text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog>\n";
  for (int I = 0; I < Books; ++I) {
    const std::string Id = std::to_string(I);
    Text +=
        "  <book id=\"" + Id + "\" shelf=\"s" + Id + "\">\n    <title>Book " + Id + "</title>\n  </book>\n";
  }
  return Text + "</catalog>\n";
}

struct Answers {
  std::string found;
  std::string attribute;
  std::string child;
  std::int32_t count = 0;
  std::string saved;
  std::string selected;  // paths, text, navigation and the document check
  bool operator==(const Answers&) const = default;
};

Answers Ask(const TXMLParser& P) {
  Answers A;
  A.found = P.FindTagByName("title")->Children()[0]->TextData();
  A.attribute = P.FindTagByName("book")->GetAttributeValue("shelf");
  A.child = P.XMLRoot()->GetChild(3)->GetAttributeValue("id");
  A.count = P.XMLRoot()->GetNumberOfChildren();
  const TXMLNode* Book = P.Select("/catalog/book[7]");
  A.selected = Book->Select("title")->Text() + "|" + std::to_string(P.SelectAll("//book//title/..").size()) +
               "|" + Book->NextSibling()->FindAttribute("id")->Value + "|" + Book->Parent()->TagName() + "|" +
               std::to_string(P.FirstUnwritable().has_value());
  std::ostringstream Out;
  P.SaveToStream(Out);
  A.saved = Out.str();
  return A;
}

TEST(Threads, ManyReadersShareOneDocument) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText(Catalogue(200)), ecOk);
  const Answers Expected = Ask(P);
  EXPECT_EQ(Expected.attribute, "s199");
  EXPECT_EQ(Expected.selected, "Book 6|200|7|catalog|0");
  std::vector<Answers> Got(4);
  std::vector<std::thread> Readers;
  for (std::size_t T = 0; T < Got.size(); ++T)
    Readers.emplace_back([&, T] {
      for (int Round = 0; Round < 5; ++Round) Got[T] = Ask(P);
    });
  for (std::thread& R : Readers) R.join();
  for (const Answers& A : Got) EXPECT_EQ(A, Expected);
}

TEST(Threads, SeparateParsersShareNothing) {
  std::vector<std::string> Saved(4);
  std::vector<std::thread> Workers;
  for (std::size_t T = 0; T < Saved.size(); ++T)
    Workers.emplace_back([&, T] {
      TXMLParser P;
      if (P.LoadFromText(Catalogue(50 + static_cast<int>(T))) != ecOk) return;
      P.FindTagByName("book")->SetAttributeValue("owner", "thread" + std::to_string(T));
      Saved[T] = P.SaveToText();
    });
  for (std::thread& W : Workers) W.join();
  for (std::size_t T = 0; T < Saved.size(); ++T) {
    TXMLParser Check;
    ASSERT_EQ(Check.LoadFromText(Saved[T]), ecOk);
    EXPECT_EQ(Check.FindTagByName("book")->GetAttributeValue("owner"), "thread" + std::to_string(T));
    EXPECT_EQ(Check.XMLRoot()->GetNumberOfChildren(), 50 + static_cast<int>(T));
  }
}

}  // namespace
}  // namespace linexml
