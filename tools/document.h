#pragma once

#include <linexml/xml_parser.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

// Loading and saving the document a command works on: a file, or standard input for "-"; and the
// options that say how, shared by every command that reads or writes one.
namespace linexml::cli {

// What every command that reads a document accepts beyond the format's rules.
struct ReadOptions {
  bool AcceptBom = false;
  bool AcceptNoDeclaration = false;
  bool AcceptFullProlog = false;
};
// Adds --accept-bom, --accept-no-declaration and --accept-full-prolog to Cmd.
void AddReadOptions(CLI::App& Cmd, ReadOptions& O);
// The library's load options for O; Warnings collects warnings too.
TXMLLoadOptions LoadOptionsFor(const ReadOptions& O, bool Warnings = false);

// How a command that writes a document lays it out: as the file stood, with only the changes
// written anew (the default of the commands that change a document), or in the library's layout.
struct WriteOptions {
  int Indent = 2;
  bool Tabs = false;
  bool Crlf = false;
  bool Bom = false;
  bool StandardDeclaration = false;
  bool InlineText = false;
  std::string Profile = "linexml";  // "xml": every choice other XML tools need
  bool Reformat = false;            // --reformat: the library's layout although the command keeps the file's
  bool KeepsFile = false;           // the command keeps the file's layout unless asked otherwise
  std::vector<const CLI::Option*> LayoutOptions;  // the options above that choose a layout

