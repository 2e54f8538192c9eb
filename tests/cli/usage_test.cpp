// What every command of the tool shares: help, version, usage errors.
#include <linexml/version.h>

#include <string>
#include <vector>

#include "cli_run.h"

namespace {

class CliUsage : public CliTest {};

TEST_F(CliUsage, HelpAndVersionGoToStandardOutput) {
  RunResult R = Run({"--version"});
  EXPECT_EQ(R.Exit, 0);
  EXPECT_EQ(R.Out, LINEXML_VERSION_STRING "\n");
  R = Run({"--help"});
  EXPECT_EQ(R.Exit, 0);
  EXPECT_NE(R.Out.find("Usage: linexml"), std::string::npos) << R.Out;
  for (const char* Command : {"check", "edit", "format", "get", "set", "tree"}) {
    R = Run({Command, "--help"});
    EXPECT_EQ(R.Exit, 0) << Command;
    EXPECT_NE(R.Out.find(std::string("Usage: linexml ") + Command), std::string::npos) << R.Out;
    EXPECT_EQ(R.Err, "");
  }
}

TEST_F(CliUsage, UsageErrorsExitTwoWithAOneLineHint) {
  const std::string In = Write("in.xml", kSmallDoc);
  const std::vector<std::vector<std::string>> Cases = {
      {},
      {"frobnicate", In},
      {"check"},
      {"check", "-j", "0", In},
      {"check", "--fast", In},
      {"format", In, "-i", "-o", Path("out.xml")},
      {"format", "-i", "-"},
      {"get", In},
      {"get", In, "book", "isbn", "extra"},
      {"set", In, "book", "isbn"},
      {"tree"},
      {"edit", In},                          // no operation
      {"edit", In, "--set", "/shelf", "a"},  // too few values
      {"edit", In, "--delete", "/shelf["},   // a path not in the syntax
      {"edit", In, "--move", "/shelf/book", "//"},
      {"get", In, "/shelf[0]"},
      {"get", In, "book", "isbn", "--text"},
  };
  for (const auto& Args : Cases) {
    std::string Shown;
    for (const std::string& A : Args) Shown += " " + A;
    const RunResult R = Run(Args);
    EXPECT_EQ(R.Exit, 2) << Shown;
    EXPECT_EQ(R.Out, "") << Shown;
    ASSERT_FALSE(R.Err.empty()) << Shown;
    EXPECT_EQ(R.Err.find('\n'), R.Err.size() - 1) << Shown << ": " << R.Err;
    EXPECT_NE(R.Err.find("--help"), std::string::npos) << Shown << ": " << R.Err;
  }
  EXPECT_EQ(Read(In), kSmallDoc);
}

}  // namespace
