#pragma once

// What every fuzz target checks besides "no crash": the invariants of a parsed tree, and a check
// macro that stops the run (libFuzzer then keeps the input) with a message.

#include <linexml/linexml.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tree_faults.h"

#define FUZZ_CHECK(Cond, Message)                                                        \
  do {                                                                                   \
    if (!(Cond)) {                                                                       \
      std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", __FILE__, __LINE__, #Cond, \
                   std::string(Message).c_str());                                        \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace fuzz {

// True when Text holds a byte that a terminal may act on (a control byte, or 127): no message or
// warning may carry one of a document's raw.
inline bool HasControlByte(const std::string& Text) {
  for (const char C : Text)
    if (static_cast<unsigned char>(C) < 32 || C == 127) return true;
  return false;
}

// Stops the run when the tree below Root breaks an invariant (see TreeFaults).
inline void CheckTree(const linexml::TXMLNode& Root) {
  const std::string Fault = TreeFaults(Root);
  FUZZ_CHECK(Fault.empty(), Fault);
}

// A text run as a load gives it back from a line of its own: one space, then the run with bytes
// 0..32 trimmed at both ends and every run of spaces reduced to one (empty: the run is dropped).
inline std::string Reloaded(const std::string& Run) {
  const std::string Trimmed = linexml::TXMLParser::TrimSpaces(Run);
  return Trimmed.empty() ? std::string() : " " + Trimmed;
}

// Stops the run unless B is A saved and loaded again under the text rule of a save: the same
// elements, names, levels and attributes, every text run of A as Reloaded gives it, and A's runs
// that Reloaded empties gone.
inline void CheckSameTree(const linexml::TXMLNode& A, const linexml::TXMLNode& B) {
  std::vector<std::pair<const linexml::TXMLNode*, const linexml::TXMLNode*>> Stack{{&A, &B}};
  while (!Stack.empty()) {
    const auto [X, Y] = Stack.back();
    Stack.pop_back();
    FUZZ_CHECK(X->TagType() == Y->TagType(), X->TagName() + " kind");
    FUZZ_CHECK(X->TagName() == Y->TagName(), X->TagName() + " vs " + Y->TagName());
    FUZZ_CHECK(X->Level() == Y->Level(), X->TagName() + " level");
    if (X->TagType() == linexml::ttCDATA)
      FUZZ_CHECK(Reloaded(X->TextData()) == Y->TextData(),
                 "[" + X->TextData() + "] vs [" + Y->TextData() + "]");
    FUZZ_CHECK(X->Attributes().Count() == Y->Attributes().Count(), X->TagName() + " attribute count");
    for (std::int32_t I = 0; I < X->Attributes().Count(); ++I) {
      FUZZ_CHECK(X->Attributes()[I]->Name == Y->Attributes()[I]->Name, X->Attributes()[I]->Name);
      FUZZ_CHECK(X->Attributes()[I]->Value == Y->Attributes()[I]->Value, X->Attributes()[I]->Value);
    }
    std::vector<const linexml::TXMLNode*> Kept;
    for (const linexml::TXMLNode* K : X->Children())
      if (K->TagType() != linexml::ttCDATA || !Reloaded(K->TextData()).empty()) Kept.push_back(K);
    FUZZ_CHECK(static_cast<std::int32_t>(Kept.size()) == Y->Children().Count(),
               X->TagName() + " child count");
    for (std::size_t I = 0; I < Kept.size(); ++I)
      Stack.push_back({Kept[I], Y->Children()[static_cast<std::int32_t>(I)]});
  }
}

// Stops the run unless B's prolog is A's loaded again: the declaration's values, the other
// attributes, and the document-type line (with its runs of spaces collapsed when CollapsedDocType:
// a comment cut out of that line can leave two spaces, which a reload collapses).
inline void CheckSameProlog(const linexml::TXMLParameters& A, const linexml::TXMLParameters& B,
                            bool CollapsedDocType) {
  FUZZ_CHECK(A.XMLVersion() == B.XMLVersion() && A.XMLEncoding() == B.XMLEncoding() &&
                 A.XMLLanguage() == B.XMLLanguage() && A.XMLStandalone() == B.XMLStandalone(),
             "declaration values");
  const std::string& DocType = A.XMLDocType()->DocTypeDefinition();
  FUZZ_CHECK((CollapsedDocType ? linexml::TXMLParser::TrimSpaces(DocType) : DocType) ==
                 B.XMLDocType()->DocTypeDefinition(),
             "document type");
  FUZZ_CHECK(A.XMLOtherAttrs().Count() == B.XMLOtherAttrs().Count(), "other attribute count");
  for (std::int32_t I = 0; I < A.XMLOtherAttrs().Count(); ++I)
    FUZZ_CHECK(A.XMLOtherAttrs()[I]->Name == B.XMLOtherAttrs()[I]->Name &&
                   A.XMLOtherAttrs()[I]->Value == B.XMLOtherAttrs()[I]->Value,
               A.XMLOtherAttrs()[I]->Name);
}

// Every node below and including Root, parents before their children.
inline std::vector<linexml::TXMLNode*> AllNodes(linexml::TXMLNode* Root) {
  std::vector<linexml::TXMLNode*> Out, Stack{Root};
  while (!Stack.empty()) {
    linexml::TXMLNode* N = Stack.back();
    Stack.pop_back();
    Out.push_back(N);
    for (linexml::TXMLNode* K : N->Children()) Stack.push_back(K);
  }
  return Out;
}

inline bool EndsWith(const std::string& S, const std::string& Tail) {
  return S.size() >= Tail.size() && S.compare(S.size() - Tail.size(), Tail.size(), Tail) == 0;
}

}  // namespace fuzz
