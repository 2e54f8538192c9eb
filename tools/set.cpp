// linexml set: sets an attribute of an element and saves the document.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "document.h"
#include "output.h"

namespace linexml::cli {
namespace {

struct SetOptions {
  std::string File;
  std::string Tag;
  std::string Attribute;
  std::string Value;
  std::optional<std::string> Output;
};

int RunSet(const SetOptions& O) {
  RequireStorable("ATTRIBUTE", O.Attribute, true);
  RequireStorable("VALUE", O.Value, false);
  // In place by default; standard input has no place, so its result goes to standard output.
  const std::optional<std::string> Target = O.Output          ? O.Output
                                            : IsStdin(O.File) ? std::nullopt
                                                              : std::optional<std::string>(O.File);
  TXMLParser P;
  if (!LoadForCommand(P, O.File, false, Target)) return kExitFailed;
  TXMLNode* Node = P.FindTagByName(O.Tag);
  if (Node == nullptr || Node->TagType() == ttCDATA)
    return Fail(ShownName(O.File) + ": no element named " + Quote(O.Tag));
  Node->SetAttributeValue(O.Attribute, O.Value);
  SaveResult(P, Target);
  return kExitOk;
}

}  // namespace

Command AddSetCommand(CLI::App& App) {
  auto O = std::make_shared<SetOptions>();
  CLI::App* Cmd = App.add_subcommand("set", "Set an attribute of an element and save the document");
  Cmd->add_option("FILE", O->File, "Document to change (replaced only once the new copy is complete)")
      ->required()
      ->type_name("");
  Cmd->add_option("TAG", O->Tag, "Element to change")->required()->type_name("");
  Cmd->add_option("ATTRIBUTE", O->Attribute, "Attribute to set (added at the end when missing)")
      ->required()
      ->type_name("");
  Cmd->add_option("VALUE", O->Value, "New value")->required()->type_name("");
  Cmd->add_option("-o,--output", O->Output, "Write to OUT instead of changing FILE; '-': standard output")
      ->type_name("OUT");
  return {Cmd, [O] { return RunSet(*O); }};
}

}  // namespace linexml::cli
