#include "doc_text.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "simd.h"

namespace linexml::detail {
namespace {

bool IsTrimmed(char C) {
  return static_cast<unsigned char>(C) <= 32;
}
bool IsEol(char C) {
  return C == '\n' || C == '\r';
}

const char* FindOr(const char* P, const char* End, char C) {
  if (P >= End) return End;  // also keeps a null pointer (empty input) away from memchr
  const void* Hit = std::memchr(P, C, static_cast<std::size_t>(End - P));
  return Hit == nullptr ? End : static_cast<const char*>(Hit);
}

// What the copy notices on the way: where "</" stands in the text, whether any "!" does, and
// where runs of spaces were collapsed.
template <class CollapseT>
struct LineScanT {
  const char* base;
  std::vector<std::uint32_t>* closes;  // null: not kept (a text of 4 GB or more)
  std::vector<CollapseT>* collapses;
  bool bang = false;
  void Close(const char* At) {
    if (closes != nullptr) closes->push_back(static_cast<std::uint32_t>(At - base));
  }
  // After is where the byte after the run's one kept space goes.
  void Collapsed(const char* After, std::size_t Dropped) {
    collapses->push_back({static_cast<std::size_t>(After - base), Dropped});
  }
};

// Copies the rest of a line from P to W up to its end (an LF, a CR or End) with every run of
// spaces reduced to one; returns where the line ends and advances W. W may point into the same
// buffer as P, but never after it: bytes not yet read are never overwritten.
template <class LineScan>
const char* CopyLineBody(char*& W, const char* P, const char* End, bool InPlace, bool Vector,
                         LineScan& Scan) {
#if defined(LINEXML_SSE2)
  const __m128i Lf = _mm_set1_epi8('\n');
  const __m128i Cr = _mm_set1_epi8('\r');
  const __m128i Space = _mm_set1_epi8(' ');
  const __m128i Lt = _mm_set1_epi8('<');
  const __m128i Slash = _mm_set1_epi8('/');
  const __m128i Bang = _mm_set1_epi8('!');
  __m128i Bangs = _mm_setzero_si128();
  // 16 bytes a step: the step stops at a line end or at a space followed by another space.
  while (Vector && End - P > 16) {
    const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    const __m128i Next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 1));
    const __m128i Stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(V, Lf), _mm_cmpeq_epi8(V, Cr)),
                                      _mm_and_si128(_mm_cmpeq_epi8(V, Space), _mm_cmpeq_epi8(Next, Space)));
    const unsigned Mask = static_cast<unsigned>(_mm_movemask_epi8(Stop));
    // Every "</" among the bytes copied as they are (those before the stop); a "</" never
    // straddles a stop, which is a space or a line end.
    unsigned Closes = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(V, Lt), _mm_cmpeq_epi8(Next, Slash))));
    if (Mask != 0) Closes &= (Mask & (0u - Mask)) - 1u;
    for (; Closes != 0; Closes &= Closes - 1) Scan.Close(W + __builtin_ctz(Closes));
    Bangs = _mm_or_si128(Bangs, _mm_cmpeq_epi8(V, Bang));
    // A whole-block store may only cover bytes already read.
    const bool Whole = !InPlace || P - W >= 16;
    if (Mask == 0) {
      if (Whole)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(W), V);
      else
        std::memmove(W, P, 16);
      P += 16;
      W += 16;
      continue;
    }
    const auto K = static_cast<std::size_t>(__builtin_ctz(Mask));
    if (Whole)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(W), V);
    else
      std::memmove(W, P, K);
    P += K;
    W += K;
    if (IsEol(*P)) {
      Scan.bang = Scan.bang || _mm_movemask_epi8(Bangs) != 0;
      return P;
    }
    *W++ = ' ';
    const char* const Run = ++P;
    while (P < End && *P == ' ') ++P;
    Scan.Collapsed(W, static_cast<std::size_t>(P - Run));
  }
  Scan.bang = Scan.bang || _mm_movemask_epi8(Bangs) != 0;
#else
  (void)InPlace;
  (void)Vector;
#endif
  while (P < End && !IsEol(*P)) {
    const char C = *P++;
    if (C == '<' && P < End && *P == '/') Scan.Close(W);
    Scan.bang = Scan.bang || C == '!';
    *W++ = C;
    if (C == ' ' && P < End && *P == ' ') {
      const char* const Run = P;
      while (P < End && *P == ' ') ++P;
      Scan.Collapsed(W, static_cast<std::size_t>(P - Run));
    }
  }
  return P;
}

