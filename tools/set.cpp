// linexml set: sets an attribute of an element and saves the document.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "document.h"
#include "output.h"
#include "warnings.h"

namespace linexml::cli {
namespace {

struct SetOptions {
  std::string File;
  std::string Tag;
  std::string Attribute;
  std::string Value;
  std::optional<std::string> Output;
  ReadOptions Read;
  WriteOptions Write;
  bool Force = false;
};

int RunSet(const SetOptions& O) {
  if (IsPath(O.Tag)) RequirePathSyntax(O.Tag);
  RequireStorable("ATTRIBUTE", O.Attribute, true);
  RequireStorable("VALUE", O.Value, false);
  // In place by default; standard input has no place, so its result goes to standard output.
  const std::optional<std::string> Target = O.Output          ? O.Output
                                            : IsStdin(O.File) ? std::nullopt
                                                              : std::optional<std::string>(O.File);
  return LoadChangeSave({O.File, Target, &O.Read, &O.Write, O.Force, false, true}, [&](TXMLParser& P) {
    const std::vector<TXMLNode*> Nodes = ElementsFor(P, O.Tag);
    if (Nodes.empty()) return Fail(ShownName(O.File) + ": " + NoElementFor(O.Tag));
    for (TXMLNode* Node : Nodes) Node->SetAttributeValue(O.Attribute, O.Value);
    PrintWarningsAbout(P, O.File, Nodes, WarningScope::Part::kStartTag);
    return kExitOk;
  });
}

}  // namespace

Command AddSetCommand(CLI::App& App) {
  auto O = std::make_shared<SetOptions>();
  CLI::App* Cmd = App.add_subcommand("set", "Set an attribute of an element and save the document");
  Cmd->footer(
      "Sets the attribute on the element that 'get' would find (TAG is a tag name or\n"
      "a path, as for 'get': a path sets it on every element it selects): the first\n"
      "attribute of that name, or a new one at the end of the tag. The document is saved in\n"
      "place (through a temporary file that replaces FILE only once complete, so a\n"
      "failed write leaves FILE as it was), or to OUT; with FILE '-' the result goes\n"
      "to standard output. Only the changed values are written anew: the rest of the\n"
      "file stays as it stood (--reformat, or any layout option: the whole document\n"
      "in the library's layout, as 'format' writes it). A document that does not\n"
      "load cleanly is refused with its 'check' line. Where linexml reads a start tag\n"
      "it changes differently from an XML reader, the warnings go to standard error,\n"
      "as 'check' prints them (with --reformat or a layout option, all of them).\n"
      "\n"
      "Refused, as usage errors (exit status 2), because a load would not read them\n"
      "back the same:\n"
      "  a space in ATTRIBUTE or VALUE         a space ends an attribute\n"
      "  '>' in ATTRIBUTE or VALUE             it ends the tag\n"
      "  a line break in ATTRIBUTE or VALUE    lines are trimmed and joined\n"
      "  '<!--' in ATTRIBUTE or VALUE          it is cut out as a comment\n"
      "  '=', '/' or '\"' in ATTRIBUTE          names cannot hold them\n"
      "  '!--' at the start of ATTRIBUTE       after a '<' it would start a comment\n"
      "  an empty ATTRIBUTE                    an attribute needs a name\n"
      "A document that would not load back the same for another reason (an element\n"
      "named '!--', ...) is not written: the node, its line as written and what is\n"
      "wrong are named; --force writes it anyway.\n"
      "A VALUE that begins with '-' needs '--' before the arguments:\n"
      "  linexml set prices.xml price amount -- -5\n"
      "\n"
      "Example:\n"
      "  $ linexml set catalog.xml catalog updated 2024-06-01");
  Cmd->add_option("FILE", O->File, "Document to change (replaced only once the new copy is complete)")
      ->required()
      ->type_name("");
  Cmd->add_option("TAG", O->Tag, "Element to change: a tag name or a path, as for 'get'")
      ->required()
      ->type_name("");
  Cmd->add_option("ATTRIBUTE", O->Attribute, "Attribute to set (added at the end when missing)")
      ->required()
      ->type_name("");
  Cmd->add_option("VALUE", O->Value, "New value")->required()->type_name("");
  Cmd->add_option("-o,--output", O->Output, "Write to OUT instead of changing FILE; '-': standard output")
      ->type_name("OUT");
  Cmd->add_flag("--force", O->Force, "Write the document even when it would not load back the same");
  AddWriteOptions(*Cmd, O->Write, true);
  AddReadOptions(*Cmd, O->Read);
  return {Cmd, [O] { return RunSet(*O); }};
}

}  // namespace linexml::cli
