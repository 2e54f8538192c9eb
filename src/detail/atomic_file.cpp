#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "file_descriptor.h"
#include "linexml/in_out_error.h"

namespace linexml::detail {
namespace {

mode_t CurrentUmask() {
  // umask can only be read by setting it; the lock keeps two of our own saves from racing.
  static std::mutex Lock;
  const std::lock_guard<std::mutex> Guard(Lock);
  const mode_t Mask = ::umask(022);
  ::umask(Mask);
  return Mask;
}

std::string FolderOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) return ".";
  if (Slash == 0) return "/";
  return Path.substr(0, Slash);
}

}  // namespace

AtomicFile::AtomicFile(const std::string& Target) : target_(Target), path_(Target) {
  struct stat St {};
  bool Exists = ::lstat(Target.c_str(), &St) == 0;
  if (Exists && S_ISLNK(St.st_mode)) {
    // Replace the file the link points to; the link itself stays.
    char* Real = ::realpath(Target.c_str(), nullptr);
    if (Real != nullptr) {
      path_ = Real;
      std::free(Real);
    }
    Exists = ::stat(path_.c_str(), &St) == 0;
  }
  if (Exists && S_ISDIR(St.st_mode)) Fail(EISDIR);
  if (Target.empty()) Fail(ENOENT);

  const std::size_t Slash = path_.rfind('/');
  const std::string Base = Slash == std::string::npos ? path_ : path_.substr(Slash + 1);
  temp_ = FolderOf(path_) + "/." + Base + ".linexml-XXXXXX";
  fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    const int Error = errno;
    temp_.clear();
    Fail(Error);
  }
  const mode_t Mode = Exists ? (St.st_mode & 07777) : (0666 & ~CurrentUmask());
  if (::fchmod(fd_, Mode) != 0) Fail(errno);
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicFile::Fail(int Error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  throw EInOutError(target_, std::strerror(Error));
}

void AtomicFile::Write(const char* Data, std::size_t Size) {
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
  if (written_ - kicked_ >= kKick) {
    ::sync_file_range(fd_, static_cast<off_t>(kicked_), static_cast<off_t>(written_ - kicked_),
                      SYNC_FILE_RANGE_WRITE);
    kicked_ = written_;
  }
#endif
}

void AtomicFile::Commit() {
  if (::fsync(fd_) != 0) Fail(errno);
  const int Closing = fd_;
  fd_ = -1;
  if (::close(Closing) != 0) Fail(errno);
  if (::rename(temp_.c_str(), path_.c_str()) != 0) Fail(errno);
  temp_.clear();
  // Make the rename itself durable; the data is already safe, so a failure here is not reported.
  FileDescriptor Folder(::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (Folder.get() >= 0) ::fsync(Folder.get());
}

}  // namespace linexml::detail
