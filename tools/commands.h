#pragma once

#include <functional>
#include <stdexcept>

namespace CLI {
class App;
}

// The commands of the linexml tool. Each file adds one subcommand to the tool's App; once the
// arguments are parsed, main runs the command whose subcommand was given. A command returns the
// process's exit status (kExitOk or kExitFailed); a bad combination of arguments throws
// UsageError, which main turns into kExitUsage.
namespace linexml::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a document did not load, or a lookup or a write failed
inline constexpr int kExitUsage = 2;

// Arguments that parse but make no sense together; the message is one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Command {
  CLI::App* app;             // the subcommand, owned by the tool's App
  std::function<int()> run;  // runs it with the options parsed into it
};

Command AddCheckCommand(CLI::App& App);
Command AddEditCommand(CLI::App& App);
Command AddFormatCommand(CLI::App& App);
Command AddGetCommand(CLI::App& App);
Command AddSetCommand(CLI::App& App);
Command AddTreeCommand(CLI::App& App);

}  // namespace linexml::cli
