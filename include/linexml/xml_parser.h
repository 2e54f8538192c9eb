#pragma once
/// \file
/// linexml::TXMLParser, the document: loading, lookup and saving.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export.h"
#include "xml_diagnostics.h"
#include "xml_node.h"
#include "xml_options.h"
#include "xml_parameters.h"
#include "xml_types.h"

namespace linexml {

/// Where a loaded node stands in TXMLParser::Source(): byte offsets and 1-based lines.
struct TXMLSourceRange {
  std::size_t Begin = 0;         ///< its first byte: "<", or a text run's first byte
  std::size_t TagEnd = 0;        ///< past its start tag (past the run for a text run)
  std::size_t End = 0;           ///< past its closing tag (TagEnd when it has none)
  std::int64_t Line = 0;         ///< the line of Begin
  std::int64_t TagLastLine = 0;  ///< the line of the start tag's last byte
  std::int64_t LastLine = 0;     ///< the line of its last byte
};

namespace detail {
class Arena;
class DocText;
class Sink;
class SourceMap;
}  // namespace detail

/// The object a program works with: it owns the prolog record and the root node; assigning a file
/// name loads that file into them. Loading reports a status, never throws; saving throws EInOutError.
/// A load that runs out of memory, or meets a document with more than 2^31 - 1 children or
/// attributes in one element (or declaration attributes) or nested deeper than Level 2^31 - 1,
/// reports ecOutOfMemory and leaves the document (XMLRoot, XMLParameters, ErrorLine) as a new
/// parser has it: nothing of the old document or of the partly read new one stays.
///
/// XMLRoot() and XMLParameters() stay the same objects for the parser's whole life. Every other
/// pointer or reference into the document (nodes, attributes, their strings) dangles after the next
/// load that opens its text (any status but ecNoFile and ecInvalidFileName) and after the parser
/// is destroyed.
class LINEXML_API TXMLParser {
 public:
  TXMLParser();
  TXMLParser(const TXMLParser&) = delete;
  TXMLParser& operator=(const TXMLParser&) = delete;
  ~TXMLParser();

  // --- Loading ---

  /// Loads the named file and stores the status. An empty name only sets ecInvalidFileName and
  /// keeps the name and document of before; the same name again loads the file again. Value may be
  /// a string of the document it replaces. After ecOutOfMemory, FileName is Value, or empty when
  /// there was no memory even to store it (never the earlier name).
  /// \snippet snippets.cpp load
  void setFileName(const std::string& Value);
  /// The last non-empty name assigned (loaded or not), or the name last saved to.
  const std::string& FileName() const { return file_name_; }
  /// Loads a document held in memory, as a file load would (lines split on LF, CRLF or CR), and
  /// stores the status. FileName is not touched. Source may be a view into the document it
  /// replaces (a tag name, a value, a text run): the text is copied before the old document goes.
  TXMLErrorCode LoadFromText(std::string_view Source);
  /// Status of the last assignment of FileName (or of LoadFromText).
  TXMLErrorCode XMLErrorCode() const { return error_code_; }
  /// The 1-based source line where the last load's failure was found: the "<" of a broken tag, the
  /// start of text left after the root, the start of the document for a prolog failure. 0 after
  /// ecOk, ecNoFile, ecInvalidFileName and ecOutOfMemory, and when the failure has no position.
  /// 64 bits: a file may well have more than 2^31 lines.
  std::int64_t ErrorLine() const { return error_line_; }
  /// The 1-based byte column, in the line that ErrorLine() names, of the place it names, counted in
  /// that line as it stands in the file (before trimming and collapsing spaces; a tab is one byte,
  /// a skipped byte-order mark three). The space that joins a line on stands at the column of the
  /// line's first byte. 0 exactly when ErrorLine() is 0.
  std::int64_t ErrorColumn() const { return error_column_; }
  /// One sentence naming the cause of the last load's failure, specific to the case (which closing
  /// tag, which keyword, the first bytes of text left after the root, the system's reason for a
  /// file that cannot be read, ...). Empty after ecOk.
  const std::string& ErrorMessage() const;
  /// Further places that ErrorMessage() refers to, in the order of the source (for a root element
  /// that is never closed: where it was opened). Empty after ecOk and when there are none.
  const std::vector<TXMLErrorNote>& ErrorNotes() const { return error_notes_; }

