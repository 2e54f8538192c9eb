#pragma once

// The invariants of a tree that one parse built from new nodes, shared by the fuzz targets and the
// unit tests.

#include <linexml/linexml.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// Empty when every node below Root knows its place: its parent is the node whose list holds it,
// at the position it gives. This holds in every state a tree can reach, edits and parse steps
// again included. Otherwise what is wrong, and where.
inline std::string LinkFaults(const linexml::TXMLNode& Root) {
  std::vector<const linexml::TXMLNode*> Stack{&Root};
  while (!Stack.empty()) {
    const linexml::TXMLNode& N = *Stack.back();
    Stack.pop_back();
    for (std::int32_t I = 0; I < N.Children().Count(); ++I) {
      const linexml::TXMLNode* K = N.Children()[I];
      if (K->Parent() != &N || K->IndexInParent() != I)
        return "node [" + K->TagName() + K->TextData() + "]: its parent link or position is wrong";
      if (K->PreviousSibling() != (I > 0 ? N.Children()[I - 1] : nullptr) ||
          K->NextSibling() != (I + 1 < N.Children().Count() ? N.Children()[I + 1] : nullptr))
        return "node [" + K->TagName() + K->TextData() + "]: its siblings are wrong";
      Stack.push_back(K);
    }
  }
  return {};
}

// Empty when every node below Root holds its links (LinkFaults) and: a child's level is its parent's plus
// one; a text node has no name, children or attributes; an element has no text; a self-closing element has no
// children; the child count agrees with the list. Otherwise what is wrong, and where.
inline std::string TreeFaults(const linexml::TXMLNode& Root) {
  using linexml::ttCDATA;
  if (std::string Links = LinkFaults(Root); !Links.empty()) return Links;
  std::vector<const linexml::TXMLNode*> Stack{&Root};
  while (!Stack.empty()) {
    const linexml::TXMLNode& N = *Stack.back();
    Stack.pop_back();
    // Built only for a fault: this runs over every node of large trees.
    auto Where = [&N] { return "node [" + N.TagName() + N.TextData() + "]: "; };
    if (N.GetNumberOfChildren() != N.Children().Count())
      return Where() + "the child count disagrees with the list";
    if (N.TagType() == ttCDATA &&
        (N.GetNumberOfChildren() > 0 || N.Attributes().Count() > 0 || !N.TagName().empty()))
      return Where() + "a text node with children, attributes or a name";
    if (N.TagType() != ttCDATA && !N.TextData().empty()) return Where() + "an element with text";
    if (N.TagType() == linexml::ttShorted && N.GetNumberOfChildren() > 0)
      return Where() + "a self-closing element with children";
    for (const linexml::TXMLNode* K : N.Children()) {
      if (K->Level() != N.Level() + 1) return Where() + "a child not one level below";
      Stack.push_back(K);
    }
  }
  return {};
}

}  // namespace fuzz
