// linexml format: the layout to standard output, to a file or in place; broken documents refused.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"

namespace {

namespace fs = std::filesystem;

class CliFormat : public CliTest {};

const char* const kBroken = "<?xml version=\"1.0\"?>\n<a>\n  <b></b>\n</a>\n</a>\n";
const char* const kBrokenLine =
    ":5:1: ecNotValid: the closing tag \"</a>\" follows the end of the root element\n";

TEST_F(CliFormat, WritesTheLayoutToStandardOutput) {
  const std::string In = Write("in.xml", kSmallDoc);
  const RunResult R = Run({"format", In});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, kSmallDocLayout);
  EXPECT_EQ(R.Err, "");
  EXPECT_EQ(Read(In), kSmallDoc);

  const RunResult FromStdin = Run({"format", "-"}, kSmallDoc);
  EXPECT_EQ(FromStdin.Exit, 0);
  EXPECT_EQ(FromStdin.Out, kSmallDocLayout);
}

TEST_F(CliFormat, WritesToAFileOrInPlace) {
  const std::string In = Write("in.xml", kSmallDoc);
  const RunResult ToFile = Run({"format", In, "-o", Path("out.xml")});
  EXPECT_EQ(ToFile.Exit, 0) << ToFile.Err;
  EXPECT_EQ(ToFile.Out, "");
  EXPECT_EQ(Read(Path("out.xml")), kSmallDocLayout);
  EXPECT_EQ(Read(In), kSmallDoc);

  const RunResult InPlace = Run({"format", "-i", In});
  EXPECT_EQ(InPlace.Exit, 0) << InPlace.Err;
  EXPECT_EQ(InPlace.Out, "");
  EXPECT_EQ(Read(In), kSmallDocLayout);
}

TEST_F(CliFormat, RefusesABrokenDocumentUnlessForced) {
  const std::string In = Write("in.xml", kBroken);
  const RunResult Refused = Run({"format", "-i", In});
  EXPECT_EQ(Refused.Exit, 1);
  EXPECT_EQ(Refused.Out, "");
  EXPECT_EQ(Refused.Err, In + kBrokenLine);
  EXPECT_EQ(Read(In), kBroken);

  const RunResult Forced = Run({"format", "--force", In});
  EXPECT_EQ(Forced.Exit, 0) << Forced.Err;
  EXPECT_NE(Forced.Out.find("<a>\n  <b>\n  </b>\n</a>\n"), std::string::npos) << Forced.Out;
}

// The fault a fuzz target found: an element named "!--" (an unclosed comment start) loads, but its
// closing tag "</!-->" ends a comment on the next load. Such a document is not written, in place or
// not, unless forced; the message names the node, its path and its line as written.
TEST_F(CliFormat, RefusesADocumentThatWouldNotLoadBackTheSame) {
  const std::string Doc = "<?xml version=\"1.0\"?>\n<r>\n<!-- a=\"1\">x</r>\n";
  const std::string In = Write("in.xml", Doc);
  const std::string Message =
      "linexml: " + In +
      ": not written: the element /r/!-- (line 5 as written) would not load back the same: bytes 1 to 3 of "
      "the "
      "tag name are \"!--\", which after the \"<\" of a tag starts a comment (--force writes it anyway)\n";
  for (const std::vector<std::string>& Args : {std::vector<std::string>{"format", In},
                                               {"format", "-i", In},
                                               {"format", In, "-o", Path("out.xml")}}) {
    const RunResult R = Run(Args);
    EXPECT_EQ(R.Exit, 1);
    EXPECT_EQ(R.Out, "");
    EXPECT_EQ(R.Err, Message);
  }
  EXPECT_EQ(Read(In), Doc);
  EXPECT_FALSE(fs::exists(Path("out.xml")));
  // Forced, it is written, in place too: the document did load completely.
  const RunResult Forced = Run({"format", "-i", "--force", In});
  EXPECT_EQ(Forced.Exit, 0) << Forced.Err;
  EXPECT_NE(Read(In).find("  <!-- a=\"1\">\n"), std::string::npos) << Read(In);
}

