#include "writer.h"

#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bytes.h"
#include "linexml/in_out_error.h"
#include "linexml/xml_docType.h"
#include "linexml/xml_errors.h"
#include "linexml/xml_node.h"
#include "linexml/xml_parameters.h"

namespace linexml::detail {

Writer::Writer(Sink& To) : sink_(To), buf_(new char[kSize]) {}

void Writer::Drain() {
  const std::size_t N = used_;
  used_ = 0;
  if (N > 0) sink_.Write(buf_.get(), N);
}

void Writer::Put(std::string_view Bytes) {
  if (Bytes.size() <= kSize - used_) {
    std::memcpy(buf_.get() + used_, Bytes.data(), Bytes.size());
    used_ += Bytes.size();
    return;
  }
  Drain();
  if (Bytes.size() >= kSize) {
    sink_.Write(Bytes.data(), Bytes.size());
    return;
  }
  std::memcpy(buf_.get(), Bytes.data(), Bytes.size());
  used_ = Bytes.size();
}

void Writer::Repeat(char C, std::size_t Count) {
  while (Count > 0) {
    if (used_ == kSize) Drain();
    const std::size_t N = std::min(Count, kSize - used_);
    std::memset(buf_.get() + used_, C, N);
    used_ += N;
    Count -= N;
  }
}

void Writer::Flush() {
  Drain();
  sink_.Flush();
}

namespace {

// A stream keeps what it was given in a buffer of its own, and a failure there would only show at
// a later flush or close that callers rarely check: a save is not done until the stream took it.
[[noreturn]] void StreamFailed() {
  throw EInOutError("<stream>", "the stream refused the write");
}

}  // namespace

void StreamSink::Write(const char* Data, std::size_t Size) {
  try {
    if (out_) out_.write(Data, static_cast<std::streamsize>(Size));
  } catch (const std::ios_base::failure&) {
    StreamFailed();  // a stream with exceptions enabled fails the same way as one without
  }
  if (!out_) StreamFailed();
}

void StreamSink::Flush() {
  try {
    if (out_) out_.flush();
  } catch (const std::ios_base::failure&) {
    StreamFailed();
  }
  if (!out_) StreamFailed();
}

namespace {

void PutIndent(Writer& W, std::int32_t Level, const TXMLSaveOptions& O) {
  if (Level <= 0) return;
  if (O.IndentWithTabs)
    W.Repeat('\t', static_cast<std::size_t>(Level));
  else
    W.Spaces(static_cast<std::size_t>(O.IndentWidth) * static_cast<std::size_t>(Level));
}

void PutEol(Writer& W, const TXMLSaveOptions& O) {
  if (O.LineEnding == leCRLF)
    W.Put("\r\n");
  else
    W.Put('\n');
}

void PutAttributes(Writer& W, const TList<TXMLAttribute>& Attributes) {
  for (const TXMLAttribute* A : Attributes) {
    // A value holding '"' (and no "'") goes between "'", as XML writes it; a load reads both alike.
    const char Quote =
        A->Value.find('"') != std::string::npos && A->Value.find('\'') == std::string::npos ? '\'' : '"';
    W.Put(' ');
    W.Put(A->Name);
    W.Put('=');
    W.Put(Quote);
    W.Put(A->Value);
    W.Put(Quote);
  }
}

void PutClose(Writer& W, const TXMLNode& N, const TXMLSaveOptions& O) {
  W.Put("</");
  W.Put(N.TagName());
  W.Put('>');
  PutEol(W, O);
}

// Writes Root with its subtree; stops, true, in front of StopAt (the node whose line is wanted).
bool WriteNodeUpTo(Writer& W, const TXMLNode& Root, const TXMLSaveOptions& O, const TXMLNode* StopAt) {
  enum class Opened : std::uint8_t { kWhole, kChildrenFollow, kStopped };
  // Writes a node's first line, and all of it when it has one line only.
  auto Open = [&W, &O, StopAt](const TXMLNode& N) {
    if (&N == StopAt) return Opened::kStopped;
    PutIndent(W, N.Level(), O);
    if (N.TagType() == ttCDATA) {
      W.Put(N.TextData());
      PutEol(W, O);
      return Opened::kWhole;
    }
    W.Put('<');
    W.Put(N.TagName());
    PutAttributes(W, N.Attributes());
    if (N.TagType() == ttShorted) {
      W.Put(" />");
      PutEol(W, O);
      return Opened::kWhole;
    }
    W.Put('>');
    const auto& Kids = N.Children();
    // One text run as the only child shares the element's line: read back, it gains no space.
    if (O.InlineText && Kids.Count() == 1 && Kids.begin()[0]->TagType() == ttCDATA) {
      if (Kids.begin()[0] == StopAt) return Opened::kStopped;
      W.Put(Kids.begin()[0]->TextData());
      PutClose(W, N, O);
      return Opened::kWhole;
    }
    PutEol(W, O);
    return Opened::kChildrenFollow;
  };
  // An element whose children follow is closed once they are written.
  return Root.ForEachInSubtree(
      [&Open](const TXMLNode& N) {
        switch (Open(N)) {
          case Opened::kWhole:
            return vsSkip;
          case Opened::kChildrenFollow:
            return vsDown;
          case Opened::kStopped:
            break;
        }
        return vsStop;
      },
      [&W, &O](const TXMLNode& N) {
        PutIndent(W, N.Level(), O);
        PutClose(W, N, O);
      });
}

// A sink that keeps nothing but counts the line ends it is given.
class LineCounter final : public Sink {
 public:
  void Write(const char* Data, std::size_t Size) override {
    const char* const End = Data + Size;
    for (const void* P = Data;
         (P = std::memchr(P, '\n', static_cast<std::size_t>(End - static_cast<const char*>(P)))) != nullptr;
         P = static_cast<const char*>(P) + 1)
      ++lines_;
  }
  std::int64_t Lines() const { return lines_; }

