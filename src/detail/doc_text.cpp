#include "doc_text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "bytes.h"
#include "simd.h"

#if defined(LINEXML_SSE2)
#include <immintrin.h>  // AVX-512, used only where the processor is asked first (HasWideSteps)
#endif

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

// The kinds of the records of collapsed runs (see DocText::collapses_), in a record's low two bits.
enum RunKind : std::size_t { kOneRun = 0, kBlockRuns = 1, kStepRuns = 2 };
// A record's first number: its distance from the record before, and its kind.
constexpr std::size_t RecordCode(std::size_t Distance, RunKind Kind) {
  return Distance << 2 | Kind;
}
constexpr std::size_t DistanceOf(std::size_t Code) {
  return Code >> 2;
}
constexpr RunKind KindOf(std::size_t Code) {
  return static_cast<RunKind>(Code & 3);
}

// The bytes of a wide step (see CopySteps).
constexpr std::size_t kStep = 64;

// The bytes of the bits that follow the position of a block's or a step's record.
std::size_t DropBytes(RunKind Kind) {
  return Kind == kStepRuns ? 8 : 2;
}
// The bits of the bytes left out, from a block's or a step's record at P (lowest byte first).
std::uint64_t GetDropBits(const char* P, std::size_t Bytes) {
  std::uint64_t V = 0;
  for (std::size_t I = 0; I < Bytes; ++I) V |= std::uint64_t{static_cast<unsigned char>(P[I])} << (8 * I);
  return V;
}
void PutDropBits(char* P, std::uint64_t V, std::size_t Bytes) {
  for (std::size_t I = 0; I < Bytes; ++I) P[I] = static_cast<char>(V >> (8 * I) & 0xFF);
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

// PutLineRecord for a line with no empty line before it, shorter than 256 bytes and with fewer
// than 143 bytes trimmed in front (Join: 1 with the joining space, else 0): the same bytes (one
// to three), without its loops, which cost the plain lines 5 % of their time.
inline char* PutShortLineRecord(char* Rec, std::size_t Length, std::size_t Trimmed, std::size_t Join) {
  const std::size_t Head = Length << 6 | Join << 5 | (Trimmed < 15 ? Trimmed : 15);
  Rec[0] = static_cast<char>(Head < 0x80 ? Head : (Head & 0x7F) | 0x80);
  Rec[1] = static_cast<char>(Head >> 7);
  Rec += Head < 0x80 ? 1 : 2;
  if (Trimmed >= 15) *Rec++ = static_cast<char>(Trimmed - 15);
  return Rec;
}

// Copies the rest of a line from P to Out with every run of spaces reduced to one; returns where
// the line ends (a line end, or End) and advances Out. Before: bit 15 set when the byte before P
// is a space of the line (copied already). Run(At, Dropped) is told of every run collapsed, in
// order (At: the text position after its kept space). Every "!" read sets a bit of Bangs. A whole
// block is stored only where that writes over no byte not yet read (in place: Out never lies after
// P) and stays before RoomEnd (copied). Called only where CopyBlocks cannot go on (the last
// bytes of the source, the first lines in place), so it is kept out of the line loop, which then
// holds fewer values at once (3.6 % fewer instructions in the text stage of the records shape).
template <class OnRun>
[[gnu::noinline]] const char* CopyLine(char*& Out, const char* P, const char* const End, const bool InPlace,
                                       const char* const RoomEnd, simd::Bits Before, simd::Bits& Bangs,
                                       OnRun&& Run) {
  char* W = Out;
  simd::Bits Seen = 0;
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
      const auto [From, Count] = simd::TakeRun(D);
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

// Where the records of the collapsed runs are written while a part is built (see
// DocText::collapses_): a cursor into the part's log, which Flush gives back to the log (before
// anything else reads or writes it) and Reload takes again.
class RunWriter {
 public:
  // The cursor as the blocks of a line take it: a copy, so that it stays in registers.
  struct Cursor {
    char* at;
    const char* limit;
    const char* last;  // the position of the last record, in the text
  };

  RunWriter(ByteLog& Log, std::size_t& Last, const char* Base) : log_(Log), last_of_log_(Last), base_(Base) {
    Reload();
  }
  RunWriter(const RunWriter&) = delete;
  RunWriter& operator=(const RunWriter&) = delete;
  ~RunWriter() = default;
  std::size_t Size() const { return static_cast<std::size_t>(at_ - log_.data()); }
  // The position of the last record.
  std::size_t Last() const { return last_; }
  // A run whose kept space ends at At (a text position), with Dropped spaces after it left out.
  void PutRun(const char* At, std::size_t Dropped) {
    Cursor C = Take();
    Reserve(C);
    C.at = PutVarint(PutVarint(C.at, RecordCode(static_cast<std::size_t>(At - C.last), kOneRun)), Dropped);
    C.last = At;
    Give(C);
  }
  Cursor Take() const { return {at_, limit_, base_ + last_}; }
  void Give(const Cursor& C) {
    at_ = C.at;
    limit_ = C.limit;
    last_ = static_cast<std::size_t>(C.last - base_);
  }
  // Room at C for the next record.
  void Reserve(Cursor& C) {
    if (C.limit - C.at < static_cast<std::ptrdiff_t>(kRoom)) {
      log_.SetEnd(C.at);
      C.at = log_.Room(kRoom);
      C.limit = log_.Limit();
    }
  }
  // A block stored from At with the bytes of Drop left out; nothing when Drop is 0, and no
  // branch on it (on text with many runs, half the blocks hold one, by chance).
  static void PutBlock(Cursor& C, const char* At, simd::Bits Drop) {
    const auto Code = RecordCode(static_cast<std::size_t>(At - C.last), kBlockRuns);
    const bool Some = Drop != 0;
    if (Some & (Code >= kTwoBytes)) [[unlikely]] {
      C.at = PutVarint(C.at, Code);
      C.at[0] = static_cast<char>(Drop & 0xFF);
      C.at[1] = static_cast<char>(Drop >> 8);
      C.at += 2;
      C.last = At;
      return;
    }
    // The position in two varint bytes (the second may be 0), then the bits.
    const auto Record = static_cast<std::uint32_t>(0x80 | (Code & 0x7F) | (Code & 0x3F80) << 1 | Drop << 16);
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(C.at, &Record, 4);
    } else {
      for (int I = 0; I < 4; ++I) C.at[I] = static_cast<char>(Record >> (8 * I));
    }
    C.at += 4 * static_cast<std::size_t>(Some);
    C.last = Some ? At : C.last;
  }
  // A step of 64 bytes stored from At with the bytes of Drop (not 0) left out.
  static void PutStep(Cursor& C, const char* At, std::uint64_t Drop) {
    C.at = PutVarint(C.at, RecordCode(static_cast<std::size_t>(At - C.last), kStepRuns));
    PutDropBits(C.at, Drop, 8);
    C.at += 8;
    C.last = At;
  }
  void Flush() {
    log_.SetEnd(at_);
    last_of_log_ = last_;
  }
  void Reload() {
    at_ = log_.Room(kRoom);
    limit_ = log_.Limit();
    last_ = last_of_log_;
  }

 private:
  static constexpr std::size_t kTwoBytes = std::size_t{1} << 14;
  static constexpr std::size_t kRoom = 32;  // more than any one record takes
  ByteLog& log_;
  std::size_t& last_of_log_;
  const char* base_;
  char* at_ = nullptr;
  const char* limit_ = nullptr;
  std::size_t last_ = 0;
};

// Copies a line from P to Out a block at a time while a whole block can be read from P (before
// End) and stored (before StoreEnd; in place, Out must lie at least a block behind P), each block
// with its spaces that follow a space left out (Store, see simd::StoreKept) and its record
// written to Runs. Before: bit 15 set when the byte before P is a space of the line. Returns at
// the line's end (a line end byte), or where CopyLine goes on with the line, Before then telling
// it the same.
template <class StoreKept>
[[gnu::always_inline]] inline const char* CopyBlocks(char*& Out, const char* P, const char* const End,
                                                     const char* const StoreEnd, simd::Bits& Before,
                                                     simd::Bits& Bangs, RunWriter& Runs, StoreKept Store) {
  constexpr auto kBlock = static_cast<std::ptrdiff_t>(simd::kBlock);
  char* W = Out;
  simd::Bits Seen = 0;
  simd::Bits Carry = Before >> 15;  // the byte before the block is a space
  simd::Bits Eol = 0, Spaces = 0, Line = 0, Drop = 0;
  // The block at P: its line ends, its spaces, the bytes of the line (all, or those before its
  // end) and the spaces of the line that follow a space.
  auto Read = [&](simd::Block V) {
    Eol = (V.Eq('\n') | V.Eq('\r')).ToBits();
    Spaces = V.Eq(' ').ToBits();
    Seen |= V.Eq('!').ToBits();
    Line = ((Eol & (0u - Eol)) - 1) & 0xFFFFu;
    Drop = Spaces & (Spaces << 1 | Carry) & Line;
    return V;
  };
  // Blocks are stored as read up to the first with a run (most documents have none but in their
  // indentation); from that one on, without a branch on their runs (text with many runs has one
  // in every other block, by chance).
  for (; End - P >= kBlock && StoreEnd - W >= kBlock; P += kBlock, W += kBlock) {
    const simd::Block V = Read(simd::Block::Load(P));
    if (Drop != 0) break;
    V.Store(W);
    if (Eol != 0) {
      W += simd::Lowest(Eol);
      P += simd::Lowest(Eol);
      Out = W;
      Bangs |= Seen;
      return P;
    }
    Carry = Spaces >> 15;
  }
  RunWriter::Cursor C = Runs.Take();
  for (; End - P >= kBlock && StoreEnd - W >= kBlock; P += kBlock) {
    const simd::Block V = Read(simd::Block::Load(P));
    Runs.Reserve(C);
    RunWriter::PutBlock(C, W, Drop);
    W = Store(V, Drop | (~Line & 0xFFFFu), W);
    if (Eol != 0) {
      P += simd::Lowest(Eol);
      break;
    }
    Carry = Spaces >> 15;
  }
  Runs.Give(C);
  Before = Carry << 15;
  Out = W;
  Bangs |= Seen;
  return P;
}

// What the plain lines of 64 bytes from a line's start are read from (see PlainLines): one bit a
// byte for the LF, the CR, the spaces, the bytes above 32, "<" and "!".
struct LineBits {
  std::uint64_t lf = 0, cr = 0, spaces = 0, kept = 0, lt = 0, bang = 0;
};

// Takes the plain lines from P, right after a line was taken or copied (so no empty line or
// byte-order mark is pending): each with its LF within 64 bytes of where the step's bits were
// read, a byte kept and no run of spaces, so that its kept bytes are one piece of the source.
// Stops at the first other line, with room for any line's record left at Rec. The lines of a
// step are all taken from its bits, so a step is read only for the first of them. Step reads the
// bits of the 64 bytes from a line's start (Read, whose lf alone counts where it is 0) and stores
// a line's kept bytes, First to Last of the step, at Out (Store, writing at most 64 bytes); it
// may read kReadable bytes from a step's start.
//
// The text gains no byte on the source with a line (its joining space stands for the line end):
// in place, what a line stores stays behind the bytes still to be read; copied, a step's lines
// store within two steps from where the text stood. A step holds at most 32 lines, with three
// bytes of record each.
template <std::ptrdiff_t kReadable, class Step>
[[gnu::always_inline]] inline void PlainLines(Step& S, char*& W, const char*& P, const char* End,
                                              const char* StoreEnd, bool InPlace, char*& Rec,
                                              const char* RecEnd, simd::Bits& Bangs) {
  constexpr std::ptrdiff_t kWide = 64;
  std::uint64_t Seen = 0;
  char* Out = W;
  const char* In = P;
  char* R = Rec;
  bool Go = true;
  while (Go && End - In >= kReadable && (InPlace ? In - Out > kWide : StoreEnd - Out > 2 * kWide) &&
         RecEnd - R >= 128) {
    const LineBits M = S.Read(In);
    std::uint64_t Lf = M.lf;
    const std::uint64_t Runs = M.spaces & M.spaces << 1;
    unsigned Start = 0;  // where the line being taken starts in the step
    while (Go) {
      // The line's end is past the step (the next step starts with it), or it is one to leave.
      if (Lf == 0) {
        Go = Start != 0;
        break;
      }
      const auto Stop = static_cast<unsigned>(std::countr_zero(Lf));
      const std::uint64_t Line = ((Lf & (0 - Lf)) - 1) & ~((std::uint64_t{1} << Start) - 1);
      const std::uint64_t Mine = M.kept & Line;
      // A CR before the LF ends the line there (CR alone, or CR LF): the caller's.
      if (Mine == 0 || (M.cr & Line) != 0) {
        Go = false;
        break;
      }
      const auto First = static_cast<unsigned>(std::countr_zero(Mine));
      const auto Last = static_cast<unsigned>(63 - std::countl_zero(Mine));
      const std::uint64_t Inner = ((std::uint64_t{2} << Last) - 1) & ~((std::uint64_t{1} << First) - 1);
      if ((Runs & Inner) != 0) {
        Go = false;
        break;
      }
      const unsigned Lead = First - Start;
      const std::uint64_t Join = (~M.lt >> First) & 1;  // the line starts with no "<"
      *Out = ' ';
      Out += Join;
      S.Store(Out, In, First, Inner);
      const std::size_t Count = Last - First + 1;
      Out += Count;
      Seen |= M.bang & Line;
      R = PutShortLineRecord(R, Count + Join, Lead, Join);
      Start = Stop + 1;  // 64 only with the step's last LF taken
      Lf &= Lf - 1;
    }
    In += Start;
  }
  W = Out;
  P = In;
  Rec = R;
  Bangs |= Seen != 0 ? 1u : 0u;
}

// PlainLines with the 16-byte steps: a step's bits from four blocks (the LF first, so that a long
// line is left after four compares), a line's bytes copied as four blocks from the source.
struct BlockLines {
  static LineBits Read(const char* P) {
    LineBits M;
    for (unsigned I = 0; I < 4; ++I)
      M.lf |= std::uint64_t{simd::Block::Load(P + simd::kBlock * I).Eq('\n').ToBits()} << (simd::kBlock * I);
    if (M.lf == 0) return M;
    for (unsigned I = 0; I < 4; ++I) {
      const simd::Block B = simd::Block::Load(P + simd::kBlock * I);
      const std::size_t Shift = simd::kBlock * I;
      M.cr |= std::uint64_t{B.Eq('\r').ToBits()} << Shift;
      M.spaces |= std::uint64_t{B.Eq(' ').ToBits()} << Shift;
      M.kept |= std::uint64_t{B.AtLeast(33).ToBits()} << Shift;
      M.lt |= std::uint64_t{B.Eq('<').ToBits()} << Shift;
      M.bang |= std::uint64_t{B.Eq('!').ToBits()} << Shift;
    }
    return M;
  }
  // All four blocks are read before any is stored: in place, the first store may reach them.
  static void Store(char* Out, const char* In, unsigned First, std::uint64_t /*Inner*/) {
    const char* const From = In + First;
    const simd::Block B0 = simd::Block::Load(From), B1 = simd::Block::Load(From + 16),
                      B2 = simd::Block::Load(From + 32), B3 = simd::Block::Load(From + 48);
    B0.Store(Out);
    B1.Store(Out + 16);
    B2.Store(Out + 32);
    B3.Store(Out + 48);
  }
};

// How a line is copied (see DocText::Part::BuildWith): a block at a time, each stored by
// StoreKept.
template <class StoreKept>
struct BlockCopy {
  [[gnu::always_inline]] const char* operator()(char*& Out, const char* P, const char* End,
                                                const char* StoreEnd, bool /*InPlace*/, simd::Bits& Before,
                                                simd::Bits& Bangs, RunWriter& Runs) const {
    return CopyBlocks(Out, P, End, StoreEnd, Before, Bangs, Runs, StoreKept{});
  }
  // Never takes a line whole (see StepCopy::TakeLine).
  static bool TakeLine(const auto&... /*Unused*/) { return false; }
  // After a short line copied: the plain lines that follow, unless the last few tries found
  // none (prose has short lines between long ones).
  [[gnu::always_inline]] void AfterLine(char*& W, const char*& P, const char* End, const char* StoreEnd,
                                        bool InPlace, char*& Rec, const char* RecEnd, simd::Bits& Bangs) {
    if (wait_ > 0) {
      --wait_;
      return;
    }
    const char* const From = P;
    TakeBlockLines(W, P, End, StoreEnd, InPlace, Rec, RecEnd, Bangs);
    if (P == From) wait_ = 8;
  }
  // Out of the line loop, which then keeps its values in registers.
  [[gnu::noinline]] static void TakeBlockLines(char*& W, const char*& P, const char* End,
                                               const char* StoreEnd, bool InPlace, char*& Rec,
                                               const char* RecEnd, simd::Bits& Bangs) {
    BlockLines Lines;
    PlainLines<128>(Lines, W, P, End, StoreEnd, InPlace, Rec, RecEnd, Bangs);
  }
  unsigned wait_ = 0;
  static void TakePlainLines(const auto&... /*Unused*/) {}
};

struct StoreBytes {
  char* operator()(simd::Block V, simd::Bits Drop, char* W) const { return simd::StoreKept(V, Drop, W); }
};

#if defined(LINEXML_SSE2)
struct StoreShuffled {
  [[gnu::target("ssse3")]] char* operator()(simd::Block V, simd::Bits Drop, char* W) const {
    return V.StoreKeptShuffled(Drop, W);
  }
};

// The part built with SSSE3's shuffles: the whole loop is compiled for it, so the shuffles are
// inlined into it.
template <class PartOf>
[[gnu::target("ssse3")]] void BuildShuffled(PartOf& Part) {
  Part.BuildWith(BlockCopy<StoreShuffled>{});
}

// The 64-byte steps: AVX-512's compares give a step's line ends, spaces and "!" as masks, and its
// compress gathers the bytes kept in one instruction, where the 16-byte steps take two shuffles
// from a table and four times as many steps; a step's runs take one record, not four.
#define LINEXML_WIDE_TARGET "avx512f,avx512bw,avx512vbmi2,popcnt,bmi,bmi2,ssse3"

// The bytes of a step equal to C.
[[gnu::target(LINEXML_WIDE_TARGET)]] inline std::uint64_t Eq(__m512i V, char C) {
  return _mm512_cmpeq_epi8_mask(V, _mm512_set1_epi8(C));
}
// The line ends of a step (LF or CR).
[[gnu::target(LINEXML_WIDE_TARGET)]] inline std::uint64_t LineEnds(__m512i V) {
  return Eq(V, '\n') | Eq(V, '\r');
}
// The bits below the lowest of Ends (all of them when it is 0).
constexpr std::uint64_t BeforeFirst(std::uint64_t Ends) {
  return (Ends & (0 - Ends)) - 1;
}

// Copies a line from P to Out 64 bytes a step while a whole step can be read before End and
// stored before StoreEnd (in place: only from 64 bytes or more behind P), each step with its
// spaces that follow a space left out and, when it has such spaces, its record written to Runs.
// Before: as for CopyBlocks, on the way in and out. Returns at the line's end (a line end byte),
// or where CopyBlocks goes on with the line.
[[gnu::target(LINEXML_WIDE_TARGET)]] inline const char* CopySteps(char*& Out, const char* P,
                                                                  const char* const End,
                                                                  const char* const StoreEnd,
                                                                  const bool InPlace, simd::Bits& Before,
                                                                  simd::Bits& Bangs, RunWriter& Runs) {
  constexpr auto kWide = static_cast<std::ptrdiff_t>(kStep);
  char* W = Out;
  if (InPlace && P - W < kWide) return P;
  std::uint64_t Seen = 0;
  std::uint64_t Carry = Before >> 15;  // the byte before the step is a space
  RunWriter::Cursor C = Runs.Take();
  for (; End - P >= kWide && StoreEnd - W >= kWide; P += kWide) {
    const __m512i V = _mm512_loadu_si512(P);
    const std::uint64_t Eol = LineEnds(V);
    const std::uint64_t Spaces = Eq(V, ' ');
    Seen |= Eq(V, '!');
    const std::uint64_t Line = BeforeFirst(Eol);
    const std::uint64_t Drop = Spaces & (Spaces << 1 | Carry) & Line;
    const std::uint64_t Keep = ~Drop & Line;
    if (Drop == 0) {
      _mm512_storeu_si512(W, V);  // most lines: a store that need not wait for the compress
    } else {
      _mm512_storeu_si512(W, _mm512_maskz_compress_epi8(Keep, V));
      Runs.Reserve(C);
      RunWriter::PutStep(C, W, Drop);
    }
    W += std::popcount(Keep);
    if (Eol != 0) {
      P += std::countr_zero(Eol);
      break;
    }
    Carry = Spaces >> 63;
  }
  Runs.Give(C);
  Before = static_cast<simd::Bits>(Carry << 15);
  Out = W;
  Bangs |= Seen != 0 ? 1u : 0u;
  return P;
}

// PlainLines with the 64-byte steps: a step's bits from one load, kept whole for the compress
// that stores a line's bytes.
struct StepLines {
  __m512i v;
  [[gnu::target(LINEXML_WIDE_TARGET)]] LineBits Read(const char* P) {
    v = _mm512_loadu_si512(P);
    return {Eq(v, '\n'), Eq(v, '\r'), Eq(v, ' '), _mm512_cmpgt_epu8_mask(v, _mm512_set1_epi8(' ')),
            Eq(v, '<'),  Eq(v, '!')};
  }
  [[gnu::target(LINEXML_WIDE_TARGET)]] void Store(char* Out, const char* /*In*/, unsigned /*First*/,
                                                  std::uint64_t Inner) const {
    _mm512_storeu_si512(Out, _mm512_maskz_compress_epi8(Inner, v));
  }
};

// How a line is copied with the 64-byte steps: the line's last bytes, too few for a step, a
// block at a time.
struct StepCopy {
  // Lines the 64-byte steps copied are long ones: no plain lines are looked for after them.
  static void AfterLine(const auto&... /*Unused*/) {}
  [[gnu::target(LINEXML_WIDE_TARGET)]] const char* operator()(char*& Out, const char* P, const char* End,
                                                              const char* StoreEnd, bool InPlace,
                                                              simd::Bits& Before, simd::Bits& Bangs,
                                                              RunWriter& Runs) const {
    P = CopySteps(Out, P, End, StoreEnd, InPlace, Before, Bangs, Runs);
    if (P != End && (*P == '\n' || *P == '\r')) return P;
    return CopyBlocks(Out, P, End, StoreEnd, Before, Bangs, Runs, StoreShuffled{});
  }
  // Takes the line from P (its first byte, before the trimming) in one step when the step holds
  // its line end and a byte to keep, and there is room for a whole step: its text stored at W
  // (trimmed, its runs collapsed, with the joining space), the record of its runs written to Runs
  // and its line record at Rec (which has room for one), P moved past its line end. Otherwise
  // false, with nothing changed. Most lines of a typical document take one step this way, with
  // no branch on their indentation, length or runs.
  [[gnu::target(LINEXML_WIDE_TARGET)]] static bool TakeLine(char*& W, const char*& P, const char* End,
                                                            const char* StoreEnd, bool InPlace,
                                                            std::size_t& Skipped, std::size_t& Mark,
                                                            char*& Rec, simd::Bits& Bangs, RunWriter& Runs) {
    constexpr auto kWide = static_cast<std::ptrdiff_t>(kStep);
    // The joining space and a whole step: in place, behind the bytes still to be read.
    if (End - P < kWide || (InPlace ? P - W : StoreEnd - W) <= kWide) return false;
    const __m512i V = _mm512_loadu_si512(P);
    const std::uint64_t Eol = LineEnds(V);
    const std::uint64_t Line = BeforeFirst(Eol);
    const std::uint64_t Kept = _mm512_cmpgt_epu8_mask(V, _mm512_set1_epi8(32)) & Line;
    if (Eol == 0 || Kept == 0) return false;
    // From the first byte kept to the last; the spaces that follow a space between them go.
    const auto Lead = static_cast<unsigned>(std::countr_zero(Kept));
    const auto Last = static_cast<unsigned>(63 - std::countl_zero(Kept));  // below the line end, so < 63
    const std::uint64_t Inner = ((std::uint64_t{2} << Last) - 1) & ~((std::uint64_t{1} << Lead) - 1);
    const std::uint64_t Spaces = Eq(V, ' ');
    const std::uint64_t Drop = Spaces & Spaces << 1 & Inner;
    char* const LineStart = W;
    const bool JoinSpace = P[Lead] != '<';
    *W = ' ';
    W += JoinSpace ? 1 : 0;
    _mm512_storeu_si512(W, _mm512_maskz_compress_epi8(Inner & ~Drop, V));
    if (Drop != 0) {
      RunWriter::Cursor C = Runs.Take();
      Runs.Reserve(C);
      RunWriter::PutStep(C, W, Drop >> Lead);
      Runs.Give(C);
    }
    W += std::popcount(Inner & ~Drop);
    Bangs |= (Eq(V, '!') & Line) != 0 ? 1u : 0u;
    Rec = PutLineRecord(Rec, static_cast<std::size_t>(W - LineStart), Skipped, Lead + Mark, JoinSpace);
    Skipped = 0;
    Mark = 0;
    const char* const Stop = P + std::countr_zero(Eol);
    P = Stop + (*Stop == '\r' && Stop + 1 < End && Stop[1] == '\n' ? 2 : 1);
    return true;
  }
  // Right after TakeLine took a line: the plain lines that follow (see PlainLines). Most lines of
  // an indented document are plain: the records shape's text stage takes about a fourth less time
  // than with TakeLine alone.
  [[gnu::target(LINEXML_WIDE_TARGET)]] static void TakePlainLines(char*& W, const char*& P, const char* End,
                                                                  const char* StoreEnd, bool InPlace,
                                                                  char*& Rec, const char* RecEnd,
                                                                  simd::Bits& Bangs) {
    StepLines Lines;
    PlainLines<kStep>(Lines, W, P, End, StoreEnd, InPlace, Rec, RecEnd, Bangs);
  }
};

template <class PartOf>
[[gnu::target(LINEXML_WIDE_TARGET)]] void BuildSteps(PartOf& Part) {
  Part.BuildWith(StepCopy{});
}
#undef LINEXML_WIDE_TARGET
#endif

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
#if defined(LINEXML_SSE2)
  if (wide_steps && simd::HasWideSteps()) {
    BuildSteps(*this);
    return;
  }
  if (simd::HasSsse3()) {
    BuildShuffled(*this);
    return;
  }
#endif
  BuildWith(BlockCopy<StoreBytes>{});
}

