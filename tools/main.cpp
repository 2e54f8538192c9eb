// linexml: the command-line tool. This file only wires the arguments to the commands and turns
// their outcome into the exit status: 0 done, 1 a document or a write failed, 2 a usage error.
#include <linexml/in_out_error.h>
#include <linexml/version.h>

#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "commands.h"
#include "config.h"
#include "document.h"

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

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);

  CLI::App App{"Checks, reads, edits and reformats line-oriented XML files.", "linexml"};
  App.set_version_flag("--version", LINEXML_VERSION_STRING, "Print the version and exit");
  App.require_subcommand(1);
  // Defaults for any command's options, in a section per command ("[format]" then "indent = 4");
  // the command line wins over the file.
  App.set_config("--config", DefaultConfigFile(),
                 "Read option defaults from FILE (default: $XDG_CONFIG_HOME/linexml/config, if it exists); "
                 "--config '' reads none")
      ->type_name("FILE");

  const Command Commands[] = {AddCheckCommand(App), AddEditCommand(App), AddFormatCommand(App),
                              AddGetCommand(App),   AddSetCommand(App),  AddTreeCommand(App)};

  // Every help ends with what all commands share; a command's own text (with its example) comes first.
  const std::string Shared =
      "FILE \"-\" reads standard input. Exit status: 0 done, 1 a document failed to load or a\n"
      "lookup or write failed, 2 usage error.";
  App.footer(Shared +
             " 'linexml COMMAND --help' says what a command does,\n"
             "with an example; 'man linexml' is the manual.\n\n"
             "Defaults for the options of any command can be kept in\n"
             "$XDG_CONFIG_HOME/linexml/config (~/.config/linexml/config), one section\n"
             "per command, e.g. '[format]' then 'profile = xml' and 'indent = 4'; options\n"
             "given on the command line win.");
  for (const Command& C : Commands) C.app->footer(C.app->get_footer() + "\n\n" + Shared);

  // A fault of the configuration file is named with its line, whether the parse noticed it (a
  // value the option refuses) or not (a key of no option, which CLI11 passes over).
  const auto ConfigFailed = [&] {
    const std::string Fault = ConfigFault(App);
    if (Fault.empty()) return false;
    std::cerr << "linexml: " << Fault << '\n';
    return true;
  };
  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& E) {
    // --help and --version arrive as "errors" with a success status; App.exit prints them.
    if (E.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return App.exit(E);
    if (ConfigFailed()) return kExitUsage;
    if (App.get_subcommands().empty() && argc > 1 && argv[1][0] != '-')
      return UsageHint(App, "unknown command '" + std::string(argv[1]) + "'");
    return UsageHint(App, E.what());
  }
  if (ConfigFailed()) return kExitUsage;

  try {
    for (const Command& C : Commands)
      if (C.app->parsed()) return C.run();
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
