#include "doc_text.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && defined(__SSE2__)
#define LINEXML_X86 1
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace linexml::detail {
namespace {

bool IsTrimmed(char C) {
  return static_cast<unsigned char>(C) <= 32;
}

const char* FindOr(const char* P, const char* End, char C) {
  if (P >= End) return End;  // also keeps a null pointer (empty input) away from memchr
  const void* Hit = std::memchr(P, C, static_cast<std::size_t>(End - P));
  return Hit == nullptr ? End : static_cast<const char*>(Hit);
}

// What the text stage needs to know of 64 source bytes, one bit per byte (bit k: byte k).
struct BlockMasks {
  std::uint64_t eol;    // LF or CR
  std::uint64_t trim;   // 0..32, trimmed at the ends of a line
  std::uint64_t space;  // 32
  std::uint64_t lt;     // "<"
  std::uint64_t slash;  // "/"
  std::uint64_t bang;   // "!"
};

// The masks of the N (at most 64) bytes at P, a byte at a time: the last bytes of every text, and
// every block where no vector unit serves.
void MasksScalar(const char* P, std::size_t N, BlockMasks& M) {
  M = {};
  for (std::size_t K = 0; K < N; ++K) {
    const auto C = static_cast<unsigned char>(P[K]);
    const std::uint64_t Bit = std::uint64_t{1} << K;
    if (C <= 32) {
      M.trim |= Bit;
      if (C == '\n' || C == '\r') M.eol |= Bit;
      if (C == ' ') M.space |= Bit;
    } else if (C == '<') {
      M.lt |= Bit;
    } else if (C == '/') {
      M.slash |= Bit;
    } else if (C == '!') {
      M.bang |= Bit;
    }
  }
}

void MasksScalar64(const char* P, BlockMasks& M) {
  MasksScalar(P, 64, M);
}

#if defined(LINEXML_X86)
// 64 bytes as four 16-byte vectors (every x86-64 has SSE2).
void MasksSse2(const char* P, BlockMasks& M) {
  M = {};
  for (unsigned Part = 0; Part < 4; ++Part) {
    const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16 * Part));
    auto Bits = [Part](__m128i Hits) {
      return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(Hits))) << (16 * Part);
    };
    M.eol |=
        Bits(_mm_or_si128(_mm_cmpeq_epi8(V, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(V, _mm_set1_epi8('\r'))));
    M.trim |= Bits(_mm_cmpeq_epi8(_mm_max_epu8(V, _mm_set1_epi8(32)), _mm_set1_epi8(32)));
    M.space |= Bits(_mm_cmpeq_epi8(V, _mm_set1_epi8(' ')));
    M.lt |= Bits(_mm_cmpeq_epi8(V, _mm_set1_epi8('<')));
    M.slash |= Bits(_mm_cmpeq_epi8(V, _mm_set1_epi8('/')));
    M.bang |= Bits(_mm_cmpeq_epi8(V, _mm_set1_epi8('!')));
  }
}

// Two 32-byte vectors, where the processor has AVX2 (chosen at run time).
__attribute__((target("avx2"))) void MasksAvx2(const char* P, BlockMasks& M) {
  M = {};
  for (unsigned Part = 0; Part < 2; ++Part) {
    const __m256i V = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P + 32 * Part));
    auto Bits = [Part](__m256i Hits) __attribute__((target("avx2"))) {
      return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(Hits)))
             << (32 * Part);
    };
    M.eol |= Bits(_mm256_or_si256(_mm256_cmpeq_epi8(V, _mm256_set1_epi8('\n')),
                                  _mm256_cmpeq_epi8(V, _mm256_set1_epi8('\r'))));
    M.trim |= Bits(_mm256_cmpeq_epi8(_mm256_max_epu8(V, _mm256_set1_epi8(32)), _mm256_set1_epi8(32)));
    M.space |= Bits(_mm256_cmpeq_epi8(V, _mm256_set1_epi8(' ')));
    M.lt |= Bits(_mm256_cmpeq_epi8(V, _mm256_set1_epi8('<')));
    M.slash |= Bits(_mm256_cmpeq_epi8(V, _mm256_set1_epi8('/')));
    M.bang |= Bits(_mm256_cmpeq_epi8(V, _mm256_set1_epi8('!')));
  }
}

