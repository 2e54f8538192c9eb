#include "atomic_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "file_descriptor.h"
#include "linexml/in_out_error.h"

namespace linexml::detail {
namespace {

// The system's own limit on the links in one path name.
constexpr int kMaxLinks = 40;

std::string FolderOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) return ".";
  if (Slash == 0) return "/";
  return Path.substr(0, Slash);
}

std::string BaseOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

std::string Join(const std::string& Folder, const std::string& Name) {
  return Folder.back() == '/' ? Folder + Name : Folder + "/" + Name;
}

// A link in /proc (a descriptor, /proc/self/fd/1 behind /dev/stdout) names an open file, which
// its text does not ("pipe:[123]", "/x (deleted)"): only the system can follow it.
bool IsDescriptorLink(const std::string& Link) {
#if defined(__linux__)
  struct statfs Fs {};
  return ::statfs(FolderOf(Link).c_str(), &Fs) == 0 && Fs.f_type == PROC_SUPER_MAGIC;
#else
  (void)Link;
  return false;
#endif
}

// The text of a link; false with errno set when it cannot be read.
bool ReadLink(const std::string& Link, std::string& Text) {
  std::vector<char> Buf(256);
  for (;;) {
    const ssize_t N = ::readlink(Link.c_str(), Buf.data(), Buf.size());
    if (N < 0) return false;
    if (static_cast<std::size_t>(N) < Buf.size()) {
      Text.assign(Buf.data(), static_cast<std::size_t>(N));
      return true;
    }
    Buf.resize(Buf.size() * 2);  // the text may have been cut off
  }
}

// Where a save name leads once its links are followed.
struct Destination {
  std::string path;         // the name to write to or to replace
  bool exists = false;      // path names something (St describes it)
  bool descriptor = false;  // path is a descriptor link, left for the system to follow
  struct stat st {};
};

// Follows Name's links one at a time; 0 or the errno of the failure. A name that does not exist
// is a destination too: the file to create.
int Follow(const std::string& Name, Destination& D) {
  D.path = Name;
  for (int Links = 0;; ++Links) {
    if (::lstat(D.path.c_str(), &D.st) != 0) return errno == ENOENT ? 0 : errno;
    D.exists = true;
    if (!S_ISLNK(D.st.st_mode)) return 0;
    if (IsDescriptorLink(D.path)) {
      D.descriptor = true;
      return 0;
    }
    if (Links == kMaxLinks) return ELOOP;
    std::string To;
    if (!ReadLink(D.path, To)) return errno;
    if (To.empty()) return ENOENT;
    D.path = To.front() == '/' ? To : Join(FolderOf(D.path), To);
    D.exists = false;
  }
}

std::uint64_t Mix(std::uint64_t X) {
  X += 0x9e3779b97f4a7c15u;
  X = (X ^ (X >> 30)) * 0xbf58476d1ce4e5b9u;
  X = (X ^ (X >> 27)) * 0x94d049bb133111ebu;
  return X ^ (X >> 31);
}

// Eight characters [0-9a-z] that no other save, here or in another process, is likely to pick.
std::string RandomPart() {
  std::uint64_t Bits = 0;
#if defined(__linux__)
  if (::getrandom(&Bits, sizeof Bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof Bits))
#endif
  {
    // No entropy at hand: the clock, the process and a counter still differ between tries.
    static std::atomic<std::uint64_t> Counter{0};
    Bits = Mix(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (static_cast<std::uint64_t>(::getpid()) << 40) ^ Mix(Counter.fetch_add(1)));
  }
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string Out(8, '0');
  for (char& C : Out) {
    C = kDigits[Bits % 36];
    Bits /= 36;
  }
  return Out;
}

// ".NAME.linexml-RANDOM", NAME cut (not inside a UTF-8 sequence) so that the whole fits NameMax:
// whatever name the folder took for the target, it takes this one.
std::string TemporaryName(const std::string& Base, std::size_t NameMax) {
  static constexpr std::string_view kTag = ".linexml-";
  const std::size_t Fixed = 1 + kTag.size() + 8;
  std::size_t Keep = std::min(Base.size(), NameMax > Fixed ? NameMax - Fixed : 0);
  while (Keep > 0 && Keep < Base.size() && (static_cast<unsigned char>(Base[Keep]) & 0xC0) == 0x80) --Keep;
  std::string Name = ".";
  Name.append(Base, 0, Keep);
  Name += kTag;
  Name += RandomPart();
  return Name;
}

