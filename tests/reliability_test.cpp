// Bad input of every kind: documents cut at every byte or with bytes changed, a million nested
// elements, lines of hundreds of megabytes, millions of empty lines, and files that are not
// ordinary files. None may crash, hang, overflow the stack or leak (the sanitizer and valgrind runs
// check the last). The big cases are scaled down where the build makes them slow.

#include <gtest/gtest.h>
#include <linexml/linexml.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <streambuf>
#include <string>
#include <vector>

#include "child_process.h"
#include "test_util.h"

namespace linexml {
namespace {

using test::NestedDocument;
using test::Scaled;
using test::ScaledDepth;
using test::SlowDown;
using test::UnderSanitizer;
using test::UnderValgrind;

class Stopwatch {
 public:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Time since the last report and the process's peak memory so far, for the test log.
void Report(const std::string& What, Stopwatch& Clock) {
  rusage Usage{};
  ::getrusage(RUSAGE_SELF, &Usage);
  std::cout << "[ measure  ] " << What << ": " << Clock.Seconds() << " s, peak RSS of the process "
            << Usage.ru_maxrss / 1024 << " MB\n";
  Clock = Stopwatch();
}

std::vector<std::string> SampleDocuments() {
  std::vector<std::string> Docs;
  for (const char* Folder : {LINEXML_FUZZ_CORPUS_DIR "/load", LINEXML_EXAMPLES_DIR}) {
    std::error_code Ignored;
    if (!std::filesystem::is_directory(Folder, Ignored)) continue;
    for (const auto& E : std::filesystem::recursive_directory_iterator(Folder, Ignored)) {
      if (!E.is_regular_file() || E.path().extension() != ".xml") continue;
      if (E.file_size() <= 64 * 1024) Docs.push_back(test::ReadFile(E.path().string()));
    }
  }
  return Docs;
}

// Loads Text, then queries and saves what came out; the saved text must load again.
void LoadAndUse(const std::string& Text) {
  TXMLParser P;
  const TXMLErrorCode Status = P.LoadFromText(Text);
  ASSERT_TRUE(Status == ecOk || Status == ecInvalidFileFormat || Status == ecNotValid ||
              Status == ecInvalidTag)
      << int(Status);
  (void)P.FindTagByName("r");
  (void)P.XMLRoot()->GetChild(0);
  TXMLParser Again;
  (void)Again.LoadFromText(P.SaveToText());
}

TEST(BadInput, EveryDocumentCutAtEveryByte) {
  const std::vector<std::string> Docs = SampleDocuments();
  ASSERT_GE(Docs.size(), 10u);
  std::size_t Loads = 0;
  for (const std::string& Doc : Docs) {
    // Every byte of the documents of up to 16 KB (4 KB under valgrind); an even spread of cuts in
    // larger ones.
    const std::size_t Cuts = SlowDown() > 10 ? 4096 : 16384;
    const std::size_t Step = std::max<std::size_t>(1, Doc.size() / Cuts);
    for (std::size_t Cut = 0; Cut <= Doc.size(); Cut += Step, ++Loads) {
      LoadAndUse(Doc.substr(0, Cut));
      if (HasFatalFailure()) return;
    }
  }
  std::cout << "[ measure  ] " << Loads << " cut documents loaded\n";
}

TEST(BadInput, RandomByteChanges) {
  std::mt19937_64 Rng(42);
  const std::vector<std::string> Docs = SampleDocuments();
  const int Rounds = static_cast<int>(std::max<long long>(20, Scaled(400)));
  for (const std::string& Doc : Docs) {
    if (Doc.empty()) continue;
    std::uniform_int_distribution<std::size_t> Where(0, Doc.size() - 1);
    std::uniform_int_distribution<int> Byte(0, 255), Count(1, 8);
    // Bytes that matter most to the parse, besides any byte at all.
    const std::string Syntax = "<>/=\"' ?!-\n\r\t";
    std::uniform_int_distribution<std::size_t> Pick(0, Syntax.size() - 1);
    for (int Round = 0; Round < Rounds; ++Round) {
      std::string Damaged = Doc;
      for (int N = Count(Rng); N > 0; --N)
        Damaged[Where(Rng)] = Round % 2 == 0 ? static_cast<char>(Byte(Rng)) : Syntax[Pick(Rng)];
      LoadAndUse(Damaged);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(Depth, AMillionNestedElementsLoadSearchAndDestroyWithoutRecursion) {
  const long long Depth = ScaledDepth(1'000'000);
  test::TempDir Dir;
  const std::string Path = Dir / "deep.xml";
  test::WriteFile(Path, NestedDocument(Depth));
  Stopwatch Clock;
  {
    TXMLParser P;
    P.setFileName(Path);
    ASSERT_EQ(P.XMLErrorCode(), ecOk);
    Report("load of " + std::to_string(Depth) + " nested elements", Clock);

    const TXMLNode* Deepest = P.FindTagByName("n" + std::to_string(Depth - 1));
    ASSERT_NE(Deepest, nullptr);
    EXPECT_EQ(Deepest->Level(), Depth - 1);
    ASSERT_EQ(Deepest->GetNumberOfChildren(), 1);
    EXPECT_EQ(Deepest->GetChild(0)->TextData(), " leaf");
    EXPECT_EQ(P.FindTagByName("absent"), nullptr);  // a walk over the whole chain
    Report("searches", Clock);
  }
  Report("destruction", Clock);
}

// Counts what is written and keeps the last bytes, storing nothing else.
class CountingBuffer : public std::streambuf {
 public:
  long long Count() const { return count_; }
  const std::string& Tail() const { return tail_; }

 protected:
  std::streamsize xsputn(const char* Data, std::streamsize Size) override {
    count_ += Size;
    const auto N = static_cast<std::size_t>(Size);
    if (N >= 16) {
      tail_.assign(Data + N - 16, 16);
    } else {
      tail_.append(Data, N);
      if (tail_.size() > 16) tail_.erase(0, tail_.size() - 16);
    }
    return Size;
  }
  int_type overflow(int_type C) override {
    if (C != traits_type::eof()) {
      const char Ch = traits_type::to_char_type(C);
      xsputn(&Ch, 1);
    }
    return traits_type::not_eof(C);
  }

 private:
  long long count_ = 0;
  std::string tail_;
};

TEST(Depth, DeepChainIsSavedWithoutRecursion) {
  // The layout indents every line by its level: a chain of N elements is about 2 N^2 bytes, 10^12
  // for a million. It is saved at a depth of 100,000 (2 * 10^10 bytes) to a stream that only counts.
  const long long Depth = ScaledDepth(100'000);
  TXMLParser P;
  ASSERT_EQ(P.LoadFromText(NestedDocument(Depth)), ecOk);
  Stopwatch Clock;
  CountingBuffer Counter;
  std::ostream Out(&Counter);
  P.XMLRoot()->SaveToFile(Out);
  Report("save of " + std::to_string(Depth) + " nested elements", Clock);
  // Level L: "<nL>" and "</nL>" lines indented by 2L, and the text line at level N.
  long long Expected = 0;
  for (long long L = 0; L < Depth; ++L)
    Expected += 2 * (2 * L) + 2 * static_cast<long long>(std::to_string(L).size() + 1) + 3 + 4;
  Expected += 2 * Depth + 6;  // " leaf\n"
  EXPECT_EQ(Counter.Count(), Expected);
  EXPECT_EQ(Counter.Tail().substr(Counter.Tail().size() - 6), "</n0>\n");
  // A further load on the same parser first drops the deep tree, also without recursion.
  ASSERT_EQ(P.LoadFromText(NestedDocument(3)), ecOk);
  EXPECT_EQ(P.FindTagByName("n2")->Level(), 2);
}

TEST(Size, A200MegabyteLine) {
  const long long Bytes = Scaled(200'000'000);
  test::TempDir Dir;
  const std::string Path = Dir / "line.xml";
  std::string Text;
  {
    std::string Run;
    Run.reserve(static_cast<std::size_t>(Bytes));
    while (static_cast<long long>(Run.size()) < Bytes) Run += "lorem ipsum dolor ";
    Text = "<?xml version=\"1.0\"?><r a=\"1\">" + Run + "</r>";
    test::WriteFile(Path, Text);
  }
  const std::size_t RunSize = Text.size() - std::string("<?xml version=\"1.0\"?><r a=\"1\"></r>").size();
  Text = std::string();
  Stopwatch Clock;
  TXMLParser P;
  P.setFileName(Path);
  ASSERT_EQ(P.XMLErrorCode(), ecOk);
  ASSERT_EQ(P.XMLRoot()->GetNumberOfChildren(), 1);
  EXPECT_EQ(P.XMLRoot()->GetChild(0)->TextData().size(), RunSize);
  Report("load of a " + std::to_string(Bytes / 1'000'000) + " MB line", Clock);
}

TEST(Size, TenMillionEmptyLines) {
  const long long Lines = Scaled(10'000'000);
  test::TempDir Dir;
  const std::string Path = Dir / "empty_lines.xml";
  const std::string Empty(static_cast<std::size_t>(Lines), '\n');
  test::WriteFile(Path, "<?xml version=\"1.0\"?>\n<r>\n" + Empty + "< broken/>\n</r>\n");
  Stopwatch Clock;
  TXMLParser P;
  P.setFileName(Path);
  EXPECT_EQ(P.XMLErrorCode(), ecInvalidTag);
  EXPECT_EQ(P.ErrorLine(), Lines + 3);  // the line is still known after millions of skipped ones
  test::WriteFile(Path, "<?xml version=\"1.0\"?>\n" + Empty + "<r>\n" + Empty + "</r>\n" + Empty);
  P.setFileName(Path);
  EXPECT_EQ(P.XMLErrorCode(), ecOk);
  EXPECT_EQ(P.XMLRoot()->GetNumberOfChildren(), 0);
  Report("two loads of " + std::to_string(Lines) + " empty lines", Clock);
}

// More lines than a 32-bit count holds: the line of a failure is still right, not wrapped around.
TEST(Size, ErrorLinePastTwoToThe31) {
  if (UnderSanitizer() || UnderValgrind())
    GTEST_SKIP() << "two gigabytes of line ends: too slow under the tools";
  const std::uint64_t Empty = (std::uint64_t{1} << 31) + 5;
  test::TempDir Dir;
  const std::string Path = Dir / "lines.xml";
  {
    std::ofstream Out(Path, std::ios::binary);
    Out << "<?xml version=\"1.0\"?>\n<r>\n";
    const std::string Block(std::size_t{1} << 20, '\n');
    std::uint64_t Left = Empty;
    for (; Left >= Block.size(); Left -= Block.size())
      Out.write(Block.data(), static_cast<std::streamsize>(Block.size()));
    Out.write(Block.data(), static_cast<std::streamsize>(Left));
    Out << "< broken/>\n</r>\n";
    ASSERT_TRUE(Out.good());
  }
  Stopwatch Clock;
  TXMLParser P;
  P.setFileName(Path);
  EXPECT_EQ(P.XMLErrorCode(), ecInvalidTag);
  EXPECT_EQ(static_cast<std::uint64_t>(P.ErrorLine()), Empty + 3);
  Report("load of " + std::to_string(Empty) + " empty lines", Clock);
}

TEST(Size, A50MegabyteLineOfSpaces) {
  const auto Spaces = static_cast<std::size_t>(Scaled(50'000'000));
  test::TempDir Dir;
  const std::string Path = Dir / "spaces.xml";
  // Alone on its line the run trims away; between two words it becomes one space.
  test::WriteFile(Path, "<?xml version=\"1.0\"?>\n<r>\n" + std::string(Spaces, ' ') + "\n<a>x" +
                            std::string(Spaces, ' ') + "y</a>\n</r>\n");
  Stopwatch Clock;
  TXMLParser P;
  P.setFileName(Path);
  ASSERT_EQ(P.XMLErrorCode(), ecOk);
  ASSERT_EQ(P.XMLRoot()->GetNumberOfChildren(), 1);
  EXPECT_EQ(P.XMLRoot()->GetChild(0)->GetChild(0)->TextData(), "x y");
  Report("load of two lines of " + std::to_string(Spaces) + " spaces", Clock);
}

// A document of Bytes or more: elements of a few names, each with an attribute and a text run of
// about 8 KB that names its element, one a line, inside one root.
std::string LargeRecords(std::size_t Bytes, std::size_t& Count) {
  std::string Text = "<?xml version=\"1.0\"?>\n<root>\n";
  Text.reserve(Bytes + 16 * 1024);
  const std::string Filler(8000, 'x');
  for (Count = 0; Text.size() < Bytes; ++Count) {
    const std::string N = std::to_string(Count);
    Text += "<e" + std::to_string(Count % 7) + " n=\"" + N + "\">" + N + Filler + N + "</e" +
            std::to_string(Count % 7) + ">\n";
  }
  return Text;
}

TEST(Size, ALargeDocumentComesBackIntact) {
  // Past 64 MiB the load gives the text behind the parse back to the system as it goes: every
  // name, value and text met later must still be whole. Not scaled down, except under valgrind.
  const auto Bytes = static_cast<std::size_t>(SlowDown() == 100 ? 2'000'000 : 80'000'000);
  std::size_t Count = 0;
  const std::string Text = LargeRecords(Bytes, Count);
  test::TempDir Dir;
  const std::string Path = Dir / "large.xml";
  test::WriteFile(Path, Text + "</root>\n");
  Stopwatch Clock;
  TXMLParser P;
  P.setFileName(Path);
  ASSERT_EQ(P.XMLErrorCode(), ecOk);
  Report("load of " + std::to_string(Text.size()) + " bytes of records", Clock);
  const TXMLNode& Root = *P.XMLRoot();
  ASSERT_EQ(Root.GetNumberOfChildren(), static_cast<std::int32_t>(Count));
  const std::string Filler(8000, 'x');
  for (std::size_t I = 0; I < Count; ++I) {
    const TXMLNode& E = *Root.GetChild(static_cast<std::int32_t>(I));
    const std::string N = std::to_string(I);
    ASSERT_EQ(E.TagName(), "e" + std::to_string(I % 7)) << I;
    ASSERT_EQ(E.GetAttributeValue("n"), N) << I;
    ASSERT_EQ(E.GetNumberOfChildren(), 1) << I;
    ASSERT_TRUE(E.GetChild(0)->TextData() == N + Filler + N) << I;
  }
  // Failures found at the far end still know their line.
  test::WriteFile(Path, Text + "< broken>\n</root>\n");
  P.setFileName(Path);
  EXPECT_EQ(P.XMLErrorCode(), ecInvalidTag);
  EXPECT_EQ(P.ErrorLine(), static_cast<std::int32_t>(Count) + 3);
  test::WriteFile(Path, Text + "</root>\nleft over\n");
  P.setFileName(Path);
  EXPECT_EQ(P.XMLErrorCode(), ecNotValid);
  EXPECT_EQ(P.ErrorLine(), static_cast<std::int32_t>(Count) + 4);
}

// The process's mapped memory in bytes. Large buffers are mapped directly, outside malloc, where
// neither ASan's nor valgrind's leak checks look: a lost one shows only here.
long long MappedBytes() {
  std::ifstream Statm("/proc/self/statm");
  long long Pages = 0;
  Statm >> Pages;
  return Pages * ::sysconf(_SC_PAGESIZE);
}

TEST(Size, RepeatedLoadsOfALargeDocumentGiveBackTheirMemory) {
  if (UnderSanitizer() || UnderValgrind())
    GTEST_SKIP() << "the tool's own allocator keeps freed memory mapped (its quarantine)";
  std::string Text = "<?xml version=\"1.0\"?>\n<r>\n";
  while (static_cast<long long>(Text.size()) < Scaled(4'000'000)) Text += "<e a=\"1\">some text</e>\n";
  Text += "</r>\n";
  test::TempDir Dir;
  const std::string Path = Dir / "large.xml";
  test::WriteFile(Path, Text);
  auto LoadSome = [&](int Times) {
    TXMLParser Kept;
    for (int I = 0; I < Times; ++I) {
      Kept.setFileName(Path);  // a reload on the same parser
      ASSERT_EQ(Kept.XMLErrorCode(), ecOk);
      TXMLParser Fresh;  // and a parser that is destroyed
      ASSERT_EQ(Fresh.LoadFromText(Text), ecOk);
    }
  };
  LoadSome(2);
  const long long Before = MappedBytes();
  LoadSome(10);
  // Ten loads keep nothing: the growth stays far below one document's worth of storage.
  EXPECT_LT(MappedBytes() - Before, static_cast<long long>(Text.size()));
}

class SpecialFiles : public ::testing::Test {
 protected:
  test::TempDir dir_;
  void SetUp() override { std::filesystem::permissions(dir_.path(), std::filesystem::perms(0755)); }

  // Loads Path in a child that must answer within a few seconds; returns the status name.
  static std::string LoadInChild(const std::string& Path, bool AsNobody = false) {
    return test::InChild(
        [&]() -> std::string {
          if (AsNobody && !test::BecomeNobody()) return "skip: cannot drop root's privileges here";
          TXMLParser P;
          P.setFileName(Path);
          return ErrorCodeName(P.XMLErrorCode());
        },
        20);
  }
};

TEST_F(SpecialFiles, AFolderGivesNoFile) {
  TXMLParser P;
  P.setFileName(dir_.path().string());
  EXPECT_EQ(P.XMLErrorCode(), ecNoFile);
}

TEST_F(SpecialFiles, AnUnreadableFileGivesNoFile) {
  const std::string Path = dir_ / "secret.xml";
  test::WriteFile(Path, "<?xml version=\"1.0\"?><r/>");
  ASSERT_EQ(::chmod(Path.c_str(), 0), 0);
  // Root reads it whatever its mode; an ordinary user must get ecNoFile.
  const std::string Status = LoadInChild(Path, test::RunningAsRoot());
  if (Status.rfind("skip: ", 0) == 0) GTEST_SKIP() << Status.substr(6);
  EXPECT_EQ(Status, "ecNoFile");
}

TEST_F(SpecialFiles, AFifoWithoutWriterDoesNotHang) {
  const std::string Path = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(Path.c_str(), 0644), 0);
  Stopwatch Clock;
  const std::string Status = LoadInChild(Path);
  // Nothing to read is an empty document, which has no declaration.
  EXPECT_TRUE(Status == "ecNoFile" || Status == "ecInvalidFileFormat") << Status;
  EXPECT_LT(Clock.Seconds(), 5.0);
}

TEST_F(SpecialFiles, AFifoWithADocumentInItLoadsIt) {
  const std::string Path = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(Path.c_str(), 0644), 0);
  // A reader held open lets the writer put the document in and leave before the load starts.
  const int Holder = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(Holder, 0);
  const int Writer = ::open(Path.c_str(), O_WRONLY);
  ASSERT_GE(Writer, 0);
  const std::string Doc = "<?xml version=\"1.0\"?>\n<r>piped</r>\n";
  ASSERT_EQ(::write(Writer, Doc.data(), Doc.size()), static_cast<ssize_t>(Doc.size()));
  ::close(Writer);
  TXMLParser P;
  P.setFileName(Path);
  ::close(Holder);
  EXPECT_EQ(P.XMLErrorCode(), ecOk);
  EXPECT_EQ(P.XMLRoot()->GetChild(0)->TextData(), "piped");
}

TEST_F(SpecialFiles, ASymbolicLinkLoopGivesNoFile) {
  const std::string A = dir_ / "a", B = dir_ / "b";
  ASSERT_EQ(::symlink(A.c_str(), B.c_str()), 0);
  ASSERT_EQ(::symlink(B.c_str(), A.c_str()), 0);
  TXMLParser P;
  P.setFileName(A);
  EXPECT_EQ(P.XMLErrorCode(), ecNoFile);
}

}  // namespace
}  // namespace linexml
