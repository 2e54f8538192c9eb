#pragma once
/// \file
/// linexml::TXMLParameters, the prolog record.

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "export.h"
#include "list.h"
#include "xml_attribute.h"
#include "xml_docType.h"
#include "xml_types.h"

namespace linexml {

namespace detail {
struct PrologNotes;
}  // namespace detail

/// The prolog: the XML declaration's values, its other attributes, a style-sheet link and the
/// document-type line.
class LINEXML_API TXMLParameters {
 public:
  TXMLParameters();
  TXMLParameters(const TXMLParameters&) = delete;
  TXMLParameters& operator=(const TXMLParameters&) = delete;
  ~TXMLParameters();

  const std::string& XMLVersion() const { return version_; }        ///< "1.0" until a declaration names it
  const std::string& XMLEncoding() const { return encoding_; }      ///< "UTF-8"; recorded, never applied
  const std::string& XMLLanguage() const { return language_; }      ///< "EN" until a declaration names it
  const std::string& XMLStandalone() const { return standalone_; }  ///< "yes" until a declaration names it
  /// Every other token of the declaration, in order (a repeated keyword is not added).
  const TList<TXMLAttribute>& XMLOtherAttrs() const { return other_attrs_; }
  /// Written back as a style-sheet line when not empty; a parse never fills it.
  const std::string& XMLStyleSheet() const { return style_sheet_; }
  /// The document-type line; never null.
  TXMLDocType* XMLDocType() const { return doc_type_.get(); }

  /// Gives the document a style-sheet link, written back as a style-sheet line when saving.
  void setXMLStyleSheet(const std::string& Value) { style_sheet_ = Value; }

  // --- Parse steps: what a load runs on the prolog ---
  // S may be a string of the other attributes that a step replaces. When an allocation fails, a
  // step throws std::bad_alloc (past 2^31 - 1 other attributes, std::length_error) and leaves S
  // and this record exactly as they were.

  /// The declaration, then one style-sheet instruction ("<?") or one document-type line ("<!").
  /// Returns the declaration's status; nothing more is consumed after a failure.
  TXMLErrorCode ParseString(std::string& S);
  /// Consumes S through the first "?>" (all of S when there is none: ecInvalidFileFormat).
  /// ecInvalidFileFormat when it begins with neither "<?xml " nor "<? xml "; ecNotValid when a
  /// keyword repeats (its first value stays), which wins over ecInvalidFileFormat.
  TXMLErrorCode ParseXMLHeader(std::string& S);
  /// Consumes S through the first "?>", or nothing when there is none. Always ecOk; the
  /// instruction is discarded.
  TXMLErrorCode ParseStyleSheet(std::string& S);
  // --- Saving ---

  /// Writes the declaration line, the style-sheet line when there is a link, the document-type line
  /// and one empty line. Throws EInOutError.
  void SaveToFile(std::ostream& F) const;

 private:
  friend class TXMLParser;
  // The declaration, then (WholeProlog) what follows it up to the root, applied only when nothing
  // can fail any more. The other attributes it replaces go to Replaced. Notes: what a load asks
  // beyond the fixed rules, and what the parse tells back.
  TXMLErrorCode Parse(std::string_view& S, bool WholeProlog, TList<TXMLAttribute>& Replaced,
                      detail::PrologNotes* Notes = nullptr);
  TXMLErrorCode SkipStyleSheet(std::string_view& S);
  // Back to the state of a new record, in place (the document type object stays the same).
  void Reset() noexcept;

  std::string version_;
  std::string encoding_;
  std::string language_;
  std::string standalone_;
  TList<TXMLAttribute> other_attrs_;
  std::string style_sheet_;
  std::unique_ptr<TXMLDocType> doc_type_;
};

}  // namespace linexml