template <class LineCopy>
[[gnu::always_inline]] inline void DocText::Part::BuildWith(LineCopy Copy) {
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
  ReserveRecords(static_cast<std::size_t>(End - src));
  // The records are written at Rec, up to RecEnd (the room the log has).
  char* Rec = lines.Room(32);
  const char* RecEnd = lines.Limit();
  RunWriter Runs(collapses, last_collapse, Base);
  // In place, the text never overtakes the source, which ends at End.
  const char* const StoreEnd = InPlace ? End : RoomEnd;
  while (P < End) {
    if (RecEnd - Rec < 32) {
      lines.SetEnd(Rec);
      Rec = lines.Room(32);
      RecEnd = lines.Limit();
    }
    if (Copy.TakeLine(W, P, End, StoreEnd, InPlace, Skipped, Mark, Rec, Bangs, Runs)) {
      // A short line is most often followed by more of them.
      Copy.TakePlainLines(W, P, End, StoreEnd, InPlace, Rec, RecEnd, Bangs);
      continue;
    }
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
    const std::size_t RunsBefore = Runs.Size(), LastBefore = Runs.Last();
    simd::Bits Before = 0;
    if (!InPlace || P - W >= static_cast<std::ptrdiff_t>(simd::kBlock))
      P = Copy(W, P, End, StoreEnd, InPlace, Before, Bangs, Runs);
    if (P == End || (*P != '\n' && *P != '\r')) {
      P = CopyLine(W, P, End, InPlace, RoomEnd, Before, Bangs,
                   [&Runs](const char* At, std::size_t Dropped) { Runs.PutRun(At, Dropped); });
    }
    // The trailing bytes 0..32; the line's first byte is not one of them, so this stops there.
    char* const Untrimmed = W;
    while (IsTrimmed(W[-1])) --W;
    // Runs the trimming took away are no longer runs of the text. A run stands at most a step
    // after its record's position.
    if (W != Untrimmed && Runs.Size() != RunsBefore &&
        Runs.Last() + kStep >= static_cast<std::size_t>(W - Base)) {
      Runs.Flush();
      DropRunsFrom(static_cast<std::size_t>(W - Base), RunsBefore, LastBefore);
      Runs.Reload();
    }
    Rec = PutLineRecord(Rec, static_cast<std::size_t>(W - LineStart), Skipped, Trimmed, JoinSpace);
    Skipped = 0;
    if (P == End) break;
    P += *P == '\r' && P + 1 < End && P[1] == '\n' ? 2 : 1;
    // A short line is most often followed by more of them.
    if (P - From <= static_cast<std::ptrdiff_t>(kStep))
      Copy.AfterLine(W, P, End, StoreEnd, InPlace, Rec, RecEnd, Bangs);
  }
  lines.SetEnd(Rec);
  Runs.Flush();
  w = W;
  bang = Bangs != 0;
}

