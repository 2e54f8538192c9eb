#pragma once

// The engine's 16-byte steps, written once against Block (16 bytes) and Lanes (one answer per byte
// of a block). Built with SSE2, which every x86-64 processor has, or with the scalar twin below:
// elsewhere, and with LINEXML_SCALAR (the clang test build sets it, so that the tests run every
// algorithm on the twin as well). Each step reads whole blocks while 16 bytes remain and one part
// block at the end, so no algorithm needs a loop of its own for the bytes that do not fill a block.
// One step goes further where the processor allows: StoreKeptShuffled, for SSSE3, which the
// caller asks for at run time (HasSsse3) and compiles for in a function of its own; StoreKept is
// the same everywhere else. The document text's line copy also has a 64-byte step of its own for
// processors with AVX-512 (HasWideSteps), written there.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(LINEXML_SCALAR)
#define LINEXML_SSE2 1
#include <emmintrin.h>
#include <tmmintrin.h>  // SSSE3, used only where the processor is asked first (HasSsse3)
#endif

namespace linexml::detail::simd {
// The two builds' classes carry different names, so a file compiled with the other choice than
// the library's links against its own copy instead of silently taking the library's.
#if defined(LINEXML_SSE2)
inline namespace sse2 {
#else
inline namespace scalar {
#endif

inline constexpr std::size_t kBlock = 16;

// Bit I stands for byte I of a block.
using Bits = unsigned;

// The lowest set bit of B (not 0).
inline unsigned Lowest(Bits B) {
  return static_cast<unsigned>(__builtin_ctz(B));
}
// The bits of bytes 0..Count-1 (Count at most 16).
inline Bits Below(std::size_t Count) {
  return (Bits{1} << Count) - 1;
}
// The lowest run of set bits of B (not 0): its first bit and its length. TakeRun also clears it
// from B, so that a loop takes a block's runs in order.
struct Run {
  unsigned from;
  unsigned count;
};
template <class Mask>  // Bits, or 64 bits of a wider step
inline Run TakeRun(Mask& B) {
  const auto From = static_cast<unsigned>(std::countr_zero(B));
  const auto Count = static_cast<unsigned>(std::countr_one(B >> From));
  const Mask Through = From + Count == sizeof(Mask) * 8 ? Mask{0} : ~Mask{0} << (From + Count);
  B &= Through;
  return {From, Count};
}

// For each mask of the bytes of an 8-byte half left out: the places of the bytes kept, in order,
// then 0x80 (a shuffle writes 0 there), and how many are kept.
struct KeptTable {
  unsigned char index[256][8];
  unsigned char count[256];
};
inline constexpr KeptTable kKept = [] {
  KeptTable T{};
  for (unsigned Mask = 0; Mask < 256; ++Mask) {
    unsigned char N = 0;
    for (unsigned I = 0; I < 8; ++I)
      if ((Mask >> I & 1) == 0) T.index[Mask][N++] = static_cast<unsigned char>(I);
    T.count[Mask] = N;
    for (unsigned I = N; I < 8; ++I) T.index[Mask][I] = 0x80;
  }
  return T;
}();

#if defined(LINEXML_SSE2)

// True when the processor runs SSSE3 (asked once).
inline bool HasSsse3() {
  static const bool Has = __builtin_cpu_supports("ssse3") != 0;
  return Has;
}

// True when the processor runs AVX-512's byte compares into masks (BW) and its byte compress
// (VBMI2), and the system keeps their registers (asked once).
inline bool HasWideSteps() {
  static const bool Has =
      __builtin_cpu_supports("avx512bw") != 0 && __builtin_cpu_supports("avx512vbmi2") != 0;
  return Has;
}

class Lanes {
 public:
  explicit Lanes(__m128i V) : v_(V) {}
  Lanes operator|(Lanes O) const { return Lanes(_mm_or_si128(v_, O.v_)); }
  Lanes operator&(Lanes O) const { return Lanes(_mm_and_si128(v_, O.v_)); }
  Bits ToBits() const { return static_cast<Bits>(_mm_movemask_epi8(v_)); }

 private:
  __m128i v_;
};

class Block {
 public:
  // 16 bytes from P.
  static Block Load(const char* P) { return Block(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P))); }
  void Store(char* P) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(P), v_); }
  // The bytes equal to C.
  Lanes Eq(char C) const { return Lanes(_mm_cmpeq_epi8(v_, _mm_set1_epi8(C))); }
  // The bytes equal to those of Other at the same place.
  Lanes Eq(Block Other) const { return Lanes(_mm_cmpeq_epi8(v_, Other.v_)); }
  // The bytes 0..C, taken without sign.
  Lanes AtMost(unsigned char C) const {
    const __m128i Limit = _mm_set1_epi8(static_cast<char>(C));
    return Lanes(_mm_cmpeq_epi8(_mm_min_epu8(v_, Limit), v_));
  }
  // The bytes C..255, taken without sign.
  Lanes AtLeast(unsigned char C) const {
    const __m128i Limit = _mm_set1_epi8(static_cast<char>(C));
    return Lanes(_mm_cmpeq_epi8(_mm_max_epu8(v_, Limit), v_));
  }
  // The block without bytes From..From+Count-1 (Count at least 1, From + Count at most 16), the
  // bytes after them moved down; the bytes freed at the top are unspecified. One shift: a caller
  // that removes several runs takes them from the first on, each at its place in the result.
  Block WithoutRun(unsigned From, unsigned Count) const {
    const __m128i Index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    // Bytes from From on take the byte Count places further up.
    const __m128i Low = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(From)), Index);
    return Block(_mm_or_si128(_mm_and_si128(Low, v_), _mm_andnot_si128(Low, ShiftDown(v_, Count))));
  }
  // StoreKept in two shuffles, one for each half; only where HasSsse3().
  [[gnu::target("ssse3")]] char* StoreKeptShuffled(Bits Drop, char* W) const {
    const unsigned Low = Drop & 0xFF, High = Drop >> 8 & 0xFF;
    const __m128i LowIndex = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kKept.index[Low]));
    const __m128i HighIndex =
        _mm_add_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(kKept.index[High])), _mm_set1_epi8(8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(W), _mm_shuffle_epi8(v_, LowIndex));
    W += kKept.count[Low];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(W), _mm_shuffle_epi8(v_, HighIndex));
    return W + kKept.count[High];
  }
  // Bytes 0..7 as one number (byte 0 lowest).
  std::uint64_t Low64() const {
    std::uint64_t V;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&V), v_);
    return V;
  }

 private:
  explicit Block(__m128i V) : v_(V) {}
  // V moved down by Count bytes (1..16), zeros shifted in: the instruction takes its count as an
  // immediate, and a count through memory would stall on the store.
  static __m128i ShiftDown(__m128i V, unsigned Count) {
    switch (Count) {
#define LINEXML_SHIFT_CASE(K) \
  case K:                     \
    return _mm_srli_si128(V, K);
      LINEXML_SHIFT_CASE(1)
      LINEXML_SHIFT_CASE(2)
      LINEXML_SHIFT_CASE(3)
      LINEXML_SHIFT_CASE(4)
      LINEXML_SHIFT_CASE(5)
      LINEXML_SHIFT_CASE(6)
      LINEXML_SHIFT_CASE(7)
      LINEXML_SHIFT_CASE(8)
      LINEXML_SHIFT_CASE(9)
      LINEXML_SHIFT_CASE(10)
      LINEXML_SHIFT_CASE(11)
      LINEXML_SHIFT_CASE(12)
      LINEXML_SHIFT_CASE(13)
      LINEXML_SHIFT_CASE(14)
      LINEXML_SHIFT_CASE(15)
#undef LINEXML_SHIFT_CASE
      default:
        return _mm_setzero_si128();
    }
  }
  __m128i v_;
};

