// linexml tree: the outline of a document.
#include <string>

#include "cli_run.h"

namespace {

class CliTree : public CliTest {};

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
  EXPECT_EQ(R.Err, "<stdin>:4:3: ecInvalidTag: an empty tag \"<>\": a tag needs a name\n");
  R = Run({"tree", "--force", "-"}, Broken);
  EXPECT_EQ(R.Exit, 0);
  EXPECT_EQ(R.Out.rfind("ttNormal a\n  ttShorted b q=\"1\"\n", 0), 0U) << R.Out;
}

// Names come from the document: escape and bell bytes in them must not reach the terminal.
TEST_F(CliTree, EscapesControlBytesInNames) {
  const RunResult R = Run({"tree", "-"},
                          "<?xml version=\"1.0\"?>\n<r\x1b[2J a\x07"
                          "b=\"1\">\n<c\\d\te/>\n</r\x1b[2J>\n");
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out,
            "ttNormal r\\x1b[2J a\\x07b=\"1\"\n"
            "  ttShorted c\\\\d\\te\n");
}

}  // namespace
