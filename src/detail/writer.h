#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

namespace linexml {
class TXMLNode;
class TXMLParameters;
class TXMLDocType;
}  // namespace linexml

namespace linexml::detail {

// A 64 KiB output buffer in front of a sink (a stream, a string, a file). The sink throws
// EInOutError when it cannot take the bytes. Nothing is flushed by the destructor: a failure must
// reach the caller, so callers end with Flush().
class Writer {
 public:
  using Sink = void (*)(void* Context, const char* Data, std::size_t Size);
  Writer(Sink To, void* Context);

  void Put(std::string_view Bytes);
  void Put(char C) {
    if (used_ == kSize) Drain();
    buf_[used_++] = C;
  }
  void Spaces(std::size_t Count);
  // Hands everything to the sink; a stream sink is flushed too, so its failure shows here.
  void Flush();

 private:
  static constexpr std::size_t kSize = 64 * 1024;
  void Drain();

  Sink sink_;
  void* context_;
  std::unique_ptr<char[]> buf_;
  std::size_t used_ = 0;
};

// Sinks: Context is a std::ostream* or a std::string*.
void StreamSink(void* Context, const char* Data, std::size_t Size);
void StringSink(void* Context, const char* Data, std::size_t Size);

// The document layout: a node with its subtree as indented lines; the prolog lines.
void WriteNode(Writer& W, const TXMLNode& Node);
void WriteDocType(Writer& W, const TXMLDocType& DocType);
void WriteProlog(Writer& W, const TXMLParameters& Params);

}  // namespace linexml::detail
