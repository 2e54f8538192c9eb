#include "linexml/xml_types.h"

namespace linexml {

const char* ErrorCodeName(TXMLErrorCode Code) {
  switch (Code) {
    case ecOk:
      return "ecOk";
    case ecNoFile:
      return "ecNoFile";
    case ecInvalidFileName:
      return "ecInvalidFileName";
    case ecInvalidFileFormat:
      return "ecInvalidFileFormat";
    case ecNotValid:
      return "ecNotValid";
    case ecInvalidValue:
      return "ecInvalidValue";
    case ecInvalidTag:
      return "ecInvalidTag";
    case ecOutOfMemory:
      return "ecOutOfMemory";
  }
  return "unknown";
}

const char* ErrorCodeMeaning(TXMLErrorCode Code) {
  switch (Code) {
    case ecOk:
      return "the document was loaded completely";
    case ecNoFile:
      return "the file cannot be opened or read";
    case ecInvalidFileName:
      return "the file name is empty";
    case ecInvalidFileFormat:
      return "the document does not begin with an XML declaration";
    case ecNotValid:
      return "a declaration keyword repeats, or text follows the root element";
    case ecInvalidValue:
      return "invalid value";
    case ecInvalidTag:
      return "an element tag has an empty name or is cut off";
    case ecOutOfMemory:
      return "not enough memory for the document, or more elements, attributes or depth than a count holds";
  }
  return "unknown status";
}

const char* TagTypeName(TTagType Kind) {
  switch (Kind) {
    case ttCDATA:
      return "ttCDATA";
    case ttNormal:
      return "ttNormal";
    case ttShorted:
      return "ttShorted";
  }
  return "unknown";
}

}  // namespace linexml
