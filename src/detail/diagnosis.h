#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "linexml/xml_diagnostics.h"
#include "linexml/xml_types.h"
#include "tree_builder.h"

namespace linexml {
class TXMLNode;
}

namespace linexml::detail {

class DocText;

// What a failed load's message is made from: the status, the document text, where the failure was
// found in it (npos: nowhere), what was parsed, the declaration keyword met twice, and the
// document-type line. After a failed tree parse, only the text from pos on is read: a large
// document's text before it may have been given back to the system on the way.
struct FailureFacts {
  TXMLErrorCode status;
  std::string_view text;
  std::size_t pos;
  const TXMLNode& root;
  std::string_view repeated;
  std::string_view doctype;
  bool marked;  // the text began with a byte-order mark (noted before the parse gave its front back)
};

// One sentence on the cause of a failed parse, specific to the case.
std::string DescribeFailure(const FailureFacts& Facts);
// One sentence on a file that cannot be read, from the errno its read left (0: no name given).
std::string DescribeUnreadable(int Errno);

// What the warnings of a load are found in: the document (still whole), where the root element
// starts, the document-type line and where it starts (npos: none), the tree and the elements whose
// closing tag was not found.
struct WarningFacts {
  const DocText& doc;
  std::size_t body;
  std::size_t doctype_at;
  std::string_view doctype;
  const TXMLNode& root;
  const TreeBuilder::Unclosed& unclosed;
};

// Every lossy reading of the document, in the order of the source.
std::vector<TXMLWarning> FindWarnings(const WarningFacts& Facts);

}  // namespace linexml::detail
