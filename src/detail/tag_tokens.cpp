#include "tag_tokens.h"

#include <cstddef>

#include "linexml/xml_attribute.h"

namespace linexml::detail {

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
