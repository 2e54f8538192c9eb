// linexml set: attribute edits, saved atomically.
#include <string>

#include "cli_run.h"

namespace {

class CliSet : public CliTest {};

TEST_F(CliSet, ChangesTheFileInPlace) {
  const std::string In = Write("in.xml", kSmallDoc);
  RunResult R = Run({"set", In, "book", "state", "sold"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(Run({"get", In, "book", "state"}).Out, "sold\n");
  // A new attribute goes last; "--" lets a value begin with "-".
  R = Run({"set", In, "note", "shelf-life", "--", "-1"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  // The rest of the file stays as it was.
  std::string Expected = kSmallDoc;
  Expected.replace(Expected.find("state=\"undefined\""), 17, "state=\"sold\"");
  Expected.replace(Expected.find("<note>"), 6, "<note shelf-life=\"-1\">");
  EXPECT_EQ(Read(In), Expected);
}

TEST_F(CliSet, WritesToOutputLeavingTheInputAlone) {
  const std::string In = Write("in.xml", kSmallDoc);
  RunResult R = Run({"set", In, "shelf", "code", "b7", "-o", Path("out.xml")});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(Read(In), kSmallDoc);
  EXPECT_NE(Read(Path("out.xml")).find("<shelf code=\"b7\" count=\"2\">\n"), std::string::npos);
  // Standard input has no place to write back to: the result goes to standard output.
  R = Run({"set", "-", "shelf", "code", "c3"}, kSmallDoc);
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_NE(R.Out.find("<shelf code=\"c3\" count=\"2\">\n"), std::string::npos) << R.Out;
}

TEST_F(CliSet, FailuresLeaveTheFileUntouched) {
  const std::string In = Write("in.xml", kSmallDoc);
  RunResult R = Run({"set", In, "chair", "legs", "4"});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err, "linexml: " + In + ": no element named \"chair\"\n");
  // Values the loader would cut or misread are refused before anything is written.
  for (const char* Value : {"two words", "a>b", "x<!--y", "line\nbreak"}) {
    R = Run({"set", In, "book", "state", Value});
    EXPECT_EQ(R.Exit, 2) << Value;
    EXPECT_NE(R.Err.find("VALUE cannot hold"), std::string::npos) << R.Err;
  }
  R = Run({"set", In, "book", "state", "a b"});
  EXPECT_NE(
      R.Err.find("VALUE cannot hold what a load would not read back: byte 2 of the value is ' ', which ends "
                 "an attribute"),
      std::string::npos)
      << R.Err;
  for (const char* Name : {"a=b", "a/b", "a\"b", "!--x", ""}) {
    R = Run({"set", In, "book", Name, "1"});
    EXPECT_EQ(R.Exit, 2) << Name;
    EXPECT_NE(R.Err.find("ATTRIBUTE cannot hold"), std::string::npos) << R.Err;
  }
  EXPECT_EQ(Read(In), kSmallDoc);

  const std::string Broken = Write("broken.xml", "<?xml version=\"1.0\"?>\n<a/>\n<b/>\n");
  R = Run({"set", Broken, "a", "x", "1"});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err,
            Broken +
                ":3:1: ecNotValid: a second element, \"<b\", follows the root element: a document has one "
                "root element\n");
  EXPECT_EQ(Read(Broken), "<?xml version=\"1.0\"?>\n<a/>\n<b/>\n");
}

// TAG is what 'get' takes: a bare name finds one element as FindTagByName does, a path every element
// it selects.
TEST_F(CliSet, TakesAPathAsGetDoes) {
  const std::string Doc = "<?xml version=\"1.0\"?>\n<r>\n<a k=\"1\"/>\n<b><a/></b>\n</r>\n";
  const struct {
    const char* tag;
    int exit;
    const char* got;  // get FILE //a k afterwards, or the message on standard error
  } Cases[] = {
      {"/r/a", 0, "v\n"},
      {"//a", 0, "v\nv\n"},
      {"a", 0, "v\n"},  // the last child of the root named "a", as FindTagByName finds it
      {"/r/c", 1, "no element matches \"/r/c\""},
      {"c", 1, "no element named \"c\""},
      {"/r/a[0]", 2, "at position 6: positions count from 1"},
  };
  for (const auto& C : Cases) {
    const std::string In = Write("in.xml", Doc);
    const RunResult R = Run({"set", In, C.tag, "k", "v"});
    EXPECT_EQ(R.Exit, C.exit) << C.tag << R.Err;
    if (C.exit == 0)
      EXPECT_EQ(Run({"get", In, "//a", "k"}).Out, C.got) << C.tag;
    else
      EXPECT_NE(R.Err.find(C.got), std::string::npos) << R.Err;
  }
}

// A document the library's layout would not carry back the same is not written in it, unless
// forced; the file's own bytes, kept, load as they loaded.
TEST_F(CliSet, RefusesADocumentThatWouldNotLoadBackTheSame) {
  // The "<!--" left by an unclosed comment is read as an element named "!--", whose closing tag
  // "</!-->" would end a comment on the next load.
  const std::string Doc = "<?xml version=\"1.0\"?>\n<r><!-- a=\"1\">x</r>\n";
  const std::string In = Write("in.xml", Doc);
  RunResult R = Run({"set", In, "r", "k", "v", "-o", "-"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, "<?xml version=\"1.0\"?>\n<r k=\"v\"><!-- a=\"1\">x</r>\n");
  R = Run({"set", In, "r", "k", "v", "--reformat"});
  EXPECT_EQ(R.Exit, 1);
  // The whole document written anew: every warning about the reading concerns the save.
  EXPECT_EQ(
      R.Err,
      In +
          ":2:4: warning: the comment \"<!-- a=\\\"1\\\">x</r>\" is never closed (there is no \"-->\" after "
          "its "
          "\"<!--\"): it and what follows it are read as the document; an XML reader refuses it "
          "[wkCommentUnclosed]\n" +
          In +
          ":2:4: warning: no closing tag \"</!-->\" is found for the element \"<!-->\" (before the end of "
          "the element around it): it is read without content, and what follows it becomes its siblings "
          "[wkMissingClosingTag]\n"
          "linexml: " +
          In +
          ": not written: the element /r/!-- (line 5 as written) would not load back the same: bytes "
          "1 to 3 of the tag name are \"!--\", which after the \"<\" of a tag starts a comment "
          "(--force writes it anyway)\n");
  EXPECT_EQ(Read(In), Doc);
  R = Run({"set", In, "r", "k", "v", "--force", "--reformat"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_NE(Read(In).find("<r k=\"v\">"), std::string::npos) << Read(In);
}

}  // namespace