#else

// The scalar twin: the same answers, a byte at a time.
class Lanes {
 public:
  explicit Lanes(Bits B) : bits_(B) {}
  Lanes operator|(Lanes O) const { return Lanes(bits_ | O.bits_); }
  Lanes operator&(Lanes O) const { return Lanes(bits_ & O.bits_); }
  Bits ToBits() const { return bits_; }

 private:
  Bits bits_;
};

class Block {
 public:
  static Block Load(const char* P) {
    Block B;
    std::memcpy(B.b_, P, kBlock);
    return B;
  }
  void Store(char* P) const { std::memcpy(P, b_, kBlock); }
  Lanes Eq(char C) const {
    return Where([C](unsigned char X, std::size_t) { return X == static_cast<unsigned char>(C); });
  }
  Lanes Eq(Block Other) const {
    return Where([&Other](unsigned char X, std::size_t I) { return X == Other.b_[I]; });
  }
  Lanes AtMost(unsigned char C) const {
    return Where([C](unsigned char X, std::size_t) { return X <= C; });
  }
  Lanes AtLeast(unsigned char C) const {
    return Where([C](unsigned char X, std::size_t) { return X >= C; });
  }
  Block WithoutRun(unsigned From, unsigned Count) const {
    Block B{};
    std::memcpy(B.b_, b_, From);
    std::memcpy(B.b_ + From, b_ + From + Count, kBlock - From - Count);
    return B;
  }
  std::uint64_t Low64() const {
    std::uint64_t V = 0;
    for (std::size_t I = 0; I < 8; ++I) V |= std::uint64_t{b_[I]} << (8 * I);
    return V;
  }

