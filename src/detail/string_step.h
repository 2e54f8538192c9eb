#pragma once

#include <string>
#include <string_view>

#include "linexml/xml_types.h"

namespace linexml::detail {

// Runs a parse step that advances a view over S, then removes what it consumed from the front of S
// in one erase (the steps themselves never cut the string).
template <class Step>
TXMLErrorCode OnString(std::string& S, Step&& Run) {
  std::string_view V = S;
  const TXMLErrorCode Status = Run(V);
  S.erase(0, S.size() - V.size());
  return Status;
}

}  // namespace linexml::detail
