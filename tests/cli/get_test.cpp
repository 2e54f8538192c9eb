// linexml get: lookups as FindTagByName does them.
#include <string>

#include "cli_run.h"

namespace {

class CliGet : public CliTest {};

TEST_F(CliGet, PrintsAnAttributeValue) {
  const std::string In = Write("in.xml", kSmallDoc);
  RunResult R = Run({"get", In, "book", "isbn"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, "1-2\n");
  // The root is found by its own name.
  R = Run({"get", In, "shelf", "count"});
  EXPECT_EQ(R.Out, "2\n");
  // A stored value "undefined" is a value, not a missing attribute.
  R = Run({"get", "-", "book", "state"}, kSmallDoc);
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, "undefined\n");
}

TEST_F(CliGet, PrintsAnElementWithItsSubtreeInTheLayout) {
  const std::string In = Write("in.xml", kSmallDoc);
  const RunResult R = Run({"get", In, "note"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, "  <note>\n    keep dry\n  </note>\n");
}

TEST_F(CliGet, MissingTagOrAttributeFails) {
  const std::string In = Write("in.xml", kSmallDoc);
  RunResult R = Run({"get", In, "chair"});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(R.Err, "linexml: " + In + ": no element named \"chair\"\n");
  R = Run({"get", In, "book", "colour"});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(R.Err, "linexml: " + In + ": element \"book\" has no attribute \"colour\"\n");
}

TEST_F(CliGet, BrokenDocumentIsRefusedWithTheCheckLine) {
  const std::string In = Write("in.xml", "<?xml version=\"1.0\"?>\n<a x=\"1\">\n<>\n</a>\n");
  const RunResult R = Run({"get", In, "a", "x"});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(R.Err, In + ":3:1: ecInvalidTag: an empty tag \"<>\": a tag needs a name\n");
}

}  // namespace
