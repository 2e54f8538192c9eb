// linexml edit: changes a document by paths, operation after operation, and writes it once: all or
// nothing.
#include <linexml/xml_errors.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands.h"
#include "document.h"
#include "output.h"
#include "warnings.h"

namespace linexml::cli {
namespace {

struct OperationKind;

// One operation as given: its kind ("--set") and its values, the paths first.
struct Operation {
  const OperationKind* kind;
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

// An operation that cannot be done: nothing is written.
class OperationFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::vector<TXMLNode*> Matches(const TXMLParser& P, const std::string& Path, const char* Which = "the path") {
  std::vector<TXMLNode*> Found = P.SelectAll(Path);
  if (Found.empty()) throw OperationFailed(std::string(Which) + " matches nothing");
  return Found;
}

void RequireStorableAs(Storable Kind, const std::string& Text) {
  const std::string Why = WhyNotStorable(Kind, Text);
  if (!Why.empty()) throw OperationFailed(Why);
}

// Makes Node's direct text one text run holding Text (none when Text is empty): its first text run
// takes the text where it stands (a save that keeps the file then changes only that run's bytes),
// else a new run goes at the end; the other runs go.
void ReplaceText(TXMLNode& Node, const std::string& Text) {
  std::vector<TXMLNode*> Runs;
  for (TXMLNode* Child : Node.Children())
    if (Child->TagType() == ttCDATA) Runs.push_back(Child);
  auto Gone = Runs.begin();
  if (!Text.empty()) {
    if (Runs.empty()) {
      Node.AddText(Text);
    } else {
      Runs.front()->SetTextData(Text);
      ++Gone;
    }
  }
  TXMLNode::RemoveNodes(std::span<TXMLNode* const>(Gone, Runs.end()));
}

// The operations of edit: one row each, with how many values it takes (the paths first) and what
// it does to the document. The checks that need no document run before the load.
struct OperationKind {
  const char* name;
  std::size_t arity;
  std::size_t paths;  // how many of the values are paths
  const char* values;
  const char* help;
  void (*apply)(TXMLParser& P, const std::vector<std::string>& V);
};

const OperationKind kOperations[] = {
    {"--set", 3, 1, "PATH NAME VALUE",
     "Set attribute NAME to VALUE (the first of that name, or a new one at the end)",
     [](TXMLParser& P, const std::vector<std::string>& V) {
       for (TXMLNode* N : Matches(P, V[0])) N->SetAttribute(V[1], V[2]);
     }},
    {"--delete", 1, 1, "PATH", "Delete the elements, with everything in them",
     [](TXMLParser& P, const std::vector<std::string>& V) {
       const std::vector<TXMLNode*> Found = Matches(P, V[0]);
       for (const TXMLNode* N : Found)
         if (N->Parent() == nullptr) throw OperationFailed("the root element cannot be deleted");
       TXMLNode::RemoveNodes(Found);  // all at once: linear, where one at a time shifts a list each
     }},
    {"--delete-attr", 2, 1, "PATH NAME", "Delete attribute NAME (the first of that name) where there is one",
     [](TXMLParser& P, const std::vector<std::string>& V) {
       for (TXMLNode* N : Matches(P, V[0])) (void)N->RemoveAttribute(V[1]);
     }},
    {"--add", 2, 1, "PATH NAME", "Append a new empty element NAME to each element",
     [](TXMLParser& P, const std::vector<std::string>& V) {
       RequireStorableAs(Storable::kName, V[1]);
       for (TXMLNode* N : Matches(P, V[0])) N->AddChild(V[1]);
     }},
    {"--text", 2, 1, "PATH TEXT", "Make each element's own text one text run holding TEXT",
     [](TXMLParser& P, const std::vector<std::string>& V) {
       if (!V[1].empty()) RequireStorableAs(Storable::kText, V[1]);
       for (TXMLNode* N : Matches(P, V[0])) ReplaceText(*N, V[1]);
     }},
    {"--rename", 2, 1, "PATH NAME", "Give the elements the tag name NAME",
     [](TXMLParser& P, const std::vector<std::string>& V) {
       for (TXMLNode* N : Matches(P, V[0])) N->SetTagName(V[1]);
     }},
    {"--move", 2, 2, "PATH TO_PATH", "Append the elements to the element TO_PATH selects",
     [](TXMLParser& P, const std::vector<std::string>& V) {
       const std::vector<TXMLNode*> To = Matches(P, V[1], "TO_PATH");
       if (To.size() > 1)
         throw OperationFailed("TO_PATH matches " + std::to_string(To.size()) + " elements, not one");
       const std::vector<TXMLNode*> Moved = Matches(P, V[0]);
       for (const TXMLNode* N : Moved)
         if (N->Parent() == nullptr) throw OperationFailed("the root element cannot be moved");
       To[0]->AppendNodes(Moved);  // all at once: linear, where one move at a time shifts a list each
     }},
};

// The operations in the order given: the parse order lists each value with its option.
std::vector<Operation> Operations(const EditOptions& O) {
  std::vector<Operation> Out;
  std::map<std::string, std::size_t> Taken;
  for (const CLI::Option* Opt : O.App->parse_order()) {
    const std::string Name = Opt->get_name();
    const auto* Kind = std::find_if(std::begin(kOperations), std::end(kOperations),
                                    [&](const OperationKind& K) { return Name == K.name; });
    if (Kind == std::end(kOperations)) continue;
    std::size_t& Next = Taken[Name];
    if (Next % Kind->arity == 0) Out.push_back({Kind, {}});
    Out.back().values.push_back(O.Values.at(Name).at(Next++));
  }
  return Out;
}

// The operation as the user wrote it, for messages: --set "/a/b" "id" "5".
std::string Shown(const Operation& Op) {
  std::string Out = Op.kind->name;
  for (const std::string& V : Op.values) Out += " " + QuoteText(V);
  return Out;
}

// Adds to Changed what Op is about to change, before it does: the start tags of the elements whose
// name or attributes it changes, else the whole elements (their content, or all of them).
void NoteChanged(const TXMLParser& P, const Operation& Op, WarningScope& Changed) {
  const std::string_view Name = Op.kind->name;
  const bool TagOnly = Name == "--set" || Name == "--delete-attr" || Name == "--rename";
  for (const TXMLNode* N : P.SelectAll(Op.values[0]))
    Changed.Add(P, *N, TagOnly ? WarningScope::Part::kStartTag : WarningScope::Part::kElement);
}

int RunEdit(const EditOptions& O) {
  const std::vector<Operation> Ops = Operations(O);
  if (Ops.empty())
    throw UsageError("no operation given (--set, --delete, --delete-attr, --add, --text, --rename, --move)");
  // Every path is read before anything else: a path not in the syntax is a usage error.
  for (const Operation& Op : Ops) {
    for (std::size_t I = 0; I < Op.kind->paths; ++I) {
      try {
        RequirePathSyntax(Op.values[I]);
      } catch (const UsageError& E) {
        throw UsageError(std::string(Op.kind->name) + ": " + E.what());
      }
    }
  }
  // In place by default; standard input has no place, so its result goes to standard output.
  const std::optional<std::string> Target = O.Output          ? O.Output
                                            : IsStdin(O.File) ? std::nullopt
                                                              : std::optional<std::string>(O.File);
  return LoadChangeSave({O.File, Target, &O.Read, &O.Write, O.Force, false, true}, [&](TXMLParser& P) {
    WarningScope Changed;
    for (const Operation& Op : Ops) {
      try {
        NoteChanged(P, Op, Changed);
        Op.kind->apply(P, Op.values);
      } catch (const OperationFailed& E) {
        return Fail(ShownName(O.File) + ": " + Shown(Op) + ": " + E.what() + "; nothing was written");
      } catch (const EXMLRefusal& E) {  // a checked edit refused: its reason, without the call's name
        return Fail(ShownName(O.File) + ": " + Shown(Op) + ": " + E.Reason() + "; nothing was written");
      }
    }
    Changed.Print(P, ShownName(O.File));
    return kExitOk;
  });
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
      "The file keeps its own bytes: only what the operations touch is written anew\n"
      "(a value, a tag, a removed element with its lines, a new element on a line of\n"
      "its own indented like its siblings); comments, the declaration, indentation,\n"
      "quotes and line ends stay. --reformat, or any layout option, writes the whole\n"
      "document in the library's layout instead, as 'format' does. The warnings about\n"
      "the reading of what the operations change go to standard error, as 'check'\n"
      "prints them: in the start tags for --set, --delete-attr and --rename, in the\n"
      "whole elements for the others (with --reformat or a layout option, all).\n"
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
  for (const OperationKind& S : kOperations) {
    Cmd->add_option(S.name, O->Values[S.name], S.help)
        ->type_size(static_cast<int>(S.arity))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name(S.values);
  }
  O->App = Cmd;
  AddWriteOptions(*Cmd, O->Write, true);
  AddReadOptions(*Cmd, O->Read);
  return {Cmd, [O] { return RunEdit(*O); }};
}

}  // namespace linexml::cli
