// linexml edit: changes a document by paths, operation after operation, and writes it once: all or
// nothing.
#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands.h"
#include "document.h"
#include "output.h"

namespace linexml::cli {
namespace {

// One operation as given: its option ("--set") and its values, the path first.
struct Operation {
  std::string option;
  std::vector<std::string> values;
};

struct EditOptions {
  std::string File;
  std::optional<std::string> Output;
  bool Force = false;
  ReadOptions Read;
  WriteOptions Write;
  // Each option's values, all occurrences in a row, and their order among the options.
  std::map<std::string, std::vector<std::string>> Values;
  const CLI::App* App = nullptr;
};

// The operations in the order given: the parse order lists each value with its option.
std::vector<Operation> Operations(const EditOptions& O) {
  static const std::map<std::string, std::size_t> kArity = {
      {"--set", 3},  {"--delete", 1}, {"--delete-attr", 2}, {"--add", 2},
      {"--text", 2}, {"--rename", 2}, {"--move", 2}};
  std::vector<Operation> Out;
  std::map<std::string, std::size_t> Taken;
  for (const CLI::Option* Opt : O.App->parse_order()) {
    const std::string Name = Opt->get_name();
    const auto Arity = kArity.find(Name);
    if (Arity == kArity.end()) continue;
    std::size_t& Next = Taken[Name];
    if (Next % Arity->second == 0) Out.push_back({Name, {}});
    Out.back().values.push_back(O.Values.at(Name).at(Next++));
  }
  return Out;
}

// The operation as the user wrote it, for messages: --set "/a/b" "id" "5".
std::string Shown(const Operation& Op) {
  std::string Out = Op.option;
  for (const std::string& V : Op.values) Out += " " + QuoteText(V);
  return Out;
}

// An operation that cannot be done: nothing is written.
class OperationFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Why a checked edit refused: its message without the name of the call in front.
std::string Reason(const std::invalid_argument& E) {
  const std::string Why = E.what();
  const std::size_t Colon = Why.find(": ");
  return Colon == std::string::npos ? Why : Why.substr(Colon + 2);
}

std::vector<TXMLNode*> Matches(const TXMLParser& P, const std::string& Path, const char* Which = "the path") {
  std::vector<TXMLNode*> Found = P.SelectAll(Path);
  if (Found.empty()) throw OperationFailed(std::string(Which) + " matches nothing");
  return Found;
}

// Makes Node's direct text one text run holding Text (none when Text is empty), where its first
// text run stood, else at the end.
void ReplaceText(TXMLNode& Node, const std::string& Text) {
  std::vector<std::int32_t> Runs;
  for (std::int32_t I = 0; I < Node.GetNumberOfChildren(); ++I)
    if (Node.GetChild(I)->TagType() == ttCDATA) Runs.push_back(I);
  const std::int32_t At = Runs.empty() ? Node.GetNumberOfChildren() : Runs.front();
  // The new run goes in first, so that a text that cannot be written changes nothing.
  const std::int32_t Shift = Text.empty() ? 0 : 1;
  if (!Text.empty()) Node.InsertText(At, Text);
  for (auto R = Runs.rbegin(); R != Runs.rend(); ++R) Node.RemoveChild(*R + Shift);
}

void Apply(TXMLParser& P, const Operation& Op) {
  const std::vector<std::string>& V = Op.values;
  try {
    if (Op.option == "--set") {
      for (TXMLNode* N : Matches(P, V[0])) N->SetAttribute(V[1], V[2]);
    } else if (Op.option == "--delete") {
      const std::vector<TXMLNode*> Found = Matches(P, V[0]);
      for (const TXMLNode* N : Found)
        if (N->Parent() == nullptr) throw OperationFailed("the root element cannot be deleted");
      TXMLNode::RemoveNodes(Found);  // all at once: linear, where one at a time shifts a list each
    } else if (Op.option == "--delete-attr") {
      for (TXMLNode* N : Matches(P, V[0])) (void)N->RemoveAttribute(V[1]);
    } else if (Op.option == "--add") {
      const std::string Why = WhyNotStorable(Storable::kName, V[1]);
      if (!Why.empty()) throw OperationFailed(Why);
      for (TXMLNode* N : Matches(P, V[0])) N->AddChild(V[1]);
    } else if (Op.option == "--text") {
      if (!V[1].empty()) {
        const std::string Why = WhyNotStorable(Storable::kText, V[1]);
        if (!Why.empty()) throw OperationFailed(Why);
      }
      for (TXMLNode* N : Matches(P, V[0])) ReplaceText(*N, V[1]);
    } else if (Op.option == "--rename") {
      for (TXMLNode* N : Matches(P, V[0])) N->SetTagName(V[1]);
    } else if (Op.option == "--move") {
      const std::vector<TXMLNode*> To = Matches(P, V[1], "TO_PATH");
      if (To.size() > 1)
        throw OperationFailed("TO_PATH matches " + std::to_string(To.size()) + " elements, not one");
      const std::vector<TXMLNode*> Moved = Matches(P, V[0]);
      for (const TXMLNode* N : Moved)
        if (N->Parent() == nullptr) throw OperationFailed("the root element cannot be moved");
      To[0]->AppendNodes(Moved);  // all at once: linear, where one move at a time shifts a list each
    }
  } catch (const std::invalid_argument& E) {
    throw OperationFailed(Reason(E));
  }
}

int RunEdit(const EditOptions& O) {
  const std::vector<Operation> Ops = Operations(O);
  if (Ops.empty())
    throw UsageError("no operation given (--set, --delete, --delete-attr, --add, --text, --rename, --move)");
  // Every path is read before anything else: a path not in the syntax is a usage error.
  for (const Operation& Op : Ops) {
    const std::size_t Paths = Op.option == "--move" ? 2 : 1;
    for (std::size_t I = 0; I < Paths; ++I) {
      try {
        (void)TXMLParser().SelectAll(Op.values[I]);
      } catch (const std::invalid_argument& E) {
        throw UsageError(Op.option + ": " + E.what());
      }
    }
  }
  // In place by default; standard input has no place, so its result goes to standard output.
  const std::optional<std::string> Target = O.Output          ? O.Output
                                            : IsStdin(O.File) ? std::nullopt
                                                              : std::optional<std::string>(O.File);
  TXMLParser P;
  if (!LoadForCommand(P, O.File, O.Read, false, Target)) return kExitFailed;
  for (const Operation& Op : Ops) {
    try {
      Apply(P, Op);
    } catch (const OperationFailed& E) {
      return Fail(ShownName(O.File) + ": " + Shown(Op) + ": " + E.what() + "; nothing was written");
    }
  }
  const TXMLSaveOptions Layout = SaveOptionsFor(O.Write, P);
  if (!WritableOrForced(P, O.File, O.Force, Layout)) return kExitFailed;
  SaveResult(P, Target, Layout);
  return kExitOk;
}

}  // namespace

Command AddEditCommand(CLI::App& App) {
  auto O = std::make_shared<EditOptions>();
  CLI::App* Cmd = App.add_subcommand("edit", "Change elements and attributes by path, and save the document");
  Cmd->footer(
      "Applies the operations in the order given, each to every element its PATH\n"
      "selects at that moment (the path syntax is the one of 'get': '/catalog/store',\n"
      "'//book[2]', '*', '..'), then writes the document once: in place (through a\n"
      "temporary file that replaces FILE only once complete), to OUT, or, for FILE\n"
      "'-', to standard output. All or nothing: an operation whose PATH selects no\n"
      "element, or whose name, value or text a load would not read back the same\n"
      "(see 'set'), stops the command with exit status 1 and a message naming the\n"
      "operation, and nothing is written. A PATH that is not in the syntax, or no\n"
      "operation at all, is a usage error. A document that does not load cleanly is\n"
      "refused with its 'check' line, and one that would not load back the same\n"
      "after the changes (two text runs side by side, an element inside one of its\n"
      "own name, ...) is not written, naming the node, its line as written and what\n"
      "is wrong; --force writes it anyway. New elements are empty ('<name />') until\n"
      "they get a child. --text makes an element's own text one text run (in place\n"
      "of its first one); an empty TEXT removes it. --move appends each element to\n"
      "the one element that TO_PATH selects.\n"
      "\n"
      "Example (a new attribute on every store, in place):\n"
      "  $ linexml edit catalog.xml --set /catalog/store checked yes\n"
      "\n"
      "One example per operation:\n"
      "  linexml edit catalog.xml --set '//book[1]' stock 3\n"
      "  linexml edit catalog.xml --delete '//shelf[2]'\n"
      "  linexml edit catalog.xml --delete-attr //day closed\n"
      "  linexml edit catalog.xml --add /catalog/store note\n"
      "  linexml edit catalog.xml --text /catalog/store/note 'Closed today.'\n"
      "  linexml edit catalog.xml --rename //contact phone-book\n"
      "  linexml edit catalog.xml --move //address /catalog/departments");
  Cmd->add_option("FILE", O->File, "Document to change (replaced only once the new copy is complete)")
      ->required()
      ->type_name("");
  Cmd->add_option("-o,--output", O->Output, "Write to OUT instead of changing FILE; '-': standard output")
      ->type_name("OUT");
  Cmd->add_flag("--force", O->Force, "Write the document even when it would not load back the same");
  struct OperationOption {
    const char* name;
    int arity;
    const char* values;
    const char* help;
  };
  static const OperationOption kOperations[] = {
      {"--set", 3, "PATH NAME VALUE",
       "Set attribute NAME to VALUE (the first of that name, or a new one at the end)"},
      {"--delete", 1, "PATH", "Delete the elements, with everything in them"},
      {"--delete-attr", 2, "PATH NAME", "Delete attribute NAME (the first of that name) where there is one"},
      {"--add", 2, "PATH NAME", "Append a new empty element NAME to each element"},
      {"--text", 2, "PATH TEXT", "Make each element's own text one text run holding TEXT"},
      {"--rename", 2, "PATH NAME", "Give the elements the tag name NAME"},
      {"--move", 2, "PATH TO_PATH", "Append the elements to the element TO_PATH selects"},
  };
  for (const OperationOption& S : kOperations) {
    Cmd->add_option(S.name, O->Values[S.name], S.help)
        ->type_size(S.arity)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name(S.values);
  }
  O->App = Cmd;
  AddWriteOptions(*Cmd, O->Write);
  AddReadOptions(*Cmd, O->Read);
  return {Cmd, [O] { return RunEdit(*O); }};
}

}  // namespace linexml::cli
