// linexml format: the layout to standard output, to a file or in place; broken documents refused.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"

namespace {

namespace fs = std::filesystem;

class CliFormat : public CliTest {};

const char* const kBroken = "<?xml version=\"1.0\"?>\n<a>\n  <b></b>\n</a>\n</a>\n";
const char* const kBrokenLine =
    ":5: ecNotValid: a declaration keyword repeats, or text follows the root element\n";

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
  EXPECT_EQ(R.Err, Path("missing.xml") + ": ecNoFile: the file cannot be opened or read\n");
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
       ":1: ecInvalidFileFormat: the document does not begin with an XML declaration\n"},
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
