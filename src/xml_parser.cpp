#include "linexml/xml_parser.h"

#include <cerrno>
#include <new>
#include <ostream>
#include <stdexcept>

#include "detail/arena.h"
#include "detail/atomic_file.h"
#include "detail/bytes.h"
#include "detail/diagnosis.h"
#include "detail/doc_text.h"
#include "detail/path.h"
#include "detail/prolog.h"
#include "detail/read_file.h"
#include "detail/source_map.h"
#include "detail/source_writer.h"
#include "detail/tree_builder.h"
#include "detail/writable.h"
#include "detail/writer.h"
#include "linexml/xml_errors.h"

namespace linexml {

TXMLParser::TXMLParser()
    : root_(std::make_unique<TXMLNode>()), parameters_(std::make_unique<TXMLParameters>()) {}

TXMLParser::~TXMLParser() = default;

namespace {

// Made at start-up: these messages are there without any memory.
const std::string kOutOfMemoryMessage = ErrorCodeMeaning(ecOutOfMemory);
const std::string kEmptyNameMessage = "the file name is empty";

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

detail::DocTextOptions TextOptionsOf(const TXMLLoadOptions& Load) {
  detail::DocTextOptions Options;
  Options.skip_bom = Load.AcceptBOM;
  Options.note_comments = Load.CollectWarnings;
  Options.threads = Load.Threads == 1 ? 1u : 2u;
  return Options;
}

}  // namespace

void TXMLParser::setFileName(const std::string& Value) {
  if (Value.empty()) {
    error_code_ = ecInvalidFileName;
    ClearDiagnosis();
    fixed_message_ = &kEmptyNameMessage;
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
        ResetAfterOutOfMemory();
      });
}

TXMLErrorCode TXMLParser::ParseFile() {
  return UnlessOutOfMemory(
      [this] {
        ClearDiagnosis();
        detail::PageBuffer Bytes;
        std::size_t Size = 0;
        // One byte is left free in front: the document text is built over the file's bytes.
        const std::size_t TwoThreadsFrom =
            load_options_.Threads == 1 ? ~std::size_t{0} : detail::kTwoThreadsFrom;
        if (file_name_.empty() || !detail::ReadWholeFile(file_name_, Bytes, Size, 1, TwoThreadsFrom)) {
          const int Reason = file_name_.empty() ? 0 : errno;
          Bytes = {};
          error_message_ = detail::DescribeUnreadable(Reason);
          return ecNoFile;
        }
        ResetDocument();
        // The text is built over the bytes: a load that keeps the source copies them first.
        std::string Source;
        if (load_options_.KeepSource) Source.assign(Bytes.get() + 1, Size);
        auto Doc = std::make_unique<detail::DocText>(std::move(Bytes), Size, TextOptionsOf(load_options_));
        return Load(Doc, load_options_.KeepSource ? &Source : nullptr);
      },
      [this] { ResetAfterOutOfMemory(); });
}

TXMLErrorCode TXMLParser::LoadFromText(std::string_view Source) {
  error_code_ = UnlessOutOfMemory(
      [&] {
        ClearDiagnosis();
        // The text is copied before the old document goes: Source may be a view into it.
        auto Doc = std::make_unique<detail::DocText>(Source, TextOptionsOf(load_options_));
        std::string Kept;
        if (load_options_.KeepSource) Kept.assign(Source);
        ResetDocument();
        return Load(Doc, load_options_.KeepSource ? &Kept : nullptr);
      },
      [this] { ResetAfterOutOfMemory(); });
  return error_code_;
}

const std::string& TXMLParser::ErrorMessage() const {
  return fixed_message_ != nullptr ? *fixed_message_ : error_message_;
}

void TXMLParser::ResetDocument() noexcept {
  source_.reset();  // it refers to the nodes: it goes first
  root_->Reset();   // deletes the nodes added since the load; the arena destroys its own next
  arena_.reset();
  parameters_->Reset();
  had_bom_ = false;
  had_declaration_ = true;
}

void TXMLParser::ClearDiagnosis() noexcept {
  error_line_ = 0;
  error_column_ = 0;
  error_message_.clear();
  fixed_message_ = nullptr;
  error_notes_.clear();
  warnings_.clear();
}

void TXMLParser::New(const std::string& RootName) {
  if (std::string Why = detail::WhyNotName(RootName); !Why.empty()) throw EXMLRefusal("New", Why);
  auto Name = std::make_unique<std::string>(RootName);  // all that can fail
  ResetDocument();
  ClearDiagnosis();
  error_code_ = ecOk;
  root_->SetName(Name.release(), true);
  root_->SetKind(ttShorted);
}

