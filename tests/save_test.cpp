// Writing documents: the layout byte for byte, round trips, and SaveFile's guarantees.
#include <gtest/gtest.h>
#include <linexml/linexml.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "test_util.h"

namespace linexml {
namespace {

using test::kDefaultProlog;

TEST(SaveLayout, NeverLoadedParser) {
  TXMLParser P;
  EXPECT_EQ(P.SaveToText(), std::string(kDefaultProlog) + "<>\n</>\n");
}

TEST(SaveLayout, ElementsTextAndIndentation) {
  TXMLParser P;
  ASSERT_EQ(
      P.LoadFromText("<?xml version=\"1.0\"?>\n<r id=\"7\">\n<b/>\n hi\n<e></e>\n<c x='1'>\n<d>\ndeep\n</d>\n"
                     "</c>\n</r>"),
      ecOk);
  EXPECT_EQ(P.SaveToText(), std::string(kDefaultProlog) +
                                "<r id=\"7\">\n"
                                "  <b />\n"
                                "   hi\n"
                                "  <e>\n"
                                "  </e>\n"
                                "  <c x=\"1\">\n"
                                "    <d>\n"
                                "       deep\n"
                                "    </d>\n"
                                "  </c>\n"
                                "</r>\n");
  // A subtree keeps the indentation of its stored levels.
  std::ostringstream Sub;
  P.FindTagByName("d")->SaveToFile(Sub);
  EXPECT_EQ(Sub.str(), "    <d>\n       deep\n    </d>\n");
}

TEST(SaveLayout, PrologWithEverything) {
  TXMLParser P;
  ASSERT_EQ(
      P.LoadFromText(
          "<?xml version=\"1.1\" a=\"1\" standalone=\"no\" b='2'?>\n<!DOCTYPE r SYSTEM \"r.dtd\">\n<r/>"),
      ecOk);
  P.XMLParameters()->setXMLStyleSheet("style.xsl");
  EXPECT_EQ(P.SaveToText(),
            "<?xml version=\"1.1\" encoding=\"UTF-8\" language=\"EN\" standalone=\"no\" a=\"1\" b=\"2\"?>\n"
            "<?stylesheet link=\"style.xsl\"?>\n"
            "<!DOCTYPE r SYSTEM \"r.dtd\">\n"
            "\n"
            "<r />\n");
}

// A value holding '"' is written between "'", as XML writes it, and reads back the same.
TEST(SaveLayout, AValueHoldingADoubleQuoteGoesBetweenSingleQuotes) {
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText("<?xml version=\"1.0\" q='a\"b'?>\n<r a='say\"hi\"' b=\"it's\" c='\"'/>"), ecOk);
  const std::string Saved = P.SaveToText();
  EXPECT_EQ(Saved,
            "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\" q='a\"b'?>\n\n\n"
            "<r a='say\"hi\"' b=\"it's\" c='\"' />\n");
  TXMLParser Again;
  ASSERT_EQ(Again.LoadFromText(Saved), ecOk);
  EXPECT_EQ(test::Outline(*Again.XMLRoot()), test::Outline(*P.XMLRoot()));
  EXPECT_EQ(Again.XMLParameters()->XMLOtherAttrs()[0]->Value, "a\"b");
}

TEST(SaveLayout, FailingStreamThrows) {
  TXMLParser P;
  std::ostringstream Broken;
  Broken.setstate(std::ios::badbit);
  EXPECT_THROW(P.SaveToStream(Broken), EInOutError);
}

// Everything a reload must give back: prolog values, other attributes, structure and attributes.
std::string Shape(const TXMLParser& P) {
  const TXMLParameters& Prolog = *P.XMLParameters();
  std::string Out = Prolog.XMLVersion() + "|" + Prolog.XMLEncoding() + "|" + Prolog.XMLLanguage() + "|" +
                    Prolog.XMLStandalone() + "|";
  for (const TXMLAttribute* A : Prolog.XMLOtherAttrs()) Out += A->Name + "=" + A->Value + ";";
  return Out + "|" + Prolog.XMLDocType()->DocTypeDefinition() + "|" + test::Outline(*P.XMLRoot());
}

TEST(RoundTrip, SavedDocumentsLoadBackTheSame) {
  const char* Documents[] = {
      "<?xml version=\"1.0\"?><r/>",
      "<?xml version=\"1.1\" encoding=\"ISO-8859-1\" language=\"DE\" standalone=\"no\" x=\"1\" y=''?>\n"
      "<!DOCTYPE catalog>\n<catalog id=\"c\">\n  <!-- c -->\n  <book id=\"1\" lang=\"en\"/>\n  <book "
      "id=\"2\">\n"
      "    <title>Text</title>\n  </book>\n  <empty></empty>\n</catalog>\n",
      "<? xml version=\"1.0\" ?>\n<a><b><c><d k=\"v\"/></c></b><e/></a>",
      "<?xml version=\"1.0\"?>\n<r>\n  some text\n  <i>more</i>\n  tail\n</r>",
  };
  for (const char* Source : Documents) {
    TXMLParser First;
    ASSERT_EQ(First.LoadFromText(Source), ecOk) << Source;
    const std::string Saved = First.SaveToText();
    TXMLParser Second;
    ASSERT_EQ(Second.LoadFromText(Saved), ecOk) << Saved;
    // Text runs come back with one leading space; the rest is the same.
    std::string Expected = Shape(First);
    for (std::size_t I = 0; (I = Expected.find("(\"", I)) != std::string::npos; I += 2)
      if (Expected[I + 2] != ' ') Expected.insert(Expected.begin() + static_cast<std::ptrdiff_t>(I) + 2, ' ');
    EXPECT_EQ(Shape(Second), Expected) << Source;
    // From the second save on, the text is stable.
    const std::string SavedAgain = Second.SaveToText();
    TXMLParser Third;
    ASSERT_EQ(Third.LoadFromText(SavedAgain), ecOk);
    EXPECT_EQ(Third.SaveToText(), SavedAgain) << Source;
  }
}

// The documented rule for a text run T after a save and a load: the bytes 0..32 (spaces, tabs,
// other control bytes) at both ends are gone and one space stands in front; a run left with
// nothing is gone altogether.
TEST(RoundTrip, TextRunsComeBackTrimmedWithOneLeadingSpace) {
  std::mt19937 Random(20261208);
  const std::string Alphabet = std::string("ab  \t\x01\x1f\x7f\xc3\xa9", 11) + "&;\"'/=>-!";
  for (int Case = 0; Case < 2000; ++Case) {
    std::string Text;
    for (std::size_t N = Random() % 9; N > 0; --N) Text += Alphabet[Random() % Alphabet.size()];
    TXMLParser First;
    ASSERT_EQ(First.LoadFromText("<?xml version=\"1.0\"?><r><b/>" + Text + "<c/></r>"), ecOk);
    const TXMLNode* Run = First.XMLRoot()->GetChild(1);
    if (Run == nullptr || Run->TagType() != ttCDATA) continue;  // an empty T, or one ">" cut short
    const std::string& Loaded = Run->TextData();
    std::size_t B = 0, E = Loaded.size();
    while (B < E && static_cast<unsigned char>(Loaded[B]) <= 32) ++B;
    while (E > B && static_cast<unsigned char>(Loaded[E - 1]) <= 32) --E;

    TXMLParser Second;
    ASSERT_EQ(Second.LoadFromText(First.SaveToText()), ecOk);
    const TXMLNode& Root = *Second.XMLRoot();
    if (B == E) {
      EXPECT_EQ(Root.GetNumberOfChildren(), 2) << test::Outline(*First.XMLRoot());
    } else {
      ASSERT_EQ(Root.GetNumberOfChildren(), 3) << test::Outline(*First.XMLRoot());
      EXPECT_EQ(Root.GetChild(1)->TextData(), " " + Loaded.substr(B, E - B))
          << test::Outline(*First.XMLRoot());
    }
  }
}

class SaveFileTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  TXMLParser doc_;
  void SetUp() override { ASSERT_EQ(doc_.LoadFromText("<?xml version=\"1.0\"?><r a=\"1\">t</r>"), ecOk); }
  bool NoTemporaryLeft() const { return !test::TemporaryFileLeftIn(dir_.path()); }
};

