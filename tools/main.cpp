// linexml: the command-line tool. This file only wires the arguments to the commands and turns
// their outcome into the exit status: 0 done, 1 a document or a write failed, 2 a usage error.
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "commands.h"
#include "rtl/in_out_error.h"
#include "version.h"

namespace {

using namespace linexml::cli;

// The one-line hint for a usage error, pointing at the help of the command that was being parsed.
int UsageHint(const CLI::App& App, const std::string& Message) {
  std::string Command = "linexml";
  for (const CLI::App* Sub : App.get_subcommands()) Command += " " + Sub->get_name();
  std::string OneLine = Message;
  for (char& C : OneLine) {
    if (C == '\n') C = ' ';
  }
  std::cerr << Command << ": " << OneLine << " (see '" << Command << " --help')\n";
  return kExitUsage;
}

void AddFile(CLI::App& Cmd, std::string& File, const char* What) {
  Cmd.add_option("FILE", File, What)->required()->type_name("");
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);

  CLI::App App{"Checks, reads, edits and reformats line-oriented XML files.", "linexml"};
  App.set_version_flag("--version", LINEXML_VERSION_STRING, "Print the version and exit");
  App.require_subcommand(1);
  App.footer(
      "FILE \"-\" reads standard input. Exit status: 0 done, 1 a document failed to load or a\n"
      "lookup or write failed, 2 usage error.");

  CheckOptions Check;
  CLI::App* CheckCmd =
      App.add_subcommand("check", "Load each FILE and print 'FILE: ok' or where and why it fails");
  CheckCmd->add_option("FILE", Check.Files, "Documents to check")->required()->type_name("");
  CheckCmd->add_option("-j,--jobs", Check.Jobs, "Check N files at a time (default: one per core)")
      ->type_name("N")
      ->check(CLI::Range(1U, 1024U));

  FormatOptions Format;
  CLI::App* FormatCmd = App.add_subcommand("format", "Write FILE in the library's indented layout");
  AddFile(*FormatCmd, Format.File, "Document to format");
  CLI::Option* Out = FormatCmd->add_option(
      "-o,--output", Format.Output, "Write to OUT (replaced only once complete); '-': standard output");
  Out->type_name("OUT");
  FormatCmd->add_flag("-i,--in-place", Format.InPlace, "Replace FILE (only once the new copy is complete)")
      ->excludes(Out);
  FormatCmd->add_flag("--force", Format.Force, "Format a document even when it does not load cleanly");

  GetOptions Get;
  CLI::App* GetCmd = App.add_subcommand("get", "Print an attribute's value, or an element with its subtree");
  AddFile(*GetCmd, Get.File, "Document to read");
  GetCmd->add_option("TAG", Get.Tag, "Element to find (the root, or a descendant found by name)")
      ->required()
      ->type_name("");
  GetCmd->add_option("ATTRIBUTE", Get.Attribute, "Attribute whose value to print")->type_name("");

  SetOptions Set;
  CLI::App* SetCmd = App.add_subcommand("set", "Set an attribute of an element and save the document");
  AddFile(*SetCmd, Set.File, "Document to change (replaced only once the new copy is complete)");
  SetCmd->add_option("TAG", Set.Tag, "Element to change")->required()->type_name("");
  SetCmd->add_option("ATTRIBUTE", Set.Attribute, "Attribute to set (added at the end when missing)")
      ->required()
      ->type_name("");
  SetCmd->add_option("VALUE", Set.Value, "New value")->required()->type_name("");
  SetCmd
      ->add_option("-o,--output", Set.Output, "Write to OUT instead of changing FILE; '-': standard output")
      ->type_name("OUT");

  TreeOptions Tree;
  CLI::App* TreeCmd = App.add_subcommand("tree", "Print an outline of the document tree, one node a line");
  AddFile(*TreeCmd, Tree.File, "Document to show");
  TreeCmd->add_flag("--force", Tree.Force, "Show the tree even when the document does not load cleanly");

  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& E) {
    // --help and --version arrive as "errors" with a success status; App.exit prints them.
    if (E.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return App.exit(E);
    if (App.get_subcommands().empty() && argc > 1 && argv[1][0] != '-')
      return UsageHint(App, "unknown command '" + std::string(argv[1]) + "'");
    return UsageHint(App, E.what());
  }

  try {
    if (CheckCmd->parsed()) return RunCheck(Check);
    if (FormatCmd->parsed()) return RunFormat(Format);
    if (GetCmd->parsed()) return RunGet(Get);
    if (SetCmd->parsed()) return RunSet(Set);
    if (TreeCmd->parsed()) return RunTree(Tree);
  } catch (const UsageError& E) {
    return UsageHint(App, E.what());
  } catch (const linexml::EInOutError& E) {
    std::cerr << "linexml: " << E.what() << '\n';
  } catch (const std::bad_alloc&) {
    std::cerr << "linexml: out of memory\n";
  } catch (const std::exception& E) {
    std::cerr << "linexml: " << E.what() << '\n';
  }
  return kExitFailed;
}
