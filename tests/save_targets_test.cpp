// Where SaveFile writes: each kind of target (device, FIFO, descriptor link, dangling link, link
// loop), names up to the file system's limit, and the mode and owner of what it leaves behind.
// Device nodes, FIFOs and links are made in the test's own folder, never taken from /dev.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linexml/linexml.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "child_process.h"
#include "test_util.h"

namespace linexml {
namespace {

namespace fs = std::filesystem;

const char* const kEarlier = "<?xml version=\"1.0\"?>\n<earlier/>\n";

std::string Octal(mode_t Mode) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0%o", static_cast<unsigned>(Mode));
  return Text;
}

class SaveTarget : public ::testing::Test {
 protected:
  test::TempDir dir_;
  TXMLParser doc_;
  void SetUp() override {
    ASSERT_EQ(doc_.LoadFromText("<?xml version=\"1.0\"?><r a=\"1\">t</r>"), ecOk);
    std::filesystem::permissions(dir_.path(), std::filesystem::perms(0755));
  }
  // The cause of the EInOutError that saving to Path throws, or a description of what went wrong.
  std::string FailureOf(const std::string& Path) {
    try {
      doc_.SaveFile(Path);
      return "no exception";
    } catch (const EInOutError& E) {
      if (E.FileName() != Path) return "the error names " + E.FileName();
      return E.Cause();
    }
  }
  std::string LinkText(const std::string& Link) const {
    std::error_code Ec;
    return fs::read_symlink(Link, Ec).string();
  }
};

// A device node is written to, as "> node" in a shell would, never replaced by a regular file.
TEST_F(SaveTarget, WritesThroughToADeviceNode) {
  struct {
    const char* name;
    unsigned minor;      // of the memory devices (major 1)
    const char* result;  // "" for success, else the cause
  } const Cases[] = {{"null", 3, ""}, {"full", 7, "No space left on device"}};
  for (const auto& C : Cases) {
    const std::string Node = dir_ / C.name;
    if (::mknod(Node.c_str(), S_IFCHR | 0666, makedev(1, C.minor)) != 0)
      GTEST_SKIP() << "device nodes cannot be made here";
    if (*C.result == '\0') {
      EXPECT_NO_THROW(doc_.SaveFile(Node)) << C.name;
    } else {
      EXPECT_EQ(FailureOf(Node), C.result);
    }
    struct stat St {};
    ASSERT_EQ(::lstat(Node.c_str(), &St), 0);
    EXPECT_TRUE(S_ISCHR(St.st_mode)) << C.name << " was replaced";
  }
  EXPECT_FALSE(test::TemporaryFileLeftIn(dir_.path()));
}

// A FIFO, and a link to a descriptor (what /dev/stdout is), get the document through the pipe.
TEST_F(SaveTarget, WritesThroughToAFifoAndToADescriptorLink) {
  const std::string Fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
  int Pipe[2];
  ASSERT_EQ(::pipe2(Pipe, O_NONBLOCK | O_CLOEXEC), 0);  // a read never waits
  const int Reader = ::open(Fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(Reader, 0);
  const std::string Link = dir_ / "stdout";
  ASSERT_EQ(::symlink(("/proc/self/fd/" + std::to_string(Pipe[1])).c_str(), Link.c_str()), 0);

  // The document is smaller than a pipe's buffer: it is all there once the save is done.
  for (const auto& [Target, From] : {std::pair(Fifo, Reader), std::pair(Link, Pipe[0])}) {
    EXPECT_NO_THROW(doc_.SaveFile(Target)) << Target;
    std::string Got(4096, '\0');
    const ssize_t N = ::read(From, Got.data(), Got.size());
    Got.resize(N > 0 ? static_cast<std::size_t>(N) : 0);
    EXPECT_EQ(Got, doc_.SaveToText()) << Target;
  }
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(Fifo)));
  EXPECT_TRUE(fs::is_symlink(Link));
  EXPECT_FALSE(test::TemporaryFileLeftIn(dir_.path()));
  for (const int Fd : {Reader, Pipe[0], Pipe[1]}) ::close(Fd);
}

// Opening a FIFO for writing waits for a reader; a save must not wait for ever.
TEST_F(SaveTarget, FifoWithoutAReaderFailsAtOnce) {
  const std::string Fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
  EXPECT_EQ(test::InChild([&] { return FailureOf(Fifo); }, 20), "no process has the FIFO open for reading");
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(Fifo)));
}

