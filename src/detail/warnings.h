#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "linexml/xml_diagnostics.h"

namespace linexml::detail {

class DocText;

// One lossy reading found, at its position in the joined text (DocText::JoinedAt).
struct Found {
  std::size_t joined;
  TXMLWarningKind kind;
  std::string text;
};

// Spans [start, end) of the document text, in order.
using Spans = std::vector<std::pair<std::size_t, std::size_t>>;

// The tags of the body (from Body on), read as the parse reads them: a tag runs from "<" to its
// first ">", its name ends at a space, "/" or ">", and its attributes are cut at every space. Finds
// the values cut, unquoted or holding a tab, white space around "=", attributes without a value or
// written twice, tabs in names, instructions and CDATA sections. Literal receives the instructions
// and CDATA sections, whose content an XML reader takes as it is.
void FindTagWarnings(const DocText& Doc, std::size_t Body, std::vector<Found>& Out, Spans& Literal);

// Entity and character references, kept as written, and every "&" that starts none, outside
// Literal.
void FindReferences(const DocText& Doc, const Spans& Literal, std::vector<Found>& Out);

// Text at the end of a line that the element on the next line is joined to without the line
// break, which an XML reader reads as white space between them (mixed content).
void FindJoinedText(const DocText& Doc, std::size_t Body, const Spans& Literal, std::vector<Found>& Out);

// The first comment that is never closed, outside Literal: it stays, and so does what follows it
// (the prolog's included).
void FindUnclosedComment(const DocText& Doc, const Spans& Literal, std::vector<Found>& Out);

// The instructions that a load read in front of the root and dropped.
void FindDroppedInstructions(const DocText& Doc, const Spans& Instructions, std::vector<Found>& Out);

}  // namespace linexml::detail