// One 64-byte vector, where the processor has AVX-512BW (chosen at run time).
__attribute__((target("avx512bw"))) void MasksAvx512(const char* P, BlockMasks& M) {
  const __m512i V = _mm512_loadu_si512(P);
  M.eol =
      _mm512_cmpeq_epi8_mask(V, _mm512_set1_epi8('\n')) | _mm512_cmpeq_epi8_mask(V, _mm512_set1_epi8('\r'));
  M.trim = _mm512_cmple_epu8_mask(V, _mm512_set1_epi8(32));
  M.space = _mm512_cmpeq_epi8_mask(V, _mm512_set1_epi8(' '));
  M.lt = _mm512_cmpeq_epi8_mask(V, _mm512_set1_epi8('<'));
  M.slash = _mm512_cmpeq_epi8_mask(V, _mm512_set1_epi8('/'));
  M.bang = _mm512_cmpeq_epi8_mask(V, _mm512_set1_epi8('!'));
}
#endif

using MasksFn = void (*)(const char*, BlockMasks&);

bool Supports(TextPath Path) {
#if defined(LINEXML_X86)
  __builtin_cpu_init();
  switch (Path) {
    case TextPath::kAvx2:
      return __builtin_cpu_supports("avx2");
    case TextPath::kAvx512:
      return __builtin_cpu_supports("avx512bw");
    default:
      return true;
  }
#else
  return Path == TextPath::kAuto || Path == TextPath::kScalar;
#endif
}

MasksFn MasksFor(TextPath Path) {
#if defined(LINEXML_X86)
  switch (Supports(Path) ? Path : TextPath::kAuto) {
    case TextPath::kScalar:
      return MasksScalar64;
    case TextPath::kSse2:
      return MasksSse2;
    case TextPath::kAvx2:
      return MasksAvx2;
    case TextPath::kAvx512:
      return MasksAvx512;
    case TextPath::kAuto:
      break;
  }
  static const MasksFn Best = [] {
    if (Supports(TextPath::kAvx512)) return MasksFn{MasksAvx512};
    if (Supports(TextPath::kAvx2)) return MasksFn{MasksAvx2};
    return MasksFn{MasksSse2};
  }();
  return Best;
#else
  (void)Path;
  return MasksScalar64;
#endif
}

inline std::uint64_t CountTrailingZeros(std::uint64_t V) {
  return static_cast<std::uint64_t>(__builtin_ctzll(V));
}

// Bits K..63.
inline std::uint64_t BitsFrom(std::uint64_t K) {
  return K >= 64 ? 0 : ~std::uint64_t{0} << K;
}

// Moves N bytes from S to W (W <= S when both lie in one buffer: InPlace); Limit is the end of the
// readable source. Short moves, the common case, go 16 bytes a step when the bytes written past W
// + N cannot reach a byte not yet read, and the reads stay inside the source.
inline void MoveBytes(char* W, const char* S, std::size_t N, bool InPlace, const char* Limit) {
#if defined(__SSE2__)
  const std::size_t Whole = (N + 15) & ~std::size_t{15};
  if (N <= 64 && (!InPlace || S - W >= 16) && static_cast<std::size_t>(Limit - S) >= Whole) {
    for (std::size_t K = 0; K < Whole; K += 16)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(W + K),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + K)));
    return;
  }
#endif
  std::memmove(W, S, N);
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
  return Supports(Path);
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

DocText::DocText(std::string_view Source, DocTextOptions Options) : buf_(Source.size() + 1 + kSlack) {
  Normalise(Source.data(), Source.size(), Options.skip_bom, Options.path);
  CutComments(Options.note_comments);
}

DocText::DocText(PageBuffer Bytes, std::size_t Size, DocTextOptions Options) : buf_(std::move(Bytes)) {
  Normalise(buf_.get() + 1, Size, Options.skip_bom, Options.path);
  CutComments(Options.note_comments);
}

