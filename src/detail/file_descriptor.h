#pragma once

#include <unistd.h>

namespace linexml::detail {

// Closes a file descriptor when it goes out of scope (a negative one is none).
class FileDescriptor {
 public:
  explicit FileDescriptor(int Fd) : fd_(Fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace linexml::detail