std::optional<TXMLUnwritable> TXMLParser::FirstUnwritable() const {
  return detail::FindUnwritable(*parameters_, *root_);
}

std::optional<TXMLUnwritable> TXMLParser::FirstUnwritable(const TXMLSaveOptions& Options) const {
  detail::ValidateSaveOptions(Options);
  if (Options.PreserveSource && source_ != nullptr)
    return detail::FindUnwritablePreserved(*source_, *parameters_, *root_, Options, load_options_);
  return detail::FindUnwritable(*parameters_, *root_, &Options);
}

std::int64_t TXMLParser::LineWritten(const TXMLNode& Node, const TXMLSaveOptions& Options) const {
  if (Options.PreserveSource && source_ != nullptr) {
    detail::ValidateSaveOptions(Options);
    return detail::LineWrittenPreserved(*source_, *parameters_, *root_, Node, Options);
  }
  return detail::LineWritten(*parameters_, *root_, Node, Options);
}

TXMLNode* TXMLParser::Select(std::string_view Path) const {
  const std::vector<TXMLNode*> All = SelectAll(Path);
  return All.empty() ? nullptr : All.front();
}

std::vector<TXMLNode*> TXMLParser::SelectAll(std::string_view Path) const {
  return detail::Path(Path).Run(*root_, true);
}

void TXMLParser::ResetAfterOutOfMemory() noexcept {
  ResetDocument();
  ClearDiagnosis();
  fixed_message_ = &kOutOfMemoryMessage;
}

TXMLErrorCode TXMLParser::Load(std::unique_ptr<detail::DocText>& DocText, std::string* Source) {
  detail::DocText& Doc = *DocText;
  ClearDiagnosis();
  had_bom_ = Doc.SkippedBom();
  const std::string_view Text = Doc.Text();
  std::string_view Rest = Text;
  TList<TXMLAttribute> Replaced;
  detail::PrologNotes Notes;
  Notes.optional_declaration = load_options_.AcceptNoDeclaration;
  Notes.full_prolog = load_options_.AcceptFullProlog;
  std::vector<std::pair<std::size_t, std::size_t>> Instructions;
  if (load_options_.CollectWarnings) Notes.instructions = &Instructions;
  TXMLErrorCode Status = parameters_->Parse(Rest, true, Replaced, &Notes);
  had_declaration_ = Notes.declared;
  const bool Marked = Text.starts_with(detail::kJoinedBom);
  std::size_t Pos = Text.size() - Rest.size();
  const std::size_t Body = Pos;
  // The place and the cause, found only once a load has failed: a sound load pays nothing for them.
  auto Failed = [&](TXMLErrorCode Code, std::size_t At) {
    const detail::SourcePlace Place = Doc.Locate(At);
    error_line_ = Place.line;
    error_column_ = Place.column;
    const detail::FailureFacts Facts{
        .status = Code,
        .text = Text,
        .pos = At,
        .root = *root_,
        .repeated = Notes.repeated,
        .doctype = parameters_->XMLDocType()->DocTypeDefinition(),
        .marked = Marked,
        .body = Body,
        .body_line = Doc.Locate(Body).line,
        .comment_cut =
            Body > 0 && Pos <= Text.size() && Doc.JoinedAt(Pos) - Doc.JoinedAt(Body - 1) != Pos - Body + 1,
    };
    std::vector<detail::FailureNote> Found;
    error_message_ = detail::DescribeFailure(Facts, Found);
    for (detail::FailureNote& N : Found) {
      const detail::SourcePlace Where = Doc.Locate(N.pos);
      error_notes_.push_back({Where.line, Where.column, std::move(N.text)});
    }
    return Code;
  };
  if (Status != ecOk) {
    // What the declaration left unread is not read as a body: only comments and references count.
    if (load_options_.CollectWarnings) {
      const detail::TreeBuilder::Unclosed None;
      warnings_ = detail::FindWarnings({.doc = Doc,
                                        .body = Text.size(),
                                        .doctype_at = std::string_view::npos,
                                        .doctype = {},
                                        .root = *root_,
                                        .unclosed = None});
    }
    return Failed(Status, 0);
  }

  arena_ = std::make_unique<detail::Arena>();
  detail::TreeBuilder Builder(Text, arena_.get());
  detail::TreeBuilder::Unclosed Unclosed;
  std::unique_ptr<detail::SourceMap> Map;
  std::optional<detail::SourceMap::Recorder> Recorder;
  if (Source != nullptr) {
    Map = std::make_unique<detail::SourceMap>(std::move(*Source));
    Builder.RecordInto(&Recorder.emplace(*Map, Doc));
  }
  // Warnings read the whole text after the parse, and a kept source keeps it: it is then not
  // given back on the way.
  if (load_options_.CollectWarnings) Builder.NoteUnclosed(&Unclosed);
  if (!load_options_.CollectWarnings && Map == nullptr) Builder.ReleaseConsumedText(&Doc);
  if (load_options_.Threads != 1) Builder.TwoThreadsFrom(detail::kTwoThreadsFrom);
  Status = Builder.ParseNode(*root_, 0, Pos, Text.size());
  if (load_options_.CollectWarnings) {
    warnings_ = detail::FindWarnings({.doc = Doc,
                                      .body = Body,
                                      .doctype_at = Notes.doctype_at,
                                      .doctype = parameters_->XMLDocType()->DocTypeDefinition(),
                                      .root = *root_,
                                      .unclosed = Unclosed,
                                      .instructions = &Instructions});
  }
  if (Status != ecOk) return Failed(Status, Builder.FailPos());
  // Text after the root element. When the root is white space (a space left in front of it),
  // the place is that space: what follows it is the root element meant.
  const bool RootIsSpace = root_->TagType() == ttCDATA && detail::IsSpacesAndTabs(root_->TextData());
  if (Pos < Text.size()) return Failed(ecNotValid, RootIsSpace ? Body : Pos);
  Status = Validate();
  if (Status == ecOk && Map != nullptr) {
    const std::string& DocType = parameters_->XMLDocType()->DocTypeDefinition();
    // The declaration runs through the first "?>", as the prolog parse took it.
    const std::size_t Close = had_declaration_ ? Text.find("?>") : std::string_view::npos;
    Map->Finish(std::move(DocText), *parameters_, had_declaration_,
                Close == std::string_view::npos ? 0 : Close + 2,
                DocType.empty() ? std::string_view::npos : Notes.doctype_at);
    source_ = std::move(Map);
  }
  return Status;
}

