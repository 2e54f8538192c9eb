#pragma once

// The three ways the tree parse can find where elements end, side by side on one body: matching
// closing tags on its element stack (what a load does), asking the closing-tag index for every
// end, and the stack with a second thread that reads the second half of the text. Every body must
// give the same parse in all three. Uses the engine's headers (src/detail).

#include <linexml/linexml.h>

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include "detail/arena.h"
#include "detail/tree_builder.h"

namespace fuzz {

// Every node in document order with its level, kind, name, text, attributes and the links to its
// parent: trees with the same picture are the same tree.
inline std::string Picture(const linexml::TXMLNode& Root) {
  std::ostringstream Out;
  std::vector<const linexml::TXMLNode*> Stack{&Root};
  while (!Stack.empty()) {
    const linexml::TXMLNode* N = Stack.back();
    Stack.pop_back();
    Out << N->Level() << ' ' << static_cast<int>(N->TagType()) << " <" << N->TagName() << "> ["
        << N->TextData() << "]";
    for (const linexml::TXMLAttribute* A : N->Attributes()) Out << ' ' << A->Name << '=' << A->Value;
    Out << " #" << N->GetNumberOfChildren() << '\n';
    for (std::int32_t I = N->GetNumberOfChildren() - 1; I >= 0; --I) {
      const linexml::TXMLNode* Kid = N->GetChild(I);
      if (Kid->Parent() != N || Kid->IndexInParent() != I) Out << "bad link at child " << I << '\n';
      Stack.push_back(Kid);
    }
  }
  return Out.str();
}

struct ParseOutcome {
  linexml::TXMLErrorCode status = linexml::ecOk;
  std::size_t pos = 0;
  std::size_t fail = 0;
  std::string tree;
  std::vector<std::size_t> unclosed;  // where the opening tags of elements without an end end
  bool used_index = false;
};

// How a parse finds where the elements end.
enum class Ends { kStack, kIndex, kTwoThreads };

// A load's parse of Body as the document's root element. Two threads: the second half is read by
// a thread of its own whatever the size (the unclosed elements are then not noted).
inline ParseOutcome ParseWith(const std::string& Body, Ends How) {
  linexml::detail::Arena Store;
  linexml::TXMLNode Root;  // destroyed before the store that holds its subtree
  linexml::detail::TreeBuilder Builder(Body, &Store);
  linexml::detail::TreeBuilder::Unclosed Unclosed;
  if (How != Ends::kTwoThreads) Builder.NoteUnclosed(&Unclosed);
  if (How == Ends::kIndex) Builder.EndsFromIndex();
  if (How == Ends::kTwoThreads) Builder.TwoThreadsFrom(1);
  ParseOutcome Out;
  Out.status = Builder.ParseNode(Root, 0, Out.pos, Body.size());
  if (Out.status != linexml::ecOk) Out.fail = Builder.FailPos();
  Out.tree = Picture(Root);
  for (const auto& [Node, After] : Unclosed) Out.unclosed.push_back(After);
  std::sort(Out.unclosed.begin(), Out.unclosed.end());
  Out.used_index = Builder.UsedIndex();
  return Out;
}

// How the three parses of Body differ: the first difference found, or "" when they agree.
inline std::string EndsDiffer(const std::string& Body) {
  const ParseOutcome Stack = ParseWith(Body, Ends::kStack);
  const ParseOutcome Index = ParseWith(Body, Ends::kIndex);
  const ParseOutcome Two = ParseWith(Body, Ends::kTwoThreads);
  auto Same = [](const ParseOutcome& A, const ParseOutcome& B) {
    return A.status == B.status && A.pos == B.pos && A.fail == B.fail && A.tree == B.tree;
  };
  auto Show = [](const ParseOutcome& O) {
    return std::string(linexml::ErrorCodeName(O.status)) + " at " + std::to_string(O.pos) + ", failed at " +
           std::to_string(O.fail) + ":\n" + O.tree;
  };
  if (!Same(Stack, Index) || Stack.unclosed != Index.unclosed)
    return "stack and index differ: " + Show(Stack) + "--- index: " + Show(Index);
  if (!Same(Stack, Two)) return "one thread and two differ: " + Show(Stack) + "--- two threads: " + Show(Two);
  return {};
}

}  // namespace fuzz
