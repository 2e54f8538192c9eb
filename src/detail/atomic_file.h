#pragma once

#include <cstddef>
#include <string>

#include "sink.h"

namespace linexml::detail {

// Writes a file so that a failure never destroys what was there: the bytes go to a temporary file
// in the target's folder, which replaces the target only after everything was written, synced and
// closed. The new file keeps an existing target's permission bits; a symbolic link is followed, so
// the file it points to is replaced and the link stays. Every failure throws EInOutError naming the
// target and the system's reason, and removes the temporary file.
class AtomicFile final : public Sink {
 public:
  explicit AtomicFile(const std::string& Target);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // removes the temporary file unless Commit succeeded

  void Write(const char* Data, std::size_t Size) override;
  void Commit();

 private:
  [[noreturn]] void Fail(int Error);

  std::string target_;  // the name given, for messages
  std::string path_;    // the file actually replaced (a link's target)
  std::string temp_;
  int fd_ = -1;
  std::size_t written_ = 0;  // bytes written so far
  std::size_t kicked_ = 0;   // of which write-back was started
};

}  // namespace linexml::detail