void DocText::Part::ReserveRecords(std::size_t SourceBytes) {
  // Two bytes for a line of 16 (the rest: a byte-order mark, a line end, a record of its own).
  lines.Reserve(SourceBytes / 8 + 64);
  // Ten bytes for a step of 64 with runs, or four for a block of 16: enough for text with a run in
  // most of them (a tenth to an eighth of prose with loose spacing), so that such a log is not
  // copied over and over as it grows.
  collapses.Reserve(SourceBytes / 6 + 64);
}

void DocText::Part::DropRunsFrom(std::size_t At, std::size_t Used, std::size_t Last) {
  char* const Data = collapses.data();
  const char* P = Data + Used;
  const char* const Stop = Data + collapses.size();
  while (P < Stop) {
    const std::size_t Code = GetVarint(P);
    const std::size_t Position = Last + DistanceOf(Code);
    if (KindOf(Code) == kOneRun) {
      GetVarint(P);
      if (Position >= At) break;
    } else {
      // A block's or a step's runs: those before At stay.
      char* const Bits = Data + (P - Data);  // P, to write the bits kept
      const std::size_t Bytes = DropBytes(KindOf(Code));
      const std::uint64_t All = GetDropBits(Bits, Bytes);
      std::uint64_t Kept = 0;
      std::size_t Dropped = 0;
      for (std::uint64_t Rest = All; Rest != 0;) {
        const std::uint64_t Left = Rest;
        const auto [From, Count] = simd::TakeRun(Rest);
        if (Position + From - Dropped >= At) break;
        Kept |= Left & ~Rest;  // the run just taken
        Dropped += Count;
      }
      if (Kept == 0) break;
      P += Bytes;
      Used = static_cast<std::size_t>(P - Data);
      Last = Position;
      if (Kept != All) {
        PutDropBits(Bits, Kept, Bytes);
        break;
      }
      continue;
    }
    Used = static_cast<std::size_t>(P - Data);
    Last = Position;
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
  // The first record of the second part is the only one whose distance changes.
  if (!Second.collapses.empty()) {
    const char* P = Second.collapses.data();
    const std::size_t Code = GetVarint(P);
    const std::size_t Position = DistanceOf(Code) + Offset;
    char Bytes[10];
    char* E = PutVarint(Bytes, RecordCode(Position - First.last_collapse, KindOf(Code)));
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
  First.wide_steps = Options.wide_steps;
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
    Second.wide_steps = First.wide_steps;
    First.end = Split - 1;
    First.room_end = Second.base;
    // The first part's records take the second's in the end.
    First.ReserveRecords(Size);
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
  if (block_runs_ == 0) {
    has_collapse_ = collapse_ != doc_.collapses_.data() + doc_.collapses_.size();
    if (!has_collapse_) return;
    const std::size_t Code = GetVarint(collapse_);
    record_at_ += DistanceOf(Code);
    if (KindOf(Code) == kOneRun) {
      collapse_at_ = record_at_;
      collapse_dropped_ = GetVarint(collapse_);
      return;
    }
    const std::size_t Bytes = DropBytes(KindOf(Code));
    block_runs_ = GetDropBits(collapse_, Bytes);
    collapse_ += Bytes;
    block_dropped_ = 0;
  }
  // The block's next run.
  const auto [From, Count] = simd::TakeRun(block_runs_);
  collapse_at_ = record_at_ + From - block_dropped_;
  collapse_dropped_ = Count;
  block_dropped_ += Count;
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