// A pipe whose reader has gone: the save fails with EPIPE instead of the process ending by SIGPIPE,
// and a SIGPIPE handler of the program does not see the signal either.
TEST_F(SaveTarget, PipeWithoutAReaderFailsWithoutSigpipe) {
  EXPECT_EQ(test::InChild(
                [&]() -> std::string {
                  static volatile sig_atomic_t Seen = 0;
                  std::signal(SIGPIPE, [](int) { Seen = 1; });
                  int Pipe[2];
                  if (::pipe2(Pipe, O_CLOEXEC) != 0) return "pipe failed";
                  ::close(Pipe[0]);
                  const std::string Link = dir_ / "stdout";
                  if (::symlink(("/proc/self/fd/" + std::to_string(Pipe[1])).c_str(), Link.c_str()) != 0)
                    return "symlink failed";
                  const std::string Cause = FailureOf(Link);
                  if (Seen != 0) return "the handler saw SIGPIPE";
                  return Cause;
                },
                20),
            std::strerror(EPIPE));
}

// The file a dangling link points to is created, found the way the system would find it
// (a relative target from the link's folder, through further links); the links stay.
TEST_F(SaveTarget, DanglingLinksCreateTheFileTheyPointTo) {
  fs::create_directory(dir_ / "sub");
  struct {
    std::string link, points_to, created;
  } const Cases[] = {
      {"plain", "new1.xml", "new1.xml"},
      {"sub/up", "../new2.xml", "new2.xml"},
      {"sub/down", "deeper/new3.xml", "sub/deeper/new3.xml"},
      {"chain", "sub/up2", "new4.xml"},  // sub/up2 is a link too
      {"sub/up2", "../new4.xml", "new4.xml"},
      {"absolute", dir_ / "new5.xml", "new5.xml"},
  };
  fs::create_directory(dir_ / "sub/deeper");
  for (const auto& C : Cases) ASSERT_EQ(::symlink(C.points_to.c_str(), (dir_ / C.link).c_str()), 0);
  for (const auto& C : Cases) {
    doc_.SaveFile(dir_ / C.link);
    EXPECT_EQ(test::ReadFile(dir_ / C.created), doc_.SaveToText()) << C.link;
    EXPECT_EQ(LinkText(dir_ / C.link), C.points_to) << C.link;
    ASSERT_EQ(::unlink((dir_ / C.created).c_str()), 0) << C.link;
  }
  EXPECT_FALSE(test::TemporaryFileLeftIn(dir_.path()));
  EXPECT_FALSE(test::TemporaryFileLeftIn(dir_.path() / "sub"));
}

TEST_F(SaveTarget, LinkLoopsFailAndStay) {
  ASSERT_EQ(::symlink("b", (dir_ / "a").c_str()), 0);
  ASSERT_EQ(::symlink("a", (dir_ / "b").c_str()), 0);
  ASSERT_EQ(::symlink("self", (dir_ / "self").c_str()), 0);
  for (const char* Name : {"a", "self"})
    EXPECT_EQ(FailureOf(dir_ / Name), "Too many levels of symbolic links");
  EXPECT_EQ(LinkText(dir_ / "a"), "b");
  EXPECT_EQ(LinkText(dir_ / "b"), "a");
  EXPECT_EQ(LinkText(dir_ / "self"), "self");
  EXPECT_FALSE(test::TemporaryFileLeftIn(dir_.path()));
}

// The temporary file's name must fit wherever the target's name fits, multi-byte names included.
TEST_F(SaveTarget, EveryNameTheFileSystemTakesSaves) {
  std::string Accented;
  while (Accented.size() < 254) Accented += "\xc3\xa9";  // U+00E9, two bytes
  const std::string Names[] = {"x",
                               std::string(200, 'n'),
                               std::string(239, 'n'),
                               std::string(240, 'n'),
                               std::string(254, 'n') + ".",
                               std::string(255, 'n'),
                               Accented + "x",
                               "." + std::string(254, 'h')};
  for (const std::string& Name : Names) {
    ASSERT_LE(Name.size(), 255u);
    const std::string Path = dir_ / Name;
    test::WriteFile(Path, kEarlier);
    EXPECT_NO_THROW(doc_.SaveFile(Path)) << Name.size() << " bytes";
    EXPECT_EQ(test::ReadFile(Path), doc_.SaveToText()) << Name.size() << " bytes";
  }
  EXPECT_EQ(FailureOf(dir_ / std::string(256, 'n')), "File name too long");
  EXPECT_FALSE(test::TemporaryFileLeftIn(dir_.path()));
}

class SaveMode : public SaveTarget {};

