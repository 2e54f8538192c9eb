#include "writer.h"

#include <cstring>
#include <ostream>
#include <vector>

#include "linexml/in_out_error.h"
#include "linexml/xml_docType.h"
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

void PutIndent(Writer& W, std::int32_t Level, const Layout& L) {
  if (Level <= 0) return;
  if (L.tabs)
    W.Repeat('\t', static_cast<std::size_t>(Level));
  else
    W.Spaces(L.indent * static_cast<std::size_t>(Level));
}

void PutEol(Writer& W, const Layout& L) {
  if (L.crlf)
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

void PutClose(Writer& W, const TXMLNode& N, const Layout& L) {
  W.Put("</");
  W.Put(N.TagName());
  W.Put('>');
  PutEol(W, L);
}

}  // namespace

void WriteNode(Writer& W, const TXMLNode& Root, const Layout& L) {
  // Writes a node's first line; true when its children and its closing line follow.
  auto Open = [&W, &L](const TXMLNode& N) {
    PutIndent(W, N.Level(), L);
    if (N.TagType() == ttCDATA) {
      W.Put(N.TextData());
      PutEol(W, L);
      return false;
    }
    W.Put('<');
    W.Put(N.TagName());
    PutAttributes(W, N.Attributes());
    if (N.TagType() == ttShorted) {
      W.Put(" />");
      PutEol(W, L);
      return false;
    }
    W.Put('>');
    const auto& Kids = N.Children();
    // One text run as the only child shares the element's line: read back, it gains no space.
    if (L.inline_text && Kids.Count() == 1 && Kids.begin()[0]->TagType() == ttCDATA) {
      W.Put(Kids.begin()[0]->TextData());
      PutClose(W, N, L);
      return false;
    }
    PutEol(W, L);
    return true;
  };
  if (!Open(Root)) return;
  struct Frame {
    const TXMLNode* node;
    std::int32_t next;  // its first child not written yet
  };
  // Invariant: the stack holds the open elements, innermost on top, each with the children it
  // has written; it is as deep as the tree, not as wide.
  std::vector<Frame> Stack{{&Root, 0}};
  while (!Stack.empty()) {
    Frame& F = Stack.back();
    const auto& Kids = F.node->Children();
    if (F.next < Kids.Count()) {
      const TXMLNode* Child = Kids.begin()[F.next++];
      if (Open(*Child)) Stack.push_back({Child, 0});
      continue;
    }
    PutIndent(W, F.node->Level(), L);
    PutClose(W, *F.node, L);
    Stack.pop_back();
  }
}

void WriteDocType(Writer& W, const TXMLDocType& DocType, const Layout& L) {
  if (L.omit_empty_doctype && DocType.DocTypeDefinition().empty()) return;
  W.Put(DocType.DocTypeDefinition());
  PutEol(W, L);
}

void WriteDeclaration(Writer& W, const TXMLParameters& P, const Layout& L) {
  W.Put("<?xml version=\"");
  W.Put(P.XMLVersion());
  W.Put("\" encoding=\"");
  W.Put(P.XMLEncoding());
  // XML 1.0 knows no language keyword, and wants standalone last.
  if (!L.standard_declaration) {
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

void WriteProlog(Writer& W, const TXMLParameters& P, const Layout& L) {
  if (L.bom) W.Put("\xEF\xBB\xBF");
  WriteDeclaration(W, P, L);
  PutEol(W, L);
  if (!P.XMLStyleSheet().empty()) {
    WriteStyleSheet(W, P);
    PutEol(W, L);
  }
  WriteDocType(W, *P.XMLDocType(), L);
  PutEol(W, L);
}

void WriteDocument(Writer& W, const TXMLParameters& Params, const TXMLNode& Root, const Layout& L) {
  WriteProlog(W, Params, L);
  WriteNode(W, Root, L);
}

}  // namespace linexml::detail
