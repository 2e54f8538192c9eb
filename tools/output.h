#pragma once

#include <linexml/xml_functions.h>  // QuoteText and EscapeText: how messages show any text
#include <linexml/xml_options.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace linexml {
class TXMLNode;
class TXMLParser;
}  // namespace linexml

// Output helpers: results go to standard output, messages to standard error.
namespace linexml::cli {

// A source line and a caret under Column (1-based, in bytes), as compilers show them, two lines
// each ending in a newline: "  LINE | text" and "       | ^". Control bytes (but tabs) show as
// "?", a leading byte-order mark as "<BOM>"; a long line shows only the part around Column.
// Empty when Column lies past the end of the line (and one past it, where the caret may stand).
std::string SourceExcerpt(std::string_view Text, std::int64_t Line, std::int64_t Column);

// Writes "linexml: MESSAGE" and a newline to standard error and returns kExitFailed.
int Fail(const std::string& Message);

// Flushes standard output; throws EInOutError when anything written to it was lost.
void FlushStdout();

// The document (prolog and tree), or one node with its subtree, in the library's layout on standard
// output. Throw EInOutError naming standard output when the write fails.
void SaveToStdout(const TXMLParser& P, const TXMLSaveOptions& Layout = {});
void SaveToStdout(const TXMLNode& Node);

}  // namespace linexml::cli
