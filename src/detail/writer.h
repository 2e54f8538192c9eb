#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "sink.h"

namespace linexml {
class TXMLNode;
class TXMLParameters;
class TXMLDocType;
}  // namespace linexml

namespace linexml::detail {

// A 64 KiB output buffer in front of a sink. Nothing is flushed by the destructor: a failure must
// reach the caller, so every write ends with Flush() (WriteTo does that).
class Writer {
 public:
  explicit Writer(Sink& To);

  void Put(std::string_view Bytes);
  void Put(char C) {
    if (used_ == kSize) Drain();
    buf_[used_++] = C;
  }
  void Spaces(std::size_t Count) { Repeat(' ', Count); }
  // Count copies of C.
  void Repeat(char C, std::size_t Count);
  // Hands everything to the sink and flushes the sink, so a failure shows here.
  void Flush();

 private:
  static constexpr std::size_t kSize = 64 * 1024;
  void Drain();

  Sink& sink_;
  std::unique_ptr<char[]> buf_;
  std::size_t used_ = 0;
};

// Runs Fill on a writer over To, then flushes: the one way the library writes anything.
template <class Fill>
void WriteTo(Sink& To, Fill&& Put) {
  Writer W(To);
  Put(W);
  W.Flush();
}

// The choices of a save's layout (TXMLSaveOptions); the defaults are the library's own layout.
struct Layout {
  std::size_t indent = 2;  // spaces per level
  bool tabs = false;       // a tab per level instead
  bool crlf = false;
  bool bom = false;
  bool standard_declaration = false;
  bool omit_empty_doctype = false;
  bool inline_text = false;
};

// The document layout: a node with its subtree as indented lines; the prolog lines; both.
void WriteNode(Writer& W, const TXMLNode& Node, const Layout& L = {});
void WriteDocType(Writer& W, const TXMLDocType& DocType, const Layout& L = {});
void WriteProlog(Writer& W, const TXMLParameters& Params, const Layout& L = {});
// The declaration alone, and the style-sheet instruction alone, without a line end.
void WriteDeclaration(Writer& W, const TXMLParameters& Params, const Layout& L = {});
void WriteStyleSheet(Writer& W, const TXMLParameters& Params);
void WriteDocument(Writer& W, const TXMLParameters& Params, const TXMLNode& Root, const Layout& L = {});

}  // namespace linexml::detail
