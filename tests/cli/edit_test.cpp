// linexml edit: each operation on every match, in order, written once: all or nothing.
#include <string>
#include <vector>

#include "cli_run.h"

namespace {

class CliEdit : public CliTest {};

const char* const kList =
    "<?xml version=\"1.0\"?>\n"
    "<list>\n"
    "  <item n=\"1\">one</item>\n"
    "  <item n=\"2\"><sub/></item>\n"
    "  <other/>\n"
    "</list>\n";

// The layout of a document, without the three prolog lines every save starts with.
std::string Body(const std::string& Saved) {
  std::size_t At = 0;
  for (int Line = 0; Line < 3 && At != std::string::npos; ++Line) At = Saved.find('\n', At) + 1;
  return Saved.substr(At);
}

std::vector<std::string> Args(const std::string& In, std::vector<std::string> Ops) {
  Ops.insert(Ops.begin(), {"edit", In, "-o", "-", "--reformat"});
  return Ops;
}

TEST_F(CliEdit, EachOperationChangesEveryMatch) {
  struct Case {
    std::vector<std::string> ops;
    const char* body;
  };
  const Case Cases[] = {
      {{"--set", "//item", "k", "v"},
       "<list>\n  <item n=\"1\" k=\"v\">\n    one\n  </item>\n  <item n=\"2\" k=\"v\">\n    <sub />\n  "
       "</item>\n"
       "  <other />\n</list>\n"},
      {{"--set", "//item[2]", "n", "-5"},  // a value that looks like an option is still a value
       "<list>\n  <item n=\"1\">\n    one\n  </item>\n  <item n=\"-5\">\n    <sub />\n  </item>\n  <other "
       "/>\n</list>\n"},
      {{"--delete", "/list/item[2]"}, "<list>\n  <item n=\"1\">\n    one\n  </item>\n  <other />\n</list>\n"},
      {{"--delete", "/list//*"}, "<list>\n</list>\n"},  // sub lies inside item 2: both go
      {{"--delete-attr", "//item", "n"},
       "<list>\n  <item>\n    one\n  </item>\n  <item>\n    <sub />\n  </item>\n  <other />\n</list>\n"},
      {{"--delete-attr", "//item", "absent"},
       "<list>\n  <item n=\"1\">\n    one\n  </item>\n  <item n=\"2\">\n    <sub />\n  </item>\n  <other />\n"
       "</list>\n"},
      {{"--add", "/list/other", "x"},
       "<list>\n  <item n=\"1\">\n    one\n  </item>\n  <item n=\"2\">\n    <sub />\n  </item>\n  <other>\n"
       "    <x />\n  </other>\n</list>\n"},
      {{"--text", "//item", "new words"},
       "<list>\n  <item n=\"1\">\n    new words\n  </item>\n  <item n=\"2\">\n    <sub />\n    new words\n"
       "  </item>\n  <other />\n</list>\n"},
      {{"--text", "/list/item[1]", ""},
       "<list>\n  <item n=\"1\">\n  </item>\n  <item n=\"2\">\n    <sub />\n  </item>\n  <other "
       "/>\n</list>\n"},
      {{"--rename", "//item", "entry"},
       "<list>\n  <entry n=\"1\">\n    one\n  </entry>\n  <entry n=\"2\">\n    <sub />\n  </entry>\n"
       "  <other />\n</list>\n"},
      {{"--move", "//sub", "/list"},
       "<list>\n  <item n=\"1\">\n    one\n  </item>\n  <item n=\"2\">\n  </item>\n  <other />\n  <sub "
       "/>\n</list>\n"},
      {{"--move", "/list/item", "/list/other"},
       "<list>\n  <other>\n    <item n=\"1\">\n      one\n    </item>\n    <item n=\"2\">\n      <sub />\n"
       "    </item>\n  </other>\n</list>\n"},
      // In the order given: the second operation sees what the first added.
      {{"--add", "/list", "new", "--set", "/list/new", "id", "7", "--move", "/list/other", "/list/new"},
       "<list>\n  <item n=\"1\">\n    one\n  </item>\n  <item n=\"2\">\n    <sub />\n  </item>\n"
       "  <new id=\"7\">\n    <other />\n  </new>\n</list>\n"},
  };
  const std::string In = Write("in.xml", kList);
  for (const Case& C : Cases) {
    std::string Shown;
    for (const std::string& A : C.ops) Shown += " " + A;
    const RunResult R = Run(Args(In, C.ops));
    EXPECT_EQ(R.Exit, 0) << Shown << ": " << R.Err;
    EXPECT_EQ(Body(R.Out), C.body) << Shown;
    EXPECT_EQ(R.Err, "") << Shown;
  }
  EXPECT_EQ(Read(In), kList);
}

TEST_F(CliEdit, WritesInPlaceToOutputOrFromStandardInput) {
  const std::string In = Write("in.xml", kList);
  RunResult R = Run({"edit", In, "--set", "/list", "v", "2"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(Run({"get", In, "list", "v"}).Out, "2\n");
  R = Run({"edit", In, "-o", Path("out.xml"), "--rename", "/list", "other-list"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(Run({"get", Path("out.xml"), "/other-list", "v"}).Out, "2\n");
  EXPECT_EQ(Run({"get", In, "/list", "v"}).Out, "2\n");
  R = Run({"edit", "-", "--delete", "//item"}, kList);
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, "<?xml version=\"1.0\"?>\n<list>\n  <other/>\n</list>\n");
}

// Any operation that cannot be done stops the command before anything is written.
TEST_F(CliEdit, AllOrNothing) {
  struct Case {
    std::vector<std::string> ops;
    const char* message;
  };
  const Case Cases[] = {
      {{"--set", "//item", "k", "v", "--delete", "//missing"},
       "--delete \"//missing\": the path matches nothing; nothing was written"},
      {{"--add", "//item", "a b"},
       "--add \"//item\" \"a b\": byte 2 of the name is ' ', which ends a name; nothing was written"},
      {{"--rename", "/list", "!--x"},
       "--rename \"/list\" \"!--x\": bytes 1 to 3 of the name are \"!--\", which after the \"<\" of a tag "
       "starts a "
       "comment; nothing was written"},
      {{"--set", "//item", "k", "a>b"},
       "--set \"//item\" \"k\" \"a>b\": byte 2 of the value is '>', which ends the tag"},
      {{"--text", "//item", "a<b"},
       "--text \"//item\" \"a<b\": byte 2 of the text is '<', which starts a tag"},
      {{"--text", "//item", "two  spaces"}, "bytes 4 to 5 of the text are two spaces in a row"},
      {{"--move", "//sub", "//*"}, "--move \"//sub\" \"//*\": TO_PATH matches 5 elements, not one"},
      {{"--move", "//sub", "//none"}, "--move \"//sub\" \"//none\": TO_PATH matches nothing"},
      {{"--move", "/list", "//sub"}, "the root element cannot be moved"},
      // The first item moves into sub; the second holds sub: nothing at all is written.
      {{"--move", "//item", "//sub"},
       "--move \"//item\" \"//sub\": the new parent lies in the moved subtree"},
      {{"--delete", "/list"}, "--delete \"/list\": the root element cannot be deleted"},
  };
  const std::string In = Write("in.xml", kList);
  for (const Case& C : Cases) {
    std::vector<std::string> A{"edit", In};
    A.insert(A.end(), C.ops.begin(), C.ops.end());
    const RunResult R = Run(A);
    EXPECT_EQ(R.Exit, 1) << C.message;
    EXPECT_EQ(R.Out, "");
    EXPECT_EQ(R.Err.rfind("linexml: " + In + ": ", 0), 0u) << R.Err;
    EXPECT_NE(R.Err.find(C.message), std::string::npos) << R.Err;
    EXPECT_EQ(Read(In), kList);
  }
  EXPECT_FALSE(linexml::test::TemporaryFileLeftIn(dir_));
}

TEST_F(CliEdit, ADocumentThatWouldNotLoadBackTheSameIsWrittenOnlyWhenForced) {
  const std::string In = Write("in.xml", kList);
  // An element inside one of its own name, with content: its closing tag would end the outer one.
  const std::vector<std::string> Kept{"edit",  In,      "--add",         "/list/other",
                                      "other", "--add", "//other/other", "x"};
  RunResult R = Run(Kept);
  EXPECT_EQ(R.Exit, 1);
  EXPECT_NE(R.Err.find(" would not load back the same: the saved text would not load"), std::string::npos)
      << R.Err;
  std::vector<std::string> Ops = Kept;
  Ops.push_back("--reformat");
  R = Run(Ops);
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err,
            "linexml: " + In +
                ": not written: the element /list/other/other (line 12 as written) would not load back the "
                "same: a normal element inside an element of the same name, whose closing tag would end the "
                "outer one (--force writes it anyway)\n");
  EXPECT_EQ(Read(In), kList);
  std::vector<std::string> Forced = Ops;
  Forced.push_back("--force");
  R = Run(Forced);
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_NE(Read(In).find("    <other>\n      <x />\n    </other>\n"), std::string::npos) << Read(In);
}

TEST_F(CliEdit, ABrokenDocumentIsRefusedWithItsCheckLine) {
  const std::string Broken = "<?xml version=\"1.0\"?>\n<a>\n<>\n</a>\n";
  const std::string In = Write("in.xml", Broken);
  const RunResult R = Run({"edit", In, "--add", "/a", "b"});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err, In + ":3:1: ecInvalidTag: an empty tag \"<>\": a tag needs a name\n");
  EXPECT_EQ(Read(In), Broken);
}

// The in-place write is the safe one of format -i: a write that runs out of room half-way (a file
// size limit, which also binds root) leaves the file as it was and no temporary file.
TEST_F(CliEdit, AFailedWriteLeavesTheFileAsItWas) {
  std::string Big = "<?xml version=\"1.0\"?>\n<list>\n";
  for (int I = 0; I < 400; ++I) Big += "  <item n=\"" + std::to_string(I) + "\" state=\"in-stock\"/>\n";
  Big += "</list>\n";
  const std::string In = Write("in.xml", Big);
  const RunResult R = RunProgram({"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"",
                                  LINEXML_CLI, "edit", In, "--set", "//item", "checked", "yes"});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err, "linexml: " + In + ": File too large\n");
  EXPECT_EQ(Read(In), Big);
  EXPECT_FALSE(linexml::test::TemporaryFileLeftIn(dir_));
}

}  // namespace