  /// Options for every later load (setFileName, ParseFile, LoadFromText); a new parser has the
  /// defaults, which load the format as it always was.
  void SetLoadOptions(const TXMLLoadOptions& Options) { load_options_ = Options; }
  /// The options that loads use.
  const TXMLLoadOptions& LoadOptions() const { return load_options_; }
  /// The lossy readings that the last load found, in the order of the source, when its options
  /// asked for them (CollectWarnings); empty otherwise, and after a load that read nothing.
  const std::vector<TXMLWarning>& Warnings() const { return warnings_; }
  /// True when the document began with a UTF-8 byte-order mark that AcceptBOM let the load skip
  /// (a save keeps it with TXMLSaveOptions::ByteOrderMark). False for a new parser.
  bool HadByteOrderMark() const { return had_bom_; }
  /// False when the document had no declaration and AcceptNoDeclaration let it load with the
  /// defaults. True for a new parser.
  bool HadDeclaration() const { return had_declaration_; }

  /// True when the last load kept its source (TXMLLoadOptions::KeepSource) and ended with ecOk,
  /// and no New() came since: a save with TXMLSaveOptions::PreserveSource then writes the source
  /// with the edits applied.
  bool HasSource() const { return source_ != nullptr; }
  /// The bytes the document was loaded from, as read (a byte-order mark included); empty without
  /// HasSource().
  [[nodiscard]] std::string_view Source() const;
  /// Line Line (1-based) of Source() without its line end; empty past the last line and without
  /// HasSource().
  [[nodiscard]] std::string_view SourceLine(std::int64_t Line) const;
  /// Where Node stands in Source(); nullopt without HasSource() and for a node that the load did
  /// not make (one the program added; a node the load made keeps its range after edits).
  [[nodiscard]] std::optional<TXMLSourceRange> SourceRange(const TXMLNode& Node) const;

  // --- The document ---

  /// The root element; never null (an empty ttNormal element before any load).
  TXMLNode* XMLRoot() const { return root_.get(); }
  /// The prolog record; never null (the defaults before any load).
  TXMLParameters* XMLParameters() const { return parameters_.get(); }
  /// The first element that Path selects in document order, or nullptr; see SelectAll.
  [[nodiscard]] TXMLNode* Select(std::string_view Path) const;
  /// Every element that Path selects, in document order (TXMLNode::SelectAll has the syntax).
  /// Every path starts at the document, above the root element, with or without a leading "/":
  /// "catalog/store[2]" and "/catalog/store[2]" both name the second "store" child of the root
  /// element "catalog". EXMLPathError naming the 1-based position for a path not in the syntax.
  /// Writes nothing.
  [[nodiscard]] std::vector<TXMLNode*> SelectAll(std::string_view Path) const;

  // --- Building ---

  /// Starts a new document: the prolog back to its defaults and the root an empty element named
  /// RootName (ttShorted until it gains a child), as after a load (XMLErrorCode ecOk, ErrorLine
  /// 0); XMLRoot() and XMLParameters() stay the same objects, and FileName is not touched.
  /// Pointers into the former document dangle. EXMLRefusal when
  /// IsWritableName(RootName) is false, std::bad_alloc when memory runs out: either way nothing
  /// changes.
  /// \snippet build_document.cpp build
  void New(const std::string& RootName);
  /// The first part of the document, in the order a save writes it, that a save would not write
  /// so that a load reads it back the same (under the text rule of a save), or nothing. Writes
  /// nothing; linear in the document. The rules: docs/reference.md, "What a save can carry".
  [[nodiscard]] std::optional<TXMLUnwritable> FirstUnwritable() const;
  /// The same for a save with Options: what a source-keeping save writes anew, or, for a save that
  /// writes the standard declaration, also what an XML reader cannot read (the same section).
  /// EXMLRefusal for options no save can use.
  [[nodiscard]] std::optional<TXMLUnwritable> FirstUnwritable(const TXMLSaveOptions& Options) const;
  /// The line (from 1) on which a save with Options writes Node (a text run written on its
  /// element's line, InlineText, has that line; with PreserveSource and HasSource(), the line where
  /// the save that keeps the source writes it); 0 when Node is not in this document. Linear in the
  /// document; EXMLRefusal for options no save can use.
  [[nodiscard]] std::int64_t LineWritten(const TXMLNode& Node, const TXMLSaveOptions& Options = {}) const;

