#include "read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "file_descriptor.h"

namespace linexml::detail {

bool ReadWholeFile(const std::string& Name, PageBuffer& Out, std::size_t& Size, std::size_t Front) {
  FileDescriptor F(::open(Name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (F.get() < 0) return false;
  struct stat St {};
  if (::fstat(F.get(), &St) != 0) return false;
  if (S_ISDIR(St.st_mode)) {
    errno = EISDIR;
    return false;
  }
  // Non-blocking was only for the open; a pipe with a writer is then read to its end.
  const int Flags = ::fcntl(F.get(), F_GETFL);
  if (Flags >= 0) ::fcntl(F.get(), F_SETFL, Flags & ~O_NONBLOCK);

  // One byte more than a regular file's size, so its end is seen by the first read; a file that
  // grows meanwhile, or one whose size is unknown, goes through the doubling below.
  std::size_t Capacity = S_ISREG(St.st_mode) ? static_cast<std::size_t>(St.st_size) + 1 : 64 * 1024;
  Out = PageBuffer(Front + Capacity);  // not zero-filled: every byte used is read first
  Size = 0;
  for (;;) {
    if (Size == Capacity) {
      PageBuffer Bigger(Front + 2 * Capacity);
      std::memcpy(Bigger.get() + Front, Out.get() + Front, Size);
      Out = std::move(Bigger);
      Capacity *= 2;
    }
    const ssize_t Got =
        ::read(F.get(), Out.get() + Front + Size, std::min<std::size_t>(Capacity - Size, INT_MAX));
    if (Got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (Got == 0) break;
    Size += static_cast<std::size_t>(Got);
  }
  return true;
}

}  // namespace linexml::detail
