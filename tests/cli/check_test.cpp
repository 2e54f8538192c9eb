// linexml check: one line per file in argument order, exit 0 only when every file is ecOk.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli_run.h"

namespace {

class CliCheck : public CliTest {};

// A document that linexml reads as an XML reader does: no warning about the reading.
const char* const kCleanDoc =
    "<?xml version=\"1.0\"?>\n<!-- a shelf -->\n<shelf n=\"2\">\n  <book/>\n</shelf>\n";

TEST_F(CliCheck, PrintsOneLinePerFileInArgumentOrder) {
  const std::string Good = Write("good.xml", kCleanDoc);
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
  const std::string A = Write("a.xml", kCleanDoc);
  const RunResult R = Run({"check", A, LINEXML_EXAMPLES_DIR "/catalog.xml"});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, A + ": ok\n" LINEXML_EXAMPLES_DIR "/catalog.xml: ok\n");
}

TEST_F(CliCheck, ReadsStandardInputOnceForEveryDash) {
  const RunResult R = Run({"check", "-", "-"}, kCleanDoc);
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

namespace {

class CliCheckPlaces : public CliTest {};

// Each broken example of the README: line, column, the specific cause, and with --show-source the
// source line with a caret under the column.
TEST_F(CliCheckPlaces, EachBrokenExampleShowsItsPlaceCauseAndCaret) {
  const struct {
    const char* file;
    std::string expected;
  } Cases[] = {
      {"byte-order-mark.xml",
       ":1:1: ecInvalidFileFormat: the document begins with a UTF-8 byte-order mark, which stands in front "
       "of the "
       "XML declaration (accepting a byte-order mark skips it)\n"
       " 1 | <BOM><?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "   | ^\n"},
      {"empty-tag-name.xml",
       ":4:2: ecInvalidTag: \"<\" is followed by a space: the name of a tag must follow \"<\" directly\n"
       " 4 | \t< track n=\"2\"/>\n"
       "   | \t^\n"},
      {"no-declaration.xml",
       ":1:1: ecInvalidFileFormat: the document begins with the element \"<settings\" instead of the XML "
       "declaration \"<?xml ...?>\" (accepting a document without a declaration reads it)\n"
       " 1 | <settings>\n"
       "   | ^\n"},
      {"repeated-keyword.xml",
       ":1:1: ecNotValid: the declaration keyword \"version\" is written twice (the first value is kept)\n"
       " 1 | <?xml version=\"1.0\" encoding=\"UTF-8\" version=\"1.1\"?>\n"
       "   | ^\n"},
      {"same-name-inside.xml",
       ":8:3: ecInvalidTag: the closing tag \"</g>\" stands where an element was expected: an element \"g\" "
       "inside another \"g\" ends the outer one at the inner \"</g>\", so this one is left over\n"
       " 8 |   </g>\n"
       "   |   ^\n"},
      {"text-after-root.xml",
       ":5:1: ecNotValid: text follows the root element: \"end of settings\"\n"
       " 5 | end of settings\n"
       "   | ^\n"},
  };
  for (const auto& C : Cases) {
    const std::string File = std::string(LINEXML_EXAMPLES_DIR "/broken/") + C.file;
    const RunResult R = Run({"check", "--show-source", File});
    EXPECT_EQ(R.Exit, 1) << C.file;
    EXPECT_EQ(R.Out, File + C.expected);
    EXPECT_EQ(R.Err, "");
  }
}

TEST_F(CliCheckPlaces, TheSourceLineComesFromStandardInputTooAndLongLinesAreCut) {
  const std::string Long =
      "<?xml version=\"1.0\"?>\n<r>" + std::string(100, 'x') + "<>" + std::string(100, 'y') + "</r>\n";
  const RunResult R = Run({"check", "--show-source", "-"}, Long);
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Out,
            "<stdin>:2:104: ecInvalidTag: an empty tag \"<>\": a tag needs a name\n"
            " 2 | ..." +
                std::string(60, 'x') + "<>" + std::string(38, 'y') + "...\n" + "   | ..." +
                std::string(60, ' ') + "^\n");
  // Without --show-source and not on a terminal: the line alone.
  EXPECT_EQ(Run({"check", "-"}, Long).Out,
            "<stdin>:2:104: ecInvalidTag: an empty tag \"<>\": a tag needs a name\n");
}

// The excerpts come from the bytes that were loaded, read once: a pipe named as a file and a FIFO
// show their lines (reading them again found nothing, or waited for a writer for ever), and a
// line never falls short of the column it points at.
TEST_F(CliCheckPlaces, SourceLinesComeFromTheBytesReadOnce) {
  const std::string Long =
      "<?xml version=\"1.0\"?>\n<r>" + std::string(100, 'x') + "<>" + std::string(100, 'y') + "</r>\n";
  const std::string Expected = "2:104: ecInvalidTag: an empty tag \"<>\": a tag needs a name\n 2 | ..." +
                               std::string(60, 'x') + "<>" + std::string(38, 'y') + "...\n   | ..." +
                               std::string(60, ' ') + "^\n";
  const std::string File = Write("long.xml", Long);
  const std::string Fifo = Path("fifo.xml");
  ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
  const struct {
    const char* what;
    std::string shell;  // run by sh -c; the tool's name is $0
    std::string shown;
  } Cases[] = {
      {"a pipe", "cat '" + File + "' | \"$0\" check --show-source /dev/stdin", "/dev/stdin:"},
      {"a FIFO", "cat '" + File + "' > '" + Fifo + "' & timeout 60 \"$0\" check --show-source '" + Fifo + "'",
       Fifo + ":"},
      {"a file", "\"$0\" check --show-source '" + File + "'", File + ":"},
  };
  for (const auto& C : Cases) {
    const RunResult R = RunProgram({"/bin/sh", "-c", C.shell, LINEXML_CLI});
    EXPECT_EQ(R.Exit, 1) << C.what;
    EXPECT_EQ(R.Out, C.shown + Expected) << C.what;
  }
}

// Many warnings, each with its line: one pass over the text finds them all (a search of the
// wanted lines for every line of the text made this quadratic).
TEST_F(CliCheckPlaces, EveryWarningGetsItsLine) {
  const auto Lines = static_cast<int>(linexml::test::Scaled(400000));
  std::string Text = "<?xml version=\"1.0\"?>\n<r>\n";
  for (int I = 0; I < Lines; ++I) Text += "<!-- " + std::to_string(I) + " --><a/>\n";
  const RunResult R = Run({"check", "-w", "--show-source", Write("many.xml", Text + "</r>\n")});
  EXPECT_EQ(R.Exit, 0);
  const std::string Last = std::to_string(Lines + 2);
  EXPECT_NE(R.Out.find(" " + Last + " | <!-- " + std::to_string(Lines - 1) + " --><a/>\n"),
            std::string::npos);
  std::size_t Carets = 0;
  for (std::size_t At = R.Out.find("| ^\n"); At != std::string::npos; At = R.Out.find("| ^\n", At + 1))
    ++Carets;
  EXPECT_EQ(Carets, static_cast<std::size_t>(Lines));
}

TEST_F(CliCheckPlaces, WarningsFindTheCutValuesOfASpacedFile) {
  const std::string File = LINEXML_EXAMPLES_DIR "/lossy/build.xml";
  const RunResult R = Run({"check", "--warnings", File});
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(
      R.Out,
      File +
          ":2:1: warning: the comment \"<!-- Licence: MIT. Keep this notice in e...\" is cut out on loading, "
          "so "
          "a save drops it [wkCommentDropped]\n" +
          File +
          ":4:27: warning: the value of \"value\" holds a space, where it is cut: \"sr\" is kept, and the "
          "rest, \"main\\\"/>\", is read as an attribute of its own [wkValueCut]\n" +
          File +
          ":5:26: warning: the value of \"value\" holds a space, where it is cut: \"Book\" is kept, and the "
          "rest, \"&amp;\", is read as an attribute of its own [wkValueCut]\n" +
          File +
          ":5:39: warning: the reference \"&amp;\" is kept as written; an XML reader reads \"&\" "
          "[wkReferenceKeptRaw]\n" +
          File +
          ":6:24: warning: the value of \"description\" holds a space, where it is cut: \"compil\" is kept, "
          "and the rest, \"and\", is read as an attribute of its own [wkValueCut]\n" +
          File + ": read with 4 warnings\n");
  // Without --warnings, all but the comment.
  EXPECT_EQ(Run({"check", File}).Out, R.Out.substr(R.Out.find('\n') + 1));
  // With the source shown, each warning gets its line and caret.
  const RunResult Shown =
      Run({"check", "-w", "--show-source", "-"}, "<?xml version=\"1.0\"?>\n<a b=\"c d\"/>\n");
  EXPECT_EQ(
      Shown.Out,
      "<stdin>:2:4: warning: the value of \"b\" holds a space, where it is cut: \"\" is kept, and the rest, "
      "\"d\\\"/>\", is read as an attribute of its own [wkValueCut]\n"
      " 2 | <a b=\"c d\"/>\n"
      "   |    ^\n"
      "<stdin>: read with 1 warning\n");
}

TEST_F(CliCheckPlaces, JsonGivesOneObjectPerFile) {
  const std::string Bad = Write("bad.xml", "<?xml version=\"1.0\"?>\n<a b=\"c d\">\n  <>\n</a>\n");
  const std::string Missing = Path("missing.xml");
  const RunResult R = Run({"check", "--format", "json", "--warnings", Bad, Missing});
  EXPECT_EQ(R.Exit, 1);
  EXPECT_EQ(R.Out, "{\"column\":3,\"file\":\"" + Bad +
                       "\",\"line\":3,\"message\":\"an empty tag \\\"<>\\\": a tag needs a "
                       "name\",\"notes\":[],\"status\":\"ecInvalidTag\","
                       "\"warnings\":[{\"column\":4,\"kind\":\"wkValueCut\",\"line\":2,\"save_only\":false,"
                       "\"text\":\"the value "
                       "of \\\"b\\\" holds a "
                       "space, where it is cut: \\\"\\\" is kept, and the rest, \\\"d\\\\\\\">\\\", is read "
                       "as an attribute of "
                       "its own\"}]}\n"
                       "{\"column\":0,\"file\":\"" +
                       Missing +
                       "\",\"line\":0,\"message\":\"the file cannot be read: No such file or "
                       "directory\",\"notes\":[],\"status\":\"ecNoFile\","
                       "\"warnings\":[]}\n");
  // Bytes that are not UTF-8 do not break the output.
  const RunResult Odd = Run({"check", "--format", "json", "-"}, "<?xml version=\"1.0\"?>\n<r/>\n\xff\xfe");
  EXPECT_EQ(Odd.Out,
            "{\"column\":1,\"file\":\"<stdin>\",\"line\":3,\"message\":\"text follows the root element: "
            "\\\"\xEF\xBF\xBD\xEF\xBF\xBD\\\"\",\"notes\":[],\"status\":\"ecNotValid\",\"warnings\":[]}\n");
}

TEST_F(CliCheckPlaces, ReadOptionsLetMarkedAndUndeclaredFilesLoad) {
  const std::string Marked = LINEXML_EXAMPLES_DIR "/broken/byte-order-mark.xml";
  const std::string Undeclared = LINEXML_EXAMPLES_DIR "/broken/no-declaration.xml";
  const RunResult R = Run({"check", "--accept-bom", "--accept-no-declaration", Marked, Undeclared});
  EXPECT_EQ(R.Exit, 0) << R.Out;
  EXPECT_EQ(R.Out, Marked + ": ok\n" + Undeclared + ": ok\n");
}

}  // namespace

namespace {

class CliCheckWarnings : public CliTest {};

// What each option prints and how the file counts, for a file read with a warning about the reading
// (a value without quotes) and one whose only warning is what a save loses (a comment).
TEST_F(CliCheckWarnings, OptionsChooseWhatIsPrintedAndWhatFails) {
  const std::string Lossy =
      Write("lossy.xml",
            "<?xml version=\"1.0\"?>\n<!-- settings -->\n<config>\n  <db host=\"localhost\" "
            "port=5432/>\n</config>\n");
  const std::string Commented = Write("commented.xml", kCleanDoc);
  const std::string Port =
      Lossy +
      ":4:24: warning: the value of \"port\" is not in quotes: \"43\" is read (its first and "
      "last bytes are taken for quotes); an XML reader refuses it [wkUnquotedValue]\n";
  const std::string Comment =
      ":2:1: warning: the comment \"<!-- settings -->\" is cut out on loading, so a save "
      "drops it [wkCommentDropped]\n";
  const std::string Read = Lossy + ": read with 1 warning\n";
  const struct {
    std::vector<std::string> args;
    std::string file;
    int exit;
    std::string out;
  } Cases[] = {
      {{}, Lossy, 0, Port + Read},
      {{"-w"}, Lossy, 0, Lossy + Comment + Port + Read},
      {{"--quiet"}, Lossy, 0, Read},
      {{"--strict"}, Lossy, 1, Port + Read},
      {{"-q", "--strict"}, Lossy, 1, Read},  // hidden, still counted
      {{"-W", "error"}, Lossy, 1, Port + Read},
      {{"-Werror"}, Lossy, 1, Port + Read},
      {{"--strict"}, Commented, 0, Commented + ": ok\n"},  // what a save loses is not about the reading
      {{"-w", "--strict"},
       Commented,
       1,
       Commented +
           ":2:1: warning: the comment \"<!-- a shelf -->\" is cut out on loading, so a save drops it "
           "[wkCommentDropped]\n" +
           Commented + ": ok\n"},
  };
  for (const auto& C : Cases) {
    std::vector<std::string> Args{"check"};
    Args.insert(Args.end(), C.args.begin(), C.args.end());
    Args.push_back(C.file);
    const RunResult R = Run(Args);
    std::string Shown;
    for (const std::string& A : C.args) Shown += " " + A;
    EXPECT_EQ(R.Exit, C.exit) << Shown;
    EXPECT_EQ(R.Out, C.out) << Shown;
  }
  EXPECT_EQ(Run({"check", "-W", "warn", Lossy}).Exit, 2);
}

// An element that is never closed: the failure points where the document is left over, a note
// where the element was opened, for check and for every command that refuses the document.
TEST_F(CliCheckWarnings, AFailedLoadNotesWhereTheOpenElementBegan) {
  const std::string Cut =
      Write("cut.xml", "<?xml version=\"1.0\"?>\n<config>\n  <db host=\"x\">\n    <t>text</t>\n");
  const std::string Failure =
      Cut +
      ":3:3: ecNotValid: the root element \"<config>\", opened on line 2, is never closed: "
      "there is no \"</config>\" after it (the document may be cut off), so the document "
      "after its opening tag is left over\n";
  const std::string Note = Cut + ":2:1: note: the root element \"<config>\" is opened here\n";
  const RunResult Check = Run({"check", "--show-source", Cut});
  EXPECT_EQ(Check.Exit, 1);
  EXPECT_EQ(Check.Out, Failure + " 3 |   <db host=\"x\">\n   |   ^\n" + Note + " 2 | <config>\n   | ^\n");
  const RunResult Get = Run({"get", Cut, "t", "--text"});
  EXPECT_EQ(Get.Exit, 1);
  EXPECT_EQ(Get.Err, Failure + Note);
  EXPECT_NE(Run({"check", "--format", "json", Cut}).Out.find("\"notes\":[{\"column\":1,\"line\":2,\"text\":"),
            std::string::npos);
}

// A comment on the declaration's line, as every D-Bus policy file has: read with the full prolog.
TEST_F(CliCheckWarnings, TheFullPrologIsReadWhenAccepted) {
  const std::string Policy =
      Write("policy.conf", "<?xml version=\"1.0\"?> <!--*-nxml-*-->\n<!DOCTYPE busconfig>\n<busconfig/>\n");
  EXPECT_EQ(Run({"check", Policy}).Exit, 1);
  const RunResult R = Run({"check", "--accept-full-prolog", Policy});
  EXPECT_EQ(R.Exit, 0) << R.Out;
  EXPECT_EQ(R.Out, Policy + ": ok\n");
  EXPECT_EQ(Run({"tree", "--accept-full-prolog", Policy}).Out, "ttShorted busconfig\n");
}

}  // namespace
