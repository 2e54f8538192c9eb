#include "linexml/xml_docType.h"

#include <ostream>

#include "detail/string_step.h"
#include "detail/writer.h"

namespace linexml {

TXMLErrorCode TXMLDocType::Parse(std::string_view& S) {
  const std::size_t Gt = S.find('>');
  if (Gt == std::string_view::npos) {
    definition_.clear();
    return ecOk;
  }
  definition_.assign(S.substr(0, Gt + 1));
  S.remove_prefix(Gt + 1);
  return ecOk;
}

TXMLErrorCode TXMLDocType::ParseString(std::string& S) {
  return detail::OnString(S, [this](std::string_view& V) { return Parse(V); });
}

void TXMLDocType::SaveToFile(std::ostream& F) const {
  detail::StreamSink Out(F);
  detail::WriteTo(Out, [this](detail::Writer& W) { detail::WriteDocType(W, *this); });
}

}  // namespace linexml
