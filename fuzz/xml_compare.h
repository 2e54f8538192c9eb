#pragma once

// linexml's reading of a document next to an XML reader's (pugixml): where the two differ, as
// windows of source lines, and whether a warning of linexml's load stands in each window.

#include <linexml/linexml.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace compare {

// One place where the readings differ: the source lines [first, last] that hold it, and what.
struct Difference {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::string what;
};

// How a comparison of one document went.
struct Outcome {
  bool xml_reads = false;                         // the XML reader read the document
  bool linexml_reads = false;                     // linexml loaded it with ecOk
  linexml::TXMLErrorCode status = linexml::ecOk;  // linexml's status and message
  std::string message;
  std::vector<Difference> differences;
  std::vector<linexml::TXMLWarning> warnings;
  // The differences that no warning's line falls into. A comment's warning does not count: it says
  // that the comment is dropped, not how the text around it is read.
  std::vector<Difference> Uncovered() const;
};

// Reads Source with an XML reader and with linexml (Options, with CollectWarnings on) and lists
// where the two differ, once both read it. What counts: element names, attributes in order (the
// XML reader's values with references expanded and white space as it normalises it), processing
// instructions and the text of each element. Text is compared with every run of white space taken
// as one space; text of nothing but white space, and the white space at the start and the end of
// an element's content, do not count. Comments and the declaration are not compared (a load that
// collects warnings lists every comment anyway). DecodeAsDeclared lets the XML reader decode the
// bytes as the document declares (Latin-1 and UTF-16 become UTF-8); otherwise they are taken as
// UTF-8, byte for byte.
Outcome Compare(std::string_view Source, linexml::TXMLLoadOptions Options, bool DecodeAsDeclared = false);

// Outcome as a few lines for a report: every uncovered difference with the source lines it names.
std::string Describe(std::string_view Source, const Outcome& O);

}  // namespace compare
