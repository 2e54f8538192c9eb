#pragma once

#include <cstddef>
#include <string_view>

#include "simd.h"

namespace linexml {
class TXMLAttribute;
}

namespace linexml::detail {

// The first space in [P, End), or End. Inline: the tokens of a tag are short, where a call to
// memchr costs more than the search.
inline const char* FindSpace(const char* P, const char* End) {
#if defined(LINEXML_SSE2)
  const __m128i Space = _mm_set1_epi8(' ');
  for (; End - P >= 16; P += 16) {
    const auto Mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P)), Space)));
    if (Mask != 0) return P + __builtin_ctz(Mask);
  }
#endif
  while (P < End && *P != ' ') ++P;
  return P;
}

// The inside of a tag is cut into tokens at every space, each token with its trailing space; a
// space is taken as appended to the tag, so the last token is the piece after its last space.
// Calls Each(Piece) for every token in order, Piece being the token without its trailing space.
template <class Fn>
void ForEachToken(std::string_view Tag, Fn&& Each) {
  const char* P = Tag.data();
  const char* const End = P + Tag.size();
  for (;;) {
    const char* const Sp = FindSpace(P, End);
    Each(std::string_view(P, static_cast<std::size_t>(Sp - P)));
    if (Sp == End) return;
    P = Sp + 1;
  }
}

// Cuts an attribute value out of the rest of its token (what follows the "="), as a view into it.
// With SpaceAppended the text is taken as Rest followed by the token's trailing space, which is
// not stored, so no copy is needed.
inline std::string_view CutAttributeValue(std::string_view Rest, bool SpaceAppended) {
  const std::size_t n = Rest.size();
  const std::ptrdiff_t L = static_cast<std::ptrdiff_t>(n + (SpaceAppended ? 1 : 0));
  if (!SpaceAppended && (Rest == ">" || Rest == "/>" || Rest == "?>" || Rest == "!>")) return {};
  // Character at 1-based position k of Rest (+ the appended space); positions below 1 hold nothing.
  auto at = [&](std::ptrdiff_t k) -> int {
    if (k < 1 || k > L) return -1;
    const auto i = static_cast<std::size_t>(k - 1);
    return i < n ? static_cast<unsigned char>(Rest[i]) : ' ';
  };
  std::ptrdiff_t count;
  if (at(L - 1) == '>')
    count = (at(L - 2) == '/' || at(L - 2) == '?') ? L - 5 : L - 4;
  else
    count = L - 3;
  // The count characters from the second on, never past the end.
  if (count <= 0 || n < 2) return {};
  return Rest.substr(1, static_cast<std::size_t>(count));
}

// Parses the token Piece + " " into A, as TXMLAttribute::ParseString does with that token.
void ParseAttributeToken(TXMLAttribute& A, std::string_view Piece);

// A token without "=" is an attribute without a value (`<a checked>`): its name is the token
// without the tag's closing ">", "/>" or "?>" that ends it.
inline std::string_view BareAttributeName(std::string_view Token) {
  if (Token.ends_with("/>") || Token.ends_with("?>")) return Token.substr(0, Token.size() - 2);
  if (Token.ends_with('>')) return Token.substr(0, Token.size() - 1);
  return Token;
}

// The name and value that ParseAttributeToken gives a new attribute for the token Piece + " ".
inline void SplitAttributeToken(std::string_view Piece, std::string_view& Name, std::string_view& Value) {
  const std::size_t Eq = Piece.find('=');
  if (Eq == std::string_view::npos) {
    Name = BareAttributeName(Piece);
    Value = {};
    return;
  }
  Name = Piece.substr(0, Eq);
  Value = CutAttributeValue(Piece.substr(Eq + 1), true);
}

}  // namespace linexml::detail