// The kernel applies the umask to a new file as it does for any program's new file.
TEST_F(SaveMode, NewFileGetsWhatTheUmaskAllows) {
  EXPECT_REPORT_OK(test::InChild([&]() -> std::string {
    const mode_t Cases[][2] = {{022, 0644}, {027, 0640}, {077, 0600}, {0, 0666}};
    for (const auto& [Mask, Mode] : Cases) {
      ::umask(Mask);
      const std::string Path = dir_ / ("new-" + std::to_string(Mask));
      doc_.SaveFile(Path);
      struct stat St {};
      if (::stat(Path.c_str(), &St) != 0 || (St.st_mode & 07777) != Mode)
        return "umask " + Octal(Mask) + " gave mode " + Octal(St.st_mode & 07777);
    }
    return "";
  }));
}

// Saving must not change the umask, not even for a moment: a thread that creates files while
// another saves must see its files get the process's umask every time. On a tmpfs when one can be
// mounted, where saves need not wait for the disk and so come often.
TEST_F(SaveMode, SavingLeavesTheUmaskOfOtherThreadsAlone) {
  const std::string Folder = dir_ / "fast";
  fs::create_directory(Folder);
  EXPECT_REPORT_OK(test::InChild([&]() -> std::string {
    if (test::PrivateMounts()) ::mount("tmpfs", Folder.c_str(), "tmpfs", 0, "size=1m");
    ::umask(077);
    std::atomic<bool> Done{false};
    std::string Seen;
    std::thread Prober([&] {
      const std::string Probe = Folder + "/probe";
      while (!Done.load() && Seen.empty()) {
        const int Fd = ::open(Probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        struct stat St {};
        if (Fd < 0 || ::fstat(Fd, &St) != 0)
          Seen = "the probe could not be created";
        else if ((St.st_mode & 0777) != 0600)
          Seen = "a probe got mode " + Octal(St.st_mode & 0777);
        if (Fd >= 0) ::close(Fd);
        ::unlink(Probe.c_str());
      }
    });
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < End && Seen.empty()) {
      const std::string Path = Folder + "/new.xml";
      doc_.SaveFile(Path);
      ::unlink(Path.c_str());
    }
    Done = true;
    Prober.join();
    return Seen;
  }));
}

// Root saving a user's file must leave it the user's, with its mode (set-id bits included).
TEST_F(SaveMode, ReplacedFileKeepsItsModeOwnerAndGroup) {
  if (!test::RunningAsRoot()) GTEST_SKIP() << "only root can give a file to another user";
  for (const mode_t Mode : {0640u, 0604u, 02750u, 04755u}) {
    const std::string Path = dir_ / ("file-" + std::to_string(Mode));
    test::WriteFile(Path, kEarlier);
    ASSERT_EQ(::chown(Path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(Path.c_str(), Mode), 0);
    doc_.SaveFile(Path);
    struct stat St {};
    ASSERT_EQ(::stat(Path.c_str(), &St), 0);
    EXPECT_EQ(St.st_uid, 65534u) << Mode;
    EXPECT_EQ(St.st_gid, 65534u) << Mode;
    EXPECT_EQ(St.st_mode & 07777, Mode);
    EXPECT_EQ(test::ReadFile(Path), doc_.SaveToText());
  }
}

// A user who cannot keep a file's group saves it with the user's own group; that group's members
// must not gain the access the old group had.
TEST_F(SaveMode, GroupThatCannotBeKeptGivesItsMembersNoAccess) {
  if (!test::RunningAsRoot()) GTEST_SKIP() << "needs root to set up a file of another group";
  const std::string Folder = dir_ / "users";
  fs::create_directory(Folder);
  ASSERT_EQ(::chown(Folder.c_str(), 65534, 65534), 0);
  const std::string Path = Folder + "/doc.xml";
  test::WriteFile(Path, kEarlier);
  ASSERT_EQ(::chown(Path.c_str(), 65534, 0), 0);
  ASSERT_EQ(::chmod(Path.c_str(), 0664), 0);
  EXPECT_REPORT_OK(test::InChild([&]() -> std::string {
    if (!test::BecomeNobody()) return "skip: cannot drop root's privileges here";
    doc_.SaveFile(Path);
    struct stat St {};
    if (::stat(Path.c_str(), &St) != 0) return "the saved file is missing";
    if (St.st_gid == 0) return "the group was kept";
    // The group may read what everyone may read, no more.
    if ((St.st_mode & 07777) != 0644) return "mode " + Octal(St.st_mode & 07777);
    return "";
  }));
}

}  // namespace
}  // namespace linexml