std::string_view TXMLParser::Source() const {
  return source_ != nullptr ? source_->Source() : std::string_view();
}

std::string_view TXMLParser::SourceLine(std::int64_t Line) const {
  return source_ != nullptr ? source_->LineText(Line) : std::string_view();
}

std::optional<TXMLSourceRange> TXMLParser::SourceRange(const TXMLNode& Node) const {
  if (source_ == nullptr) return std::nullopt;
  const std::uint32_t I = source_->Find(&Node);
  if (I == detail::SourceMap::kNone) return std::nullopt;
  const detail::SourceMap::Node& R = source_->Nodes()[I];
  TXMLSourceRange Range;
  Range.Begin = R.start;
  Range.TagEnd = R.open_end;
  Range.End = R.End();
  // The lines of the first and the last byte (a range is never empty).
  Range.Line = source_->LineOf(R.start);
  Range.TagLastLine = source_->LineOf(R.open_end > R.start ? R.open_end - 1 : R.start);
  Range.LastLine = source_->LineOf(Range.End > R.start ? Range.End - 1 : R.start);
  return Range;
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
  SaveFile(AFileName, TXMLSaveOptions{});
}

void TXMLParser::SaveFile(const std::string& AFileName, const TXMLSaveOptions& Options) {
  detail::ValidateSaveOptions(Options);  // a bad option is refused before anything changes
  file_name_ = AFileName;
  detail::AtomicFile File(AFileName);
  Write(File, Options);
  File.Commit();
}

void TXMLParser::Write(detail::Sink& Out, const TXMLSaveOptions& Options) const {
  detail::ValidateSaveOptions(Options);
  detail::WriteTo(Out, [&](detail::Writer& W) {
    if (Options.PreserveSource && source_ != nullptr)
      detail::WritePreserved(W, *source_, *parameters_, *root_, Options);
    else
      detail::WriteDocument(W, *parameters_, *root_, Options);
  });
}

void TXMLParser::SaveToStream(std::ostream& F) const {
  SaveToStream(F, TXMLSaveOptions{});
}

void TXMLParser::SaveToStream(std::ostream& F, const TXMLSaveOptions& Options) const {
  detail::StreamSink Out(F);
  Write(Out, Options);
}

std::string TXMLParser::SaveToText() const {
  return SaveToText(TXMLSaveOptions{});
}

std::string TXMLParser::SaveToText(const TXMLSaveOptions& Options) const {
  std::string Text;
  detail::StringSink Out(Text);
  Write(Out, Options);
  return Text;
}

}  // namespace linexml
