#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "page_buffer.h"

namespace linexml::detail {

// Bytes 0..32 are trimmed from both ends of a line; bytes from 128 up are kept (so a byte-order
// mark stays in front of the declaration).
std::string_view TrimLine(std::string_view Line);
// Copies a trimmed line to Out with every run of spaces (byte 32 only) reduced to one.
// Returns the end of what it wrote; Out needs room for Line.size() bytes.
char* CopyCollapsed(char* Out, std::string_view Line);

// The document text that the parse steps consume, with what it takes to trace a position in it
// back to a line of the source.
class DocText {
 public:
  // Splits Source into lines (LF, CRLF or a lone CR), trims each and collapses its space runs,
  // skips lines that are left empty, joins the rest (a line that does not begin with "<" gets one
  // space in front), then cuts out the comments.
  explicit DocText(std::string_view Source);
  // The same, in place: Bytes holds the source from its second byte on (Size bytes; the first
  // byte is free), and the text is built over it.
  DocText(PageBuffer Bytes, std::size_t Size);

  std::string_view Text() const { return {buf_.get(), size_}; }
  // Where every "</" of Text() starts, in order, noticed while the text was built; null when
  // that is not known (a comment was cut, or the text is too long for 32-bit positions).
  const std::vector<std::uint32_t>* CloseTagStarts() const { return closes_known_ ? &closes_ : nullptr; }
  // The 1-based source line holding Pos of Text(); 0 when Pos is past the end.
  std::int64_t LineAt(std::size_t Pos) const;
  // Gives the memory of Text()[0, Pos) back to the system (its bytes must not be read again), so
  // a large document's text shrinks while its tree grows. Only for texts of 32 MiB and more,
  // whose buffers the allocator always maps afresh (smaller ones it reuses from load to load,
  // and giving their pages back would only make the next load fault them in again).
  void ReleaseBefore(std::size_t Pos);

 private:
  struct Cut {
    std::size_t offset;   // position in the final text where a comment was cut out
    std::size_t removed;  // bytes cut out before that position, all comments so far
  };
  void Normalise(const char* Src, std::size_t Size);
  void EndLine(std::size_t Length, std::size_t Skipped);
  void CutComments();

  PageBuffer buf_;
  std::size_t size_ = 0;
  // One record per kept line, in order: varint(length in the joined text * 2 + has-skips), then,
  // with has-skips, varint(source lines skipped right before it). About a byte per line, read
  // only when a load fails.
  std::string lines_;
  std::vector<Cut> cuts_;
  std::vector<std::uint32_t> closes_;
  std::size_t released_ = 0;  // Text()[0, released_) is given back
  bool closes_known_ = false;
  bool may_have_comments_ = true;  // a "!" was seen
};

}  // namespace linexml::detail