// The end of the run of LF bytes that starts at P: empty lines, 16 a step (a file padded with
// millions of blank lines costs a fraction of a byte-by-byte scan).
const char* SkipLineFeeds(const char* P, const char* End, bool Vector) {
#if defined(LINEXML_SSE2)
  const __m128i Lf = _mm_set1_epi8('\n');
  while (Vector && End - P >= 16) {
    const auto Mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P)), Lf)));
    if (Mask != 0xFFFFu) return P + __builtin_ctz(~Mask);
    P += 16;
  }
#else
  (void)Vector;
#endif
  while (P < End && *P == '\n') ++P;
  return P;
}

// Past the leading bytes 0..32 of a line from P: the first byte above 32 or line end, or End.
// 16 bytes a step (indentation is most of what a line of a typical document trims).
const char* SkipIndent(const char* P, const char* End, bool Vector) {
#if defined(LINEXML_SSE2)
  const __m128i Low = _mm_set1_epi8(32);
  while (Vector && End - P >= 16) {
    const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    // Bytes above 32 (unsigned), LF and CR stop the step.
    const __m128i Stop = _mm_or_si128(
        _mm_xor_si128(_mm_cmpeq_epi8(_mm_max_epu8(V, Low), Low), _mm_set1_epi8(-1)),
        _mm_or_si128(_mm_cmpeq_epi8(V, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(V, _mm_set1_epi8('\r'))));
    const auto Mask = static_cast<unsigned>(_mm_movemask_epi8(Stop));
    if (Mask != 0) return P + __builtin_ctz(Mask);
    P += 16;
  }
#else
  (void)Vector;
#endif
  while (P < End && IsTrimmed(*P) && !IsEol(*P)) ++P;
  return P;
}

inline char* PutVarint(char* Out, std::size_t V) {
  while (V >= 0x80) {
    *Out++ = static_cast<char>((V & 0x7F) | 0x80);
    V >>= 7;
  }
  *Out++ = static_cast<char>(V);
  return Out;
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
  Rec = PutVarint(Rec, Length << 6 | (JoinSpace ? 32u : 0u) | (Skipped > 0 ? 16u : 0u) | Low);
  if (Skipped > 0) Rec = PutVarint(Rec, Skipped);
  if (Low == 15) Rec = PutVarint(Rec, Trimmed - 15);
  return Rec;
}

}  // namespace

bool TextPathRuns(TextPath Path) {
#if defined(LINEXML_SSE2)
  (void)Path;
  return true;
#else
  return Path != TextPath::kSse2;
#endif
}