 private:
  std::int64_t lines_ = 0;
};

}  // namespace

void ValidateSaveOptions(const TXMLSaveOptions& O) {
  if (O.IndentWidth < 0 || O.IndentWidth > 255)
    throw EXMLRefusal("TXMLSaveOptions",
                      "IndentWidth " + std::to_string(O.IndentWidth) + " is outside 0..255");
}

void WriteNode(Writer& W, const TXMLNode& Root, const TXMLSaveOptions& O) {
  (void)WriteNodeUpTo(W, Root, O, nullptr);
}

void WriteDocType(Writer& W, const TXMLDocType& DocType, const TXMLSaveOptions& O) {
  if (O.OmitEmptyDocType && DocType.DocTypeDefinition().empty()) return;
  W.Put(DocType.DocTypeDefinition());
  PutEol(W, O);
}

void WriteDeclaration(Writer& W, const TXMLParameters& P, const TXMLSaveOptions& O) {
  W.Put("<?xml version=\"");
  W.Put(P.XMLVersion());
  W.Put("\" encoding=\"");
  W.Put(P.XMLEncoding());
  // XML 1.0 knows no language keyword, and wants standalone last.
  if (!O.StandardDeclaration) {
    W.Put("\" language=\"");
    W.Put(P.XMLLanguage());
  }
  W.Put("\" standalone=\"");
  W.Put(P.XMLStandalone());
  W.Put('"');
  PutAttributes(W, P.XMLOtherAttrs());
  W.Put("?>");
}

void WriteStyleSheet(Writer& W, const TXMLParameters& P) {
  W.Put("<?stylesheet link=\"");
  W.Put(P.XMLStyleSheet());
  W.Put("\"?>");
}

void WriteProlog(Writer& W, const TXMLParameters& P, const TXMLSaveOptions& O) {
  if (O.ByteOrderMark) W.Put(kBom);
  WriteDeclaration(W, P, O);
  PutEol(W, O);
  if (!P.XMLStyleSheet().empty()) {
    WriteStyleSheet(W, P);
    PutEol(W, O);
  }
  WriteDocType(W, *P.XMLDocType(), O);
  PutEol(W, O);
}

void WriteDocument(Writer& W, const TXMLParameters& Params, const TXMLNode& Root, const TXMLSaveOptions& O) {
  WriteProlog(W, Params, O);
  WriteNode(W, Root, O);
}

std::int64_t LineWritten(const TXMLParameters& Params, const TXMLNode& Root, const TXMLNode& Target,
                         const TXMLSaveOptions& O) {
  ValidateSaveOptions(O);
  LineCounter Lines;
  bool Found = false;
  WriteTo(Lines, [&](Writer& W) {
    WriteProlog(W, Params, O);
    Found = WriteNodeUpTo(W, Root, O, &Target);
  });
  return Found ? Lines.Lines() + 1 : 0;
}

}  // namespace linexml::detail
