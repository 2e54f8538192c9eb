#pragma once
/// \file
/// linexml::TXMLLoadOptions and linexml::TXMLSaveOptions: what a load accepts and collects beyond
/// the fixed rules, and how a save lays the document out.

#include <cstdint>

namespace linexml {

/// What a load does beyond the fixed rules. Every field but Threads is off by default, which is the
/// format as it always was. Given to TXMLParser::SetLoadOptions, they hold for every later load.
struct TXMLLoadOptions {
  /// A UTF-8 byte-order mark (EF BB BF) at the very start is skipped instead of failing the load
  /// with ecInvalidFileFormat; TXMLParser::HadByteOrderMark() tells that there was one. Columns
  /// of the first line still count its three bytes.
  bool AcceptBOM = false;
  /// A document that does not begin with "<?xml " or "<? xml " loads with the declaration's
  /// defaults (one style-sheet instruction or document-type line may still come first);
  /// TXMLParser::HadDeclaration() is then false.
  bool AcceptNoDeclaration = false;
  /// The load also collects TXMLParser::Warnings(). Off, the load does no work for them.
  bool CollectWarnings = false;
  /// How many threads a load may use. 0, the default, lets the load choose: a document of 2 MiB
  /// or more is read by two threads, the calling one and one the load starts and joins before it
  /// returns; a smaller one by the calling thread alone. 1 keeps every load on the calling
  /// thread. Larger values act as 0 (a load uses two threads at most). The tree, the error and
  /// the warnings are the same whatever the value.
  std::uint32_t Threads = 0;
  /// The load keeps the source bytes and where each element, attribute and text run stands in
  /// them, so that a save with TXMLSaveOptions::PreserveSource writes the untouched parts
  /// exactly as they were read (TXMLParser::HasSource). Kept only by a load that ends with ecOk.
  /// Costs memory in proportion to the document (see docs/format.md, "Keeping the source").
  bool KeepSource = false;
  /// Between the declaration and the root, white space (also the space a comment cut out there
  /// leaves), any number of processing instructions and one document-type line are read in any
  /// order, as XML allows, instead of at most one instruction or document-type line right after
  /// the declaration. The instructions are dropped; a load that collects warnings lists each.
  bool AcceptFullProlog = false;
};

/// The line ending a save writes.
enum TXMLLineEnding : std::uint8_t {
  leLF = 0,   ///< "\n", the default
  leCRLF = 1  ///< "\r\n"
};

/// How a save lays the document out. The defaults are the library's own layout, byte for byte what
/// the saves without options write. Every choice loads back to the same tree (with AcceptBOM for
/// a byte-order mark); only StandardDeclaration loses something, the language keyword.
struct TXMLSaveOptions {
  /// Spaces per level, 0 to 255 (std::invalid_argument otherwise); unused with IndentWithTabs.
  std::int32_t IndentWidth = 2;
  /// One tab per level instead of spaces.
  bool IndentWithTabs = false;
  /// What ends every line.
  TXMLLineEnding LineEnding = leLF;
  /// Begins the file with a UTF-8 byte-order mark.
  bool ByteOrderMark = false;
  /// Writes the declaration as XML 1.0 defines it: version, encoding and standalone, in that
  /// order, and never language, which an XML reader refuses (a load then gives the default "EN").
  /// Other declaration attributes are still written after them.
  bool StandardDeclaration = false;
  /// Leaves out the document-type line when there is none, instead of writing an empty line.
  bool OmitEmptyDocType = false;
  /// An element whose only child is one text run is written on one line, as "<name>text</name>",
  /// which loads back as written (no leading space is added to the text).
  bool InlineText = false;
  /// Writes the document as it was read, with only the edits made since: every byte that no edit
  /// touched (comments, blank lines, the prolog, indentation, quotes, line ends) stays as it was.
  /// Needs a document loaded with TXMLLoadOptions::KeepSource (TXMLParser::HasSource()); without
  /// one the save is the library's layout, as if this were false. Lines that edits add take the
  /// line end and indentation of the source; the other choices above apply only where the source
  /// has nothing to go by (IndentWidth or IndentWithTabs as the step of a new level). What a
  /// preserving save keeps and rewrites: docs/format.md, "Saving with the source".
  bool PreserveSource = false;

  /// Every choice that other XML tools need: StandardDeclaration, OmitEmptyDocType and
  /// InlineText, the rest as by default.
  static TXMLSaveOptions Interoperable() {
    TXMLSaveOptions O;
    O.StandardDeclaration = true;
    O.OmitEmptyDocType = true;
    O.InlineText = true;
    return O;
  }
};

}  // namespace linexml
