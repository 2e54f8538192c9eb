#include "linexml/xml_parameters.h"

#include <ostream>

#include "detail/string_step.h"
#include "detail/tag_tokens.h"
#include "detail/writer.h"

namespace linexml {

TXMLParameters::TXMLParameters() : doc_type_(std::make_unique<TXMLDocType>()) {
  Reset();
}

TXMLParameters::~TXMLParameters() = default;

void TXMLParameters::Reset() {
  version_ = "1.0";
  encoding_ = "UTF-8";
  language_ = "EN";
  standalone_ = "yes";
  other_attrs_.Clear();
  style_sheet_.clear();
  doc_type_->definition_.clear();
}

TXMLErrorCode TXMLParameters::ParseHeader(std::string_view& S) {
  other_attrs_.Clear();
  TXMLErrorCode Status = ecOk;
  // The declaration runs through the first "?>"; without one, all of the text is taken for it
  // (so nothing is parsed twice) and it is not a declaration.
  std::string_view H;
  const std::size_t End = S.find("?>");
  if (End == std::string_view::npos) {
    H = S;
    Status = ecInvalidFileFormat;
  } else {
    H = S.substr(0, End + 2);
  }
  S.remove_prefix(H.size());

  if (H.starts_with("<?xml "))
    H.remove_prefix(6);
  else if (H.starts_with("<? xml "))
    H.remove_prefix(7);
  else
    Status = ecInvalidFileFormat;  // parsing goes on: the items are still stored

  struct Keyword {
    std::string_view prefix;
    std::string* value;
    bool seen;
  };
  Keyword Keywords[] = {{"version=", &version_, false},
                        {"encoding=", &encoding_, false},
                        {"language=", &language_, false},
                        {"standalone=", &standalone_, false}};

  detail::ForEachToken(H, [&](std::string_view Piece) {
    bool Matched = false;
    for (Keyword& K : Keywords) {
      if (!Piece.starts_with(K.prefix)) continue;
      Matched = true;
      if (K.seen) {
        Status = ecNotValid;  // a repeated keyword keeps its first value
      } else {
        K.seen = true;
        K.value->assign(detail::CutAttributeValue(Piece.substr(K.prefix.size()), true));
      }
      break;
    }
    if (!Matched && Piece != "?>" && Piece != ">") {
      auto* Attr = new TXMLAttribute;
      other_attrs_.Add(Attr);
      detail::ParseAttributeToken(*Attr, Piece);
    }
  });
  return Status;
}

TXMLErrorCode TXMLParameters::SkipStyleSheet(std::string_view& S) {
  const std::size_t End = S.find("?>");
  if (End != std::string_view::npos) S.remove_prefix(End + 2);
  return ecOk;
}

TXMLErrorCode TXMLParameters::Parse(std::string_view& S) {
  const TXMLErrorCode Status = ParseHeader(S);
  if (Status != ecOk) return Status;
  if (S.starts_with("<?")) return SkipStyleSheet(S);
  if (S.starts_with("<!")) return doc_type_->Parse(S);
  return ecOk;
}

TXMLErrorCode TXMLParameters::ParseString(std::string& S) {
  return detail::OnString(S, [this](std::string_view& V) { return Parse(V); });
}

TXMLErrorCode TXMLParameters::ParseXMLHeader(std::string& S) {
  return detail::OnString(S, [this](std::string_view& V) { return ParseHeader(V); });
}

TXMLErrorCode TXMLParameters::ParseStyleSheet(std::string& S) {
  return detail::OnString(S, [this](std::string_view& V) { return SkipStyleSheet(V); });
}

void TXMLParameters::SaveToFile(std::ostream& F) const {
  detail::StreamSink Out(F);
  detail::WriteTo(Out, [this](detail::Writer& W) { detail::WriteProlog(W, *this); });
}

}  // namespace linexml
