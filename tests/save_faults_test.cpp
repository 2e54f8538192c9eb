// Write faults: every failing save throws EInOutError naming the file and the system's reason,
// leaves the earlier file byte for byte as it was, and leaves no temporary file behind. Faults that
// root would not meet (a folder without write permission) run as "nobody" in a child process;
// resource limits and mounts are set up in a child too, so the test process is never affected.

#include <gtest/gtest.h>
#include <linexml/linexml.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <streambuf>
#include <typeinfo>
#include <utility>

#include "child_process.h"
#include "test_util.h"

namespace linexml {
namespace {

const char* const kEarlier = "<?xml version=\"1.0\"?>\n<earlier>kept byte for byte</earlier>\n";

// A document of about 200 KB, larger than every limit used below.
std::string BigDocument() {
  std::string Text = "<?xml version=\"1.0\"?>\n<r>\n";
  for (int I = 0; I < 5000; ++I) Text += "<e n=\"" + std::to_string(I) + "\">some text of the element</e>\n";
  return Text + "</r>\n";
}

// Saves Doc to Path expecting the failure Cause; "" when the save failed as it must and lost
// nothing, else what went wrong. Earlier is what Path held before (empty for a folder).
std::string SaveMustFail(TXMLParser& Doc, const std::string& Path, const std::string& Cause,
                         const std::string& Earlier) {
  try {
    Doc.SaveFile(Path);
    return "the save did not fail";
  } catch (const EInOutError& E) {
    if (E.FileName() != Path) return "the error names " + E.FileName() + ", not " + Path;
    if (E.Cause() != Cause) return "the reason is '" + E.Cause() + "', not '" + Cause + "'";
    if (std::string(E.what()) != Path + ": " + Cause) return std::string("message: ") + E.what();
  }
  if (Doc.FileName() != Path) return "FileName is not the name saved to";
  if (!Earlier.empty() && test::ReadFile(Path) != Earlier) return "the earlier file changed";
  if (test::TemporaryFileLeftIn(std::filesystem::path(Path).parent_path()))
    return "a temporary file was left";
  return {};
}

class SaveFaults : public ::testing::Test {
 protected:
  test::TempDir dir_;
  TXMLParser doc_;
  void SetUp() override {
    ASSERT_EQ(doc_.LoadFromText(BigDocument()), ecOk);
    // Children may run as "nobody": the folder must be reachable for them.
    std::filesystem::permissions(dir_.path(), std::filesystem::perms(0755));
  }
  std::string Earlier(const std::string& Name) {
    const std::string Path = dir_ / Name;
    test::WriteFile(Path, kEarlier);
    ::chmod(Path.c_str(), 0644);
    return Path;
  }
};

TEST_F(SaveFaults, FolderWithoutWritePermission) {
  const std::string Path = Earlier("doc.xml");
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
  auto Check = [&]() { return SaveMustFail(doc_, Path, "Permission denied", kEarlier); };
  if (test::RunningAsRoot()) {
    // Root writes into any folder; the same save as an ordinary user must fail.
    EXPECT_REPORT_OK(test::InChild([&]() -> std::string {
      if (!test::BecomeNobody()) return "skip: cannot drop root's privileges here";
      return Check();
    }));
  } else {
    EXPECT_EQ(Check(), "");
  }
  ::chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(test::ReadFile(Path), kEarlier);
}

TEST_F(SaveFaults, FileSizeLimitReached) {
  const std::string Path = Earlier("doc.xml");
  EXPECT_REPORT_OK(test::InChild([&]() -> std::string {
    // Over the limit, write() fails with EFBIG instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit Limit{16 * 1024, 16 * 1024};
    if (::setrlimit(RLIMIT_FSIZE, &Limit) != 0) return "skip: cannot lower the file size limit";
    return SaveMustFail(doc_, Path, "File too large", kEarlier);
  }));
  EXPECT_EQ(test::ReadFile(Path), kEarlier);
  EXPECT_FALSE(test::TemporaryFileLeftIn(dir_.path()));
}

TEST_F(SaveFaults, FullFilesystem) {
  const std::string Mount = dir_ / "small";
  std::filesystem::create_directory(Mount);
  EXPECT_REPORT_OK(test::InChild([&]() -> std::string {
    if (!test::PrivateMounts() || ::mount("tmpfs", Mount.c_str(), "tmpfs", 0, "size=64k") != 0)
      return "skip: mounting a small tmpfs is not allowed here";
    const std::string Path = Mount + "/doc.xml";
    test::WriteFile(Path, kEarlier);
    return SaveMustFail(doc_, Path, "No space left on device", kEarlier);
  }));
}

TEST_F(SaveFaults, FullDeviceThroughAStream) {
  // Small and large documents: the failure must reach the caller either way, not wait in the
  // stream's buffer for a flush that nobody checks.
  TXMLParser Small;
  ASSERT_EQ(Small.LoadFromText("<?xml version=\"1.0\"?><r/>"), ecOk);
  for (const TXMLParser* Doc : {&Small, &doc_}) {
    std::ofstream Full("/dev/full", std::ios::binary);
    ASSERT_TRUE(Full.is_open());
    try {
      Doc->SaveToStream(Full);
      ADD_FAILURE() << "no exception for a document of " << Doc->SaveToText().size() << " bytes";
    } catch (const EInOutError& E) {
      EXPECT_FALSE(E.Cause().empty());
    }
  }
}

// A stream buffer that takes nothing, so every write to its stream fails.
class RefusingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
  std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

// With exceptions enabled, the stream's own std::ios_base::failure must not reach the caller in
// place of EInOutError.
TEST_F(SaveFaults, StreamWithExceptionsEnabled) {
  const TXMLParser& Doc = doc_;
  const std::pair<const char*, std::function<void(std::ostream&)>> Saves[] = {
      {"TXMLParser::SaveToStream", [&](std::ostream& F) { Doc.SaveToStream(F); }},
      {"TXMLNode::SaveToFile", [&](std::ostream& F) { Doc.XMLRoot()->SaveToFile(F); }},
      {"TXMLParameters::SaveToFile", [&](std::ostream& F) { Doc.XMLParameters()->SaveToFile(F); }},
      {"TXMLDocType::SaveToFile", [&](std::ostream& F) { Doc.XMLParameters()->XMLDocType()->SaveToFile(F); }},
  };
  for (const auto& [Name, Save] : Saves) {
    RefusingBuffer Buffer;
    std::ostream Out(&Buffer);
    Out.exceptions(std::ios::badbit | std::ios::failbit);
    try {
      Save(Out);
      ADD_FAILURE() << Name << ": no exception";
    } catch (const EInOutError& E) {
      EXPECT_EQ(E.FileName(), "<stream>") << Name;
    } catch (const std::exception& E) {
      ADD_FAILURE() << Name << ": " << typeid(E).name() << ": " << E.what();
    }
  }
}

TEST_F(SaveFaults, TargetIsAFolder) {
  const std::string Empty = dir_ / "empty";
  const std::string Full = dir_ / "full";
  std::filesystem::create_directory(Empty);
  std::filesystem::create_directory(Full);
  test::WriteFile(Full + "/inside.xml", kEarlier);
  EXPECT_EQ(SaveMustFail(doc_, Empty, "Is a directory", ""), "");
  EXPECT_EQ(SaveMustFail(doc_, Full, "Is a directory", ""), "");
  EXPECT_TRUE(std::filesystem::is_directory(Empty));
  EXPECT_TRUE(std::filesystem::is_empty(Empty));
  EXPECT_EQ(test::ReadFile(Full + "/inside.xml"), kEarlier);
}

TEST_F(SaveFaults, RenameOverTheTargetFails) {
  // A file mounted over the target cannot be replaced by rename (EBUSY): everything is written
  // and synced to the temporary file, and the last step fails.
  const std::string Path = Earlier("doc.xml");
  const std::string Other = dir_ / "other.xml";
  test::WriteFile(Other, "mounted over the target\n");
  EXPECT_REPORT_OK(test::InChild([&]() -> std::string {
    if (!test::PrivateMounts() || ::mount(Other.c_str(), Path.c_str(), nullptr, MS_BIND, nullptr) != 0)
      return "skip: bind mounts are not allowed here";
    return SaveMustFail(doc_, Path, "Device or resource busy", "mounted over the target\n");
  }));
  EXPECT_EQ(test::ReadFile(Path), kEarlier);
  EXPECT_FALSE(test::TemporaryFileLeftIn(dir_.path()));
}

}  // namespace
}  // namespace linexml
