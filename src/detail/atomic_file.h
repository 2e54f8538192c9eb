#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "sink.h"

namespace linexml::detail {

// Writes a file the way SaveFile promises (docs/reference.md, "Saving", states it once): through a
// temporary file beside a regular target, which replaces it only once written, synced and closed;
// straight to a device, FIFO, socket or descriptor link. Every failure throws EInOutError and
// removes the temporary file; nothing process-wide changes.
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
