#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
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

// Sources from this size on are built by two threads, each taking half of the lines.
inline constexpr std::size_t kTwoThreadsFrom = std::size_t{2} << 20;

// How a document text is built beyond the fixed rules.
struct DocTextOptions {
  bool skip_bom = false;       // a UTF-8 byte-order mark at the very start is left out
  bool note_comments = false;  // every comment cut out is noted (CommentsCut)
  // 1: this thread only; otherwise a source of two_threads_from bytes or more is split in two at
  // a line end, and the second half is built by a thread started and joined by the constructor.
  unsigned threads = 1;
  std::size_t two_threads_from = kTwoThreadsFrom;
  // Lines are copied 64 bytes a step where the processor has AVX-512 (false: 16 bytes a step
  // everywhere, which the tests compare with).
  bool wide_steps = true;
};

// V in 7-bit groups, the lowest first, each but the last with its top bit set; returns the end.
inline char* PutVarint(char* Out, std::size_t V) {
  while (V >= 0x80) {
    *Out++ = static_cast<char>((V & 0x7F) | 0x80);
    V >>= 7;
  }
  *Out++ = static_cast<char>(V);
  return Out;
}

// Bytes written at the end of a buffer that grows by doubling and is never cleared: room reserved
// and not written costs address space, not memory (a large document's line records are reserved
// for its shortest lines, and most documents use a fraction of that).
class ByteLog {
 public:
  const char* data() const { return bytes_.get(); }
  char* data() { return bytes_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Where Need more bytes may be written; SetEnd then says where the written ones end.
  char* Room(std::size_t Need) {
    if (capacity_ - size_ < Need) Grow(std::max(2 * capacity_, size_ + Need) + 64);
    return bytes_.get() + size_;
  }
  // The end of the room the last Room gave.
  const char* Limit() const { return bytes_.get() + capacity_; }
  void SetEnd(const char* End) { size_ = static_cast<std::size_t>(End - bytes_.get()); }
  void Truncate(std::size_t Size) { size_ = Size; }
  void Reserve(std::size_t Capacity) {
    if (Capacity > capacity_) Grow(Capacity);
  }
  void Append(const char* Data, std::size_t Size) {
    if (Size == 0) return;
    std::memcpy(Room(Size), Data, Size);
    size_ += Size;
  }

 private:
  void Grow(std::size_t Capacity) {
    auto Bigger = std::make_unique_for_overwrite<char[]>(Capacity);
    if (size_ > 0) std::memcpy(Bigger.get(), bytes_.get(), size_);
    bytes_ = std::move(Bigger);
    capacity_ = Capacity;
  }
  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// A place in the source: 1-based line and byte column; {0, 0} when there is none.
struct SourcePlace {
  std::int64_t line = 0;
  std::int64_t column = 0;
};

// The document text that the parse steps consume, with what it takes to trace a position in it
// back to a line and column of the source.
class DocText {
 public:
  // A comment that was cut out: where it started (a position in the joined text, see Locator), its
  // first bytes, and where it was cut out (a position of Text()).
  struct CommentNote {
    std::size_t joined;
    std::string head;
    std::size_t at = 0;
  };

  // Splits Source into lines (LF, CRLF or a lone CR), trims each and collapses its space runs,
  // skips lines that are left empty, joins the rest (a line that does not begin with "<" gets one
  // space in front), then cuts out the comments.
  explicit DocText(std::string_view Source, DocTextOptions Options = {});
  // The same, in place: Bytes holds the source from its second byte on (Size bytes; the first
  // byte is free), and the text is built over it.
  DocText(PageBuffer Bytes, std::size_t Size, DocTextOptions Options = {});

  std::string_view Text() const { return {buf_.get(), size_}; }
  // The 1-based source line holding Pos of Text(); 0 when Pos is past the end.
  std::int64_t LineAt(std::size_t Pos) const { return Locate(Pos).line; }
  // The source line and byte column of Pos of Text(), counted in the line as it stands in the
  // source (before trimming and collapsing); {0, 0} when Pos is past the end. The joining space
  // of a line stands at the column of the line's first byte.
  SourcePlace Locate(std::size_t Pos) const;
  // Where Pos of Text() stood in the joined text, before the comments were cut out.
  std::size_t JoinedAt(std::size_t Pos) const;
  // True when a byte-order mark was left out (skip_bom).
  bool SkippedBom() const { return skipped_bom_; }
  // Where the first comment that is never closed starts in Text() (cutting stopped there); npos
  // when every comment was closed.
  std::size_t UnclosedComment() const { return unclosed_comment_; }
  // The comments cut out, in order (only with note_comments).
  const std::vector<CommentNote>& CommentsCut() const { return comments_; }

  // Traces positions of the joined text back to the source, given in ascending order: one walk
  // over the line records serves them all.
  class Locator {
   public:
    explicit Locator(const DocText& Doc);
    // Joined must not be below the one asked before; {0, 0} past the end of the text.
    SourcePlace At(std::size_t Joined);

   private:
    const DocText& doc_;
    const char* next_;                 // the next line record
    std::int64_t line_ = 0;            // the source line of the current record
    std::size_t start_ = 0, end_ = 0;  // the current line's span in the joined text
    std::size_t trim_ = 0;             // bytes trimmed from the front of its source line
    bool join_space_ = false;          // it begins with the joining space
    const char* collapse_;             // the collapse record after the current one
    bool has_collapse_ = false;        // the current collapse: the first not yet passed
    std::size_t collapse_at_ = 0;
    std::size_t collapse_dropped_ = 0;
    std::size_t record_at_ = 0;      // the position the current record gives
    std::uint64_t block_runs_ = 0;   // of a block's record: the spaces of the runs still to come
    std::size_t block_dropped_ = 0;  // and the spaces of its runs before them
    std::size_t shift_ = 0;          // spaces dropped in the current line before the last asked
    void NextCollapse();
  };
  // Locate for positions of Text() given in ascending order: the comments cut and the line
  // records are each walked once for them all.
  class Tracer {
   public:
    explicit Tracer(const DocText& Doc) : doc_(Doc), locator_(Doc) {}
    // Pos must not be below the one asked before; {0, 0} past the end of the text.
    SourcePlace At(std::size_t Pos) {
      while (next_cut_ < doc_.cuts_.size() && doc_.cuts_[next_cut_].offset <= Pos)
        removed_ = doc_.cuts_[next_cut_++].removed;
      return locator_.At(Pos + removed_);
    }

   private:
    const DocText& doc_;
    Locator locator_;
    std::size_t next_cut_ = 0;
    std::size_t removed_ = 0;  // bytes cut out before the last position asked
  };
  // Gives the memory of Text()[0, Pos) back to the system, in whole huge pages (its bytes must
  // not be read again), so a large document's text shrinks while its tree grows. Only for texts
  // of 32 MiB and more, where the peak matters more than the faults the next load then takes in
  // the buffer (the allocator used to map such buffers afresh in any case); a smaller buffer
  // keeps its pages for the next load (see PageBuffer).
  void ReleaseBefore(std::size_t Pos);

 private:
  struct Cut {
    std::size_t offset;   // position in the final text where a comment was cut out
    std::size_t removed;  // bytes cut out before that position, all comments so far
  };
  // The text of a run of whole source lines, built on its own: its records and positions count
  // from its own start.
  struct Part {
    char* base = nullptr;       // where its text goes
    const char* src = nullptr;  // its source bytes [src, end)
    const char* end = nullptr;
    // Copied (not in place): the end of the room its text may use; a 16-byte step may write
    // past the text's end, never past this.
    char* room_end = nullptr;
    std::size_t mark = 0;  // bytes of a skipped byte-order mark in front of src
    bool in_place = false;
    bool wide_steps = true;  // see DocTextOptions
    char* w = nullptr;       // the end of its text
    ByteLog lines{};
    ByteLog collapses{};
    std::size_t last_collapse = 0;  // the position of the last record in collapses
    bool bang = false;
    void Build();
    // Room in lines and collapses for the records of SourceBytes of a typical source (room
    // never written costs address space only, see ByteLog).
    void ReserveRecords(std::size_t SourceBytes);
    // Build, its lines copied by Copy (see CopyBlocks).
    template <class LineCopy>
    void BuildWith(LineCopy Copy);
    // Takes back the runs at At or after it among those from byte Used of collapses on (the
    // record before them at Last): the end of a line trimmed them away.
    void DropRunsFrom(std::size_t At, std::size_t Used, std::size_t Last);
  };
  void Normalise(const char* Src, std::size_t Size, const DocTextOptions& Options);
  // Where a source [From, End) may be split for two threads: the start of a line whose
  // predecessor ends in a byte above 32 (so both halves build what the whole would), near the
  // middle; null when there is none.
  static const char* SplitPoint(const char* From, const char* End);
  // Appends Second, built after First on another thread, to First.
  static void Join(Part& First, Part& Second);
  void CutComments(bool NoteComments);

  PageBuffer buf_;
  std::size_t size_ = 0;
  // One record per kept line, in order: varint(length in the joined text * 64 + joining space *
  // 32 + has-skips * 16 + min(bytes trimmed from the front of the line, 15)), then, with
  // has-skips, varint(source lines skipped right before it), and when that minimum is 15,
  // varint(the bytes trimmed - 15). Two bytes for most lines; read only when a load fails or
  // warnings are asked for.
  ByteLog lines_;
  // Every run of two or more spaces collapsed, in order, in records of three kinds, each opening
  // with varint((its position - the position of the record before) * 4 + kind):
  // - kind 0, one run: the position is that of the byte after the run's kept space in the joined
  //   text, and varint(the spaces left out) follows;
  // - kind 1, the runs of a 16-byte block of the source: the position is where the block's first
  //   byte went, and two bytes follow, the bits of the block's bytes left out (lowest first).
  //   A run that goes on from the block before starts at the block's position. Lines are copied
  //   a block at a time and a block's record is written without a branch on its runs;
  // - kind 2, the same for a 64-byte step (see DocTextOptions::wide_steps), with eight bytes of
  //   bits.
  // Two to four bytes for most runs and blocks instead of sixteen (text with many runs of spaces
  // has one in every few dozen bytes).
  ByteLog collapses_;
  std::vector<Cut> cuts_;
  std::vector<CommentNote> comments_;
  std::size_t released_ = 0;  // Text()[0, released_) is given back
  std::size_t unclosed_comment_ = std::string_view::npos;
  bool may_have_comments_ = true;  // a "!" was seen
  bool skipped_bom_ = false;
};

}  // namespace linexml::detail
