#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "sink.h"

namespace linexml::detail {

// Writes a file the way SaveFile promises. Symbolic links are followed one by one as the system
// would (a relative target from the link's folder, at most 40 links, else ELOOP); the links stay.
// What the last name is decides how it is written:
// - a regular file, or nothing (a dangling link included): the bytes go to a temporary file beside
//   it with a name of its own no longer than the file system allows, which replaces it only after
//   everything was written, synced and closed. A new file gets 0666 less the umask (applied by
//   the kernel); a replaced file keeps its permission bits and, where the process may set them,
//   its owner and group, before any byte is written. A group that cannot be kept gets no more
//   access than others have, and a set-id bit goes with an owner or group that could not be kept.
// - a device, FIFO or socket, or a descriptor link in /proc (/dev/stdout): the bytes are written
//   straight to it, as a shell's "> NAME" does (a regular file behind a descriptor link is
//   truncated first). A FIFO that no process has open for reading fails at once instead of
//   waiting. A pipe or socket whose reader has gone fails with EPIPE; SIGPIPE is held back for the
//   calling thread meanwhile, so it neither ends the process nor reaches its handler. A failure
//   part-way leaves what was written.
// - a folder: EISDIR.
// Every failure throws EInOutError naming the target and the reason, and removes the temporary
// file. Nothing process-wide (umask, working folder) is changed.
class AtomicFile final : public Sink {
 public:
  explicit AtomicFile(const std::string& Target);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // removes the temporary file unless Commit succeeded

  void Write(const char* Data, std::size_t Size) override;
  void Commit();

 private:
  void OpenThrough(bool Truncate);
  void CreateTemporary(const struct stat* Replaced);
  void TakeOwnerAndMode(const struct stat& Replaced);
  [[noreturn]] void Fail(int Error);
  [[noreturn]] void Fail(const std::string& Cause);

  std::string target_;  // the name given, for messages
  std::string path_;    // the name written or replaced, its links followed
  std::string temp_;    // the temporary file while it exists; empty when writing straight through
  int fd_ = -1;
  bool through_ = false;     // writing straight to path_
  std::size_t written_ = 0;  // bytes written so far
  std::size_t kicked_ = 0;   // of which write-back was started
};

}  // namespace linexml::detail
