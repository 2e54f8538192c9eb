#include "tag_tokens.h"

#include <cstddef>

#include "linexml/xml_attribute.h"

namespace linexml::detail {

std::string_view CutAttributeValue(std::string_view Rest, bool SpaceAppended) {
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

std::string_view BareAttributeName(std::string_view Token) {
  if (Token.ends_with("/>") || Token.ends_with("?>")) return Token.substr(0, Token.size() - 2);
  if (Token.ends_with('>')) return Token.substr(0, Token.size() - 1);
  return Token;
}

void ParseAttributeToken(TXMLAttribute& A, std::string_view Piece) {
  const std::size_t Eq = Piece.find('=');
  if (Eq == std::string_view::npos) {
    A.Name.append(BareAttributeName(Piece));
    A.Value.clear();
    return;
  }
  A.Name.append(Piece.substr(0, Eq));
  A.Value.assign(CutAttributeValue(Piece.substr(Eq + 1), true));
}

}  // namespace linexml::detail
