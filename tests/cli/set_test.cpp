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
  EXPECT_NE(Read(In).find("  <note shelf-life=\"-1\">\n"), std::string::npos) << Read(In);
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
  R = Run({"set", In, "book", "a=b", "1"});
  EXPECT_EQ(R.Exit, 2);
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

}  // namespace