  // True when the save keeps the file as it stood: the command does so by default and neither
  // --reformat nor any layout option was given (on the command line or in the configuration file).
  bool KeepsSource() const;
};
// Adds --indent, --tabs, --crlf, --bom, --standard-declaration, --inline-text and --profile to Cmd;
// with KeepsFile, --reformat too, and the save keeps the file's layout unless one of them is given.
void AddWriteOptions(CLI::App& Cmd, WriteOptions& O, bool KeepsFile = false);
// The library's save options for O and the document P: a byte-order mark that P's file began
// with is kept; a save that keeps the file writes the source with the changes (PreserveSource).
TXMLSaveOptions SaveOptionsFor(const WriteOptions& O, const TXMLParser& P);

// Whether Opt of Cmd was given on the command line, not only in the configuration file: where the
// two disagree, the command line wins.
bool GivenOnCommandLine(const CLI::App& Cmd, const CLI::Option* Opt);

// The file the tool reads its defaults from when --config does not name one:
// $XDG_CONFIG_HOME/linexml/config, else $HOME/.config/linexml/config; empty when neither is set.
std::string DefaultConfigFile();

// True when Arg names standard input.
bool IsStdin(const std::string& Arg);
// The name messages use for Arg: the argument itself, "<stdin>" for "-".
std::string ShownName(const std::string& Arg);

// Reads all of standard input into Out; false when the read fails.
bool ReadStdin(std::string& Out);

// Loads Arg into P (with the load options P has) and returns the status. For "-", StdinText is
// the document (already read), or nullptr when standard input could not be read, which counts as
// ecNoFile.
TXMLErrorCode LoadDocument(TXMLParser& P, const std::string& Arg, const std::string* StdinText);

// Loads the file Path into P as LoadDocument does, keeping the bytes it loaded in Text, so that
// source lines can be shown without reading the file again (which a FIFO or a pipe would not give
// a second time). A file that cannot be opened is left to the library, which names the reason.
TXMLErrorCode LoadFileKeepingText(TXMLParser& P, const std::string& Path, std::string& Text);

// The check command's line for a load, without its newline: "NAME: ok",
// "NAME:LINE:COLUMN: STATUS: message", or "NAME: STATUS: message" when no line applies.
std::string CheckLine(const std::string& Shown, TXMLErrorCode Status, const TXMLParser& P);

// Loads Arg (reading standard input for "-") for a command that needs a sound document. A status
// other than ecOk is written to standard error as the check line and gives false, except that with
// Force a document that was read but did not parse is accepted (a file that cannot be
// read, or that did not fit in memory, never is).
// Target is where the command will write the document (nullopt or "-": standard output). When it is
// the loaded file itself (by name or through a link), only ecOk is accepted, forced or not: a
// document that did not load completely holds less than its file, and writing it back would lose
// the rest; a forced load says so in a second line.
// Read gives the load options. The check line of a failed load is followed by its notes
// (TXMLParser::ErrorNotes), "NAME:LINE:COLUMN: note: text".
bool LoadForCommand(TXMLParser& P, const std::string& Arg, const ReadOptions& Read, bool Force = false,
                    const std::optional<std::string>& Target = std::nullopt);
// The same with the library's load options given in full.
bool LoadForCommand(TXMLParser& P, const std::string& Arg, const TXMLLoadOptions& Load, bool Force,
                    const std::optional<std::string>& Target);

// Writes the document to standard output for no name or "-", else to the named file through
// SaveFile, which replaces it only once everything was written.
void SaveResult(TXMLParser& P, const std::optional<std::string>& Target, const TXMLSaveOptions& Layout = {});

// Throws UsageError when Text, as an attribute name (IsName) or value, would not read back the
// same after a save (IsWritableName, IsWritableValue); What names it in the message, which says
// which byte it is.
void RequireStorable(std::string_view What, std::string_view Text, bool IsName);

// What the checked edit of the library says about Text as a name, a value or a text run (the byte
// and its position), or empty when it is writable.
enum class Storable { kName, kValue, kText };
std::string WhyNotStorable(Storable Kind, const std::string& Text);

// A TAG argument of get and set: a bare tag name keeps its meaning (FindTagByName); anything with a
// path's characters ("/", "[", "*", ".") is a path.
bool IsPath(const std::string& Tag);
// Throws UsageError, naming the position, when Path is not in the path syntax: checked before the
// document is read, so a bad path is a usage error whatever the document holds.
void RequirePathSyntax(const std::string& Path);
// The elements a TAG argument finds in P: every element a path selects, in document order, or the
// one element FindTagByName finds for a name (none: empty).
std::vector<TXMLNode*> ElementsFor(const TXMLParser& P, const std::string& Tag);
// The message for a TAG argument that found nothing: "no element named ..." or "no element
// matches ...".
std::string NoElementFor(const std::string& Tag);

// A node as messages name it: its path ("/catalog/store[2]/name", a position where siblings share
// the name), with "text run N of" in front for a text run.
std::string NodePath(const TXMLNode& Node);

// The document check before a write in Layout: false, with a message on standard error naming the
// node, its path, the line it is written on in Layout and what is wrong, when the document would
// not load back the same, or not as XML where Layout claims XML (TXMLParser::FirstUnwritable).
// Force lets it through.
bool WritableOrForced(const TXMLParser& P, const std::string& Arg, bool Force, const TXMLSaveOptions& Layout);

// A command that writes a document: what it reads, where it writes, and how.
struct WritingCommand {
  std::string File;                   // "-": standard input
  std::optional<std::string> Target;  // nullopt or "-": standard output
  const ReadOptions* Read = nullptr;
  const WriteOptions* Write = nullptr;
  bool Force = false;      // write even what would not load back the same
  bool ForceLoad = false;  // go on with a document that did not parse completely (not in place)
  // Collect the warnings, for Change to say which concern what it changes: with the source kept,
  // their places (WarningScope); without it (a save in the library's layout), every one counts.
  bool Warnings = false;
};
// The one route of every command that writes: loads C.File (keeping its source where the save keeps
// the file), lets Change make its changes (it returns kExitOk to go on, else the exit status, having
// said why on standard error), checks that the result loads back the same (WritableOrForced) and
// saves it. Returns the exit status.
int LoadChangeSave(const WritingCommand& C, const std::function<int(TXMLParser&)>& Change);

}  // namespace linexml::cli
