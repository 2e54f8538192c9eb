#include "linexml/xml_parser.h"

#include <new>
#include <ostream>
#include <stdexcept>

#include "detail/arena.h"
#include "detail/atomic_file.h"
#include "detail/doc_text.h"
#include "detail/path.h"
#include "detail/read_file.h"
#include "detail/tree_builder.h"
#include "detail/writable.h"
#include "detail/writer.h"

namespace linexml {

TXMLParser::TXMLParser()
    : root_(std::make_unique<TXMLNode>()), parameters_(std::make_unique<TXMLParameters>()) {}

TXMLParser::~TXMLParser() = default;

namespace {

// Runs a load. Running out of memory, or passing the limits of a count (std::length_error, also
// from the standard containers), ends it with ecOutOfMemory after Clean.
template <class Load, class Clean>
TXMLErrorCode UnlessOutOfMemory(Load&& Run, Clean&& OnFailure) {
  try {
    return Run();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  OnFailure();
  return ecOutOfMemory;
}

}  // namespace

void TXMLParser::setFileName(const std::string& Value) {
  if (Value.empty()) {
    error_code_ = ecInvalidFileName;
    error_line_ = 0;
    return;
  }
  error_code_ = UnlessOutOfMemory(
      [&] {
        file_name_ = Value;
        return ParseFile();
      },
      [this] {
        // Not even the name could be stored. The earlier name must not stay beside an emptied
        // document, where a SaveFile(FileName()) would write that over the earlier file.
        file_name_.clear();
        ClearDocument();
      });
}

TXMLErrorCode TXMLParser::ParseFile() {
  return UnlessOutOfMemory(
      [this] {
        detail::PageBuffer Bytes;
        std::size_t Size = 0;
        // One byte is left free in front: the document text is built over the file's bytes.
        if (file_name_.empty() || !detail::ReadWholeFile(file_name_, Bytes, Size, 1)) {
          error_line_ = 0;
          return ecNoFile;
        }
        ResetDocument();
        detail::DocText Doc(std::move(Bytes), Size);
        return Load(Doc);
      },
      [this] { ClearDocument(); });
}

TXMLErrorCode TXMLParser::LoadFromText(std::string_view Source) {
  error_code_ = UnlessOutOfMemory(
      [&] {
        // The text is copied before the old document goes: Source may be a view into it.
        detail::DocText Doc(Source);
        ResetDocument();
        return Load(Doc);
      },
      [this] { ClearDocument(); });
  return error_code_;
}

void TXMLParser::ResetDocument() noexcept {
  root_->Reset();  // deletes the nodes added since the load; the arena destroys its own next
  arena_.reset();
  parameters_->Reset();
}

void TXMLParser::New(const std::string& RootName) {
  if (std::string Why = detail::WhyNotName(RootName); !Why.empty())
    throw std::invalid_argument("New: " + Why);
  auto Name = std::make_unique<std::string>(RootName);  // all that can fail
  ClearDocument();
  error_code_ = ecOk;
  root_->SetName(Name.release(), true);
  root_->SetKind(ttShorted);
}

std::optional<TXMLUnwritable> TXMLParser::FirstUnwritable() const {
  return detail::FindUnwritable(*parameters_, *root_);
}

TXMLNode* TXMLParser::Select(std::string_view Path) const {
  const std::vector<TXMLNode*> All = SelectAll(Path);
  return All.empty() ? nullptr : All.front();
}

std::vector<TXMLNode*> TXMLParser::SelectAll(std::string_view Path) const {
  return detail::Path(Path).Run(*root_, true);
}

void TXMLParser::ClearDocument() noexcept {
  ResetDocument();
  error_line_ = 0;
}

TXMLErrorCode TXMLParser::Load(detail::DocText& Doc) {
  error_line_ = 0;
  const std::string_view Text = Doc.Text();
  std::string_view Rest = Text;
  TList<TXMLAttribute> Replaced;
  TXMLErrorCode Status = parameters_->Parse(Rest, true, Replaced);
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
