// linexml get: prints an attribute's value, or an element with its subtree.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "document.h"
#include "output.h"

namespace linexml::cli {
namespace {

struct GetOptions {
  std::string File;
  std::string Tag;
  std::optional<std::string> Attribute;
  ReadOptions Read;
};

int RunGet(const GetOptions& O) {
  TXMLParser P;
  if (!LoadForCommand(P, O.File, O.Read)) return kExitFailed;
  const TXMLNode* Node = P.FindTagByName(O.Tag);
  if (Node == nullptr) return Fail(ShownName(O.File) + ": no element named " + Quote(O.Tag));
  if (!O.Attribute) {
    SaveToStdout(*Node);
    return kExitOk;
  }
  // GetAttributeValue answers "undefined" for a missing attribute, which is also a value an
  // attribute can really hold; the list tells the two apart.
  for (const TXMLAttribute* A : Node->Attributes()) {
    if (A->Name == *O.Attribute) {
      std::cout << A->Value << '\n';
      FlushStdout();
      return kExitOk;
    }
  }
  return Fail(ShownName(O.File) + ": element " + Quote(O.Tag) + " has no attribute " + Quote(*O.Attribute));
}

}  // namespace

Command AddGetCommand(CLI::App& App) {
  auto O = std::make_shared<GetOptions>();
  CLI::App* Cmd = App.add_subcommand("get", "Print an attribute's value, or an element with its subtree");
  Cmd->footer(
      "Which element is TAG: the root element when it has that name; else the last\n"
      "child of the root with that name; else a match deeper down, found by the same\n"
      "rule in the last child whose subtree holds one. So with several matches it is\n"
      "not the first in the file that is printed. Without ATTRIBUTE the element is\n"
      "printed with its subtree in the library's layout, indented by its level in the\n"
      "document. A missing tag or attribute is a message on standard error and exit\n"
      "status 1; an attribute whose stored value is the word 'undefined' is printed\n"
      "like any other value. A document that does not load cleanly is refused with\n"
      "its 'check' line.\n"
      "\n"
      "Example (the last 'day' of the opening hours):\n"
      "  $ linexml get catalog.xml day name\n"
      "  sun");
  Cmd->add_option("FILE", O->File, "Document to read")->required()->type_name("");
  Cmd->add_option("TAG", O->Tag, "Element to find (the root, or a descendant found by name)")
      ->required()
      ->type_name("");
  Cmd->add_option("ATTRIBUTE", O->Attribute, "Attribute whose value to print")->type_name("");
  AddReadOptions(*Cmd, O->Read);
  return {Cmd, [O] { return RunGet(*O); }};
}

}  // namespace linexml::cli
