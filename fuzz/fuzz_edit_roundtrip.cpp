// Any sequence of checked edits on any loaded document: a refused edit changes nothing, the links
// and invariants of the tree always hold, and a document that then passes the document check
// (FirstUnwritable) is saved into text that loads back with ecOk into the same prolog and tree,
// every text run coming back under the text rule of a save (a checked text exactly, or with one
// space in front; a loaded one also with its ends trimmed, or gone when nothing else is left), and
// the reloaded document passes the check again. The input is a document, then (after its last NUL
// byte) the edit script: per operation an opcode, a node, a number and a string (a length byte,
// then that many bytes, or with its top bit set a word from a small list).

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "edit_script.h"
#include "fuzz_checks.h"

namespace {

using linexml::TXMLNode;
using linexml::TXMLParser;

// Everything a document shows.
std::string Snapshot(const TXMLParser& P) {
  return P.SaveToText() + "\n" + std::to_string(P.XMLRoot()->TagType()) + fuzz::LinkFaults(*P.XMLRoot());
}

void SameDocument(const TXMLParser& First, const TXMLParser& Second) {
  fuzz::CheckSameProlog(*First.XMLParameters(), *Second.XMLParameters(), false);
  fuzz::CheckSameTree(*First.XMLRoot(), *Second.XMLRoot());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Input(reinterpret_cast<const char*>(Data), Size);
  fuzz::Script S = fuzz::ScriptOf(Input);

  TXMLParser P;
  (void)P.LoadFromText(fuzz::DocumentOf(Input));
  for (int Ops = 0; Ops < 48 && !S.Done(); ++Ops) {
    const std::vector<TXMLNode*> Nodes = fuzz::AllNodes(P.XMLRoot());
    const unsigned Op = S.Byte();
    TXMLNode& N = *Nodes[S.Byte() % Nodes.size()];
    const unsigned Arg = S.Byte();
    const std::string Before = Snapshot(P);
    try {
      switch (Op % 13) {
        case 10:
          P.New(S.Text());
          break;
        case 11:
          (void)N.SelectAll(S.Text());
          (void)P.Select(S.Text());
          FUZZ_CHECK(Snapshot(P) == Before, "a query changed the document");
          break;
        case 12:
          (void)P.LoadFromText(P.SaveToText());
          break;
        default:
          fuzz::EditNode(Op % 13, N, Arg, S, Nodes);
          break;
      }
    } catch (const std::invalid_argument&) {
      FUZZ_CHECK(Snapshot(P) == Before, "a refused edit changed the document");
    } catch (const std::out_of_range&) {
      FUZZ_CHECK(Snapshot(P) == Before, "an edit out of range changed the document");
    }
    fuzz::CheckTree(*P.XMLRoot());
  }

  if (P.FirstUnwritable()) return 0;
  const std::string Saved = P.SaveToText();
  TXMLParser Again;
  const linexml::TXMLErrorCode Status = Again.LoadFromText(Saved);
  FUZZ_CHECK(Status == linexml::ecOk,
             std::string(linexml::ErrorCodeName(Status)) + " on reload of\n" + Saved);
  SameDocument(P, Again);
  const auto Fault = Again.FirstUnwritable();
  FUZZ_CHECK(!Fault, "the reloaded document fails the check: " + (Fault ? Fault->Reason : std::string()));
  return 0;
}
