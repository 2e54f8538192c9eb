#include "linexml/xml_parameters.h"

#include <memory>
#include <ostream>

#include "detail/prolog.h"
#include "detail/string_step.h"
#include "detail/writer.h"

namespace linexml {

TXMLParameters::TXMLParameters() : doc_type_(std::make_unique<TXMLDocType>()) {
  Reset();
}

TXMLParameters::~TXMLParameters() = default;

void TXMLParameters::Reset() noexcept {
  // Short texts fit in the strings themselves: nothing here allocates.
  version_ = "1.0";
  encoding_ = "UTF-8";
  language_ = "EN";
  standalone_ = "yes";
  other_attrs_.Clear();
  style_sheet_.clear();
  doc_type_->definition_.clear();
}

TXMLErrorCode TXMLParameters::Parse(std::string_view& S, bool WholeProlog, TList<TXMLAttribute>& Replaced,
                                    detail::PrologNotes* Notes) {
  // Everything is parsed into drafts and applied at the end, where nothing can fail any more: a
  // failed allocation leaves the record and S as they were.
  std::string_view Rest = S;
  const bool Declared = Notes == nullptr || !Notes->optional_declaration || detail::StartsDeclaration(Rest);
  if (Notes != nullptr) Notes->declared = Declared;
  detail::DeclarationDraft Declaration;
  const TXMLErrorCode Status = detail::ParseDeclaration(Rest, Declared, Declaration);
  if (Notes != nullptr) Notes->repeated = Declaration.repeated;
  detail::BeforeRoot Items;
  if (WholeProlog && Status == ecOk) detail::ParseBeforeRoot(Rest, S, Notes, Items);
  std::string DocType(Items.doctype);

  // Nothing below can fail. The other attributes replaced go to the caller, which frees them once
  // it is done with S (S may be one of their strings).
  std::string* const Targets[] = {&version_, &encoding_, &language_, &standalone_};
  for (std::size_t K = 0; K < Declaration.values.size(); ++K)
    if (Declaration.seen[K]) Targets[K]->swap(Declaration.values[K]);
  other_attrs_.Swap(Declaration.others);
  Replaced.Swap(Declaration.others);
  if (Items.has_doctype) doc_type_->definition_.swap(DocType);
  S = Rest;
  return Status;
}

TXMLErrorCode TXMLParameters::SkipStyleSheet(std::string_view& S) {
  detail::SkipInstruction(S);
  return ecOk;
}

TXMLErrorCode TXMLParameters::ParseString(std::string& S) {
  TList<TXMLAttribute> Replaced;  // freed last: S may be a string of one of them
  return detail::OnString(S, [&](std::string_view& V) { return Parse(V, true, Replaced); });
}

TXMLErrorCode TXMLParameters::ParseXMLHeader(std::string& S) {
  TList<TXMLAttribute> Replaced;
  return detail::OnString(S, [&](std::string_view& V) { return Parse(V, false, Replaced); });
}

TXMLErrorCode TXMLParameters::ParseStyleSheet(std::string& S) {
  return detail::OnString(S, [this](std::string_view& V) { return SkipStyleSheet(V); });
}

void TXMLParameters::SaveToFile(std::ostream& F) const {
  detail::StreamSink Out(F);
  detail::WriteTo(Out, [this](detail::Writer& W) { detail::WriteProlog(W, *this); });
}

}  // namespace linexml
