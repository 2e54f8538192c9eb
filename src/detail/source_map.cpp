#include "source_map.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "linexml/xml_node.h"
#include "linexml/xml_parameters.h"
#include "tag_tokens.h"

namespace linexml::detail {

SourceMap::SourceMap(std::string Source) : source_(std::move(Source)) {
  BuildLineIndex();
}

SourceMap::Recorder::Recorder(SourceMap& Map, const DocText& Doc)
    : map_(Map), text_(Doc.Text()), trace_(Doc) {}

bool SourceMap::Recorder::Same(std::size_t Offset, std::size_t Pos, std::size_t Size) const {
  const std::string_view Source = map_.source_;
  return Offset <= Source.size() && Size <= Source.size() - Offset &&
         std::memcmp(Source.data() + Offset, text_.data() + Pos, Size) == 0;
}

void SourceMap::Recorder::Opened(const TXMLNode& N, std::size_t Start, std::size_t End, bool Frame) {
  std::vector<Node>& Nodes = map_.nodes_;
  const auto Index = static_cast<std::uint32_t>(Nodes.size());
  SourceMap::Node Record{};
  Record.node = &N;
  Record.parent = open_.empty() ? kNone : open_.back();
  Record.end = Index + 1;
  Record.first_attribute = static_cast<std::uint32_t>(map_.attributes_.size());
  Record.kind = N.TagType();
  Record.start = At(Start);
  // Most tags and runs stand in the source exactly as in the text (no line end, comment or run of
  // spaces inside): every place in them is then their start plus its distance, and only the
  // others are traced through the line records.
  const bool Whole = Same(Record.start, Start, End - Start);
  auto Begin = [&](std::size_t Pos) { return Whole ? Record.start + (Pos - Start) : At(Pos); };
  auto Past = [&](std::size_t Pos) {
    return Whole ? map_.PastCollapsed(Record.start + (Pos - Start)) : After(Pos);
  };
  if (N.TagType() != ttCDATA) {
    const std::size_t NameEnd = Start + 1 + N.TagName().size();
    Record.name_end = Past(NameEnd);
    // The attributes are the tokens of the start tag after the name, read as the load read them:
    // cut at every space, the tag's own end ("/>", ">") passed over.
    if (NameEnd < End && text_[NameEnd] == ' ') {
      const std::string_view Tag = text_.substr(NameEnd + 1, End - NameEnd - 1);
      const TList<TXMLAttribute>& Loaded = N.Attributes();
      std::int32_t Next = 0;
      ForEachToken(Tag, [&](std::string_view Piece) {
        if (Piece == "/>" || Piece == ">" || Next == Loaded.Count()) return;
        const auto Pos = static_cast<std::size_t>(Piece.data() - text_.data());
        Attribute A{};
        A.attribute = Loaded.begin()[Next++];
        SplitAttributeToken(Piece, A.name, A.value);
        const std::size_t Eq = Piece.find('=');
        A.has_equals = Eq != std::string_view::npos;
        // The value part ends before the tag's closing ">" or "/>" glued to the last token. A "?"
        // before the ">" is the token's own (an element's tag does not end in "?>"): an edit
        // that removes the attribute takes it along, or the name would take it.
        std::size_t Size = Piece.size();
        if (Piece.ends_with("/>"))
          Size -= 2;
        else if (Piece.ends_with('>'))
          Size -= 1;
        // Without "=" the value part is the whole token; an empty token (two spaces in a row,
        // where a comment was cut out of the tag) has no byte of its own: it stands at its start.
        A.start = Begin(Pos);
        A.value_start = A.has_equals ? Past(Pos + Eq + 1) : A.start;
        const std::size_t Part = A.has_equals ? std::max(Size, Eq + 1) : Size;
        A.end = Part > 0 ? Past(Pos + Part) : A.start;
        map_.attributes_.push_back(A);
      });
      Record.attributes = static_cast<std::uint32_t>(Next);
    }
  }
  if (N.TagType() == ttShorted) Record.slash = Begin(End - 2);
  Record.open_end = Past(End);
  Nodes.push_back(Record);
  if (Frame) open_.push_back(Index);
}

void SourceMap::Recorder::Closed(std::size_t Start, std::size_t Size) {
  const std::uint32_t Top = open_.back();
  open_.pop_back();
  Node& Record = map_.nodes_[Top];
  Record.end = static_cast<std::uint32_t>(map_.nodes_.size());
  if (Size == 0) return;
  Record.closed = true;
  Record.close_start = At(Start);
  Record.close_end = Same(Record.close_start, Start, Size) ? Record.close_start + Size : After(Start + Size);
}

std::size_t SourceMap::OffsetOf(DocText::Tracer& Trace, std::size_t Pos, bool End) const {
  // An end is found through the byte before it, a start through its own byte: either is a byte
  // the load read, so it has a place in the source (the byte after an end may lie on the next
  // line, past the line end and the indentation that trimming took away).
  const SourcePlace At = Trace.At(End && Pos > 0 ? Pos - 1 : Pos);
  if (At.line <= 0 || static_cast<std::size_t>(At.line) > line_starts_.size()) return source_.size();
  const std::size_t Offset = std::min(line_starts_[static_cast<std::size_t>(At.line) - 1] +
                                          static_cast<std::size_t>(At.column) - 1 + (End && Pos > 0 ? 1 : 0),
                                      source_.size());
  return End && Pos > 0 ? PastCollapsed(Offset) : Offset;
}

std::size_t SourceMap::PastCollapsed(std::size_t End) const {
  while (End > 0 && End < source_.size() && source_[End] == ' ' && source_[End - 1] == ' ') ++End;
  return End;
}

void SourceMap::BuildLineIndex() {
  // Lines end at LF, CRLF or a lone CR, as the load splits them; most sources have no CR at all.
  line_starts_.assign(1, 0);
  const char* const Begin = source_.data();
  const char* const End = Begin + source_.size();
  const bool Cr = std::memchr(Begin, '\r', source_.size()) != nullptr;
  for (const char* P = Begin; P < End;) {
    const char* Break =
        Cr ? std::find_if(P, End, [](char C) { return C == '\n' || C == '\r'; })
           : static_cast<const char*>(std::memchr(P, '\n', static_cast<std::size_t>(End - P)));
    if (Break == nullptr || Break == End) break;
    if (*Break == '\r' && Break + 1 < End && Break[1] == '\n') ++Break;
    P = Break + 1;
    line_starts_.push_back(static_cast<std::size_t>(P - Begin));
  }
}

void SourceMap::BuildNodeIndex() {
  const std::size_t Slots = std::bit_ceil(std::max<std::size_t>(2 * nodes_.size(), 16));
  slots_.assign(Slots, kNone);
  for (std::uint32_t I = 0; I < nodes_.size(); ++I) {
    const auto H = reinterpret_cast<std::uintptr_t>(nodes_[I].node);
    std::size_t S = static_cast<std::size_t>((H >> 5) * 0x9E3779B97F4A7C15ULL) & (Slots - 1);
    while (slots_[S] != kNone) S = (S + 1) & (Slots - 1);
    slots_[S] = I;
  }
}

std::uint32_t SourceMap::Find(const TXMLNode* N) const {
  if (slots_.empty()) return kNone;
  const std::size_t Mask = slots_.size() - 1;
  const auto H = reinterpret_cast<std::uintptr_t>(N);
  for (std::size_t S = static_cast<std::size_t>((H >> 5) * 0x9E3779B97F4A7C15ULL) & Mask;;
       S = (S + 1) & Mask) {
    const std::uint32_t I = slots_[S];
    if (I == kNone) return kNone;
    if (nodes_[I].node == N) return I;
  }
}

std::int64_t SourceMap::LineOf(std::size_t Offset) const {
  return std::upper_bound(line_starts_.begin(), line_starts_.end(), Offset) - line_starts_.begin();
}

std::size_t SourceMap::LineStart(std::int64_t Line) const {
  if (Line < 1 || Line > LineCount()) return source_.size();
  return line_starts_[static_cast<std::size_t>(Line) - 1];
}

std::string_view SourceMap::LineText(std::int64_t Line) const {
  if (Line < 1 || Line > LineCount()) return {};
  const std::size_t Begin = LineStart(Line);
  std::size_t End = Line < LineCount() ? LineStart(Line + 1) : source_.size();
  while (End > Begin && (source_[End - 1] == '\n' || source_[End - 1] == '\r') && Line < LineCount()) --End;
  return std::string_view(source_).substr(Begin, End - Begin);
}

void SourceMap::Finish(std::unique_ptr<DocText> Doc, const TXMLParameters& Params, bool Declared,
                       std::size_t DeclarationEnd, std::size_t DocTypeAt) {
  {
    // The prolog lies in front of every node: a walk of its own from the start.
    DocText::Tracer Trace(*Doc);
    Prolog& P = prolog_;
    P.declared = Declared && DeclarationEnd > 0;
    if (P.declared) {
      P.declaration_start = OffsetOf(Trace, 0, false);
      P.declaration_end = OffsetOf(Trace, DeclarationEnd, true);
    }
    P.doctype = Params.XMLDocType()->DocTypeDefinition();
    P.has_doctype = !P.doctype.empty() && DocTypeAt != std::string_view::npos;
    if (P.has_doctype) {
      P.doctype_start = OffsetOf(Trace, DocTypeAt, false);
      P.doctype_end = OffsetOf(Trace, DocTypeAt + P.doctype.size(), true);
    }
  }
  for (Node& N : nodes_) N.loaded = N.kind == ttCDATA ? &N.node->TextData() : &N.node->TagName();
  prolog_.version = Params.XMLVersion();
  prolog_.encoding = Params.XMLEncoding();
  prolog_.language = Params.XMLLanguage();
  prolog_.standalone = Params.XMLStandalone();
  prolog_.style_sheet = Params.XMLStyleSheet();
  for (const TXMLAttribute* A : Params.XMLOtherAttrs()) {
    prolog_.others.emplace_back(A->Name, A->Value);
    prolog_.other_objects.push_back(A);
  }
  doc_ = std::move(Doc);
  BuildNodeIndex();
}

}  // namespace linexml::detail