namespace {

// The lines of Text.
std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> Out;
  for (std::size_t At = 0; At < Text.size();) {
    const std::size_t End = std::min(Text.find('\n', At), Text.size());
    Out.push_back(Text.substr(At, End - At));
    At = End + 1;
  }
  return Out;
}

}  // namespace

// The tree command's outline of a document without the space a load puts in front of a text run
// that stands on a line of its own.
static std::string Outline(std::string Tree) {
  for (std::size_t At = 0; (At = Tree.find("ttCDATA \" ", At)) != std::string::npos;) Tree.erase(At + 9, 1);
  return Tree;
}

// Without --reformat the file keeps its bytes: every operation gives the tree the library's layout
// gives (but for that leading space), and on a real-shaped configuration file one change is one
// line of the diff.
TEST_F(CliEdit, KeepsTheFileAndChangesOnlyWhatItMust) {
  const std::vector<std::vector<std::string>> Ops = {
      {"--set", "//item", "k", "v"},   {"--delete", "/list/item[2]"},
      {"--delete", "/list//*"},        {"--delete-attr", "//item", "n"},
      {"--add", "/list/other", "x"},   {"--text", "//item", "new words"},
      {"--text", "/list/item[1]", ""}, {"--rename", "//item", "entry"},
      {"--move", "//sub", "/list"},    {"--move", "/list/item", "/list/other"}};
  const std::string In = Write("in.xml", kList);
  for (const std::vector<std::string>& Op : Ops) {
    std::string Shown;
    for (const std::string& A : Op) Shown += " " + A;
    const RunResult Reformatted = Run(Args(In, Op));  // Args asks for --reformat
    std::vector<std::string> KeptArgs = Args(In, Op);
    KeptArgs.erase(KeptArgs.begin() + 4);  // without it
    const RunResult R = Run(KeptArgs);
    ASSERT_EQ(R.Exit, 0) << Shown << ": " << R.Err;
    EXPECT_EQ(Outline(Run({"tree", "-"}, R.Out).Out), Outline(Run({"tree", "-"}, Reformatted.Out).Out))
        << Shown << ":\n"
        << R.Out;
  }

  const std::string Fonts = Read(LINEXML_EXAMPLES_DIR "/fonts.xml");
  const std::vector<std::string> Before = SplitLines(Fonts);
  const std::string File = Write("fonts.xml", Fonts);
  struct Case {
    std::vector<std::string> ops;
    std::vector<std::string> removed;  // the lines of the source that go, in order
    std::vector<std::string> added;    // the lines that come, in order
  };
  const Case Cases[] = {
      {{"--set", "//edit[@name='hinting']", "mode", "append"},
       {"\t\t<edit name=\"hinting\" mode=\"assign\"><bool>true</bool></edit>"},
       {"\t\t<edit name=\"hinting\" mode=\"append\"><bool>true</bool></edit>"}},
      {{"--delete", "//dir[last()]"}, {"\t<dir>~/.fonts</dir>"}, {}},
      {{"--add", "/fontconfig", "include"}, {}, {"\t<include />"}},
      {{"--text", "/fontconfig/description", "Fonts"},
       {"\t<description>Local font settings</description>"},
       {"\t<description>Fonts</description>"}},
  };
  for (const Case& C : Cases) {
    std::vector<std::string> A{"edit", File, "-o", "-"};
    A.insert(A.end(), C.ops.begin(), C.ops.end());
    const RunResult R = Run(A);
    ASSERT_EQ(R.Exit, 0) << C.ops[0] << ": " << R.Err;
    // The two texts differ in one run of lines: what is left of both after their common ends.
    const std::vector<std::string> After = SplitLines(R.Out);
    std::size_t Head = 0, Tail = 0;
    while (Head < Before.size() && Head < After.size() && Before[Head] == After[Head]) ++Head;
    while (Tail + Head < Before.size() && Tail + Head < After.size() &&
           Before[Before.size() - 1 - Tail] == After[After.size() - 1 - Tail])
      ++Tail;
    EXPECT_EQ(std::vector<std::string>(Before.begin() + static_cast<long>(Head),
                                       Before.end() - static_cast<long>(Tail)),
              C.removed)
        << C.ops[0] << ":\n"
        << R.Out;
    EXPECT_EQ(std::vector<std::string>(After.begin() + static_cast<long>(Head),
                                       After.end() - static_cast<long>(Tail)),
              C.added)
        << C.ops[0] << ":\n"
        << R.Out;
  }
  // A layout option asks for the library's layout.
  EXPECT_EQ(Run({"edit", File, "-o", "-", "--indent", "2", "--set", "/fontconfig", "a", "b"}).Out,
            Run({"edit", File, "-o", "-", "--reformat", "--set", "/fontconfig", "a", "b"}).Out);
  EXPECT_EQ(Read(File), Fonts);
}
