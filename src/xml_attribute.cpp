#include "xml_attribute.h"

#include "xml_functions.h"

namespace linexml {
namespace {

// A token without "=" is an attribute without a value (`<a checked>`); the tag's closing
// characters that end it are not part of its name.
std::string_view BareName(std::string_view Token) {
  if (Token.ends_with("/>") || Token.ends_with("?>")) return Token.substr(0, Token.size() - 2);
  if (Token.ends_with('>')) return Token.substr(0, Token.size() - 1);
  return Token;
}

}  // namespace

TXMLErrorCode TXMLAttribute::ParseString(std::string& S) {
  const std::size_t Eq = S.find('=');
  if (Eq == std::string::npos) {
    std::string_view Token = S;
    if (Token.ends_with(' ')) Token.remove_suffix(1);
    Name.append(BareName(Token));
    Value.clear();
    S.clear();
    return ecOk;
  }
  Name.append(S, 0, Eq);
  S.erase(0, Eq + 1);
  Value.assign(detail::CutAttributeValue(S, false));
  return ecOk;
}

void TXMLAttribute::ParseToken(std::string_view Piece) {
  const std::size_t Eq = Piece.find('=');
  if (Eq == std::string_view::npos) {
    Name.append(BareName(Piece));
    Value.clear();
    return;
  }
  Name.append(Piece.substr(0, Eq));
  Value.assign(detail::CutAttributeValue(Piece.substr(Eq + 1), true));
}

}  // namespace linexml
