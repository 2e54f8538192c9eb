#include "linexml/xml_functions.h"

#include "detail/tag_tokens.h"

namespace linexml {

std::string ParseAttributeValue(const std::string& S) {
  return std::string(detail::CutAttributeValue(S, false));
}

}  // namespace linexml
