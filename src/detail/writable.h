#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "linexml/xml_diagnostics.h"
#include "linexml/xml_options.h"

namespace linexml {
class TXMLNode;
class TXMLParameters;
}  // namespace linexml

namespace linexml::detail {

// The rules of what a save writes so that a load reads it back the same, each as the reason why a
// string cannot stand in its place: empty when it can, else one clause naming the first offending
// byte and its 1-based position, e.g. "byte 3 of the name is ' ', which ends a name". What names
// the string in that clause ("name", "value of attribute \"id\"", ...).
std::string WhyNotName(std::string_view S, std::string_view What = "name");
std::string WhyNotValue(std::string_view S, std::string_view What = "value");
std::string WhyNotText(std::string_view S, std::string_view What = "text");
// The rule for a text run already in a document, as FindUnwritable applies it: a load may trim its
// ends, collapse its runs of spaces, put one space in front and drop a run left empty (the text
// rule a save promises), but a "<" or a line break in it changes the tree.
std::string WhyNotTextRun(std::string_view S);

// The first part of a document, in the order a save writes it, that a save would not write so
// that a load reads it back the same (TXMLParser::FirstUnwritable); nothing when there is none.
// With Options that write the standard declaration, also what an XML reader cannot read.
std::optional<TXMLUnwritable> FindUnwritable(const TXMLParameters& Prolog, const TXMLNode& Root,
                                             const TXMLSaveOptions* Options = nullptr);

}  // namespace linexml::detail
