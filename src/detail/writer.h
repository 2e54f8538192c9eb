#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "linexml/xml_options.h"
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

// Throws std::invalid_argument for save options no save can use (an IndentWidth outside 0..255):
// the one place where they are checked, before anything is written.
void ValidateSaveOptions(const TXMLSaveOptions& O);

// The document layout in the save options O (the defaults: the library's own layout): a node with
// its subtree as indented lines; the prolog lines; both.
void WriteNode(Writer& W, const TXMLNode& Node, const TXMLSaveOptions& O = {});
void WriteDocType(Writer& W, const TXMLDocType& DocType, const TXMLSaveOptions& O = {});
void WriteProlog(Writer& W, const TXMLParameters& Params, const TXMLSaveOptions& O = {});
// The declaration alone, and the style-sheet instruction alone, without a line end.
void WriteDeclaration(Writer& W, const TXMLParameters& Params, const TXMLSaveOptions& O = {});
void WriteStyleSheet(Writer& W, const TXMLParameters& Params);
void WriteDocument(Writer& W, const TXMLParameters& Params, const TXMLNode& Root,
                   const TXMLSaveOptions& O = {});

// The line (from 1) on which a save of the document in the options O writes Target, found by
// writing the document up to it (so it is the writer's own answer): a text run written on its
// element's line (InlineText) has that line. 0 when Target is not in the tree below Root.
std::int64_t LineWritten(const TXMLParameters& Params, const TXMLNode& Root, const TXMLNode& Target,
                         const TXMLSaveOptions& O);

}  // namespace linexml::detail
