#pragma once
/// \file
/// linexml::TXMLWarning: the places where a load reads a file differently from an XML reader.

#include <cstdint>
#include <string>

#include "export.h"

namespace linexml {

/// What a warning is about: a place where linexml reads the file differently from how a
/// conforming XML reader would, so that saving the document would change the file.
enum TXMLWarningKind : std::uint8_t {
  wkValueCut = 0,           ///< an attribute value cut at a space (or at a ">", which ends the tag)
  wkMissingClosingTag = 1,  ///< an element whose closing tag is not found: read without content
  wkSameNameNesting = 2,    ///< an element inside one of the same name, which ends the outer one early
  wkCommentDropped = 3,     ///< a comment, cut out on loading, so a save drops it
  wkReferenceKeptRaw = 4,   ///< an entity or character reference, kept as written, not expanded
  wkDocTypeSubsetCut = 5    ///< a document type's internal subset, cut at its first ">"
};

/// "wkValueCut", "wkMissingClosingTag", ...; "unknown" for any other value.
LINEXML_API const char* WarningKindName(TXMLWarningKind Kind);

/// One lossy reading found by a load that collected warnings (TXMLLoadOptions::CollectWarnings).
struct TXMLWarning {
  std::int64_t Line = 0;              ///< 1-based source line
  std::int64_t Column = 0;            ///< 1-based byte column in that line, as it stands in the file
  TXMLWarningKind Kind = wkValueCut;  ///< what was read differently
  std::string Text;                   ///< one sentence: what was read, and how an XML reader reads it
};

}  // namespace linexml
