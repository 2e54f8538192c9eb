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
// document-type line. After a failed tree parse, only the text from pos on (and the root's start
// tag) is read: a large document's text before it may have been given back to the system on the way.
struct FailureFacts {
  TXMLErrorCode status;
  std::string_view text;
  std::size_t pos;
  const TXMLNode& root;
  std::string_view repeated;
  std::string_view doctype;
  bool marked;           // the text began with a byte-order mark (noted before the parse gave its front back)
  std::size_t body = 0;  // where the root starts
  std::int64_t body_line = 0;  // its source line
  bool comment_cut = false;    // a comment was cut out just in front of the root, or in its text
};

// A further place that a failure's message refers to: its position in the text, and what is there.
struct FailureNote {
  std::size_t pos;
  std::string text;
};

// One sentence on the cause of a failed parse, specific to the case; the places it refers to
// besides the failure's own go to Notes.
std::string DescribeFailure(const FailureFacts& Facts, std::vector<FailureNote>& Notes);
// One sentence on a file that cannot be read, from the errno its read left (0: no name given).
std::string DescribeUnreadable(int Errno);

// What the warnings of a load are found in: the document (still whole), where the root element
// starts, the document-type line and where it starts (npos: none), the tree, the elements whose
// closing tag was not found, and the instructions read and dropped in front of the root ([start,
// end) in the text; null: none).
struct WarningFacts {
  const DocText& doc;
  std::size_t body;
  std::size_t doctype_at;
  std::string_view doctype;
  const TXMLNode& root;
  const TreeBuilder::Unclosed& unclosed;
  const std::vector<std::pair<std::size_t, std::size_t>>* instructions = nullptr;
};

// Every lossy reading of the document, in the order of the source.
std::vector<TXMLWarning> FindWarnings(const WarningFacts& Facts);

}  // namespace linexml::detail
