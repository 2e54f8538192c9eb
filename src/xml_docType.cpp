#include "linexml/xml_docType.h"

#include <ostream>

#include "detail/prolog.h"
#include "detail/string_step.h"
#include "detail/writer.h"

namespace linexml {

TXMLErrorCode TXMLDocType::Parse(std::string_view& S) {
  std::string_view Definition;
  detail::TakeDocType(S, Definition);
  definition_.assign(Definition);
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
