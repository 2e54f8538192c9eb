#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "doc_text.h"
#include "linexml/xml_types.h"

namespace linexml {
class TXMLAttribute;
class TXMLNode;
class TXMLParameters;
}  // namespace linexml

namespace linexml::detail {

// What a load that keeps its source remembers: the bytes as read, and for every loaded node and
// attribute where it stands in them and what the load read there, so that a save can write the
// untouched parts as they were and tell an edited part from an untouched one.
//
// Untouched is decided by what a node holds now against what the load gave it: a node's name and
// text strings are replaced by every edit (so the pointer tells), an attribute's name and value
// are public strings (so their bytes are compared with the text they were read from, which the
// map keeps), and a node's children and attributes are compared as lists of the same objects.
class SourceMap {
 public:
  static constexpr std::uint32_t kNone = ~std::uint32_t{0};

  // One loaded node. Offsets are into Source(); a record's subtree is the records up to end.
  struct Node {
    const TXMLNode* node;
    const std::string* loaded;  // the name string (element) or text string (text run) it was given
    std::uint32_t parent;       // kNone for the root
    std::uint32_t end;          // one past the last record of its subtree
    std::uint32_t first_attribute;
    std::uint32_t attributes;
    std::size_t start;        // "<", or a text run's first byte
    std::size_t name_end;     // past the tag name (elements)
    std::size_t open_end;     // past the start tag, or past the text run
    std::size_t slash;        // the "/" that closes a self-closing start tag (its last two bytes)
    std::size_t close_start;  // the closing tag, when there is one (closed)
    std::size_t close_end;
    TTagType kind;
    bool closed;
    // Past its last byte.
    std::size_t End() const { return closed ? close_end : open_end; }
  };
  // One loaded attribute: its token in the start tag, the value part being what follows the "="
  // up to the tag's closing ">", "/>" or "?>" (the whole token when it has no "=").
  struct Attribute {
    const TXMLAttribute* attribute;
    std::string_view name;   // as loaded: a view of the kept text
    std::string_view value;  // as loaded
    std::size_t start;
    std::size_t value_start;  // past the "="; start when the token has none
    std::size_t end;
    bool has_equals;
  };
  // The prolog as loaded, and where its parts stand.
  struct Prolog {
    std::string version, encoding, language, standalone, doctype, style_sheet;
    std::vector<std::pair<std::string, std::string>> others;
    std::vector<const TXMLAttribute*> other_objects;
    bool declared = false;
    std::size_t declaration_start = 0, declaration_end = 0;  // the declaration's span, when declared
    bool has_doctype = false;
    std::size_t doctype_start = 0, doctype_end = 0;
  };

  // Takes the source as read.
  explicit SourceMap(std::string Source);
  SourceMap(const SourceMap&) = delete;
  SourceMap& operator=(const SourceMap&) = delete;

  std::string_view Source() const { return source_; }
  const std::vector<Node>& Nodes() const { return nodes_; }
  const std::vector<Attribute>& Attributes() const { return attributes_; }
  const Prolog& LoadedProlog() const { return prolog_; }
  // The record of a loaded node, or kNone for a node that no load made (built by the program).
  std::uint32_t Find(const TXMLNode* N) const;
  // The 1-based line holding byte Offset of Source(), and the offset where that line starts.
  std::int64_t LineOf(std::size_t Offset) const;
  std::size_t LineStart(std::int64_t Line) const;
  std::int64_t LineCount() const { return static_cast<std::int64_t>(line_starts_.size()); }
  // The line's bytes without its line end; empty past the last line.
  std::string_view LineText(std::int64_t Line) const;

  // Fills the map during a load, over Doc (the text the load parses, built from the source). The
  // builder calls Opened for every node right after its start tag (or text run) is read and Closed
  // for every element it finishes, in the order of the text, with positions in Doc's text: each is
  // traced back to the source at once (one walk over the line records serves them all).
  class Recorder {
   public:
    Recorder(SourceMap& Map, const DocText& Doc);
    // N starts at Start and its start tag (or text run) ends before End; Frame: its children
    // follow, and a Closed call will end it.
    void Opened(const TXMLNode& N, std::size_t Start, std::size_t End, bool Frame);
    // The element on top ends: its closing tag spans [Start, Start + Size) (Size 0: it has none).
    void Closed(std::size_t Start, std::size_t Size);

   private:
    // The source offset of a text position; an End is past a byte, and found through that byte
    // (the byte after it may lie on the next line, past a line end and indentation that trimming
    // took away).
    std::size_t At(std::size_t Pos) { return map_.OffsetOf(trace_, Pos, false); }
    std::size_t After(std::size_t Pos) { return map_.OffsetOf(trace_, Pos, true); }
    // The source holds Text()[Pos, Pos + Size) as it is at Offset.
    bool Same(std::size_t Offset, std::size_t Pos, std::size_t Size) const;

    SourceMap& map_;
    std::string_view text_;
    DocText::Tracer trace_;
    std::vector<std::uint32_t> open_;  // the records of the elements not yet closed
  };
  // Notes the prolog (the parameters as loaded, the declaration in Text()[0, DeclarationEnd) when
  // Declared, the document type at DocTypeAt) and keeps Doc, whose text the loaded names and values
  // are views of.
  void Finish(std::unique_ptr<DocText> Doc, const TXMLParameters& Params, bool Declared,
              std::size_t DeclarationEnd, std::size_t DocTypeAt);

 private:
  std::size_t OffsetOf(DocText::Tracer& Trace, std::size_t Pos, bool End) const;
  // An end after a space moved past the spaces that follow it in the source: the load collapsed
  // them into that one (a space that follows a space never starts what comes next), so they are
  // the bytes of what ends there, and an edit that removes or moves it takes them along.
  std::size_t PastCollapsed(std::size_t End) const;
  void BuildLineIndex();
  void BuildNodeIndex();

  std::string source_;
  std::unique_ptr<DocText> doc_;
  std::vector<Node> nodes_;
  std::vector<Attribute> attributes_;
  Prolog prolog_;
  std::vector<std::size_t> line_starts_;
  // Open addressing over the records' nodes (a node's address hashed; not document text).
  std::vector<std::uint32_t> slots_;
};

}  // namespace linexml::detail
