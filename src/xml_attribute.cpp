#include "linexml/xml_attribute.h"

#include "detail/tag_tokens.h"

namespace linexml {

TXMLErrorCode TXMLAttribute::ParseString(std::string& S) {
  // The new name and value are built first and swapped in when nothing can fail any more, so a
  // failed allocation leaves the attribute and S as they were; S may even be Name or Value.
  const std::size_t Eq = S.find('=');
  std::string NewName;
  std::string NewValue;
  if (Eq == std::string::npos) {
    // The whole token is a valueless attribute's name; S is used up.
    std::string_view Token = S;
    if (Token.ends_with(' ')) Token.remove_suffix(1);
    const std::string_view Bare = detail::BareAttributeName(Token);
    NewName.reserve(Name.size() + Bare.size());
    NewName.append(Name).append(Bare);
    Name.swap(NewName);
    Value.clear();
    S.clear();
    return ecOk;
  }
  NewName.reserve(Name.size() + Eq);
  NewName.append(Name).append(S, 0, Eq);
  NewValue.assign(detail::CutAttributeValue(std::string_view(S).substr(Eq + 1), false));
  Name.swap(NewName);
  Value.swap(NewValue);
  S.erase(0, Eq + 1);
  return ecOk;
}

}  // namespace linexml
