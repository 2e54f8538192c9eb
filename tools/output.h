#pragma once

#include <string>
#include <string_view>

namespace linexml {
class TXMLNode;
class TXMLParser;
}  // namespace linexml

// Output helpers: results go to standard output, messages to standard error.
namespace linexml::cli {

// Text between double quotes, with '"', '\' and control bytes escaped ("\t", "\n", "\r", "\xNN")
// so that leading spaces and odd bytes stay visible; bytes from 128 up are kept as they are.
std::string Quote(std::string_view Text);
// Text escaped as Quote escapes it, but bare: no quotes around it and '"' kept as it is. Unchanged
// for text without '\' and control bytes (ordinary names).
std::string Escape(std::string_view Text);

// Writes "linexml: MESSAGE" and a newline to standard error and returns kExitFailed.
int Fail(const std::string& Message);

// Flushes standard output; throws EInOutError when anything written to it was lost.
void FlushStdout();

// The document (prolog and tree), or one node with its subtree, in the library's layout on standard
// output. Throw EInOutError naming standard output when the write fails.
void SaveToStdout(const TXMLParser& P);
void SaveToStdout(const TXMLNode& Node);

}  // namespace linexml::cli
