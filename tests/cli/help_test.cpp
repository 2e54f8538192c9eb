// What the tool says about itself: every command's help carries an example that works as shown, and
// the shell completions and the man page know every command and option that the help lists.
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"

namespace {

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> Out;
  std::istringstream In(Text);
  for (std::string L; std::getline(In, L);) Out.push_back(L);
  return Out;
}

std::vector<std::string> Words(const std::string& Text) {
  std::vector<std::string> Out;
  std::istringstream In(Text);
  for (std::string W; In >> W;) Out.push_back(W);
  return Out;
}

bool StartsWith(const std::string& S, const std::string& Prefix) {
  return S.compare(0, Prefix.size(), Prefix) == 0;
}

class CliHelp : public CliTest {
 protected:
  // The help text of linexml (Command empty) or of one command.
  std::string Help(const std::string& Command) const {
    const RunResult R = Command.empty() ? Run({"--help"}) : Run({Command, "--help"});
    EXPECT_EQ(R.Exit, 0) << Command;
    return R.Out;
  }

  // The first word of each line of the help section that starts with Heading (e.g. "Options:").
  static std::vector<std::string> Section(const std::string& HelpText, const std::string& Heading) {
    std::vector<std::string> Out;
    bool In = false;
    for (const std::string& L : Lines(HelpText)) {
      if (L == Heading) {
        In = true;
      } else if (In && L.empty()) {
        break;
      } else if (In && StartsWith(L, "  ") && L[2] != ' ') {
        Out.push_back(Words(L)[0]);
      }
    }
    return Out;
  }

  std::vector<std::string> Commands() const { return Section(Help(""), "Subcommands:"); }

  // Every option name of a command ("-j", "--jobs", ...), as its help lists them.
  std::vector<std::string> Options(const std::string& Command) const {
    std::vector<std::string> Out;
    for (const std::string& Listed : Section(Help(Command), "Options:")) {
      std::istringstream In(Listed);
      for (std::string Name; std::getline(In, Name, ',');) Out.push_back(Name);
    }
    return Out;
  }

  // What the bash completion offers for the command line "linexml Words...", the last word being
  // the one completed; run in the test's folder.
  std::set<std::string> Complete(const std::vector<std::string>& Typed) const {
    std::vector<std::string> Argv{"/bin/bash",
                                  "-c",
                                  "cd \"$1\" && source \"$2\" && shift 2 && COMP_WORDS=(linexml \"$@\") && "
                                  "COMP_CWORD=$# && _linexml && printf '%s\\n' \"${COMPREPLY[@]}\"",
                                  "bash",
                                  dir_,
                                  LINEXML_SOURCE_DIR "/completions/linexml.bash"};
    Argv.insert(Argv.end(), Typed.begin(), Typed.end());
    const RunResult R = RunProgram(Argv);
    EXPECT_EQ(R.Exit, 0) << R.Err;
    std::set<std::string> Out;
    for (const std::string& L : Lines(R.Out))
      if (!L.empty()) Out.insert(L);
    return Out;
  }
};

TEST_F(CliHelp, ListsTheSixCommands) {
  EXPECT_EQ(Commands(), (std::vector<std::string>{"check", "edit", "format", "get", "set", "tree"}));
}

// The example is the "  $ linexml ..." line after "Example", followed by the output it prints
// (up to an empty line, or to a "  ..." line after which the rest is left out). It is run on a copy
// of examples/catalog.xml named catalog.xml in the current folder.
TEST_F(CliHelp, EachCommandsExampleRunsAsShown) {
  for (const std::string& Command : Commands()) {
    SCOPED_TRACE(Command);
    std::filesystem::copy_file(LINEXML_EXAMPLES_DIR "/catalog.xml", Path("catalog.xml"),
                               std::filesystem::copy_options::overwrite_existing);
    const std::vector<std::string> Text = Lines(Help(Command));
    std::size_t I = 0;
    while (I < Text.size() && !StartsWith(Text[I], "Example")) ++I;
    ASSERT_LT(I + 1, Text.size()) << "no example";
    const std::string Prompt = "  $ linexml " + Command + " ";
    ASSERT_TRUE(StartsWith(Text[I + 1], Prompt)) << Text[I + 1];
    std::vector<std::string> Shown;
    bool Whole = true;
    for (std::size_t J = I + 2; J < Text.size() && !Text[J].empty(); ++J) {
      if (Text[J] == "  ...") {
        Whole = false;
        break;
      }
      ASSERT_TRUE(StartsWith(Text[J], "  ")) << Text[J];
      Shown.push_back(Text[J].substr(2));
    }

    std::vector<std::string> Argv{"/bin/sh", "-c", "cd \"$1\" && shift && exec \"$@\"",
                                  "sh",      dir_, LINEXML_CLI};
    for (const std::string& W : Words(Text[I + 1].substr(Prompt.size() - Command.size() - 1)))
      Argv.push_back(W);
    const RunResult R = RunProgram(Argv);
    EXPECT_EQ(R.Exit, 0) << R.Err;
    EXPECT_EQ(R.Err, "");
    std::vector<std::string> Printed = Lines(R.Out);
    if (!Whole && Printed.size() > Shown.size()) Printed.resize(Shown.size());
    EXPECT_EQ(Printed, Shown);
  }
}

