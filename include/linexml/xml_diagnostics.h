#pragma once
/// \file
/// linexml::TXMLWarning, the places where a load reads a file differently from an XML reader, and
/// linexml::TXMLErrorNote, further places that a failed load's message refers to, and
/// linexml::TXMLUnwritable, what a save could not write so that it loads back the same.

#include <cstdint>
#include <string>

#include "export.h"

namespace linexml {

/// What a warning is about: a place where linexml reads the file differently from how a
/// conforming XML reader would, so that saving the document would change the file.
enum TXMLWarningKind : std::uint8_t {
  wkValueCut = 0,              ///< an attribute value cut at a space (or at a ">", which ends the tag)
  wkMissingClosingTag = 1,     ///< an element whose closing tag is not found: read without content
  wkSameNameNesting = 2,       ///< an element inside one of the same name, which ends the outer one early
  wkCommentDropped = 3,        ///< a comment, cut out on loading, so a save drops it
  wkReferenceKeptRaw = 4,      ///< an entity or character reference, kept as written, not expanded
  wkDocTypeSubsetCut = 5,      ///< a document type's internal subset, cut at its first ">"
  wkInstructionDropped = 6,    ///< a processing instruction in front of the root, read and dropped
  wkInstructionAsElement = 7,  ///< a processing instruction in the body, read as an element "?target"
  wkCDataSection = 8,          ///< a CDATA section, read as an element (and its content as markup)
  wkSpaceAroundEquals = 9,  ///< white space around an attribute's "=": the value is read apart from its name
  /// a tab in a start tag (read as part of a name or value) or in a value (kept, not read as a space)
  wkTabInTag = 10,
  wkUnquotedValue = 11,       ///< a value not in quotes, or holding its own quote: an XML reader refuses it
  wkLoneAmpersand = 12,       ///< an "&" that starts no reference, kept: an XML reader refuses it
  wkDuplicateAttribute = 13,  ///< an attribute written twice in one tag: both kept, lookups find the first
  wkValuelessAttribute = 14,  ///< an attribute without "=" and value, read with an empty value
  /// text at the end of a line joined to the element on the next line without white space
  wkTextJoined = 15,
  /// a "<!--" with no "-->" after it: it and what follows it are read as the document
  wkCommentUnclosed = 16
};

/// "wkValueCut", "wkMissingClosingTag", ...; "unknown" for any other value.
LINEXML_API const char* WarningKindName(TXMLWarningKind Kind);
/// True for the kinds that change only what a save writes (a comment, or an instruction in front of
/// the root, dropped), not what a program reads from the document.
LINEXML_API bool WarningConcernsSaveOnly(TXMLWarningKind Kind);

/// One lossy reading found by a load that collected warnings (TXMLLoadOptions::CollectWarnings).
struct TXMLWarning {
  std::int64_t Line = 0;              ///< 1-based source line
  std::int64_t Column = 0;            ///< 1-based byte column in that line, as it stands in the file
  TXMLWarningKind Kind = wkValueCut;  ///< what was read differently
  std::string Text;                   ///< one sentence: what was read, and how an XML reader reads it
};

class TXMLNode;

/// What TXMLParser::FirstUnwritable found: a part of the document that a save would write so that
/// a load reads it back differently, or not at all.
struct TXMLUnwritable {
  /// The node at fault; nullptr when the fault is in the prolog.
  const TXMLNode* Node = nullptr;
  /// What is wrong, one clause without a full stop, e.g. "byte 3 of the name is ' ', which ends a
  /// name".
  std::string Reason;
};

/// A further place that a failed load's message refers to (TXMLParser::ErrorNotes).
struct TXMLErrorNote {
  std::int64_t Line = 0;    ///< 1-based source line
  std::int64_t Column = 0;  ///< 1-based byte column in that line, as it stands in the file
  std::string Text;         ///< what is there, one sentence
};

}  // namespace linexml
