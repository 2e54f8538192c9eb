// linexml tree, and what every command shares: help, version, usage errors.
#include <string>
#include <vector>

#include "cli_run.h"
#include "version.h"

namespace {

class CliTree : public CliTest {};
class CliUsage : public CliTest {};

TEST_F(CliTree, PrintsOneNodeALineWithTextQuoted) {
  const RunResult R = Run({"tree", "-"}, kSmallDoc);
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out,
            "ttNormal shelf code=\"a1\" count=\"2\"\n"
            "  ttShorted book isbn=\"1-2\" state=\"undefined\"\n"
            "  ttCDATA \" Two books,\\tone note\"\n"
            "  ttNormal note\n"
            "    ttCDATA \"keep dry\"\n");
}

TEST_F(CliTree, RefusesABrokenDocumentUnlessForced) {
  const char* Broken = "<?xml version=\"1.0\"?>\n<a>\n  <b q=\"1\"/>\n  <>\n</a>\n";
  RunResult R = Run({"tree", "-"}, Broken);
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(R.Err, "<stdin>:4: ecInvalidTag: an element tag has an empty name or is cut off\n");
  R = Run({"tree", "--force", "-"}, Broken);
  EXPECT_EQ(R.Exit, 0);
  EXPECT_EQ(R.Out.rfind("ttNormal a\n  ttShorted b q=\"1\"\n", 0), 0U) << R.Out;
}

TEST_F(CliUsage, HelpAndVersionGoToStandardOutput) {
  RunResult R = Run({"--version"});
  EXPECT_EQ(R.Exit, 0);
  EXPECT_EQ(R.Out, LINEXML_VERSION_STRING "\n");
  R = Run({"--help"});
  EXPECT_EQ(R.Exit, 0);
  EXPECT_NE(R.Out.find("Usage: linexml"), std::string::npos) << R.Out;
  for (const char* Command : {"check", "format", "get", "set", "tree"}) {
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