 private:
  template <class Test>
  Lanes Where(Test&& T) const {
    Bits B = 0;
    for (std::size_t I = 0; I < kBlock; ++I)
      if (T(b_[I], I)) B |= Bits{1} << I;
    return Lanes(B);
  }
  unsigned char b_[kBlock];
};

#endif

// Stores the bytes of V whose bit in Drop is clear, in order, from W; returns the end of them.
// Writes nothing outside W..W+15, though bytes there past the end may change. No branch on Drop.
inline char* StoreKept(Block V, Bits Drop, char* W) {
  char Bytes[kBlock];
  V.Store(Bytes);
  for (std::size_t I = 0; I < kBlock; ++I) {
    *W = Bytes[I];
    W += 1 - (Drop >> I & 1);
  }
  return W;
}

// Count (below 16) bytes from P, the rest of the block 0: the block at the end of a text, read
// without touching a byte past it.
inline Block LoadPart(const char* P, std::size_t Count) {
  char Room[kBlock] = {};
  if (Count > 0) std::memcpy(Room, P, Count);
  return Block::Load(Room);
}

// The block at P, of which only the bytes before Readable may be read (the rest read as 0).
inline Block LoadBefore(const char* P, const char* Readable) {
  const auto Left = static_cast<std::size_t>(Readable - P);
  return Left >= kBlock ? Block::Load(P) : LoadPart(P, Left);
}

// The first byte of [P, End) at which Match(block) has its bit set, or End. The blocks may read
// on up to Readable (at least End), which spares the part block at End inside a longer text.
template <class Match>
inline const char* FindIf(const char* P, const char* End, const char* Readable, Match&& M) {
  for (; End - P >= static_cast<std::ptrdiff_t>(kBlock); P += kBlock)
    if (const Bits B = M(Block::Load(P)); B != 0) return P + Lowest(B);
  if (P < End) {
    const Bits B = M(LoadBefore(P, Readable)) & Below(static_cast<std::size_t>(End - P));
    if (B != 0) return P + Lowest(B);
  }
  return End;
}
template <class Match>
inline const char* FindIf(const char* P, const char* End, Match&& M) {
  return FindIf(P, End, End, M);
}

// The first of the bytes Cs in [P, End), or End (reading on up to Readable).
template <char... Cs>
inline const char* FindFirstOf(const char* P, const char* End, const char* Readable) {
  return FindIf(P, End, Readable, [](Block B) { return (B.Eq(Cs) | ...).ToBits(); });
}
template <char... Cs>
inline const char* FindFirstOf(const char* P, const char* End) {
  return FindFirstOf<Cs...>(P, End, End);
}

// The first place in [P, End) where byte A stands with byte B right after it (both before End),
// or End.
template <char A, char B>
inline const char* FindPair(const char* P, const char* End) {
  // Each step reads the block at P and the one a byte further on.
  for (; End - P > static_cast<std::ptrdiff_t>(kBlock); P += kBlock) {
    const Bits Hits = (Block::Load(P).Eq(A) & Block::Load(P + 1).Eq(B)).ToBits();
    if (Hits != 0) return P + Lowest(Hits);
  }
  if (End - P >= 2) {
    const auto Left = static_cast<std::size_t>(End - P);
    const Bits Hits = (LoadPart(P, Left).Eq(A) & LoadPart(P + 1, Left - 1).Eq(B)).ToBits() & Below(Left - 1);
    if (Hits != 0) return P + Lowest(Hits);
  }
  return End;
}

}  // namespace sse2 / scalar
}  // namespace linexml::detail::simd