TEST_F(SaveFileTest, WritesTheDocumentAndSetsTheName) {
  const std::string Path = dir_ / "out.xml";
  doc_.SaveFile(Path);
  EXPECT_EQ(test::ReadFile(Path), doc_.SaveToText());
  EXPECT_EQ(doc_.FileName(), Path);
  EXPECT_EQ(doc_.XMLErrorCode(), ecOk);
  EXPECT_TRUE(NoTemporaryLeft());
  TXMLParser Again;
  Again.setFileName(Path);
  EXPECT_EQ(Again.XMLErrorCode(), ecOk);
}

TEST_F(SaveFileTest, ReplacesAnExistingFileAndKeepsItsPermissionBits) {
  const std::string Path = dir_ / "out.xml";
  test::WriteFile(Path, "old content that is longer than the new document ..............................");
  ASSERT_EQ(::chmod(Path.c_str(), 0640), 0);
  doc_.SaveFile(Path);
  EXPECT_EQ(test::ReadFile(Path), doc_.SaveToText());
  struct stat St {};
  ASSERT_EQ(::stat(Path.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 07777, 0640u);
}

TEST_F(SaveFileTest, FollowsASymbolicLink) {
  const std::string Target = dir_ / "real.xml";
  const std::string Link = dir_ / "link.xml";
  test::WriteFile(Target, "old");
  ASSERT_EQ(::symlink(Target.c_str(), Link.c_str()), 0);
  doc_.SaveFile(Link);
  EXPECT_TRUE(std::filesystem::is_symlink(Link));
  EXPECT_EQ(test::ReadFile(Target), doc_.SaveToText());
}

TEST_F(SaveFileTest, FailuresThrowNameTheFileAndLoseNothing) {
  const std::string Folder = dir_ / "folder";
  std::filesystem::create_directory(Folder);
  test::WriteFile(Folder + "/keep.xml", "precious");
  for (const std::string& Bad : {Folder, dir_ / "missing/out.xml", std::string()}) {
    try {
      doc_.SaveFile(Bad);
      ADD_FAILURE() << "no exception for '" << Bad << "'";
    } catch (const EInOutError& E) {
      EXPECT_EQ(E.FileName(), Bad);
      EXPECT_FALSE(E.Cause().empty());
      EXPECT_EQ(std::string(E.what()), Bad + ": " + E.Cause());
    }
    EXPECT_EQ(doc_.FileName(), Bad);  // the name is set before the file is created
    EXPECT_EQ(doc_.XMLErrorCode(), ecOk);
  }
  EXPECT_EQ(test::ReadFile(Folder + "/keep.xml"), "precious");
  EXPECT_TRUE(std::filesystem::is_directory(Folder));
  EXPECT_TRUE(NoTemporaryLeft());
}

TEST_F(SaveFileTest, UnwritableFolderLeavesTheEarlierFile) {
  if (test::RunningAsRoot()) GTEST_SKIP() << "root writes into any folder";
  const std::string Path = dir_ / "out.xml";
  test::WriteFile(Path, "earlier");
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
  EXPECT_THROW(doc_.SaveFile(Path), EInOutError);
  ::chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(test::ReadFile(Path), "earlier");
  EXPECT_TRUE(NoTemporaryLeft());
}

}  // namespace
}  // namespace linexml
