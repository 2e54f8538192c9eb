// Load, save, load the saved text again: never a crash. For a document that loads with ecOk and
// passes the document check (TXMLParser::FirstUnwritable), exactly: the reload gives ecOk, the same
// declaration values, other attributes and document type, the same elements and attributes, and
// every text run under the text rule of a save (ends trimmed, one space in front, an empty run
// gone). For one that lies inside the documented limits of the saved layout (see Inside below),
// whether it passes the check or not: the reload
// gives the same with the text runs in the form the loader gives them; the second save is a fixed
// point of load and save, and equals the first save when the text runs already had their reloaded
// form.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fuzz_checks.h"

namespace {

using linexml::TXMLNode;
using linexml::TXMLParser;

using fuzz::Reloaded;

bool IsKeyword(const std::string& Name) {
  return Name == "version" || Name == "encoding" || Name == "language" || Name == "standalone";
}

bool PlainValue(const std::string& Value) {
  return Value.find(' ') == std::string::npos && Value.find('>') == std::string::npos;
}

// The saved layout writes names and values raw, so some documents cannot come back as they were:
// an attribute value with a space or ">"; a declaration token without "=" named like a keyword
// (saved as one, it repeats that keyword); a text run that trims to nothing (its line is skipped);
// an element holding a normal element of its own name (the first closing tag ends the outer one);
// a root named "!..." or "?..." with no document-type line in front (it is read as the prolog's);
// an unclosed "<!--" (a "-->" made by the layout would close it).
bool Inside(const TXMLParser& P, const std::string& Saved) {
  const linexml::TXMLParameters& Prolog = *P.XMLParameters();
  for (const linexml::TXMLAttribute* A : Prolog.XMLOtherAttrs())
    if (!PlainValue(A->Value) || IsKeyword(A->Name)) return false;
  const TXMLNode& Root = *P.XMLRoot();
  if (!Root.TagName().empty() && (Root.TagName()[0] == '!' || Root.TagName()[0] == '?') &&
      Prolog.XMLDocType()->DocTypeDefinition().empty())
    return false;
  if (Saved.find("<!--") != std::string::npos) return false;

  // Depth-first with the names of the open normal elements counted.
  std::unordered_map<std::string, int> Open;
  struct Item {
    const TXMLNode* node;
    bool leave;
  };
  std::vector<Item> Stack{{&Root, false}};
  while (!Stack.empty()) {
    const Item It = Stack.back();
    Stack.pop_back();
    const TXMLNode& N = *It.node;
    if (It.leave) {
      --Open[N.TagName()];
      continue;
    }
    if (N.TagType() == linexml::ttCDATA) {
      if (TXMLParser::TrimSpaces(N.TextData()).empty()) return false;
      continue;
    }
    for (const linexml::TXMLAttribute* A : N.Attributes())
      if (!PlainValue(A->Value)) return false;
    if (N.TagType() != linexml::ttNormal) continue;
    if (Open[N.TagName()] > 0) return false;
    ++Open[N.TagName()];
    Stack.push_back({&N, true});
    for (const TXMLNode* K : N.Children()) Stack.push_back({K, false});
  }
  return true;
}

// A document that passes the check comes back exactly under the text rule of a save; and it passes
// the check again.
void ExactlyBack(const TXMLParser& First, const TXMLParser& Second, linexml::TXMLErrorCode Status,
                 const std::string& Saved) {
  FUZZ_CHECK(Status == linexml::ecOk,
             std::string(linexml::ErrorCodeName(Status)) + " on reload of\n" + Saved);
  fuzz::CheckSameProlog(*First.XMLParameters(), *Second.XMLParameters(), false);
  fuzz::CheckSameTree(*First.XMLRoot(), *Second.XMLRoot());
  const auto Fault = Second.FirstUnwritable();
  FUZZ_CHECK(!Fault, "the reloaded document fails the check: " + (Fault ? Fault->Reason : std::string()));
}

// True when every text run already has the form a reload gives it.
bool RunsReloaded(const TXMLNode& Root) {
  std::vector<const TXMLNode*> Stack{&Root};
  while (!Stack.empty()) {
    const TXMLNode* N = Stack.back();
    Stack.pop_back();
    if (N->TagType() == linexml::ttCDATA && Reloaded(N->TextData()) != N->TextData()) return false;
    for (const TXMLNode* K : N->Children()) Stack.push_back(K);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Source(reinterpret_cast<const char*>(Data), Size);
  TXMLParser First;
  const linexml::TXMLErrorCode Status = First.LoadFromText(Source);
  const std::string Saved1 = First.SaveToText();
  TXMLParser Second;
  const linexml::TXMLErrorCode Status2 = Second.LoadFromText(Saved1);
  const std::string Saved2 = Second.SaveToText();
  if (Status != linexml::ecOk) return 0;
  if (!First.FirstUnwritable()) ExactlyBack(First, Second, Status2, Saved1);
  if (!Inside(First, Saved1)) return 0;

  FUZZ_CHECK(Status2 == linexml::ecOk,
             std::string(linexml::ErrorCodeName(Status2)) + " on reload of\n" + Saved1);
  fuzz::CheckSameProlog(*First.XMLParameters(), *Second.XMLParameters(), true);
  fuzz::CheckSameTree(*First.XMLRoot(), *Second.XMLRoot());

  // Once the text runs and the document-type line have their reloaded form, saving and loading
  // changes nothing more.
  const std::string& DocType = First.XMLParameters()->XMLDocType()->DocTypeDefinition();
  if (RunsReloaded(*First.XMLRoot()) && TXMLParser::TrimSpaces(DocType) == DocType)
    FUZZ_CHECK(Saved2 == Saved1, "second save differs from the first");
  TXMLParser Third;
  FUZZ_CHECK(Third.LoadFromText(Saved2) == linexml::ecOk, "third load");
  FUZZ_CHECK(Third.SaveToText() == Saved2, "third save differs from the second");
  return 0;
}