std::string_view TrimLine(std::string_view Line) {
  std::size_t B = 0, E = Line.size();
  while (B < E && IsTrimmed(Line[B])) ++B;
  while (E > B && IsTrimmed(Line[E - 1])) --E;
  return Line.substr(B, E - B);
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

DocText::DocText(std::string_view Source, DocTextOptions Options) : buf_(Source.size() + 1) {
  Normalise(Source.data(), Source.size(), Options);
  CutComments(Options.note_comments);
}

DocText::DocText(PageBuffer Bytes, std::size_t Size, DocTextOptions Options) : buf_(std::move(Bytes)) {
  Normalise(buf_.get() + 1, Size, Options);
  CutComments(Options.note_comments);
}

void DocText::Part::KeepCollapses() {
  // Room for the line's runs at their longest (two varints of ten bytes), made once per line;
  // collapses holds collapses_used bytes until the part is built.
  const std::size_t Need = 20 * line_collapses.size();
  if (collapses.size() - collapses_used < Need) collapses.resize(2 * collapses.size() + Need + 64);
  char* Out = collapses.data() + collapses_used;
  for (const Collapse& C : line_collapses) {
    Out = PutVarint(PutVarint(Out, C.at - last_collapse), C.dropped);
    last_collapse = C.at;
  }
  collapses_used = static_cast<std::size_t>(Out - collapses.data());
  line_collapses.clear();
}

void DocText::Part::Build() {
  // The text is written from base. Every kept line costs at most its length plus the joining
  // space, and every line but the last has a terminator of at least one byte, so the text needs
  // one byte more than the source, and written in place (the source one byte in) it never
  // overtakes the bytes still to be read.
  char* W = base;
  const char* P = src;
  std::size_t Skipped = 0;  // empty source lines since the last kept one
  // A skipped byte-order mark counts as trimmed from the front of the first line.
  std::size_t Mark = mark;
  lines.resize(static_cast<std::size_t>(end - src) / 16 + 64);
  char* Rec = lines.data();
  const char* RecEnd = Rec + lines.size();
  LineScanT<Collapse> Scan{base, narrow ? &closes : nullptr, &line_collapses};
  while (P < end) {
    const char* const From = P;
    // The line's leading bytes 0..32 are trimmed; meeting its end first makes it an empty line.
    P = SkipIndent(P, end, vector);
    if (P == end) break;
    if (*P == '\n') {
      const char* const Run = SkipLineFeeds(P, end, vector);
      Skipped += static_cast<std::size_t>(Run - P);
      P = Run;
      Mark = 0;
      continue;
    }
    if (IsEol(*P)) {
      P += (*P == '\r' && P + 1 < end && P[1] == '\n') ? 2 : 1;
      ++Skipped;
      Mark = 0;
      continue;
    }
    const std::size_t Trimmed = static_cast<std::size_t>(P - From) + Mark;
    Mark = 0;
    char* const LineStart = W;
    const bool JoinSpace = *P != '<';
    if (JoinSpace) *W++ = ' ';
    P = CopyLineBody(W, P, end, in_place, vector, Scan);
    // The trailing bytes 0..32; the line's first byte is not one of them, so this stops there.
    while (IsTrimmed(W[-1])) --W;
    // A run collapsed among them belongs to no byte that stays.
    while (!line_collapses.empty() && line_collapses.back().at >= static_cast<std::size_t>(W - base))
      line_collapses.pop_back();
    if (!line_collapses.empty()) KeepCollapses();
    // Room for one record is made once per line; it is then written without further checks.
    if (RecEnd - Rec < 32) {
      const std::size_t Used = static_cast<std::size_t>(Rec - lines.data());
      lines.resize(2 * lines.size() + 64);
      Rec = lines.data() + Used;
      RecEnd = lines.data() + lines.size();
    }
    Rec = PutLineRecord(Rec, static_cast<std::size_t>(W - LineStart), Skipped, Trimmed, JoinSpace);
    Skipped = 0;
    if (P == end) break;
    P += (*P == '\r' && P + 1 < end && P[1] == '\n') ? 2 : 1;
  }
  w = W;
  lines.resize(static_cast<std::size_t>(Rec - lines.data()));
  collapses.resize(collapses_used);
  bang = Scan.bang;
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
  First.lines += Second.lines;
  if (First.narrow) {
    First.closes.reserve(First.closes.size() + Second.closes.size());
    for (const std::uint32_t At : Second.closes)
      First.closes.push_back(static_cast<std::uint32_t>(At + Offset));
  }
  // The first run of the second part is the only one whose distance changes.
  if (!Second.collapses.empty()) {
    const char* P = Second.collapses.data();
    const std::size_t At = GetVarint(P) + Offset;
    const std::size_t Dropped = GetVarint(P);
    char Bytes[20];
    char* E = PutVarint(PutVarint(Bytes, At - First.last_collapse), Dropped);
    First.collapses.append(Bytes, static_cast<std::size_t>(E - Bytes));
    First.collapses.append(P,
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
  First.vector = Options.path != TextPath::kScalar;
  First.narrow = Size < 0xFFFFFFF0u;
  if (Options.skip_bom && Size >= 3 && std::memcmp(Src, "\xEF\xBB\xBF", 3) == 0) {
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
    Part Second = First;
    Second.mark = 0;
    Second.src = Split;
    Second.base = Base + (Split - Src);
    First.end = Split - 1;
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
  closes_ = std::move(First.closes);
  collapses_ = std::move(First.collapses);
  closes_known_ = First.narrow;
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
  // Cutting moves the text: the positions of "</" no longer hold.
  closes_known_ = false;
  closes_ = {};

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
      if (Close == std::string_view::npos) break;  // unclosed: it stays, with the rest of the text
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
  constexpr std::uintptr_t kPage = 4096;
  if (buf_.size() < kLarge || Pos <= released_) return;
  const auto Start = reinterpret_cast<std::uintptr_t>(buf_.get());
  const std::uintptr_t From = (Start + released_ + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t To = (Start + std::min(Pos, size_)) & ~(kPage - 1);
  if (To > From) ::madvise(reinterpret_cast<void*>(From), To - From, MADV_DONTNEED);
  released_ = Pos;
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