// A forced format of a file that could not be read would write an empty default document over it.
TEST_F(CliFormat, ForceNeverWritesADocumentThatWasNotRead) {
  const RunResult R = Run({"format", "-i", "--force", Path("missing.xml")});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err, Path("missing.xml") + ": ecNoFile: the file cannot be read: No such file or directory\n");
  EXPECT_FALSE(fs::exists(Path("missing.xml")));
}

// With --force a document that stopped loading early is written as far as it was read: over the
// file itself that would lose the rest (a byte-order mark alone leaves only an empty document).
TEST_F(CliFormat, ForceNeverRewritesAPartlyReadFileInPlace) {
  const std::string WithMark = std::string("\xef\xbb\xbf") + kSmallDoc;
  struct {
    const char* name;
    std::string content, check_line;
  } const Cases[] = {
      {"mark.xml", WithMark,
       ":1:1: ecInvalidFileFormat: the document begins with a UTF-8 byte-order mark, which stands in front "
       "of "
       "the XML declaration (accepting a byte-order mark skips it)\n"},
      {"broken.xml", kBroken, kBrokenLine},
  };
  for (const auto& C : Cases) {
    const std::string In = Write(C.name, C.content);
    ASSERT_EQ(::symlink(C.name, Path(std::string("link-") + C.name).c_str()), 0);
    // In place, or to the same file under its own or another name.
    for (const std::vector<std::string>& Args :
         {std::vector<std::string>{"format", "-i", "--force", In},
          {"format", "--force", In, "-o", In},
          {"format", "--force", In, "-o", Path(std::string("link-") + C.name)}}) {
      const RunResult R = Run(Args);
      EXPECT_EQ(R.Exit, 1) << C.name;
      EXPECT_EQ(R.Err, In + C.check_line + "linexml: " + In +
                           ": not written back: the document did not load completely (--force writes it "
                           "only to another file)\n")
          << C.name;
      EXPECT_EQ(Read(In), C.content) << C.name;
    }
    const RunResult Elsewhere = Run({"format", "--force", In, "-o", Path("out.xml")});
    EXPECT_EQ(Elsewhere.Exit, 0) << Elsewhere.Err;
    EXPECT_EQ(Read(In), C.content) << C.name;
  }
  EXPECT_FALSE(linexml::test::TemporaryFileLeftIn(dir_));
}

// "-o /dev/stdout" names a link to a descriptor: the document goes through it as through "-o -".
TEST_F(CliFormat, WritesThroughALinkToStandardOutput) {
  const std::string In = Write("in.xml", kSmallDoc);
  const std::string Link = Path("stdout");
  ASSERT_EQ(::symlink("/proc/self/fd/1", Link.c_str()), 0);
  // Standard output is a pipe here, as in "linexml format in.xml -o /dev/stdout | less".
  const RunResult R =
      RunProgram({"/bin/sh", "-c", "\"$0\" format \"$1\" -o \"$2\" | cat", LINEXML_CLI, In, Link});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, kSmallDocLayout);
  EXPECT_TRUE(fs::is_symlink(Link));
}

