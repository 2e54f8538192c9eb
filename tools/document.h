#pragma once

#include <linexml/xml_parser.h>

#include <optional>
#include <string>
#include <string_view>

// Loading and saving the document a command works on: a file, or standard input for "-".
namespace linexml::cli {

// True when Arg names standard input.
bool IsStdin(const std::string& Arg);
// The name messages use for Arg: the argument itself, "<stdin>" for "-".
std::string ShownName(const std::string& Arg);

// Reads all of standard input into Out; false when the read fails.
bool ReadStdin(std::string& Out);

// Loads Arg into P and returns the status. For "-", StdinText is the document (already read),
// or nullptr when standard input could not be read, which counts as ecNoFile.
TXMLErrorCode LoadDocument(TXMLParser& P, const std::string& Arg, const std::string* StdinText);

// The check command's line for a loaded document, without its newline:
// "NAME: ok", "NAME:LINE: STATUS: meaning", or "NAME: STATUS: meaning" when no line applies.
std::string CheckLine(const std::string& Shown, TXMLErrorCode Status, std::int64_t Line);

// Loads Arg (reading standard input for "-") for a command that needs a sound document. A status
// other than ecOk is written to standard error as the check line and gives false, except that with
// Force a document that was read but did not parse is accepted (a file that cannot be
// read, or that did not fit in memory, never is).
// Target is where the command will write the document (nullopt or "-": standard output). When it is
// the loaded file itself (by name or through a link), only ecOk is accepted, forced or not: a
// document that did not load completely holds less than its file, and writing it back would lose
// the rest; a forced load says so in a second line.
bool LoadForCommand(TXMLParser& P, const std::string& Arg, bool Force = false,
                    const std::optional<std::string>& Target = std::nullopt);

// Writes the document to standard output for no name or "-", else to the named file through
// SaveFile, which replaces it only once everything was written.
void SaveResult(TXMLParser& P, const std::optional<std::string>& Target);

// Throws UsageError when Text, as an attribute name (IsName) or value, would not read back the
// same after a save (IsWritableName, IsWritableValue); What names it in the message, which says
// which byte it is.
void RequireStorable(std::string_view What, std::string_view Text, bool IsName);

// What the checked edit of the library says about Text as a name, a value or a text run (the byte
// and its position), or empty when it is writable.
enum class Storable { kName, kValue, kText };
std::string WhyNotStorable(Storable Kind, const std::string& Text);

// A node as messages name it: its path ("/catalog/store[2]/name", a position where siblings share
// the name), with "text run N of" in front for a text run.
std::string NodePath(const TXMLNode& Node);

// The document check before a write: false, with a message on standard error naming the node, its
// path, the line it would be written on and what is wrong, when the document would not load back
// the same (TXMLParser::FirstUnwritable). Force lets it through.
bool WritableOrForced(const TXMLParser& P, const std::string& Arg, bool Force);

}  // namespace linexml::cli
