// linexml tree: prints an outline of the document tree, one node a line.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "document.h"
#include "output.h"

namespace linexml::cli {
namespace {

struct TreeOptions {
  std::string File;
  bool Force = false;
  ReadOptions Read;
};

int RunTree(const TreeOptions& O) {
  TXMLParser P;
  if (!LoadForCommand(P, O.File, O.Read, O.Force)) return kExitFailed;
  std::string Line;
  P.XMLRoot()->ForEachInSubtree([&](const TXMLNode& Node) {
    Line.assign(2 * static_cast<std::size_t>(std::max(Node.Level(), 0)), ' ');
    Line += TagTypeName(Node.TagType());
    if (Node.TagType() == ttCDATA) {
      Line += ' ';
      Line += QuoteText(Node.TextData());
    } else {
      Line += ' ';
      Line += EscapeText(Node.TagName());
      for (const TXMLAttribute* A : Node.Attributes()) {
        Line += ' ';
        Line += EscapeText(A->Name);
        Line += '=';
        Line += QuoteText(A->Value);
      }
    }
    Line += '\n';
    std::cout << Line;
  });
  FlushStdout();
  return kExitOk;
}

}  // namespace

Command AddTreeCommand(CLI::App& App) {
  auto O = std::make_shared<TreeOptions>();
  CLI::App* Cmd = App.add_subcommand("tree", "Print an outline of the document tree, one node a line");
  Cmd->footer(
      "One node a line, indented two spaces per level: the node kind (ttNormal,\n"
      "ttShorted or ttCDATA), then for an element its tag name and attributes, for a\n"
      "text run its text in double quotes ('\"', '\\' and control characters escaped),\n"
      "so that a leading space stays visible. A document that does not load cleanly\n"
      "is refused with its 'check' line; --force shows how far it was read.\n"
      "\n"
      "Example:\n"
      "  $ linexml tree catalog.xml\n"
      "  ttNormal catalog id=\"harbour-lane\" version=\"3\" updated=\"2024-05-14\" currency=\"EUR\"\n"
      "    ttNormal store code=\"HL-01\" opened=\"1998\"\n"
      "  ...");
  Cmd->add_option("FILE", O->File, "Document to show")->required()->type_name("");
  Cmd->add_flag("--force", O->Force, "Show the tree even when the document does not load cleanly");
  AddReadOptions(*Cmd, O->Read);
  return {Cmd, [O] { return RunTree(*O); }};
}

}  // namespace linexml::cli
