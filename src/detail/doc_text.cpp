#include "doc_text.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "bytes.h"
#include "simd.h"

namespace linexml::detail {
namespace {

const char* FindOr(const char* P, const char* End, char C) {
  if (P >= End) return End;  // also keeps a null pointer (empty input) away from memchr
  const void* Hit = std::memchr(P, C, static_cast<std::size_t>(End - P));
  return Hit == nullptr ? End : static_cast<const char*>(Hit);
}

// Past the bytes 0..32 from P that end no line: the line's first byte above 32, its end, or End
// (indentation is most of what a line of a typical document trims).
const char* SkipIndent(const char* P, const char* End) {
  return simd::FindIf(P, End,
                      [](simd::Block B) { return (B.AtLeast(33) | B.Eq('\n') | B.Eq('\r')).ToBits(); });
}

// Past the run of LF bytes from P (empty lines: a file padded with millions of blank lines costs a
// fraction of a byte-by-byte scan).
const char* SkipLineFeeds(const char* P, const char* End) {
  return simd::FindIf(P, End, [](simd::Block B) { return ~B.Eq('\n').ToBits() & 0xFFFFu; });
}

std::size_t GetVarint(const char*& P) {
  std::size_t V = 0;
  for (unsigned Shift = 0;; Shift += 7) {
    const auto B = static_cast<unsigned char>(*P++);
    V |= static_cast<std::size_t>(B & 0x7F) << Shift;
    if (B < 0x80) return V;
  }
}

// The record of a kept line (see DocText::lines_), at most 30 bytes, written at Rec; returns its end.
inline char* PutLineRecord(char* Rec, std::size_t Length, std::size_t Skipped, std::size_t Trimmed,
                           bool JoinSpace) {
  const std::size_t Low = Trimmed < 15 ? Trimmed : 15;
  const std::size_t Head = Length << 6 | (JoinSpace ? 32u : 0u) | (Skipped > 0 ? 16u : 0u) | Low;
  if (Head < (std::size_t{1} << 14) && Skipped == 0 && Low < 15) {
    // Most lines: one or two bytes, nothing after them.
    if (Head < 0x80) {
      *Rec = static_cast<char>(Head);
      return Rec + 1;
    }
    Rec[0] = static_cast<char>((Head & 0x7F) | 0x80);
    Rec[1] = static_cast<char>(Head >> 7);
    return Rec + 2;
  }
  Rec = PutVarint(Rec, Head);
  if (Skipped > 0) Rec = PutVarint(Rec, Skipped);
  if (Low == 15) Rec = PutVarint(Rec, Trimmed - 15);
  return Rec;
}

// Copies the rest of a line from P to Out with every run of spaces reduced to one; returns where
// the line ends (a line end, or End) and advances Out. Run(At, Dropped) is told of every run
// collapsed, in order (At: the text position after its kept space). Every "!" read sets a bit of
// Bangs. A whole block is stored only where that writes over no byte not yet read (in place: Out
// never lies after P) and stays before RoomEnd (copied).
template <class OnRun>
inline const char* CopyLine(char*& Out, const char* P, const char* const End, const bool InPlace,
                            const char* const RoomEnd, simd::Bits& Bangs, OnRun&& Run) {
  char* W = Out;
  simd::Bits Seen = 0;
  simd::Bits Before = 0;  // the spaces of the block before, a whole one of this line
  char* RunAt = nullptr;  // the last run met, told once the next one starts or the line ends
  std::size_t RunDropped = 0;
  for (;;) {
    const auto Left = static_cast<std::size_t>(End - P);
    const bool Whole = Left >= simd::kBlock;
    const simd::Block V = Whole ? simd::Block::Load(P) : simd::LoadPart(P, Left);
    const simd::Bits Eol = (V.Eq('\n') | V.Eq('\r')).ToBits();
    const simd::Bits Spaces = V.Eq(' ').ToBits();
    Seen |= V.Eq('!').ToBits();
    // The spaces that follow a space are left out.
    simd::Bits Drop = Spaces & (Spaces << 1 | Before >> 15);
    if (Whole && (Eol | Drop) == 0) {
      // Most blocks: the text is at most one byte longer than the source read so far, so a whole
      // block fits both in place and in a copy's room.
      V.Store(W);
      W += simd::kBlock;
      P += simd::kBlock;
      Before = Spaces;
      continue;
    }
    // The line's bytes in this block.
    const std::size_t N = Eol != 0 ? simd::Lowest(Eol) : Whole ? simd::kBlock : Left;
    Drop &= simd::Below(N);
    std::size_t Dropped = 0;  // of this block, before the run at hand
    simd::Block Kept = V;
    for (simd::Bits D = Drop; D != 0;) {
      const unsigned From = simd::Lowest(D);
      const unsigned Count = simd::Lowest(~(D >> From));
      if (From == 0 && (Before & 0xC000u) == 0xC000u) {
        RunDropped += Count;  // the run the block before ended with goes on
      } else {
        if (RunAt != nullptr) Run(RunAt, RunDropped);
        RunAt = W + From - Dropped;
        RunDropped = Count;
      }
      // The runs before this one are out of Kept already.
      Kept = Kept.WithoutRun(From - static_cast<unsigned>(Dropped), Count);
      Dropped += Count;
      D &= ~simd::Below(From + Count);
    }
    if (N == simd::kBlock || W + simd::kBlock <= (InPlace ? P + N : RoomEnd)) {
      Kept.Store(W);
    } else {
      char Room[simd::kBlock];
      Kept.Store(Room);
      std::memcpy(W, Room, N - Dropped);
    }
    W += N - Dropped;
    P += N;
    if (N < simd::kBlock) break;
    Before = Spaces;
  }
  if (RunAt != nullptr) Run(RunAt, RunDropped);
  Out = W;
  Bangs |= Seen;
  return P;
}

// The same, faster on lines with few runs of spaces, while a whole block and the byte after it
// can be read: each block is stored as it is read, up to the line's end or up to the first of
// two spaces in a row, whose run is then skipped and the copy goes on after it. Returns where
// it stopped: at the line's end (a line end byte), or where CopyLine goes on with the line (at
// End, or at a byte that no space before it joins into a run). In place, Out must lie at least
// a block behind P, so that no store reaches a byte not yet read.
template <class OnRun>
inline const char* CopyBlocks(char*& Out, const char* P, const char* const End, const bool InPlace,
                              const char* const RoomEnd, simd::Bits& Bangs, OnRun&& Run) {
  char* W = Out;
  simd::Bits Seen = 0;
  while (End - P > static_cast<std::ptrdiff_t>(simd::kBlock) && (InPlace || W + simd::kBlock <= RoomEnd)) {
    const simd::Block V = simd::Block::Load(P);
    const simd::Bits Eol = (V.Eq('\n') | V.Eq('\r')).ToBits();
    const simd::Lanes Space = V.Eq(' ');
    const simd::Bits Spaces = Space.ToBits();
    const simd::Bits Pairs = (Space & simd::Block::Load(P + 1).Eq(' ')).ToBits();
    Seen |= V.Eq('!').ToBits();
    V.Store(W);
    if ((Eol | Pairs) == 0) {
      W += simd::kBlock;
      P += simd::kBlock;
      continue;
    }
    const unsigned At = simd::Lowest(Eol | Pairs);
    W += At;
    P += At;
    if ((Eol >> At & 1) != 0) break;
    // The run's first space stays; the spaces after it go. Its length inside the block comes
    // from the block's spaces (no byte-by-byte loop, whose end a branch could not predict); only
    // a run that reaches the block's end is followed further.
    const unsigned Length = simd::Lowest(~(Spaces >> At));
    ++W;
    const char* const Kept = P + 1;
    P += Length;
    if (At + Length == simd::kBlock)
      while (P < End && *P == ' ') ++P;
    Run(W, static_cast<std::size_t>(P - Kept));
  }
  Out = W;
  Bangs |= Seen;
  return P;
}

}  // namespace

std::string_view TrimLine(std::string_view Line) {
  return Trimmed(Line);
}

char* CopyCollapsed(char* Out, std::string_view Line) {
  const char* P = Line.data();
  const char* const End = P + Line.size();
  while (P < End) {
    const char* Sp = FindOr(P, End, ' ');
    if (Sp == End) {
      std::memcpy(Out, P, static_cast<std::size_t>(End - P));
      return Out + (End - P);
    }
    std::memcpy(Out, P, static_cast<std::size_t>(Sp + 1 - P));
    Out += Sp + 1 - P;
    P = Sp + 1;
    while (P < End && *P == ' ') ++P;
  }
  return Out;
}

// The 16-byte steps of a copy may write up to this far past the end of the text they build.
constexpr std::size_t kStepRoom = 16;

DocText::DocText(std::string_view Source, DocTextOptions Options) : buf_(Source.size() + 1 + kStepRoom) {
  Normalise(Source.data(), Source.size(), Options);
  CutComments(Options.note_comments);
}

DocText::DocText(PageBuffer Bytes, std::size_t Size, DocTextOptions Options) : buf_(std::move(Bytes)) {
  Normalise(buf_.get() + 1, Size, Options);
  CutComments(Options.note_comments);
}

void DocText::Part::Build() {
  // The text is written from base. Every kept line costs at most its length plus the joining
  // space, and every line but the last has a terminator of at least one byte, so the text needs
  // one byte more than the source, and written in place (the source one byte in) it never
  // overtakes the bytes still to be read.
  char* const Base = base;
  const char* const End = end;
  const bool InPlace = in_place;
  const char* const RoomEnd = room_end;
  char* W = Base;
  const char* P = src;
  std::size_t Skipped = 0;  // empty source lines since the last kept one
  // A skipped byte-order mark counts as trimmed from the front of the first line.
  std::size_t Mark = mark;
  simd::Bits Bangs = 0;
  // Two bytes for a line of 16 (the rest: a byte-order mark, a line end, a record of its own).
  lines.Reserve(static_cast<std::size_t>(End - src) / 8 + 64);
  // The records are written at Rec, up to RecEnd (the room the log has).
  char* Rec = lines.Room(32);
  const char* RecEnd = lines.Limit();
  while (P < End) {
    const char* const From = P;
    // The line's leading bytes 0..32 are trimmed; meeting its end first makes it an empty line.
    P = SkipIndent(P, End);
    if (P == End) break;
    if (*P == '\n') {
      const char* const Run = SkipLineFeeds(P, End);
      Skipped += static_cast<std::size_t>(Run - P);
      P = Run;
      Mark = 0;
      continue;
    }
    if (*P == '\r') {
      P += P + 1 < End && P[1] == '\n' ? 2 : 1;
      ++Skipped;
      Mark = 0;
      continue;
    }
    const std::size_t Trimmed = static_cast<std::size_t>(P - From) + Mark;
    Mark = 0;
    char* const LineStart = W;
    const bool JoinSpace = *P != '<';
    if (JoinSpace) *W++ = ' ';
    const std::size_t RunsBefore = collapses.size(), LastBefore = last_collapse;
    auto PutRun = [this, Base](const char* At, std::size_t Dropped) {
      PutCollapse({static_cast<std::size_t>(At - Base), Dropped});
    };
    if (!InPlace || P - W >= static_cast<std::ptrdiff_t>(simd::kBlock))
      P = CopyBlocks(W, P, End, InPlace, RoomEnd, Bangs, PutRun);
    if (P == End || (*P != '\n' && *P != '\r')) P = CopyLine(W, P, End, InPlace, RoomEnd, Bangs, PutRun);
    // The trailing bytes 0..32; the line's first byte is not one of them, so this stops there.
    while (IsTrimmed(W[-1])) --W;
    // Runs the trimming took away are no longer runs of the text.
    if (collapses.size() != RunsBefore && last_collapse >= static_cast<std::size_t>(W - Base))
      DropRunsFrom(static_cast<std::size_t>(W - Base), RunsBefore, LastBefore);
    if (RecEnd - Rec < 32) {
      lines.SetEnd(Rec);
      Rec = lines.Room(32);
      RecEnd = lines.Limit();
    }
    Rec = PutLineRecord(Rec, static_cast<std::size_t>(W - LineStart), Skipped, Trimmed, JoinSpace);
    Skipped = 0;
    if (P == End) break;
    P += *P == '\r' && P + 1 < End && P[1] == '\n' ? 2 : 1;
  }
  lines.SetEnd(Rec);
  w = W;
  bang = Bangs != 0;
}

void DocText::Part::DropRunsFrom(std::size_t At, std::size_t Used, std::size_t Last) {
  const char* P = collapses.data() + Used;
  const char* const Stop = collapses.data() + collapses.size();
  while (P < Stop) {
    const std::size_t RunAt = Last + GetVarint(P);
    GetVarint(P);
    if (RunAt >= At) break;
    Used = static_cast<std::size_t>(P - collapses.data());
    Last = RunAt;
  }
  collapses.Truncate(Used);
  last_collapse = Last;
}

const char* DocText::SplitPoint(const char* From, const char* End) {
  // The first LF from the middle on whose byte before is above 32: the line it ends is kept, and
  // no empty lines are pending when the second half starts.
  for (const char* P = From + (End - From) / 2 + 1; P < End; ++P) {
    P = FindOr(P, End, '\n');
    if (P == End) break;
    if (!IsTrimmed(P[-1])) return P + 1;
  }
  return nullptr;
}

void DocText::Join(Part& First, Part& Second) {
  // The second text follows the first (it was built after the gap the first one's trimming left).
  const std::size_t Size = static_cast<std::size_t>(Second.w - Second.base);
  if (Size > 0) std::memmove(First.w, Second.base, Size);
  const auto Offset = static_cast<std::size_t>(First.w - First.base);
  First.w += Size;
  First.lines.Append(Second.lines.data(), Second.lines.size());
  // The first run of the second part is the only one whose distance changes.
  if (!Second.collapses.empty()) {
    const char* P = Second.collapses.data();
    const std::size_t At = GetVarint(P) + Offset;
    const std::size_t Dropped = GetVarint(P);
    char Bytes[20];
    char* E = PutVarint(PutVarint(Bytes, At - First.last_collapse), Dropped);
    First.collapses.Append(Bytes, static_cast<std::size_t>(E - Bytes));
    First.collapses.Append(P,
                           static_cast<std::size_t>(Second.collapses.data() + Second.collapses.size() - P));
    First.last_collapse = Second.last_collapse + Offset;
  }
  First.bang = First.bang || Second.bang;
}

void DocText::Normalise(const char* Src, std::size_t Size, const DocTextOptions& Options) {
  char* const Base = buf_.get();
  Part First;
  First.base = Base;
  First.src = Src;
  First.end = Src + Size;
  First.in_place = Src == Base + 1;
  First.room_end = Base + buf_.size();
  if (Options.skip_bom && Size >= 3 && std::string_view(Src, 3) == kBom) {
    First.mark = 3;
    First.src += 3;
    skipped_bom_ = true;
  }
  const char* const Split =
      Options.threads != 1 && Size >= Options.two_threads_from ? SplitPoint(First.src, First.end) : nullptr;
  if (Split == nullptr) {
    First.Build();
  } else {
    // The first part ends before the LF at Split - 1, whose byte is then where the second part's
    // text starts (in place: the byte before its source, as for the whole). Each part reads and
    // writes only bytes of its own.
    Part Second;
    Second.src = Split;
    Second.end = First.end;
    Second.base = Base + (Split - Src);
    Second.in_place = First.in_place;
    Second.room_end = First.room_end;
    First.end = Split - 1;
    First.room_end = Second.base;
    std::exception_ptr Failed;
    {
      std::jthread Worker;
      try {
        Worker = std::jthread([&Second, &Failed] {
          try {
            Second.Build();
          } catch (...) {
            Failed = std::current_exception();
          }
        });
      } catch (const std::system_error&) {
        Second.Build();  // no thread to be had: this one builds both
      }
      First.Build();
    }
    if (Failed) std::rethrow_exception(Failed);
    Join(First, Second);
  }
  size_ = static_cast<std::size_t>(First.w - Base);
  lines_ = std::move(First.lines);
  collapses_ = std::move(First.collapses);
  may_have_comments_ = First.bang;
}

void DocText::CutComments(bool NoteComments) {
  char* const S = buf_.get();
  const std::size_t N = size_;
  const std::string_view Text(S, N);
  // Most documents hold no "!" at all, which the copy has seen already.
  if (!may_have_comments_) return;
  const void* Bang = N == 0 ? nullptr : std::memchr(S, '!', N);
  if (Bang == nullptr) return;
  const std::size_t From = static_cast<std::size_t>(static_cast<const char*>(Bang) - S);
  if (Text.find("<!--", From == 0 ? 0 : From - 1) == std::string_view::npos) return;

  // One pass, in place: W is the end of the text kept so far, R the next byte to read (W <= R).
  // The kept text never holds "<!--"; a new one can only end at the byte just copied, which is a
  // "-". This finds exactly the comments that cutting the first one and searching again from the
  // start would find, including those formed by text joined across a cut.
  std::size_t W = 0, R = 0;
  while (R < N) {
    const char* Dash = static_cast<const char*>(std::memchr(S + R, '-', N - R));
    const std::size_t Stop = Dash == nullptr ? N : static_cast<std::size_t>(Dash - S) + 1;
    std::memmove(S + W, S + R, Stop - R);
    W += Stop - R;
    R = Stop;
    if (Dash == nullptr || W < 4 || std::memcmp(S + W - 4, "<!--", 4) != 0) continue;

    // The comment starts at W - 4; its end is the first "-->" at or after that start, which may
    // overlap the "<!--" itself ("<!-->" is one comment).
    std::size_t After;
    if (R < N && S[R] == '>') {
      After = R + 1;
    } else if (R + 1 < N && S[R] == '-' && S[R + 1] == '>') {
      After = R + 2;
    } else {
      const std::size_t Close = Text.find("-->", R);
      if (Close == std::string_view::npos) {
        unclosed_comment_ = W - 4;  // unclosed: it stays, with the rest of the text
        break;
      }
      After = Close + 3;
    }
    W -= 4;
    // A comment formed across an earlier cut starts before it: that cut's text is gone too.
    while (!cuts_.empty() && cuts_.back().offset >= W) {
      cuts_.pop_back();
      if (NoteComments) comments_.pop_back();
    }
    if (NoteComments) {
      // Its start in the joined text, and its first bytes: the part kept so far, then the rest.
      constexpr std::size_t kHead = 48;
      CommentNote Note{W + (cuts_.empty() ? 0 : cuts_.back().removed), std::string(S + W, 4), W};
      Note.head.append(S + R, std::min(After - R, kHead - 4));
      comments_.push_back(std::move(Note));
    }
    R = After;
    cuts_.push_back({W, R - W});
  }
  if (R < N) {
    std::memmove(S + W, S + R, N - R);
    W += N - R;
  }
  size_ = W;
}

void DocText::ReleaseBefore(std::size_t Pos) {
#if defined(__linux__)
  constexpr std::size_t kLarge = std::size_t{32} << 20;
  // Whole huge pages only (the buffer asks for them): giving back part of one splits it, which
  // costs the kernel more than the release saves, and the next load that reuses the memory
  // faults it back in 4 KiB at a time (a warm load of 100 MB took twice as long with 1 MiB steps).
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  if (buf_.size() < kLarge || Pos <= released_) return;
  const auto Start = reinterpret_cast<std::uintptr_t>(buf_.get());
  const std::uintptr_t From = (Start + released_ + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t To = (Start + std::min(Pos, size_)) & ~(kHugePage - 1);
  if (To <= From) return;
  ::madvise(reinterpret_cast<void*>(From), To - From, MADV_DONTNEED);
  released_ = static_cast<std::size_t>(To - Start);
#else
  (void)Pos;
#endif
}

std::size_t DocText::JoinedAt(std::size_t Pos) const {
  const auto Before = std::upper_bound(cuts_.begin(), cuts_.end(), Pos,
                                       [](std::size_t P, const DocText::Cut& C) { return P < C.offset; });
  return Before == cuts_.begin() ? Pos : Pos + std::prev(Before)->removed;
}

SourcePlace DocText::Locate(std::size_t Pos) const {
  if (Pos >= size_) return {};
  Locator L(*this);
  return L.At(JoinedAt(Pos));
}

DocText::Locator::Locator(const DocText& Doc)
    : doc_(Doc), next_(Doc.lines_.data()), collapse_(Doc.collapses_.data()) {
  NextCollapse();
}

void DocText::Locator::NextCollapse() {
  has_collapse_ = collapse_ != doc_.collapses_.data() + doc_.collapses_.size();
  if (!has_collapse_) return;
  collapse_at_ += GetVarint(collapse_);
  collapse_dropped_ = GetVarint(collapse_);
}

SourcePlace DocText::Locator::At(std::size_t Joined) {
  const char* const Last = doc_.lines_.data() + doc_.lines_.size();
  // Walk the kept lines until the one that holds Joined.
  while (Joined >= end_) {
    if (next_ == Last) return {};
    const std::size_t Record = GetVarint(next_);
    line_ += 1 + static_cast<std::int64_t>((Record & 16) != 0 ? GetVarint(next_) : 0);
    trim_ = Record & 15;
    if (trim_ == 15) trim_ += GetVarint(next_);
    join_space_ = (Record & 32) != 0;
    start_ = end_;
    end_ += Record >> 6;
    shift_ = 0;
    while (has_collapse_ && collapse_at_ < start_) NextCollapse();
  }
  for (; has_collapse_ && collapse_at_ <= Joined; NextCollapse()) shift_ += collapse_dropped_;
  const std::size_t Space = join_space_ ? 1 : 0;
  const std::size_t Offset = Joined - start_ < Space ? 0 : Joined - start_ - Space;
  return {line_, static_cast<std::int64_t>(trim_ + Offset + shift_ + 1)};
}

}  // namespace linexml::detail
