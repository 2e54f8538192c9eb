#pragma once

// A plain reference model of the path language, written straight from the rules that
// TXMLNode::SelectAll documents: a set of nodes is a set of document-order numbers (the document
// is -1), and each step is applied to each node of the set on its own, with no walk shared between
// nodes. It is slow on purpose and exists only to be compared with the library's engine, which
// shares one walk between nested nodes (a property test and the path fuzz target).

#include <linexml/linexml.h>

#include <optional>
#include <string_view>
#include <vector>

namespace model {

// Every element that Path selects from Start, or from the document above Start's tree when
// FromDocument, in document order; nullopt when Path is not in the syntax.
std::optional<std::vector<const linexml::TXMLNode*>> SelectAll(std::string_view Path,
                                                               const linexml::TXMLNode& Start,
                                                               bool FromDocument);

}  // namespace model
