#pragma once

// What every fuzz target checks besides "no crash": the invariants of a parsed tree, and a check
// macro that stops the run (libFuzzer then keeps the input) with a message.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "linexml.h"

#define FUZZ_CHECK(Cond, Message)                                                       \
  do {                                                                                   \
    if (!(Cond)) {                                                                       \
      std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", __FILE__, __LINE__, #Cond, \
                   std::string(Message).c_str());                                        \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace fuzz {

// Every node below Root: a child's level is its parent's plus one; a text node has no name,
// children or attributes; an element has no text; a self-closing element has no children.
inline void CheckTree(const linexml::TXMLNode& Root) {
  std::vector<const linexml::TXMLNode*> Stack{&Root};
  while (!Stack.empty()) {
    const linexml::TXMLNode* N = Stack.back();
    Stack.pop_back();
    FUZZ_CHECK(N->GetNumberOfChildren() == N->Children().Count(), "child count");
    if (N->TagType() == linexml::ttCDATA) {
      FUZZ_CHECK(N->TagName().empty() && N->Children().Count() == 0 && N->Attributes().Count() == 0,
                 "text node with element parts");
    } else {
      FUZZ_CHECK(N->TextData().empty(), "element with text");
    }
    if (N->TagType() == linexml::ttShorted) FUZZ_CHECK(N->Children().Count() == 0, "self-closing parent");
    for (const linexml::TXMLNode* K : N->Children()) {
      FUZZ_CHECK(K->Level() == N->Level() + 1, "child level");
      Stack.push_back(K);
    }
  }
}

inline bool EndsWith(const std::string& S, const std::string& Tail) {
  return S.size() >= Tail.size() && S.compare(S.size() - Tail.size(), Tail.size(), Tail) == 0;
}

}  // namespace fuzz
