#pragma once

#include <string_view>

namespace linexml {
class TXMLAttribute;
}

namespace linexml::detail {

// The inside of a tag is cut into tokens at every space, each token with its trailing space; a
// space is taken as appended to the tag, so the last token is the piece after its last space.
// Calls Each(Piece) for every token in order, Piece being the token without its trailing space.
template <class Fn>
void ForEachToken(std::string_view Tag, Fn&& Each) {
  std::size_t From = 0;
  for (;;) {
    const std::size_t Sp = Tag.find(' ', From);
    Each(Tag.substr(From, Sp == std::string_view::npos ? Sp : Sp - From));
    if (Sp == std::string_view::npos) return;
    From = Sp + 1;
  }
}

// Cuts an attribute value out of the rest of its token (what follows the "="), as a view into it.
// With SpaceAppended the text is taken as Rest followed by the token's trailing space, which is
// not stored, so no copy is needed.
std::string_view CutAttributeValue(std::string_view Rest, bool SpaceAppended);

// Parses the token Piece + " " into A, as TXMLAttribute::ParseString does with that token.
void ParseAttributeToken(TXMLAttribute& A, std::string_view Piece);

// A token without "=" is an attribute without a value (`<a checked>`): its name is the token
// without the tag's closing ">", "/>" or "?>" that ends it.
std::string_view BareAttributeName(std::string_view Token);

}  // namespace linexml::detail
