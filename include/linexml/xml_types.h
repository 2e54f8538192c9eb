#pragma once
/// \file
/// The status codes and node kinds, and their names.

#include <cstdint>

#include "export.h"

namespace linexml {

/// Status of a parse step and of a whole load.
enum TXMLErrorCode : std::uint8_t {
  ecOk = 0,                 ///< loaded completely, or the step succeeded
  ecNoFile = 1,             ///< the file cannot be opened or read
  ecInvalidFileName = 2,    ///< an empty file name was assigned
  ecInvalidFileFormat = 3,  ///< the declaration begins with neither "<?xml " nor "<? xml "
  ecNotValid = 4,           ///< a declaration keyword repeats, or text is left after the root element
  ecInvalidValue = 5,       ///< for callers; the library never reports it
  ecInvalidTag = 6,         ///< an element tag has an empty name, or a tag is cut off
  ecOutOfMemory = 7         ///< a load ran out of memory, or the document has more children or
                            ///< attributes in one element, or more depth, than a 32-bit count
                            ///< holds (nothing of it was kept)
};

/// Kind of a node.
enum TTagType : std::uint8_t {
  ttCDATA = 0,   ///< a run of character data between tags
  ttNormal = 1,  ///< an element with an opening and a closing tag
  ttShorted = 2  ///< a self-closing element ("/>"), never with children from a parse
};

/// "ecOk", "ecNoFile", ...; "unknown" for any other value.
LINEXML_API const char* ErrorCodeName(TXMLErrorCode Code);
/// One sentence on what the status means, for messages; "unknown status" for any other value.
LINEXML_API const char* ErrorCodeMeaning(TXMLErrorCode Code);
/// "ttCDATA", "ttNormal", "ttShorted"; "unknown" for any other value.
LINEXML_API const char* TagTypeName(TTagType Kind);

}  // namespace linexml
