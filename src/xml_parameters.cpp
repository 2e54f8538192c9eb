#include "linexml/xml_parameters.h"

#include <memory>
#include <ostream>
#include <stdexcept>

#include "detail/limits.h"
#include "detail/string_step.h"
#include "detail/tag_tokens.h"
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
                                    ParseNotes* Notes) {
  // Everything is parsed into locals and applied at the end, where nothing can fail any more: a
  // failed allocation leaves the record and S as they were.
  std::string_view Rest = S;
  TXMLErrorCode Status = ecOk;
  const bool Declared = Notes == nullptr || !Notes->optional_declaration || Rest.starts_with("<?xml ") ||
                        Rest.starts_with("<? xml ");
  if (Notes != nullptr) Notes->declared = Declared;
  // The declaration runs through the first "?>"; without one, all of the text is taken for it
  // (so nothing is parsed twice) and it is not a declaration.
  std::string_view H;
  const std::size_t End = Rest.find("?>");
  if (!Declared) {
    // No declaration, and none is needed: the defaults stay, and nothing is consumed.
  } else if (End == std::string_view::npos) {
    H = Rest;
    Status = ecInvalidFileFormat;
  } else {
    H = Rest.substr(0, End + 2);
  }
  Rest.remove_prefix(H.size());

  if (H.starts_with("<?xml "))
    H.remove_prefix(6);
  else if (H.starts_with("<? xml "))
    H.remove_prefix(7);
  else if (Declared)
    Status = ecInvalidFileFormat;  // parsing goes on: the items are still stored

  struct Keyword {
    std::string_view prefix;
    std::string* target;
    std::string value;
    bool seen;
  };
  Keyword Keywords[] = {{"version=", &version_, {}, false},
                        {"encoding=", &encoding_, {}, false},
                        {"language=", &language_, {}, false},
                        {"standalone=", &standalone_, {}, false}};
  TList<TXMLAttribute> Others;
  const std::uint32_t MaxOthers = detail::CurrentLimits().max_count;

  if (Declared)
    detail::ForEachToken(H, [&](std::string_view Piece) {
      bool Matched = false;
      for (Keyword& K : Keywords) {
        if (!Piece.starts_with(K.prefix)) continue;
        Matched = true;
        if (K.seen) {
          if (Status != ecNotValid && Notes != nullptr)
            Notes->repeated = K.prefix.substr(0, K.prefix.size() - 1);
          Status = ecNotValid;  // a repeated keyword keeps its first value
        } else {
          K.seen = true;
          K.value.assign(detail::CutAttributeValue(Piece.substr(K.prefix.size()), true));
        }
        break;
      }
      if (!Matched && Piece != "?>" && Piece != ">") {
        if (static_cast<std::uint32_t>(Others.Count()) >= MaxOthers)
          throw std::length_error("more than " + std::to_string(MaxOthers) + " declaration attributes");
        auto Attr = std::make_unique<TXMLAttribute>();
        detail::ParseAttributeToken(*Attr, Piece);
        Others.Add(Attr.release());  // deleted by Add when the list cannot take it
      }
    });

  // After a sound declaration: one style-sheet instruction, which is dropped, or one document-type
  // line, parsed into a stand-in.
  TXMLDocType DocType;
  bool HasDocType = false;
  if (WholeProlog && Status == ecOk) {
    if (Rest.starts_with("<?")) {
      SkipStyleSheet(Rest);
    } else if (Rest.starts_with("<!")) {
      DocType.Parse(Rest);
      HasDocType = true;
    }
  }

  // Nothing below can fail. The other attributes replaced go to the caller, which frees them once
  // it is done with S (S may be one of their strings).
  for (Keyword& K : Keywords)
    if (K.seen) K.target->swap(K.value);
  other_attrs_.Swap(Others);
  Replaced.Swap(Others);
  if (HasDocType) doc_type_->definition_.swap(DocType.definition_);
  S = Rest;
  return Status;
}

TXMLErrorCode TXMLParameters::SkipStyleSheet(std::string_view& S) {
  const std::size_t End = S.find("?>");
  if (End != std::string_view::npos) S.remove_prefix(End + 2);
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
