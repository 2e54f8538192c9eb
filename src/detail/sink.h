#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace linexml::detail {

// Where a writer's bytes go. Write and Flush throw EInOutError when the bytes cannot be taken.
class Sink {
 public:
  virtual void Write(const char* Data, std::size_t Size) = 0;
  // Pushes out what the destination buffers itself; the default has nothing to push.
  virtual void Flush() {}

 protected:
  Sink() = default;
  Sink(const Sink&) = default;
  Sink& operator=(const Sink&) = default;
  ~Sink() = default;
};

// A std::ostream. A stream that fails, or that throws (exceptions enabled), gives EInOutError
// naming "<stream>".
class StreamSink final : public Sink {
 public:
  explicit StreamSink(std::ostream& Out) : out_(Out) {}
  void Write(const char* Data, std::size_t Size) override;
  void Flush() override;

 private:
  std::ostream& out_;
};

// Appends to a string.
class StringSink final : public Sink {
 public:
  explicit StringSink(std::string& Out) : out_(Out) {}
  void Write(const char* Data, std::size_t Size) override { out_.append(Data, Size); }

 private:
  std::string& out_;
};

}  // namespace linexml::detail
