#include "read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>
#include <thread>

#include "file_descriptor.h"

namespace linexml::detail {
namespace {

// Reads [Offset, Offset + Count) of F into To, stopping early at the file's end; the bytes read,
// or -1 with errno set.
ssize_t ReadAt(int F, char* To, std::size_t Count, off_t Offset) {
  std::size_t Got = 0;
  while (Got < Count) {
    const ssize_t N =
        ::pread(F, To + Got, std::min<std::size_t>(Count - Got, INT_MAX), Offset + static_cast<off_t>(Got));
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) return -1;
    if (N == 0) break;
    Got += static_cast<std::size_t>(N);
  }
  return static_cast<ssize_t>(Got);
}

// Reads the first Capacity - 1 bytes of a regular file in two halves at once (the copy into fresh
// pages is most of what reading costs). Size is what was read in one piece from the start; the
// file position is put after it, for the reads that look for more.
bool ReadHalves(int F, char* To, std::size_t Capacity, std::size_t& Size) {
  const std::size_t Want = Capacity - 1;
  const std::size_t Half = Want / 2;
  ssize_t First = 0, Second = 0;
  int FirstError = 0, SecondError = 0;
  {
    std::jthread Worker;
    auto ReadSecond = [&] {
      Second = ReadAt(F, To + Half, Want - Half, static_cast<off_t>(Half));
      SecondError = errno;
    };
    try {
      Worker = std::jthread(ReadSecond);
    } catch (const std::system_error&) {
      ReadSecond();  // no thread to be had: this one reads both
    }
    First = ReadAt(F, To, Half, 0);
    FirstError = errno;
  }
  // errno is the reading thread's own; the failing read's is the one to report.
  if (First < 0 || Second < 0) {
    errno = First < 0 ? FirstError : SecondError;
    return false;
  }
  Size = static_cast<std::size_t>(First);
  // A file that shrank meanwhile ends within the first half; what the second read is then not
  // its continuation.
  if (Size == Half) Size += static_cast<std::size_t>(Second);
  return ::lseek(F, static_cast<off_t>(Size), SEEK_SET) >= 0;
}

}  // namespace

bool ReadWholeFile(const std::string& Name, PageBuffer& Out, std::size_t& Size, std::size_t Front,
                   std::size_t TwoThreadsFrom) {
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
  // Not zero-filled: every byte used is read first. The file's first byte is put half a page
  // from where it stands in the page cache (see PageBuffer).
  Out = PageBuffer(Front + Capacity, (kPageBytes / 2 - Front) % kPageBytes);
  Size = 0;
  if (S_ISREG(St.st_mode) && Capacity - 1 >= TwoThreadsFrom &&
      !ReadHalves(F.get(), Out.get() + Front, Capacity, Size))
    return false;
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
