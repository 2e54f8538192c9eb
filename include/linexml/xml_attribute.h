#pragma once
/// \file
/// linexml::TXMLAttribute, one name/value pair.

#include <string>

#include "export.h"
#include "xml_types.h"

namespace linexml {

/// One name/value pair of an element or of the XML declaration.
class LINEXML_API TXMLAttribute {
 public:
  /// The name; empty in a new attribute.
  std::string Name;
  std::string Value;  ///< The value, without its quotes; empty in a new attribute.

  /// Parses one attribute token (name, "=", quoted value, the token's trailing space, possibly with
  /// the tag's closing characters before that space). Name gets everything before the first "="
  /// (appended to what it holds), Value the cut value; S is left holding the value part.
  /// A token without "=" names a valueless attribute: Name gets the token without its trailing space
  /// and without a closing ">", "/>" or "?>", Value stays empty and S becomes empty.
  /// Always returns ecOk. When an allocation fails it throws std::bad_alloc and leaves the
  /// attribute and S as they were.
  TXMLErrorCode ParseString(std::string& S);
};

}  // namespace linexml
