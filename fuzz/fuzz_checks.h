#pragma once

// What every fuzz target checks besides "no crash": the invariants of a parsed tree, and a check
// macro that stops the run (libFuzzer then keeps the input) with a message.

#include <linexml/linexml.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

// Stops the run when the tree below Root breaks an invariant (see TreeFaults).
inline void CheckTree(const linexml::TXMLNode& Root) {
  const std::string Fault = TreeFaults(Root);
  FUZZ_CHECK(Fault.empty(), Fault);
}

inline bool EndsWith(const std::string& S, const std::string& Tail) {
  return S.size() >= Tail.size() && S.compare(S.size() - Tail.size(), Tail.size(), Tail) == 0;
}

}  // namespace fuzz
