// linexml get and linexml tree: commands that only read a document.
#include <algorithm>
#include <iostream>
#include <vector>

#include "commands.h"
#include "document.h"
#include "output.h"

namespace linexml::cli {

int RunGet(const GetOptions& O) {
  TXMLParser P;
  if (!LoadForCommand(P, O.File)) return kExitFailed;
  const TXMLNode* Node = P.FindTagByName(O.Tag);
  if (Node == nullptr) return Fail(ShownName(O.File) + ": no element named " + Quote(O.Tag));
  if (!O.Attribute) {
    SaveToStdout(*Node);
    return kExitOk;
  }
  // GetAttributeValue answers "undefined" for a missing attribute, which is also a value an
  // attribute can really hold; the list tells the two apart.
  for (const TXMLAttribute* A : Node->Attributes()) {
    if (A->Name == *O.Attribute) {
      std::cout << A->Value << '\n';
      FlushStdout();
      return kExitOk;
    }
  }
  return Fail(ShownName(O.File) + ": element " + Quote(O.Tag) + " has no attribute " +
              Quote(*O.Attribute));
}

int RunTree(const TreeOptions& O) {
  TXMLParser P;
  if (!LoadForCommand(P, O.File, O.Force)) return kExitFailed;
  // Depth-first, in document order: the stack holds the nodes still to print, the next one on top.
  std::vector<const TXMLNode*> Stack{P.XMLRoot()};
  std::string Line;
  while (!Stack.empty()) {
    const TXMLNode* Node = Stack.back();
    Stack.pop_back();
    Line.assign(2 * static_cast<std::size_t>(std::max(Node->Level(), 0)), ' ');
    Line += TagTypeName(Node->TagType());
    if (Node->TagType() == ttCDATA) {
      Line += ' ';
      Line += Quote(Node->TextData());
    } else {
      Line += ' ';
      Line += Node->TagName();
      for (const TXMLAttribute* A : Node->Attributes()) {
        Line += ' ';
        Line += A->Name;
        Line += '=';
        Line += Quote(A->Value);
      }
    }
    Line += '\n';
    std::cout << Line;
    const auto& Children = Node->Children();
    for (std::int32_t I = Children.Count(); I-- > 0;) Stack.push_back(Children[I]);
  }
  FlushStdout();
  return kExitOk;
}

}  // namespace linexml::cli
