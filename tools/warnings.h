#pragma once

#include <linexml/xml_parser.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The warnings of a load as the tool shows them, and the ones that concern the part of a document
// a command prints or changes.
namespace linexml::cli {

// "NAME:LINE:COLUMN: warning: TEXT [kind]", without a newline.
std::string WarningLine(const std::string& Shown, const TXMLWarning& W);
// "NAME:LINE:COLUMN: note: TEXT", without a newline.
std::string NoteLine(const std::string& Shown, const TXMLErrorNote& N);

// The load options of a command that tells which warnings concern the nodes it prints or changes:
// O with the warnings collected and the source kept (which gives the nodes their places).
TXMLLoadOptions WithWarningPlaces(TXMLLoadOptions O);

// The parts of a loaded document that a command prints or changes, gathered node by node; Print
// then writes the warnings about the reading (not those that only a save loses) that lie in
// them. Places are byte ranges of the source, so nodes removed later still count.
class WarningScope {
 public:
  enum class Part { kStartTag, kElement };
  // Adds Node's start tag, or the whole element with its closing tag. A node that the load did not
  // make has no place and adds nothing.
  void Add(const TXMLParser& P, const TXMLNode& Node, Part Which);
  // Writes WarningLine for each warning about the reading that lies in an added part to standard
  // error, once, in the order of the source. Without P's source (a load that did not keep it) every
  // element has its part: then every warning about the reading is written.
  void Print(const TXMLParser& P, const std::string& Shown);
  // The same for Warnings, found by another load of the same bytes with the same options (P then
  // need not collect them again).
  void Print(const TXMLParser& P, const std::vector<TXMLWarning>& Warnings, const std::string& Shown);

 private:
  std::vector<std::pair<std::size_t, std::size_t>> parts_;  // [begin, end) in P.Source()
};

// The warnings about the reading that lie in the given part of Nodes, on standard error (Arg names
// the document, "-" standard input): WarningScope in one call.
void PrintWarningsAbout(const TXMLParser& P, const std::string& Arg, const std::vector<TXMLNode*>& Nodes,
                        WarningScope::Part Which);

}  // namespace linexml::cli
