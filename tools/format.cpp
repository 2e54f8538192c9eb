// linexml format: writes a document in the library's layout.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "document.h"

namespace linexml::cli {
namespace {

struct FormatOptions {
  std::string File;
  std::optional<std::string> Output;  // "-" or absent: standard output
  bool InPlace = false;
  bool Force = false;
  ReadOptions Read;
  WriteOptions Write;
  const CLI::App* App = nullptr;
  const CLI::Option* OutputOption = nullptr;
  const CLI::Option* InPlaceOption = nullptr;
};

int RunFormat(const FormatOptions& O) {
  bool InPlace = O.InPlace;
  std::optional<std::string> Output = O.Output;
  if (InPlace && Output) {
    // One of them from the configuration file: the one given on the command line wins.
    const bool OutputGiven = GivenOnCommandLine(*O.App, O.OutputOption);
    if (OutputGiven == GivenOnCommandLine(*O.App, O.InPlaceOption))
      throw UsageError("--in-place excludes --output");
    if (OutputGiven)
      InPlace = false;
    else
      Output.reset();
  }
  if (InPlace && IsStdin(O.File)) throw UsageError("-i needs a file: standard input cannot be rewritten");
  const std::optional<std::string> Target = InPlace ? std::optional<std::string>(O.File) : Output;
  return LoadChangeSave({O.File, Target, &O.Read, &O.Write, O.Force, O.Force},
                        [](TXMLParser&) { return kExitOk; });
}

}  // namespace

Command AddFormatCommand(CLI::App& App) {
  auto O = std::make_shared<FormatOptions>();
  CLI::App* Cmd = App.add_subcommand("format", "Write FILE in the library's indented layout");
  Cmd->footer(
      "Writes the declaration with all four keywords, the document-type line and an\n"
      "empty line, then one line per opening tag, text run, self-closing tag and\n"
      "closing tag, indented two spaces per level. The layout options change that;\n"
      "--profile xml writes what other XML tools accept (a declaration without\n"
      "language, text inline, no empty document-type line). A byte-order mark that\n"
      "the file began with (--accept-bom) is kept. Defaults for the options can be\n"
      "kept in a configuration file (see 'linexml --help'). A file is written to a\n"
      "temporary file beside it that replaces it only once complete, so a failed\n"
      "write leaves the old file as it was (exit status 1, with the system's\n"
      "reason). A document that does not load cleanly is refused with its 'check'\n"
      "line; --force writes what was read of it. A file that cannot be read is never\n"
      "written, forced or not. -i with FILE '-' is a usage error. A document that the\n"
      "layout would not carry back the same (an element named '!--', two text runs\n"
      "side by side, ...) is refused with the node, its line as written and what is\n"
      "wrong; --force writes it anyway. With --profile xml or --standard-declaration\n"
      "the file claims to be XML, so what an XML reader cannot read (a value cut at a\n"
      "space, a bare '&', a name that is no XML name, ...) is refused the same way.\n"
      "\n"
      "Example:\n"
      "  $ linexml format catalog.xml -o tidy.xml");
  Cmd->add_option("FILE", O->File, "Document to format")->required()->type_name("");
  CLI::Option* Out = Cmd->add_option("-o,--output", O->Output,
                                     "Write to OUT (replaced only once complete); '-': standard output");
  Out->type_name("OUT");
  O->OutputOption = Out;
  O->InPlaceOption =
      Cmd->add_flag("-i,--in-place", O->InPlace, "Replace FILE (only once the new copy is complete)");
  O->App = Cmd;
  Cmd->add_flag("--force", O->Force,
                "Format a document even when it does not load cleanly or would not load back the same");
  AddWriteOptions(*Cmd, O->Write);
  AddReadOptions(*Cmd, O->Read);
  return {Cmd, [O] { return RunFormat(*O); }};
}

}  // namespace linexml::cli
