// linexml check: one line per file in argument order, exit 0 only when every file is ecOk.
#include <string>
#include <vector>

#include "cli_run.h"

namespace {

class CliCheck : public CliTest {};

TEST_F(CliCheck, PrintsOneLinePerFileInArgumentOrder) {
  const std::string Good = Write("good.xml", kSmallDoc);
  const std::string Bad = Write("bad.xml", "<?xml version=\"1.0\"?>\n<a>\n  <b/>\n  < c/>\n</a>\n");
  const std::string Left = Write("left.xml", "<?xml version=\"1.0\"?>\n<a/>\n\n<b/>\n");
  const std::string NoDecl = Write("nodecl.xml", "\n<a/>\n");
  const std::string Missing = Path("missing.xml");

  const RunResult R = Run({"check", Bad, Good, Missing, Left, NoDecl});
  EXPECT_EQ(R.Exit, 1);
  std::string Expected =
      Bad +
      ":4:3: ecInvalidTag: \"<\" is followed by a space: the name of a tag must follow \"<\" directly\n";
  Expected += Good + ": ok\n";
  Expected += Missing + ": ecNoFile: the file cannot be read: No such file or directory\n";
  Expected += Left +
              ":4:1: ecNotValid: a second element, \"<b\", follows the root element: a document has one root "
              "element\n";
  Expected += NoDecl +
              ":2:1: ecInvalidFileFormat: the document begins with the element \"<a\" instead of the XML "
              "declaration \"<?xml ...?>\" (accepting a document without a declaration reads it)\n";
  EXPECT_EQ(R.Out, Expected);
  EXPECT_EQ(R.Err, "");
}

TEST_F(CliCheck, AllGoodExitsZero) {
  const std::string A = Write("a.xml", kSmallDoc);
  const RunResult R = Run({"check", A, LINEXML_EXAMPLES_DIR "/catalog.xml"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, A + ": ok\n" LINEXML_EXAMPLES_DIR "/catalog.xml: ok\n");
}

TEST_F(CliCheck, ReadsStandardInputOnceForEveryDash) {
  const RunResult R = Run({"check", "-", "-"}, kSmallDoc);
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, "<stdin>: ok\n<stdin>: ok\n");

  const RunResult Bad = Run({"check", "-"}, "<?xml version=\"1.0\"?>\n<a>\n<>\n</a>\n");
  EXPECT_EQ(Bad.Exit, 1);
  EXPECT_EQ(Bad.Out, "<stdin>:3:1: ecInvalidTag: an empty tag \"<>\": a tag needs a name\n");
}

// Many files of every outcome: four threads must print exactly what one thread prints.
TEST_F(CliCheck, ParallelRunPrintsTheSameLinesAsOneThread) {
  std::vector<std::string> Args{"check", "-j", "1"};
  for (int I = 0; I < 240; ++I) {
    const std::string Name = std::string("f") + std::to_string(I) + ".xml";
    std::string Body = "<?xml version=\"1.0\"?>\n<r n=\"" + std::to_string(I) + "\">\n";
    for (int Line = 0; Line < I % 13; ++Line) Body += "  <item k=\"v\">text</item>\n";
    if (I % 7 == 3) Body += "  <>\n";  // broken tag, at a line that depends on I
    Body += "</r>\n";
    if (I % 11 == 5) Body += "left over\n";  // text after the root
    if (I % 17 == 0) {
      Args.push_back(Path(Name));  // never written: ecNoFile
    } else {
      Args.push_back(Write(Name, Body));
    }
  }
  const RunResult One = Run(Args);
  Args[2] = "4";
  const RunResult Four = Run(Args);
  EXPECT_EQ(One.Exit, 1);
  EXPECT_EQ(Four.Exit, 1);
  EXPECT_EQ(Four.Out, One.Out);
  EXPECT_NE(One.Out.find(Path("f3.xml") + ":6:3: ecInvalidTag"), std::string::npos) << One.Out;
  EXPECT_NE(One.Out.find(Path("f5.xml") + ":9:1: ecNotValid"), std::string::npos) << One.Out;
  EXPECT_NE(One.Out.find(Path("f1.xml") + ": ok\n"), std::string::npos) << One.Out;
}

}  // namespace
