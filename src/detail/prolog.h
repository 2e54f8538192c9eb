#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "linexml/list.h"
#include "linexml/xml_attribute.h"
#include "linexml/xml_types.h"

namespace linexml::detail {

// What a load asks of the prolog parse beyond the fixed rules, and what the parse tells back.
// Positions are offsets into the text the parse started on.
struct PrologNotes {
  bool optional_declaration = false;  // a text without "<?xml " or "<? xml " in front has none
  // White space, processing instructions and one document-type line, in any order and number,
  // between the declaration and the root (otherwise: one instruction or document-type line).
  bool full_prolog = false;
  bool declared = true;                             // out: the text began with a declaration
  std::string_view repeated;                        // out: the first keyword met twice ("version", ...)
  std::size_t doctype_at = std::string_view::npos;  // out: where the document-type line starts
  // Out, when not null: the instructions read and dropped after the declaration, as [start, end).
  std::vector<std::pair<std::size_t, std::size_t>>* instructions = nullptr;
};

// The declaration's values as the parse found them; a load applies them to the prolog record only
// once nothing can fail any more.
struct DeclarationDraft {
  // version, encoding, language, standalone, in this order.
  static constexpr std::array<std::string_view, 4> kKeywords = {
      "version=", "encoding=", "language=", "standalone="};
  std::array<std::string, 4> values;
  std::array<bool, 4> seen{};
  TList<TXMLAttribute> others;
  std::string_view repeated;  // the first keyword met twice, without its "="
};

// What lies between the declaration and the root, as the parse found it.
struct BeforeRoot {
  bool has_doctype = false;  // a document-type line was read (its definition may be empty)
  std::string_view doctype;
};

// True when S begins with a declaration: "<?xml " or "<? xml ".
bool StartsDeclaration(std::string_view S);

// The declaration at the front of S, through its first "?>" (all of S when there is none, which
// gives ecInvalidFileFormat), into Out; Declared false reads none and consumes nothing.
// ecInvalidFileFormat when it begins with neither "<?xml " nor "<? xml " (its items are still
// read), ecNotValid when a keyword repeats. Throws std::bad_alloc, or std::length_error past the
// limit of other attributes, with S as it was.
TXMLErrorCode ParseDeclaration(std::string_view& S, bool Declared, DeclarationDraft& Out);

// What follows a sound declaration up to the root, from the front of S: by default one
// instruction ("<?" through the first "?>", dropped) or one document-type line ("<!" through the
// first ">"); with Notes.full_prolog also white space and any number of instructions around at
// most one document-type line. Base is the text whose offsets Notes receives.
void ParseBeforeRoot(std::string_view& S, std::string_view Base, PrologNotes* Notes, BeforeRoot& Out);

// Consumes S through the first "?>", or nothing when there is none.
void SkipInstruction(std::string_view& S);

// Takes everything through the first ">" of S into Definition; with no ">" the definition is
// empty and S stays as it is.
void TakeDocType(std::string_view& S, std::string_view& Definition);

}  // namespace linexml::detail
