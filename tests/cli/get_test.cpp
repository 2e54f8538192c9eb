// linexml get: lookups as FindTagByName does them.
#include <string>
#include <vector>

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

// A second argument with '/', '[', '*' or '.' is a path: every match, in document order.
TEST_F(CliGet, APathPrintsEveryMatch) {
  const char* const Doc =
      "<?xml version=\"1.0\"?>\n"
      "<list>\n"
      "  <item n=\"1\">one &amp; two</item>\n"
      "  <item n=\"2\"><sub n=\"&#65;\"/>  <!-- c --> text of 2\n  more</item>\n"
      "  <item>three</item>\n"
      "</list>\n";
  const std::string In = Write("in.xml", Doc);
  struct Case {
    std::vector<std::string> args;
    const char* out;
  };
  const Case Cases[] = {
      {{"//item", "n"}, "1\n2\n"},  // the third has none: passed over
      {{"/list/item[2]/sub", "n"}, "&#65;\n"},
      {{"/list/item[2]/sub", "n", "--decode"}, "A\n"},
      {{"//item", "--text"}, "one &amp; two\ntext of 2 more\nthree\n"},
      {{"//item[1]", "--text", "--decode"}, "one & two\n"},
      {{"/list/item[3]"}, "  <item>\n    three\n  </item>\n"},
      {{"/list/item[1]", "--decode"}, "  <item n=\"1\">\n    one & two\n  </item>\n"},
      {{"item", "--text"}, "three\n"},  // a bare name keeps its meaning: the last child of that name
      {{"list/*[2]/.."}, ""},           // checked below: the whole document's root
      {{"//item/@n"}, "1\n2\n"},        // a final /@name is the attribute
      {{"//@n"}, "1\n2\n&#65;\n"},
      {{"//item[@n='2']/sub/@n", "--decode"}, "A\n"},
      {{"//item[last()]", "--text"}, "three\n"},
  };
  for (const Case& C : Cases) {
    std::vector<std::string> A{"get", In};
    A.insert(A.end(), C.args.begin(), C.args.end());
    const RunResult R = Run(A);
    EXPECT_EQ(R.Exit, 0) << C.args[0] << ": " << R.Err;
    if (*C.out != '\0') {
      EXPECT_EQ(R.Out, C.out) << C.args[0];
    }
  }
  EXPECT_EQ(Run({"get", In, "list/*[2]/.."}).Out.rfind("<list>\n", 0), 0u);
}

TEST_F(CliGet, APathThatMatchesNothingFails) {
  const std::string In = Write("in.xml", kSmallDoc);
  RunResult R = Run({"get", In, "//chair"});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err, "linexml: " + In + ": no element matches \"//chair\"\n");
  R = Run({"get", In, "//book", "colour"});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Err, "linexml: " + In + ": no element that \"//book\" matches has attribute \"colour\"\n");
  R = Run({"get", In, "/@code"});
  EXPECT_EQ(R.Exit, 2);
  R = Run({"get", In, "//book/@isbn", "state"});
  EXPECT_EQ(R.Exit, 2);
  R = Run({"get", In, "//book["});
  EXPECT_EQ(R.Exit, 2);
  EXPECT_NE(R.Err.find("invalid path \"//book[\" at position 8"), std::string::npos) << R.Err;
}

}  // namespace

namespace {

class CliWarnings : public CliTest {
 protected:
  // A value cut by its missing quotes (line 3), a value cut at a space (line 4), an element without
  // a warning (line 5).
  static constexpr const char* kDoc =
      "<?xml version=\"1.0\"?>\n"
      "<config>\n"
      "  <db host=\"localhost\" port=5432/>\n"
      "  <note kind=\"two words\">keep</note>\n"
      "  <name>main</name>\n"
      "</config>\n";
  static std::string PortWarning(const std::string& File) {
    return File +
           ":3:24: warning: the value of \"port\" is not in quotes: \"43\" is read (its first and last bytes "
           "are taken for quotes); an XML reader refuses it [wkUnquotedValue]\n";
  }
  static std::string KindWarning(const std::string& File) {
    return File +
           ":4:9: warning: the value of \"kind\" holds a space, where it is cut: \"tw\" is kept, and the "
           "rest, "
           "\"words\\\">\", is read as an attribute of its own [wkValueCut]\n";
  }
};

// get warns about what it prints: the start tag of an element whose attribute it prints, else the
// whole element; nothing about the rest of the document.
TEST_F(CliWarnings, GetWarnsAboutWhatItPrints) {
  const std::string In = Write("in.xml", kDoc);
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string err;
  } Cases[] = {
      {{"db", "port"}, "43\n", PortWarning(In)},
      {{"name", "--text"}, "main\n", ""},
      {{"/config/note", "--text"}, "keep\n", KindWarning(In)},
      {{"config", "--text"}, "\n", PortWarning(In) + KindWarning(In)},  // the root holds both, once each
      {{"//*", "--text"}, "\n\nkeep\nmain\n", PortWarning(In) + KindWarning(In)},
  };
  for (const auto& C : Cases) {
    std::vector<std::string> Args{"get", In};
    Args.insert(Args.end(), C.args.begin(), C.args.end());
    const RunResult R = Run(Args);
    EXPECT_EQ(R.Exit, 0) << C.args[0];
    EXPECT_EQ(R.Out, C.out) << C.args[0];
    EXPECT_EQ(R.Err, C.err) << C.args[0];
  }
  EXPECT_EQ(Run({"get", "-", "db", "port"}, kDoc).Err, PortWarning("<stdin>"));
}

// set and edit warn about the elements they change, as they find them before the change.
TEST_F(CliWarnings, SetAndEditWarnAboutWhatTheyChange) {
  const std::string In = Write("in.xml", kDoc);
  const struct {
    std::vector<std::string> args;
    std::string err;
  } Cases[] = {
      {{"set", In, "db", "user", "admin"}, PortWarning(In)},
      {{"set", In, "name", "id", "1"}, ""},
      {{"edit", In, "--set", "//db", "port", "6000", "--set", "//name", "id", "2"}, PortWarning(In)},
      {{"edit", In, "--rename", "//name", "title"}, ""},
      {{"edit", In, "--delete", "//note"}, KindWarning(In)},  // deleted: still what it changed
      {{"edit", In, "--text", "/config", "x"}, PortWarning(In) + KindWarning(In)},
  };
  for (const auto& C : Cases) {
    std::vector<std::string> Args = C.args;
    Args.insert(Args.end(), {"-o", "-"});
    const RunResult R = Run(Args);
    // What follows the warnings (the layout may refuse the document) is not looked at here.
    EXPECT_EQ(R.Err.substr(0, R.Err.find("linexml: ")), C.err) << C.args[2];
  }
}

}  // namespace