char* DocText::GrowLines(char* Rec) {
  const std::size_t Used = static_cast<std::size_t>(Rec - lines_.data());
  lines_.resize(2 * lines_.size() + 64);
  return lines_.data() + Used;
}

void DocText::Normalise(const char* Src, std::size_t Size, bool SkipBom, TextPath Path) {
  // The text is written over buf_ from its start. Every kept line costs at most its length plus
  // the joining space, and every line but the last has a terminator of at least one byte, so the
  // text needs one byte more than the source, and written in place (the source one byte in) it
  // never overtakes the bytes still to be read.
  //
  // The source is read in blocks of 64 bytes, each turned into bit masks (line ends, bytes 0..32,
  // spaces, "<", "/", "!") by the widest vector unit the processor has; lines, trims, runs of
  // spaces and closing tags are then found with bit operations on those masks, the same on every
  // path, and the kept bytes moved a segment at a time.
  char* const Base = buf_.get();
  const bool InPlace = Src == Base + 1;
  char* W = Base;
  const char* P = Src;  // the next source byte not yet dealt with
  const char* const End = Src + Size;
  const MasksFn Masks = MasksFor(Path);
  std::size_t Skipped = 0;  // empty source lines since the last kept one
  std::size_t Trimmed = 0;  // leading bytes of the current line left out so far
  // A skipped byte-order mark counts as trimmed from the front of the first line.
  if (SkipBom && Size >= 3 && std::memcmp(Src, "\xEF\xBB\xBF", 3) == 0) {
    Trimmed = 3;
    P += 3;
    skipped_bom_ = true;
  }
  lines_.resize(Size / 16 + 64);
  char* Rec = lines_.data();
  const char* RecEnd = Rec + lines_.size();
  const bool Narrow = Size < 0xFFFFFFF0u;
  bool InLine = false;        // P lies in the body of a line (past its leading trim)
  char* LineStart = nullptr;  // where the current line's text begins (its joining space)
  bool JoinSpace = false;
  std::uint64_t AnyBang = 0;
  std::uint64_t PrevSpace = 0;  // bit 0: the byte before the block is a space
  auto EndLine = [&] {
    // The trailing bytes 0..32; the line's first byte is not one of them, so this stops there.
    while (IsTrimmed(W[-1])) --W;
    // A run collapsed among them belongs to no byte that stays.
    while (!collapses_.empty() && collapses_.back().at >= static_cast<std::size_t>(W - Base))
      collapses_.pop_back();
    // Room for one record is made once per line; it is then written without further checks.
    if (RecEnd - Rec < 32) {
      Rec = GrowLines(Rec);
      RecEnd = lines_.data() + lines_.size();
    }
    Rec = PutLineRecord(Rec, static_cast<std::size_t>(W - LineStart), Skipped, Trimmed, JoinSpace);
    Skipped = 0;
    Trimmed = 0;
    InLine = false;
  };
  // Copies [From, To) of the block at B (a line body's bytes) to W, leaving out the spaces in
  // Drop (each after another space) and noting the closing tags in Close.
  auto Copy = [&](const char* B, std::uint64_t From, std::uint64_t To, std::uint64_t Drop,
                  std::uint64_t Close) {
    while (From < To) {
      const std::uint64_t Stop = Drop != 0 ? CountTrailingZeros(Drop) : To;
      const auto N = static_cast<std::size_t>(Stop - From);
      MoveBytes(W, B + From, N, InPlace, End);
      if (Narrow) {
        for (std::uint64_t C = Close & BitsFrom(From) & ~BitsFrom(Stop); C != 0; C &= C - 1)
          closes_.push_back(static_cast<std::uint32_t>(W - Base) +
                            static_cast<std::uint32_t>(CountTrailingZeros(C) - From));
      }
      W += N;
      if (Stop == To) return;
      // A run of dropped spaces from Stop on; the kept space before it was copied. A run that goes
      // on from the block before adds to that run's note, which stands right here.
      const std::uint64_t Rest = ~(Drop >> Stop);
      const std::uint64_t RunEnd =
          std::min<std::uint64_t>(To, Rest == 0 ? 64 : Stop + CountTrailingZeros(Rest));
      const auto At = static_cast<std::size_t>(W - Base);
      if (!collapses_.empty() && collapses_.back().at == At)
        collapses_.back().dropped += static_cast<std::size_t>(RunEnd - Stop);
      else
        collapses_.push_back({At, static_cast<std::size_t>(RunEnd - Stop)});
      Drop &= BitsFrom(RunEnd);
      From = RunEnd;
    }
  };
  BlockMasks M;
  for (const char* B = P; P < End; B += 64) {
    const auto N = static_cast<std::uint64_t>(std::min<std::ptrdiff_t>(64, End - B));
    if (N == 64)
      Masks(B, M);
    else
      MasksScalar(B, static_cast<std::size_t>(N), M);
    const std::uint64_t Valid = N == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << N) - 1;
    AnyBang |= M.bang;
    const std::uint64_t Eol = M.eol & Valid;
    // A space right after another is left out (within a line body: a body never starts with one).
    const std::uint64_t Drop = M.space & ((M.space << 1) | PrevSpace);
    PrevSpace = M.space >> 63;
    // "</": a "<" whose next byte, maybe the first of the next block, is "/".
    const std::uint64_t NextSlash = (N == 64 && B + 64 < End && B[64] == '/') ? std::uint64_t{1} << 63 : 0;
    const std::uint64_t Close = M.lt & ((M.slash >> 1) | NextSlash);
    // P may already lie in this block past its start (a CR LF across the boundary).
    std::uint64_t I = static_cast<std::uint64_t>(P - B);
    while (I < N) {
      if (!InLine) {
        // The line's leading bytes 0..32 are trimmed; meeting its end first makes it an empty line.
        const std::uint64_t Body = ((~M.trim | Eol) & Valid) & BitsFrom(I);
        if (Body == 0) {
          Trimmed += N - I;
          I = N;
          break;
        }
        const std::uint64_t J = CountTrailingZeros(Body);
        if ((Eol >> J) & 1) {
          ++Skipped;
          Trimmed = 0;
          const char* const Eo = B + J;
          I = J + ((*Eo == '\r' && Eo + 1 < End && Eo[1] == '\n') ? 2 : 1);
          continue;
        }
        Trimmed += J - I;
        I = J;
        LineStart = W;
        JoinSpace = B[J] != '<';
        if (JoinSpace) *W++ = ' ';
        InLine = true;
      }
      const std::uint64_t Ends = Eol & BitsFrom(I);
      const std::uint64_t E = Ends != 0 ? CountTrailingZeros(Ends) : N;
      const std::uint64_t Span = BitsFrom(I) & ~BitsFrom(E);
      Copy(B, I, E, Drop & Span, Close & Span);
      if (E == N) {
        I = N;  // the line goes on in the next block
        break;
      }
      EndLine();
      const char* const Eo = B + E;
      I = E + ((*Eo == '\r' && Eo + 1 < End && Eo[1] == '\n') ? 2 : 1);
    }
    P = B + I;
  }
  if (InLine) EndLine();
  size_ = static_cast<std::size_t>(W - Base);
  lines_.resize(static_cast<std::size_t>(Rec - lines_.data()));
  closes_known_ = Narrow;
  may_have_comments_ = AnyBang != 0;
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
      CommentNote Note{W + (cuts_.empty() ? 0 : cuts_.back().removed), std::string(S + W, 4)};
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
    const auto& C = doc_.collapses_;
    while (collapse_ < C.size() && C[collapse_].at < start_) ++collapse_;
  }
  const auto& C = doc_.collapses_;
  for (; collapse_ < C.size() && C[collapse_].at <= Joined; ++collapse_) shift_ += C[collapse_].dropped;
  const std::size_t Space = join_space_ ? 1 : 0;
  const std::size_t Offset = Joined - start_ < Space ? 0 : Joined - start_ - Space;
  return {line_, static_cast<std::int64_t>(trim_ + Offset + shift_ + 1)};
}

}  // namespace linexml::detail