// Writing to a pipe or socket whose reader has gone raises SIGPIPE, whose default action ends the
// whole process; a library must report EPIPE instead. While it lives, SIGPIPE is blocked for this
// thread only (nothing process-wide changes), and one that the writes raised is taken back before
// the thread's own mask returns, so a handler the program installed never sees it either.
class SigpipeBlocked {
 public:
  SigpipeBlocked() {
    ::sigemptyset(&pipe_);
    ::sigaddset(&pipe_, SIGPIPE);
    sigset_t Pending;
    ::sigemptyset(&Pending);
    was_pending_ = ::sigpending(&Pending) == 0 && ::sigismember(&Pending, SIGPIPE) == 1;
    ::pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  SigpipeBlocked(const SigpipeBlocked&) = delete;
  SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;
  ~SigpipeBlocked() {
    sigset_t Pending;
    ::sigemptyset(&Pending);
    if (!was_pending_ && ::sigpending(&Pending) == 0 && ::sigismember(&Pending, SIGPIPE) == 1) {
      const timespec Now{0, 0};
      while (::sigtimedwait(&pipe_, nullptr, &Now) < 0 && errno == EINTR) {
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool was_pending_ = false;
};

}  // namespace

AtomicFile::AtomicFile(const std::string& Target) : target_(Target) {
  if (Target.empty()) Fail(ENOENT);
  Destination D;
  if (const int Error = Follow(Target, D)) Fail(Error);
  path_ = D.path;
  if (D.descriptor) {
    OpenThrough(true);
  } else if (!D.exists || S_ISREG(D.st.st_mode)) {
    CreateTemporary(D.exists ? &D.st : nullptr);
  } else if (S_ISDIR(D.st.st_mode)) {
    Fail(EISDIR);
  } else {
    OpenThrough(false);  // a device, FIFO or socket: truncating means nothing there
  }
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicFile::OpenThrough(bool Truncate) {
  through_ = true;
  // Without O_NONBLOCK, opening a FIFO waits until some process opens it for reading, perhaps for
  // ever; with it the open fails at once (ENXIO) and the writes afterwards wait as usual.
  fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (Truncate ? O_TRUNC : 0));
  if (fd_ < 0) {
    const int Error = errno;
    struct stat St {};
    if (Error == ENXIO && ::stat(path_.c_str(), &St) == 0 && S_ISFIFO(St.st_mode))
      Fail("no process has the FIFO open for reading");
    Fail(Error);
  }
  const int Flags = ::fcntl(fd_, F_GETFL);
  if (Flags < 0 || ::fcntl(fd_, F_SETFL, Flags & ~O_NONBLOCK) != 0) Fail(errno);
}

void AtomicFile::CreateTemporary(const struct stat* Replaced) {
  const std::string Folder = FolderOf(path_);
  const long NameMax = ::pathconf(Folder.c_str(), _PC_NAME_MAX);
  // A new file is created with 0666 for the kernel to apply the umask (and a default ACL) as for
  // any new file. The temporary of a replaced file starts private and gets the file's owner and
  // mode before any of the document is in it.
  const mode_t Mode = Replaced != nullptr ? 0600 : 0666;
  for (int Tries = 1;; ++Tries) {
    temp_ = Join(Folder,
                 TemporaryName(BaseOf(path_), NameMax > 0 ? static_cast<std::size_t>(NameMax) : NAME_MAX));
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, Mode);
    if (fd_ >= 0) break;
    const int Error = errno;
    temp_.clear();
    if (Error != EEXIST || Tries == 100) Fail(Error);
  }
  if (Replaced != nullptr) TakeOwnerAndMode(*Replaced);
}

void AtomicFile::TakeOwnerAndMode(const struct stat& Replaced) {
  struct stat Now {};
  if (::fstat(fd_, &Now) != 0) Fail(errno);
  if (Now.st_uid != Replaced.st_uid || Now.st_gid != Replaced.st_gid) {
    // Root gives the file back to its owner; anyone may keep a group they belong to. Otherwise the
    // new file is the saver's, as any file they create.
    if (::fchown(fd_, Replaced.st_uid, Replaced.st_gid) != 0)
      (void)::fchown(fd_, static_cast<uid_t>(-1), Replaced.st_gid);
    if (::fstat(fd_, &Now) != 0) Fail(errno);
  }
  mode_t Mode = Replaced.st_mode & 07777;
  if (Now.st_uid != Replaced.st_uid) Mode &= ~static_cast<mode_t>(S_ISUID);
  if (Now.st_gid != Replaced.st_gid) {
    // The members of another group must not gain the old group's access: they get what others have.
    Mode &= ~static_cast<mode_t>(S_ISGID | (070 & ~((Mode & 07) << 3)));
  }
  // After fchown, which clears the set-id bits.
  if (::fchmod(fd_, Mode) != 0) Fail(errno);
}

void AtomicFile::Fail(int Error) {
  Fail(std::string(std::strerror(Error)));
}

void AtomicFile::Fail(const std::string& Cause) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  throw EInOutError(target_, Cause);
}

void AtomicFile::Write(const char* Data, std::size_t Size) {
  std::optional<SigpipeBlocked> NoSigpipe;
  if (through_) NoSigpipe.emplace();
  while (Size > 0) {
    const ssize_t Put = ::write(fd_, Data, std::min<std::size_t>(Size, INT_MAX));
    if (Put < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    Data += Put;
    Size -= static_cast<std::size_t>(Put);
    written_ += static_cast<std::size_t>(Put);
  }
#if defined(__linux__)
  // Start writing back what is complete while the rest is still being produced, so the fsync of
  // Commit has less left to wait for. Only a hint: Commit's fsync reports any failure.
  constexpr std::size_t kKick = 1u << 20;
  if (!through_ && written_ - kicked_ >= kKick) {
    ::sync_file_range(fd_, static_cast<off_t>(kicked_), static_cast<off_t>(written_ - kicked_),
                      SYNC_FILE_RANGE_WRITE);
    kicked_ = written_;
  }
#endif
}

void AtomicFile::Commit() {
  // A pipe, terminal or memory device has nothing to sync (EINVAL); a disk behind a device does.
  if (::fsync(fd_) != 0 && !(through_ && (errno == EINVAL || errno == EROFS))) Fail(errno);
  const int Closing = fd_;
  fd_ = -1;
  if (::close(Closing) != 0) Fail(errno);
  if (through_) return;
  if (::rename(temp_.c_str(), path_.c_str()) != 0) Fail(errno);
  temp_.clear();
  // Make the rename itself durable; the data is already safe, so a failure here is not reported.
  FileDescriptor Folder(::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (Folder.get() >= 0) ::fsync(Folder.get());
}

}  // namespace linexml::detail
