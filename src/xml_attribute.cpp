#include "linexml/xml_attribute.h"

#include "detail/tag_tokens.h"

namespace linexml {

TXMLErrorCode TXMLAttribute::ParseString(std::string& S) {
  const std::size_t Eq = S.find('=');
  if (Eq == std::string::npos) {
    // The whole token is a valueless attribute's name; S is used up.
    std::string_view Token = S;
    if (Token.ends_with(' ')) Token.remove_suffix(1);
    Name.append(detail::BareAttributeName(Token));
    Value.clear();
    S.clear();
    return ecOk;
  }
  Name.append(S, 0, Eq);
  S.erase(0, Eq + 1);
  Value.assign(detail::CutAttributeValue(S, false));
  return ecOk;
}

}  // namespace linexml
