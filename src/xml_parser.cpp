#include "linexml/xml_parser.h"

#include <ostream>

#include "detail/arena.h"
#include "detail/atomic_file.h"
#include "detail/doc_text.h"
#include "detail/read_file.h"
#include "detail/tree_builder.h"
#include "detail/writer.h"

namespace linexml {

TXMLParser::TXMLParser()
    : root_(std::make_unique<TXMLNode>()), parameters_(std::make_unique<TXMLParameters>()) {}

TXMLParser::~TXMLParser() = default;

void TXMLParser::setFileName(const std::string& Value) {
  if (Value.empty()) {
    error_code_ = ecInvalidFileName;
    error_line_ = 0;
    return;
  }
  file_name_ = Value;
  error_code_ = ParseFile();
}

TXMLErrorCode TXMLParser::ParseFile() {
  detail::PageBuffer Bytes;
  std::size_t Size = 0;
  // One byte is left free in front: the document text is built over the file's bytes.
  if (file_name_.empty() || !detail::ReadWholeFile(file_name_, Bytes, Size, 1)) {
    error_line_ = 0;
    return ecNoFile;
  }
  ResetDocument();
  return Load(detail::DocText(std::move(Bytes), Size));
}

TXMLErrorCode TXMLParser::LoadFromText(std::string_view Source) {
  ResetDocument();
  error_code_ = Load(detail::DocText(Source));
  return error_code_;
}

void TXMLParser::ResetDocument() {
  root_->Reset();  // drops the root's lists first: their entries live in the arena
  arena_.reset();
  parameters_->Reset();
}

TXMLErrorCode TXMLParser::Load(detail::DocText Doc) {
  error_line_ = 0;
  const std::string_view Text = Doc.Text();
  std::string_view Rest = Text;
  TXMLErrorCode Status = parameters_->Parse(Rest);
  if (Status != ecOk) {
    error_line_ = Doc.LineAt(0);
    return Status;
  }

  std::size_t Pos = Text.size() - Rest.size();
  arena_ = std::make_unique<detail::Arena>();
  detail::TreeBuilder Builder(Text, arena_.get(), Doc.CloseTagStarts());
  Builder.ReleaseConsumedText(&Doc);
  Status = Builder.ParseNode(*root_, 0, Pos, Text.size());
  if (Status != ecOk) {
    error_line_ = Doc.LineAt(Builder.FailPos());
    return Status;
  }
  if (Pos < Text.size()) {
    error_line_ = Doc.LineAt(Pos);
    return ecNotValid;  // text after the root element
  }
  return Validate();
}

std::string TXMLParser::TrimSpaces(const std::string& S) {
  const std::string_view Line = detail::TrimLine(S);
  std::string Out(Line.size(), '\0');
  Out.resize(static_cast<std::size_t>(detail::CopyCollapsed(Out.data(), Line) - Out.data()));
  return Out;
}

TXMLErrorCode TXMLParser::Validate() {
  return ecOk;
}

TXMLNode* TXMLParser::FindTagByName(const std::string& Name) const {
  if (root_->TagName() == Name) return root_.get();
  return root_->FindTagByName(Name);
}

void TXMLParser::SaveFile(const std::string& AFileName) {
  file_name_ = AFileName;
  detail::AtomicFile File(AFileName);
  Write(File);
  File.Commit();
}

void TXMLParser::Write(detail::Sink& Out) const {
  detail::WriteTo(Out, [this](detail::Writer& W) { detail::WriteDocument(W, *parameters_, *root_); });
}

void TXMLParser::SaveToStream(std::ostream& F) const {
  detail::StreamSink Out(F);
  Write(Out);
}

std::string TXMLParser::SaveToText() const {
  std::string Text;
  detail::StringSink Out(Text);
  Write(Out);
  return Text;
}

}  // namespace linexml
