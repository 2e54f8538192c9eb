// The promises of a save that keeps the source, on any document and any sequence of checked edits
// (the script of edit_script.h): a document that loads, saved with no edit, gives back its bytes;
// after edits, a document that the library's layout could save is one that a preserving save can
// save too (the parts it keeps load as they loaded) unless the load read it differently from an XML
// reader, and what a preserving save that is not refused writes loads into the edited
// tree (text runs under the text rule of a save) and, loaded with its source again and saved with
// no edit, gives back the same bytes.

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

// Stops the run unless B is A saved with its source and loaded again: the same elements, names and
// attributes, and every text run the same under the text rule of a save (its ends trimmed, runs of
// spaces collapsed, gone when that leaves nothing).
void CheckSameDocument(const TXMLParser& A, const TXMLParser& B) {
  fuzz::CheckSameProlog(*A.XMLParameters(), *B.XMLParameters(), false);
  std::vector<std::pair<const TXMLNode*, const TXMLNode*>> Stack{{A.XMLRoot(), B.XMLRoot()}};
  while (!Stack.empty()) {
    const auto [X, Y] = Stack.back();
    Stack.pop_back();
    FUZZ_CHECK(X->TagType() == Y->TagType() && X->TagName() == Y->TagName(),
               X->TagName() + " vs " + Y->TagName());
    if (X->TagType() == linexml::ttCDATA)
      FUZZ_CHECK(TXMLParser::TrimSpaces(X->TextData()) == TXMLParser::TrimSpaces(Y->TextData()),
                 "[" + X->TextData() + "] vs [" + Y->TextData() + "]");
    FUZZ_CHECK(X->Attributes().Count() == Y->Attributes().Count(), X->TagName() + " attribute count");
    for (std::int32_t I = 0; I < X->Attributes().Count(); ++I)
      FUZZ_CHECK(X->Attributes()[I]->Name == Y->Attributes()[I]->Name &&
                     X->Attributes()[I]->Value == Y->Attributes()[I]->Value,
                 X->Attributes()[I]->Name);
    // A run that trims to nothing may be gone where a line end now follows it.
    std::int32_t J = 0;
    for (const TXMLNode* K : X->Children()) {
      const TXMLNode* L = Y->GetChild(J);
      if (K->TagType() == linexml::ttCDATA && TXMLParser::TrimSpaces(K->TextData()).empty() &&
          (L == nullptr || L->TagType() != linexml::ttCDATA))
        continue;
      FUZZ_CHECK(L != nullptr, X->TagName() + " has fewer children");
      Stack.push_back({K, L});
      ++J;
    }
    FUZZ_CHECK(J == Y->GetNumberOfChildren(), X->TagName() + " has more children");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Input(reinterpret_cast<const char*>(Data), Size);
  const std::string_view Doc = fuzz::DocumentOf(Input);
  fuzz::Script S = fuzz::ScriptOf(Input);

  linexml::TXMLLoadOptions Keep;
  Keep.KeepSource = true;
  Keep.CollectWarnings = true;
  Keep.AcceptBOM = Size > 0 && (Data[0] & 1) != 0;
  TXMLParser P;
  P.SetLoadOptions(Keep);
  if (P.LoadFromText(Doc) != linexml::ecOk) {
    FUZZ_CHECK(!P.HasSource(), "a failed load kept its source");
    return 0;
  }
  FUZZ_CHECK(P.HasSource() && P.Source() == Doc, "the source is not kept as read");
  // Where the load read the document differently from an XML reader (an element without its
  // closing tag, a value cut at a ">", ...), the bytes kept can read differently next to an edit (a
  // renamed element's closing tag found in such a value, one written for an edit ending an element
  // that the load left open): such a document may be refused where the library's layout is not.
  bool Lossy = false;
  for (const linexml::TXMLWarning& W : P.Warnings())
    Lossy = Lossy || (W.Kind != linexml::wkCommentDropped && W.Kind != linexml::wkReferenceKeptRaw);
  linexml::TXMLSaveOptions Preserve;
  Preserve.PreserveSource = true;
  FUZZ_CHECK(P.SaveToText(Preserve) == Doc, "a save with no edit changed the source");
  FUZZ_CHECK(!P.FirstUnwritable(Preserve), "a document with no edit is refused");

  for (int Ops = 0; Ops < 24 && !S.Done(); ++Ops) {
    const std::vector<TXMLNode*> Nodes = fuzz::AllNodes(P.XMLRoot());
    const unsigned Op = S.Byte();
    TXMLNode& N = *Nodes[S.Byte() % Nodes.size()];
    const unsigned Arg = S.Byte();
    try {
      fuzz::EditNode(Op, N, Arg, S, Nodes);
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
  }
  fuzz::CheckTree(*P.XMLRoot());

  const auto Fault = P.FirstUnwritable(Preserve);
  FUZZ_CHECK(!Fault || Lossy || P.FirstUnwritable(),
             "the library's layout can save the document but a preserving save is refused: " + Fault->Reason +
                 "\n" + P.SaveToText(Preserve));
  if (Fault) return 0;
  const std::string Saved = P.SaveToText(Preserve);
  TXMLParser Again;
  Again.SetLoadOptions(Keep);
  const linexml::TXMLErrorCode Status = Again.LoadFromText(Saved);
  FUZZ_CHECK(Status == linexml::ecOk,
             std::string(linexml::ErrorCodeName(Status)) + " on reload of\n" + Saved);
  CheckSameDocument(P, Again);
  FUZZ_CHECK(Again.SaveToText(Preserve) == Saved, "a second save with no edit changed the text");
  return 0;
}