TEST_F(CliHelp, BashCompletionOffersEveryCommandOptionAndFile) {
  Write("catalog.xml", kSmallDoc);
  const std::vector<std::string> Commands = this->Commands();
  const std::set<std::string> Offered = Complete({""});
  EXPECT_EQ(Offered, std::set<std::string>(Commands.begin(), Commands.end()));
  for (const std::string& Option : Options("")) EXPECT_TRUE(Complete({"-"}).count(Option)) << Option;
  for (const std::string& Command : Commands) {
    const std::set<std::string> Options = Complete({Command, "-"});
    for (const std::string& Option : this->Options(Command))
      EXPECT_TRUE(Options.count(Option)) << Command << " " << Option;
    EXPECT_EQ(Complete({Command, "cat"}), std::set<std::string>{"catalog.xml"}) << Command;
  }
  EXPECT_EQ(Complete({"format", "in.xml", "--output", "cat"}), std::set<std::string>{"catalog.xml"});
  EXPECT_EQ(Complete({"check", "--jobs", ""}), std::set<std::string>{});
  // The options that take a value: a file, one of a few words, or anything (nothing offered).
  EXPECT_EQ(Complete({"--config", "cat"}), std::set<std::string>{"catalog.xml"});
  EXPECT_EQ(Complete({"check", "--format", ""}), (std::set<std::string>{"text", "json"}));
  EXPECT_EQ(Complete({"format", "in.xml", "--profile", ""}), (std::set<std::string>{"linexml", "xml"}));
  EXPECT_EQ(Complete({"set", "--profile", "x"}), std::set<std::string>{"xml"});
  EXPECT_EQ(Complete({"format", "--indent", ""}), std::set<std::string>{});
  // After an option without a value, files again.
  EXPECT_EQ(Complete({"tree", "--accept-bom", "cat"}), std::set<std::string>{"catalog.xml"});
}

// The zsh completion's branch for a command, with the shared option arrays it names ("$read_options")
// written out.
std::string ZshBranchWithArrays(const std::string& Zsh, std::string Branch) {
  for (const char* Array : {"read_options", "layout_options"}) {
    if (Branch.find(std::string("$") + Array) == std::string::npos) continue;
    const std::size_t At = Zsh.find(std::string("\n") + Array + "=(");
    if (At == std::string::npos) continue;
    Branch += Zsh.substr(At, Zsh.find("\n)", At) - At);
  }
  return Branch;
}

// The man page has a "### COMMAND" section for each command holding each of its options as
// "**--name**"; the zsh completion has a branch for each command holding each of its options
// (itself or through a shared array).
TEST_F(CliHelp, ManPageAndZshCompletionDescribeEveryCommandAndOption) {
  const std::string Man = Read(LINEXML_SOURCE_DIR "/docs/linexml.1.md");
  const std::string Zsh = Read(LINEXML_SOURCE_DIR "/completions/_linexml");
  ASSERT_FALSE(Man.empty());
  ASSERT_FALSE(Zsh.empty());
  const std::string ManShared = Man.substr(Man.find("\n# OPTIONS"));
  for (const std::string& Option : Options("")) {
    EXPECT_NE(ManShared.find("**" + Option + "**"), std::string::npos) << Option;
    EXPECT_NE(Zsh.find(Option), std::string::npos) << Option;
  }
  for (const std::string& Command : Commands()) {
    const std::size_t At = Man.find("\n### " + Command + " ");
    ASSERT_NE(At, std::string::npos) << "no man page section for " << Command;
    const std::string ManSection = Man.substr(At, Man.find("\n#", At + 1) - At);
    const std::size_t ZshAt = Zsh.find("\n      " + Command + ")");
    ASSERT_NE(ZshAt, std::string::npos) << "no zsh branch for " << Command;
    const std::string ZshBranch = ZshBranchWithArrays(Zsh, Zsh.substr(ZshAt, Zsh.find(";;", ZshAt) - ZshAt));
    for (const std::string& Option : Options(Command)) {
      if (Option != "-h" && Option != "--help") {
        EXPECT_NE(ManSection.find("**" + Option + "**"), std::string::npos) << Command << " " << Option;
      }
      EXPECT_NE(ZshBranch.find(Option), std::string::npos) << Command << " " << Option;
    }
  }
}

}  // namespace
