#pragma once

#include <cstddef>
#include <string_view>

#include "simd.h"

namespace linexml {
class TXMLAttribute;
}

namespace linexml::detail {

// The inside of a tag is cut into tokens at every space, each token with its trailing space; a
// space is taken as appended to the tag, so the last token is the piece after its last space.
// Calls Each(Piece, Eq) for every token in order, Piece being the token without its trailing
// space and Eq the place of its first "=" (npos: none). The steps may read on up to Readable (at
// least the tag's end).
template <class Fn>
void ForEachToken(std::string_view Tag, const char* Readable, Fn&& Each) {
  constexpr std::size_t npos = std::string_view::npos;
  const char* Start = Tag.data();
  const char* const End = Start + Tag.size();
  // The block being looked at, and its spaces and "=" from the current token on.
  const char* Block = Start;
  simd::Bits Spaces = 0, Eqs = 0;
  bool Loaded = false;
  for (;;) {
    // The token's end (the next space, or End) and its first "=".
    std::size_t Eq = npos;
    const char* Stop = End;
    for (;;) {
      if (!Loaded) {
        if (Block >= End) break;
        const simd::Block Bytes = simd::LoadBefore(Block, Readable);
        const simd::Bits In = End - Block < static_cast<std::ptrdiff_t>(simd::kBlock)
                                  ? simd::Below(static_cast<std::size_t>(End - Block))
                                  : simd::Below(simd::kBlock);
        Spaces = Bytes.Eq(' ').ToBits() & In;
        Eqs = Bytes.Eq('=').ToBits() & In;
        Loaded = true;
      }
      const unsigned Space = Spaces != 0 ? simd::Lowest(Spaces) : simd::kBlock;
      if (Eq == npos && Eqs != 0 && simd::Lowest(Eqs) < Space)
        Eq = static_cast<std::size_t>(Block + simd::Lowest(Eqs) - Start);
      if (Spaces != 0) {
        Stop = Block + Space;
        Spaces &= Spaces - 1;
        Eqs &= ~simd::Below(Space + 1);
        break;
      }
      Block += simd::kBlock;
      Loaded = false;
    }
    Each(std::string_view(Start, static_cast<std::size_t>(Stop - Start)), Eq);
    if (Stop == End) return;
    Start = Stop + 1;
  }
}
// The same for callers that need only the pieces.
template <class Fn>
void ForEachToken(std::string_view Tag, Fn&& Each) {
  ForEachToken(Tag, Tag.data() + Tag.size(), [&Each](std::string_view Piece, std::size_t) { Each(Piece); });
}

// Cuts an attribute value out of the rest of its token (what follows the "="), as a view into it.
// With SpaceAppended the text is taken as Rest followed by the token's trailing space, which is
// not stored, so no copy is needed.
inline std::string_view CutAttributeValue(std::string_view Rest, bool SpaceAppended) {
  const std::size_t n = Rest.size();
  // Most values: a token such as `"v"` that is not the tag's last, which loses its first and last byte.
  if (SpaceAppended && n > 2 && Rest[n - 1] != '>') return Rest.substr(1, n - 2);
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

// The name and value that ParseAttributeToken gives a new attribute for the token Piece + " ",
// whose first "=" stands at Eq (npos: none).
inline void SplitAttributeToken(std::string_view Piece, std::size_t Eq, std::string_view& Name,
                                std::string_view& Value) {
  if (Eq == std::string_view::npos) {
    Name = BareAttributeName(Piece);
    Value = {};
    return;
  }
  Name = Piece.substr(0, Eq);
  Value = CutAttributeValue(Piece.substr(Eq + 1), true);
}
inline void SplitAttributeToken(std::string_view Piece, std::string_view& Name, std::string_view& Value) {
  SplitAttributeToken(Piece, Piece.find('='), Name, Value);
}

}  // namespace linexml::detail
