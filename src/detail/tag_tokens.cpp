#include "tag_tokens.h"

#include "linexml/xml_attribute.h"

namespace linexml::detail {

void ParseAttributeToken(TXMLAttribute& A, std::string_view Piece) {
  std::string_view Name, Value;
  SplitAttributeToken(Piece, Name, Value);
  A.Name.append(Name);
  A.Value.assign(Value);
}

}  // namespace linexml::detail
