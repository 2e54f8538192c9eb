// linexml get: prints an attribute's value, an element's text, or an element with its subtree, for
// the element a tag name finds or for every element a path selects.
#include <linexml/xml_functions.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands.h"
#include "document.h"
#include "output.h"
#include "warnings.h"

namespace linexml::cli {
namespace {

struct GetOptions {
  std::string File;
  std::string Tag;
  std::optional<std::string> Attribute;
  ReadOptions Read;
  bool Text = false;
  bool Decode = false;
  const CLI::App* App = nullptr;
  const CLI::Option* TextOption = nullptr;
};

std::string Shown(const GetOptions& O, const std::string& Text) {
  return O.Decode ? DecodeEntities(Text) : Text;
}

// Prints what was asked of one element; false when it has no such attribute.
bool Print(const GetOptions& O, const TXMLNode& Node) {
  if (O.Attribute) {
    // GetAttributeValue answers "undefined" for a missing attribute, which is also a value an
    // attribute can really hold; FindAttribute tells the two apart.
    const TXMLAttribute* A = Node.FindAttribute(*O.Attribute);
    if (A == nullptr) return false;
    std::cout << Shown(O, A->Value) << '\n';
  } else if (O.Text) {
    std::cout << Shown(O, Node.Text()) << '\n';
  } else if (O.Decode) {
    std::ostringstream Layout;
    Node.SaveToFile(Layout);
    std::cout << DecodeEntities(Layout.str());
  } else {
    SaveToStdout(Node);
  }
  return true;
}

// A path whose last step is "@NAME" asks for attribute NAME of the elements the rest selects
// ("//@id": of every element).
void SplitAttributeStep(GetOptions& O) {
  const std::size_t Slash = O.Tag.rfind('/');
  if (Slash == std::string::npos || O.Tag.compare(Slash + 1, 1, "@") != 0) return;
  std::string Name = O.Tag.substr(Slash + 2);
  if (Name.empty() || Name.find_first_of("[]'\"= ") != std::string::npos) return;  // the syntax's to name
  if (O.Attribute) throw UsageError("the path names an attribute: it takes no ATTRIBUTE");
  if (Slash == 0) throw UsageError("the document has no attributes: a step is missing before \"/@\"");
  O.Tag.resize(Slash);
  if (O.Tag.back() == '/') O.Tag += "/*";  // "a//@id": of every element below a
  O.Attribute = std::move(Name);
}

// Loads O.File into P with its warnings, keeping the bytes read in Text (standard input and a FIFO
// are read once); a failure is written as check writes it, with its notes, and gives false.
bool LoadKeepingText(TXMLParser& P, const GetOptions& O, std::string& Text) {
  P.SetLoadOptions(LoadOptionsFor(O.Read, true));
  TXMLErrorCode Status = ecNoFile;
  if (!IsStdin(O.File)) {
    Status = LoadFileKeepingText(P, O.File, Text);
  } else if (ReadStdin(Text)) {
    Status = P.LoadFromText(Text);
  }
  if (Status == ecOk) return true;
  std::cerr << CheckLine(ShownName(O.File), Status, P) << '\n';
  for (const TXMLErrorNote& N : P.ErrorNotes()) std::cerr << NoteLine(ShownName(O.File), N) << '\n';
  return false;
}

// Writes Warnings (those about the reading, found by the load of Text) that lie in what was
// printed: in the start tag of each element whose attribute was printed, else in each element. The
// places of the nodes come from a second load of Text that keeps the source, made only when there
// are such warnings, since keeping the source costs as much memory again as the document.
void WarnAboutPrinted(const GetOptions& O, const std::string& Text,
                      const std::vector<TXMLWarning>& Warnings) {
  TXMLParser P;
  TXMLLoadOptions Load = LoadOptionsFor(O.Read);
  Load.KeepSource = true;
  P.SetLoadOptions(Load);
  if (P.LoadFromText(Text) != ecOk) return;
  WarningScope Scope;
  for (const TXMLNode* Node : ElementsFor(P, O.Tag)) {
    if (!O.Attribute) {
      Scope.Add(P, *Node, WarningScope::Part::kElement);
    } else if (Node->FindAttribute(*O.Attribute) != nullptr) {
      Scope.Add(P, *Node, WarningScope::Part::kStartTag);
    }
  }
  Scope.Print(P, Warnings, ShownName(O.File));
}

int RunGet(GetOptions O) {
  SplitAttributeStep(O);
  if (O.Text && O.Attribute) {
    // --text from the configuration file gives way to an ATTRIBUTE on the command line.
    if (GivenOnCommandLine(*O.App, O.TextOption))
      throw UsageError("--text prints an element's text: it takes no ATTRIBUTE");
    O.Text = false;
  }
  const bool Path = IsPath(O.Tag);
  if (Path) RequirePathSyntax(O.Tag);
  std::string Text;
  bool Printed = false;
  std::vector<TXMLWarning> Reading;
  {
    TXMLParser P;
    if (!LoadKeepingText(P, O, Text)) return kExitFailed;
    const std::vector<TXMLNode*> Matches = ElementsFor(P, O.Tag);
    if (Matches.empty()) return Fail(ShownName(O.File) + ": " + NoElementFor(O.Tag));
    for (const TXMLNode* Node : Matches) Printed = Print(O, *Node) || Printed;
    FlushStdout();
    for (const TXMLWarning& W : P.Warnings())
      if (!WarningConcernsSaveOnly(W.Kind)) Reading.push_back(W);
  }
  // What was printed may not be what an XML reader reads there: say so beside it.
  if (Printed && !Reading.empty()) WarnAboutPrinted(O, Text, Reading);
  if (!Printed)
    return Fail(ShownName(O.File) + ": " +
                (Path ? "no element that " + QuoteText(O.Tag) + " matches has"
                      : "element " + QuoteText(O.Tag) + " has no") +
                " attribute " + QuoteText(*O.Attribute));
  return kExitOk;
}

}  // namespace

Command AddGetCommand(CLI::App& App) {
  auto O = std::make_shared<GetOptions>();
  CLI::App* Cmd = App.add_subcommand(
      "get", "Print an attribute's value, an element's text, or an element with its subtree");
  Cmd->footer(
      "TAG is a tag name or a path. A tag name finds one element: the root element\n"
      "when it has that name; else the last child of the root with that name; else a\n"
      "match deeper down, found by the same rule in the last child whose subtree\n"
      "holds one. So with several matches it is not the first in the file that is\n"
      "printed. A TAG that holds '/', '[', '*' or '.' is a path, and every element it\n"
      "selects is printed, in document order: '/catalog/store[2]' is the second\n"
      "'store' of the root element 'catalog', '//book' every 'book' at any depth,\n"
      "'*' any element, '..' the parent ('catalog/store' starts at the document\n"
      "too). A step may end in tests: '[@id]' (has attribute id), \"[@id='7']\" (id\n"
      "is 7; or [@id=\"7\"]), '[last()]' (the last), one after another. A path\n"
      "that ends in '/@NAME' prints attribute NAME ('//book/@id'). A path that is\n"
      "not in this syntax is a usage error.\n"
      "\n"
      "Printed for each element: the value of ATTRIBUTE (elements without it are\n"
      "passed over), its text with --text (its own text runs joined, without spaces\n"
      "at either end), or else the element with its subtree in the library's layout,\n"
      "indented by its level in the document. --decode turns &lt; &gt; &amp; &quot;\n"
      "&apos; and &#N; &#xH; into what they stand for in what is printed. No matching\n"
      "element, or no match with ATTRIBUTE, is a message on standard error and exit\n"
      "status 1; an attribute whose stored value is the word 'undefined' is printed\n"
      "like any other value. A document that does not load cleanly is refused with\n"
      "its 'check' line. Where linexml reads what is printed differently from an XML\n"
      "reader (in the start tag for ATTRIBUTE, else in the element), the warnings\n"
      "are written to standard error, as 'check' prints them.\n"
      "\n"
      "Example (the last 'day' of the opening hours):\n"
      "  $ linexml get catalog.xml day name\n"
      "  sun\n"
      "\n"
      "More examples:\n"
      "  linexml get catalog.xml '/catalog/store/hours/day[1]' open\n"
      "  linexml get catalog.xml '//book/title' --text\n"
      "  linexml get catalog.xml \"//book[@lang='en'][last()]/@id\"");
  Cmd->add_option("FILE", O->File, "Document to read")->required()->type_name("");
  Cmd->add_option("TAG", O->Tag,
                  "Element to find: a tag name (the root, or a descendant found by name) or a path")
      ->required()
      ->type_name("");
  Cmd->add_option("ATTRIBUTE", O->Attribute, "Attribute whose value to print")->type_name("");
  O->TextOption = Cmd->add_flag("--text", O->Text, "Print each element's text instead of its subtree");
  O->App = Cmd;
  Cmd->add_flag("--decode", O->Decode, "Decode the five predefined entities and character references");
  AddReadOptions(*Cmd, O->Read);
  return {Cmd, [O] { return RunGet(*O); }};
}

}  // namespace linexml::cli