// The replacement is written beside the file first; a failure must leave the file as it was and
// no temporary file behind.
TEST_F(CliFormat, FailedInPlaceWriteLeavesTheFileIntact) {
  fs::create_directory(Path("ro"));
  const std::string In = Write("ro/in.xml", kSmallDoc);
  fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(Path("ro").c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights that ignore permissions";
  const RunResult R = Run({"format", "-i", In});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(R.Err, "linexml: " + In + ": Permission denied\n");
  EXPECT_EQ(Read(In), kSmallDoc);
}

// The same with a write that runs out of room half-way (a file size limit, which also binds root).
TEST_F(CliFormat, WriteThatRunsOutOfRoomLeavesTheFileIntact) {
  std::string Big = "<?xml version=\"1.0\"?>\n<list>\n";
  for (int I = 0; I < 400; ++I) Big += "  <item n=\"" + std::to_string(I) + "\" state=\"in-stock\"/>\n";
  Big += "</list>\n";
  const std::string In = Write("in.xml", Big);
  const RunResult R = RunProgram(
      {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", LINEXML_CLI, "format", "-i", In});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err, "linexml: " + In + ": File too large\n");
  EXPECT_EQ(Read(In), Big);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(CliFormat, FailedWriteToStandardOutputIsReported) {
  const std::string In = Write("in.xml", kSmallDoc);
  const RunResult R = Run({"format", In}, {}, "/dev/full");
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err, "linexml: standard output: the write failed\n");
}

}  // namespace

namespace {

class CliLayout : public CliTest {};

// kSmallDoc with each layout option; the defaults are kSmallDocLayout (WritesTheLayoutToStandardOutput).
TEST_F(CliLayout, EachOptionWritesWhatItSays) {
  const std::string In = Write("in.xml", kSmallDoc);
  const std::string Decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\"?>\n";
  const std::string Standard = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  const struct {
    std::vector<std::string> options;
    std::string expected;
  } Cases[] = {
      {{"--indent", "4"},
       Decl + "\n\n<shelf code=\"a1\" count=\"2\">\n    <book isbn=\"1-2\" state=\"undefined\" />\n     Two "
              "books,\tone note\n"
              "    <note>\n        keep dry\n    </note>\n</shelf>\n"},
      {{"--tabs"},
       Decl + "\n\n<shelf code=\"a1\" count=\"2\">\n\t<book isbn=\"1-2\" state=\"undefined\" />\n\t Two "
              "books,\tone note\n"
              "\t<note>\n\t\tkeep dry\n\t</note>\n</shelf>\n"},
      {{"--crlf", "--indent", "0"},
       "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\"?>\r\n\r\n\r\n<shelf "
       "code=\"a1\" "
       "count=\"2\">\r\n<book isbn=\"1-2\" state=\"undefined\" />\r\n Two books,\tone note\r\n<note>\r\nkeep "
       "dry\r\n"
       "</note>\r\n</shelf>\r\n"},
      {{"--bom", "--standard-declaration"},
       "\xEF\xBB\xBF" + Standard +
           "\n\n<shelf code=\"a1\" count=\"2\">\n  <book isbn=\"1-2\" state=\"undefined\" />\n   Two "
           "books,\tone note\n"
           "  <note>\n    keep dry\n  </note>\n</shelf>\n"},
      {{"--inline-text"},
       Decl + "\n\n<shelf code=\"a1\" count=\"2\">\n  <book isbn=\"1-2\" state=\"undefined\" />\n   Two "
              "books,\tone note\n"
              "  <note>keep dry</note>\n</shelf>\n"},
      {{"--profile", "xml"},
       Standard + "\n<shelf code=\"a1\" count=\"2\">\n  <book isbn=\"1-2\" state=\"undefined\" />\n   Two "
                  "books,\tone note\n"
                  "  <note>keep dry</note>\n</shelf>\n"},
      {{"--profile", "xml", "--indent", "1", "--tabs"},
       Standard + "\n<shelf code=\"a1\" count=\"2\">\n\t<book isbn=\"1-2\" state=\"undefined\" />\n\t Two "
                  "books,\tone note\n"
                  "\t<note>keep dry</note>\n</shelf>\n"},
  };
  for (const auto& C : Cases) {
    std::vector<std::string> Args{"format", In};
    Args.insert(Args.end(), C.options.begin(), C.options.end());
    const RunResult R = Run(Args);
    EXPECT_EQ(R.Exit, 0) << R.Err;
    EXPECT_EQ(R.Out, C.expected) << C.options[0];
    // What was written loads back to the tree that the default layout gives; inline text keeps
    // "keep dry" without the leading space that a line of its own gives it.
    const RunResult Back = Run({"tree", "--accept-bom", "-"}, R.Out);
    EXPECT_EQ(Back.Exit, 0) << Back.Err;
    const bool Inline = R.Out.find("<note>keep dry</note>") != std::string::npos;
    EXPECT_EQ(Back.Out, Run({"tree", "-"}, Inline ? kSmallDoc : kSmallDocLayout).Out) << C.options[0];
  }
  EXPECT_EQ(Run({"format", In, "--indent", "256"}).Exit, 2);
  EXPECT_EQ(Run({"format", In, "--profile", "html"}).Exit, 2);
}

// Whatever it holds, a document that format writes with --profile xml is accepted by an XML reader:
// what a reader could not read (a value cut at a space, a bare '&', ...) is refused instead, naming
// the node and its line.
TEST_F(CliLayout, ProfileXmlIsAcceptedByXmllint) {
  std::string Xmllint;
  for (const char* Dir : {"/usr/bin", "/usr/local/bin", "/bin"})
    if (::access((std::string(Dir) + "/xmllint").c_str(), X_OK) == 0) Xmllint = std::string(Dir) + "/xmllint";
  if (Xmllint.empty()) GTEST_SKIP() << "xmllint is not installed (Debian: libxml2-utils)";
  std::vector<std::string> Inputs;
  for (const char* Folder : {LINEXML_EXAMPLES_DIR, LINEXML_EXAMPLES_DIR "/lossy",
                             LINEXML_SOURCE_DIR "/fuzz/corpus/load", LINEXML_SOURCE_DIR "/fuzz/corpus/edit"})
    for (const auto& E : fs::directory_iterator(Folder))
      if (E.is_regular_file()) Inputs.push_back(E.path().string());
  const std::string Decl = "<?xml version=\"1.0\"?>\n";
  for (const char* Body : {"<r a='two words'/>", "<r>\nTom & Jerry\n</r>", "<r a=\"1\" a=\"2\"/>",
                           "<r>\na ]]> b\n</r>", "<r v=\"&copy;\"/>", "<r>\ncaf\xE9\n</r>", "<r a=\"x<y\"/>",
                           "<r><x-1 a.b=\"&#233;&amp;\">ok</x-1></r>"})
    Inputs.push_back(Write("crafted" + std::to_string(Inputs.size()) + ".xml", Decl + Body + "\n"));
  int Written = 0, NotXml = 0;
  for (const std::string& In : Inputs) {
    SCOPED_TRACE(In);
    const std::string Out = Path("out.xml");
    fs::remove(Out);
    const RunResult R =
        Run({"format", "--profile", "xml", "--accept-bom", "--accept-no-declaration", In, "-o", Out});
    if (R.Exit != 0) {
      EXPECT_EQ(R.Exit, 1) << R.Err;
      EXPECT_FALSE(fs::exists(Out));
      NotXml += R.Err.find(" would not read as XML: ") != std::string::npos ? 1 : 0;
      continue;
    }
    const RunResult Lint = RunProgram({Xmllint, "--noout", "--nonet", Out});
    EXPECT_EQ(Lint.Exit, 0) << Lint.Err;
    ++Written;
  }
  EXPECT_GE(Written, 10);
  EXPECT_GE(NotXml, 7);  // the crafted ones, at least
  // The library's own layout is refused by the reader, for its declaration: the check above means
  // something.
  const std::string Plain = Write("plain.xml", Run({"format", LINEXML_EXAMPLES_DIR "/catalog.xml"}).Out);
  EXPECT_NE(RunProgram({Xmllint, "--noout", "--nonet", Plain}).Exit, 0);
}

// The line named for a document that would not load back the same is the line of the layout being
// written: the profile and the indent options change it.
TEST_F(CliLayout, TheLineAsWrittenFollowsTheLayout) {
  const std::string In = Write("in.xml", "<?xml version=\"1.0\"?>\n<r>\n<b>text</b>\n<a><c></c></a>\n</r>\n");
  const struct {
    std::vector<std::string> options;
    const char* line;
  } Cases[] = {{{}, "4"},  // the file's own layout, kept
               {{"--reformat"}, "9"},
               {{"--profile", "xml"}, "6"},
               {{"--inline-text"}, "7"},
               {{"--tabs"}, "9"}};
  for (const auto& C : Cases) {
    std::vector<std::string> Args{"edit", In, "--rename", "//c", "a", "-o", Path("out.xml")};
    Args.insert(Args.end(), C.options.begin(), C.options.end());
    const RunResult R = Run(Args);
    EXPECT_EQ(R.Exit, 1);
    EXPECT_NE(R.Err.find("the element /r/a/a (line " + std::string(C.line) + " as written)"),
              std::string::npos)
        << R.Err;
    Args.push_back("--force");
    ASSERT_EQ(Run(Args).Exit, 0);
    std::istringstream Written(Read(Path("out.xml")));
    std::string Line;
    for (int I = 0; I < std::stoi(C.line); ++I) std::getline(Written, Line);
    EXPECT_EQ(Line.substr(Line.find_first_not_of(" \t"), 3), "<a>") << Read(Path("out.xml"));
  }
}

TEST_F(CliLayout, ReadOptionsAndAKeptByteOrderMark) {
  const std::string Marked = Write("marked.xml", "\xEF\xBB\xBF" + std::string(kSmallDoc));
  EXPECT_EQ(Run({"format", Marked}).Exit, 1);
  const RunResult R = Run({"format", "--accept-bom", Marked});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, "\xEF\xBB\xBF" + std::string(kSmallDocLayout));  // the mark is kept
  const std::string Bare = Write("bare.xml", "<r a=\"1\"/>\n");
  const RunResult Undeclared = Run({"format", "--accept-no-declaration", Bare});
  EXPECT_EQ(Undeclared.Exit, 0) << Undeclared.Err;
  EXPECT_EQ(Undeclared.Out, std::string(linexml::test::kDefaultProlog) + "<r a=\"1\" />\n");
  EXPECT_EQ(Run({"get", "--accept-no-declaration", Bare, "r", "a"}).Out, "1\n");
  EXPECT_EQ(Run({"tree", "--accept-bom", Marked}).Exit, 0);
  // set writes in the layout it is given, in place.
  const RunResult Set = Run({"set", "--accept-bom", "--profile", "xml", Marked, "book", "state", "new"});
  EXPECT_EQ(Set.Exit, 0) << Set.Err;
  EXPECT_EQ(Read(Marked).rfind(
                "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n\n<sh", 0),
            0u);
  EXPECT_NE(Read(Marked).find("state=\"new\""), std::string::npos);
}

// Defaults come from $XDG_CONFIG_HOME/linexml/config (a folder of the test's own, see CliTest), or
// from --config FILE; the command line wins, and --config '' reads none.
TEST_F(CliLayout, AConfigurationFileGivesDefaults) {
  const std::string In = Write("in.xml", kSmallDoc);
  const std::string Xml = Run({"format", "--profile", "xml", In}).Out;
  const std::string Tabs = Run({"format", "--tabs", In}).Out;
  std::ofstream(config_ + "/linexml/config")
      << "# my defaults\n[format]\nprofile = xml\n[check]\naccept-bom = true\n";
  EXPECT_EQ(Run({"format", In}).Out, Xml);
  EXPECT_EQ(Run({"format", "--profile", "linexml", In}).Out, kSmallDocLayout);
  EXPECT_EQ(Run({"--config", "", "format", In}).Out, kSmallDocLayout);
  const std::string Marked = Write("marked.xml", "\xEF\xBB\xBF" + std::string(kSmallDoc));
  EXPECT_EQ(Run({"check", Marked}).Exit, 0);
  EXPECT_EQ(Run({"format", Marked}).Exit, 1);  // a section holds only for its own command

  // Options given on the command line win where the file disagrees with them; given both on the
  // command line, they are a usage error as before.
  std::ofstream(config_ + "/linexml/config") << "[format]\nin-place = true\n[get]\ntext = true\n";
  const RunResult ToOut = Run({"format", In, "-o", Path("out.xml")});
  EXPECT_EQ(ToOut.Exit, 0) << ToOut.Err;
  EXPECT_EQ(Read(Path("out.xml")), kSmallDocLayout);
  EXPECT_EQ(Read(In), kSmallDoc);
  EXPECT_EQ(Run({"format", In, "-i", "-o", Path("out.xml")}).Exit, 2);
  EXPECT_EQ(Run({"get", In, "book", "state"}).Out, Run({"--config", "", "get", In, "book", "state"}).Out);
  EXPECT_EQ(Run({"get", In, "book", "state", "--text"}).Exit, 2);

  const std::string Other = Write("other.conf", "[format]\ntabs = true\n");
  EXPECT_EQ(Run({"--config", Other, "format", In}).Out, Tabs);
  const RunResult Missing = Run({"--config", Path("missing.conf"), "format", In});
  EXPECT_EQ(Missing.Exit, 2);
  const std::string Bad = Write("bad.conf", "[format]\nindent = many\n");
  const RunResult R = Run({"--config", Bad, "format", In});
  EXPECT_EQ(R.Exit, 2);
  EXPECT_EQ(R.Out, "");
}

// A misspelt key, a section of no command or a value the option refuses is an error naming the
// file, the line and the key, whatever the command run; the command line does not hide it.
TEST_F(CliLayout, AConfigurationFileFaultNamesItsLine) {
  const std::string In = Write("in.xml", kSmallDoc);
  const std::string File = config_ + "/linexml/config";
  const struct {
    const char* config;
    std::string err;
  } Cases[] = {
      {"# mine\n[format]\nindent = 4\nprofle = xml\n", ":4: unknown key \"profle\" in [format]"},
      {"[format]\n\n  indent = many  \n",
       ":3: bad value \"many\" for \"indent\" in [format]: Value many not in range 0 to 255"},
      {"[format]\ntabs = maybe\n",
       ":2: bad value \"maybe\" for \"tabs\" in [format]: a flag takes true or false"},
      {"[fromat]\nindent = 2\n", ":1: unknown section [fromat]: a section is a command's name"},
      {"profile = xml\n",
       ":1: unknown key \"profile\" outside a section (a command's options go in its section, e.g. "
       "[format])"},
      {"[get]\nprofile = xml\n", ":2: unknown key \"profile\" in [get]"},
      {"check.jobs = 0\n", ":1: bad value \"0\" for \"jobs\" in [check]: Value 0 not in range 1 to 1024"},
  };
  for (const auto& C : Cases) {
    std::ofstream(File) << C.config;
    for (const std::vector<std::string>& Args :
         {std::vector<std::string>{"format", In}, {"tree", In}, {"format", "--indent", "3", In}}) {
      const RunResult R = Run(Args);
      EXPECT_EQ(R.Exit, 2) << C.config;
      EXPECT_EQ(R.Out, "") << C.config;
      EXPECT_EQ(R.Err, "linexml: " + File + C.err + "\n") << C.config;
    }
  }
  // What the file may say: comments, quotes, flags without a value, a dotted key, one-letter options.
  std::ofstream(File) << "; mine\nget.decode = yes\n[format]\nprofile = \"xml\"  # for other tools\ntabs\n"
                         "[check]\nW = error\n";
  const RunResult Fine = Run({"format", In});
  EXPECT_EQ(Fine.Exit, 0) << Fine.Err;
  EXPECT_EQ(Fine.Out, Run({"--config", "", "format", "--profile", "xml", "--tabs", In}).Out);
}

}  // namespace