  // --- Saving ---

  /// Sets FileName (no load), then writes the prolog and the tree through a temporary file that
  /// replaces the target once all is written and synced, so a failed save leaves an earlier file as
  /// it was; links, devices, FIFOs and file modes: docs/reference.md, "Saving". Throws EInOutError
  /// naming AFileName and the system's reason.
  /// \snippet snippets.cpp save
  void SaveFile(const std::string& AFileName);
  /// SaveFile with a layout of the caller's choice; SaveFile(Name) is SaveFile(Name, {}).
  /// Throws EXMLRefusal, before anything is written, for an IndentWidth outside 0..255.
  void SaveFile(const std::string& AFileName, const TXMLSaveOptions& Options);
  /// What SaveFile writes, to any stream. Throws EInOutError when the stream fails.
  void SaveToStream(std::ostream& F) const;
  /// SaveToStream with a layout of the caller's choice (EXMLRefusal as for SaveFile).
  void SaveToStream(std::ostream& F, const TXMLSaveOptions& Options) const;
  /// What SaveFile writes, as a string. Throws std::bad_alloc when memory runs out (the document
  /// is not changed).
  [[nodiscard]] std::string SaveToText() const;
  /// SaveToText with a layout of the caller's choice (EXMLRefusal as for SaveFile).
  [[nodiscard]] std::string SaveToText(const TXMLSaveOptions& Options) const;

  // --- Parse steps: the stages a load runs, public for callers that drive them one by one ---

  /// Loads the file named by FileName and returns the status without storing it. ecNoFile, with
  /// nothing changed, when the name is empty or the file cannot be opened or read; otherwise the
  /// root and the prolog are first returned to their new state, in place. ecOutOfMemory as above
  /// (also when the file is too large to read into memory).
  TXMLErrorCode ParseFile();

  // --- Kept for compatibility ---
  // FindTagByName searches last child first (Select goes in document order); TrimSpaces is the
  // trim of a loaded line, offered on its own; Validate checks nothing that a load has not.

  /// The root when its name is Name, else XMLRoot()->FindTagByName(Name).
  /// \snippet snippets.cpp find
  TXMLNode* FindTagByName(const std::string& Name) const;
  /// Trims bytes 0..32 at both ends and reduces every run of spaces to one (tabs stay).
  static std::string TrimSpaces(const std::string& S);
  /// The check run on a completely parsed document: ecOk.
  TXMLErrorCode Validate();

 private:
  // Returns the root and the prolog to their new state and frees the last load's tree; needs no
  // memory.
  void ResetDocument() noexcept;
  // The same, no error place and the out-of-memory message: the document after ecOutOfMemory.
  void ResetAfterOutOfMemory() noexcept;
  // No error place, message or warnings: the start of every load. Needs no memory.
  void ClearDiagnosis() noexcept;
  // Parses a normalised text into the root and the prolog (already returned to their new state).
  // With Source (the bytes Doc was built from), a successful load keeps them, with Doc, in source_.
  TXMLErrorCode Load(std::unique_ptr<detail::DocText>& Doc, std::string* Source);
  // Writes the prolog and the tree to Out and flushes it.
  void Write(detail::Sink& Out, const TXMLSaveOptions& Options) const;

  std::string file_name_;
  TXMLErrorCode error_code_ = ecOk;
  std::int64_t error_line_ = 0;
  std::int64_t error_column_ = 0;
  std::string error_message_;
  const std::string* fixed_message_ = nullptr;  // a message made at start-up, in place of error_message_
  std::vector<TXMLErrorNote> error_notes_;
  TXMLLoadOptions load_options_;
  std::vector<TXMLWarning> warnings_;
  bool had_bom_ = false;
  bool had_declaration_ = true;
  // Holds the nodes and attributes of the last load below the root; replaced by every load.
  // Declared before the root, so it is destroyed after it.
  std::unique_ptr<detail::Arena> arena_;
  std::unique_ptr<TXMLNode> root_;
  std::unique_ptr<TXMLParameters> parameters_;
  // The source of the last load, with where its nodes stand (KeepSource); null otherwise.
  std::unique_ptr<detail::SourceMap> source_;
};

}  // namespace linexml
