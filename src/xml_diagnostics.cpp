#include "linexml/xml_diagnostics.h"

namespace linexml {

const char* WarningKindName(TXMLWarningKind Kind) {
  switch (Kind) {
    case wkValueCut:
      return "wkValueCut";
    case wkMissingClosingTag:
      return "wkMissingClosingTag";
    case wkSameNameNesting:
      return "wkSameNameNesting";
    case wkCommentDropped:
      return "wkCommentDropped";
    case wkReferenceKeptRaw:
      return "wkReferenceKeptRaw";
    case wkDocTypeSubsetCut:
      return "wkDocTypeSubsetCut";
    case wkInstructionDropped:
      return "wkInstructionDropped";
    case wkInstructionAsElement:
      return "wkInstructionAsElement";
    case wkCDataSection:
      return "wkCDataSection";
    case wkSpaceAroundEquals:
      return "wkSpaceAroundEquals";
    case wkTabInTag:
      return "wkTabInTag";
    case wkUnquotedValue:
      return "wkUnquotedValue";
    case wkLoneAmpersand:
      return "wkLoneAmpersand";
    case wkDuplicateAttribute:
      return "wkDuplicateAttribute";
    case wkValuelessAttribute:
      return "wkValuelessAttribute";
    case wkTextJoined:
      return "wkTextJoined";
    case wkCommentUnclosed:
      return "wkCommentUnclosed";
  }
  return "unknown";
}

bool WarningConcernsSaveOnly(TXMLWarningKind Kind) {
  return Kind == wkCommentDropped || Kind == wkInstructionDropped;
}

}  // namespace linexml
