#include "prolog.h"

#include <memory>
#include <stdexcept>

#include "bytes.h"
#include "limits.h"
#include "list_access.h"
#include "tag_tokens.h"

namespace linexml::detail {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// One token of the declaration: a keyword's value, or another attribute.
void ReadDeclarationToken(std::string_view Piece, DeclarationDraft& Out, TXMLErrorCode& Status,
                          std::uint32_t MaxOthers) {
  for (std::size_t K = 0; K < DeclarationDraft::kKeywords.size(); ++K) {
    const std::string_view Prefix = DeclarationDraft::kKeywords[K];
    if (!Piece.starts_with(Prefix)) continue;
    if (Out.seen[K]) {
      if (Status != ecNotValid) Out.repeated = Prefix.substr(0, Prefix.size() - 1);
      Status = ecNotValid;  // a repeated keyword keeps its first value
    } else {
      Out.seen[K] = true;
      Out.values[K].assign(CutAttributeValue(Piece.substr(Prefix.size()), true));
    }
    return;
  }
  if (Piece == "?>" || Piece == ">") return;
  if (static_cast<std::uint32_t>(Out.others.Count()) >= MaxOthers)
    throw std::length_error("more than " + std::to_string(MaxOthers) + " declaration attributes");
  auto Attr = std::make_unique<TXMLAttribute>();
  ParseAttributeToken(*Attr, Piece);
  ListAccess::Add(Out.others, Attr.release());  // deleted by Add when the list cannot take it
}

void SkipWhiteSpace(std::string_view& S) {
  std::size_t N = 0;
  while (N < S.size() && IsSpaceOrTab(S[N])) ++N;
  S.remove_prefix(N);
}

}  // namespace

bool StartsDeclaration(std::string_view S) {
  return S.starts_with("<?xml ") || S.starts_with("<? xml ");
}

TXMLErrorCode ParseDeclaration(std::string_view& S, bool Declared, DeclarationDraft& Out) {
  if (!Declared) return ecOk;  // the defaults stay, and nothing is consumed
  TXMLErrorCode Status = ecOk;
  // The declaration runs through the first "?>"; without one, all of the text is taken for it (so
  // nothing is parsed twice) and it is not a declaration.
  const std::size_t End = S.find("?>");
  std::string_view H = End == npos ? S : S.substr(0, End + 2);
  if (End == npos) Status = ecInvalidFileFormat;
  const std::size_t Taken = H.size();
  if (H.starts_with("<?xml "))
    H.remove_prefix(6);
  else if (H.starts_with("<? xml "))
    H.remove_prefix(7);
  else
    Status = ecInvalidFileFormat;  // parsing goes on: the items are still stored
  const std::uint32_t MaxOthers = CurrentLimits().max_count;
  ForEachToken(H, [&](std::string_view Piece) { ReadDeclarationToken(Piece, Out, Status, MaxOthers); });
  S.remove_prefix(Taken);
  return Status;
}

void SkipInstruction(std::string_view& S) {
  const std::size_t End = S.find("?>");
  if (End != npos) S.remove_prefix(End + 2);
}

void TakeDocType(std::string_view& S, std::string_view& Definition) {
  const std::size_t Gt = S.find('>');
  if (Gt == npos) {
    Definition = {};
    return;
  }
  Definition = S.substr(0, Gt + 1);
  S.remove_prefix(Gt + 1);
}

void ParseBeforeRoot(std::string_view& S, std::string_view Base, PrologNotes* Notes, BeforeRoot& Out) {
  const bool Full = Notes != nullptr && Notes->full_prolog;
  auto Offset = [&](std::string_view At) { return static_cast<std::size_t>(At.data() - Base.data()); };
  for (;;) {
    if (Full) SkipWhiteSpace(S);
    const std::string_view Before = S;
    if (S.starts_with("<?")) {
      SkipInstruction(S);
      if (S.size() == Before.size()) return;  // no "?>": the root parse starts there
      if (Notes != nullptr && Notes->instructions != nullptr)
        Notes->instructions->emplace_back(Offset(Before), Offset(S));
    } else if (S.starts_with("<!") && !Out.has_doctype) {
      Out.has_doctype = true;
      if (Notes != nullptr) Notes->doctype_at = Offset(S);
      TakeDocType(S, Out.doctype);
      if (S.size() == Before.size()) return;
    } else {
      return;
    }
    if (!Full) return;  // one item only
  }
}

}  // namespace linexml::detail
