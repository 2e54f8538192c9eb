#pragma once
/// \file
/// linexml::TXMLDocType, the document-type line.

#include <iosfwd>
#include <string>
#include <string_view>

#include "export.h"
#include "xml_types.h"

namespace linexml {

/// The document-type line of the prolog, kept as written.
class LINEXML_API TXMLDocType {
 public:
  /// The whole declaration from its "<!" through the first ">"; empty when there is none.
  const std::string& DocTypeDefinition() const { return definition_; }

  /// Takes everything through the first ">" of S (an internal subset is cut at its first ">").
  /// With no ">" in S the definition becomes empty and S stays as it is. Always ecOk.
  TXMLErrorCode ParseString(std::string& S);
  /// Writes the definition as one line (an empty line when there is none). Throws EInOutError.
  void SaveToFile(std::ostream& F) const;

 private:
  friend class TXMLParameters;
  TXMLErrorCode Parse(std::string_view& S);

  std::string definition_;
};

}  // namespace linexml
