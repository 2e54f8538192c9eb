#pragma once
/// \file
/// The free functions: the value cutter of attribute tokens, the rules of what a save can write
/// (and why a string breaks them), the conversion of the five predefined entities, and how
/// messages show text.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "export.h"

namespace linexml {

/// Cuts an attribute value out of the rest of its token (what follows the "="): drops the first
/// character (the opening quote, whatever it is) and, at the end, the closing quote and the token's
/// trailing space, plus the tag's closing ">", "/>" or "?>" where the token carries one. Quotes are
/// never inspected. Exactly ">", "/>", "?>" or "!>", and anything of three characters or fewer,
/// give empty text. Never fails.
LINEXML_API std::string ParseAttributeValue(const std::string& S);

// What a save writes so that a load reads it back unchanged. Names and values are written raw
// (the format has no escapes), so these are the bytes and sequences that the loader would take
// for something else. The checked edits of TXMLNode refuse whatever these refuse.

/// True when Name, as a tag or attribute name, comes back unchanged from a save and a load: not
/// empty, without a space, "/", ">", "=", '"' or line break (LF, CR), without "<!--" and not
/// beginning with "!--" (the "<" before it would start a comment). Other bytes, control bytes
/// and bytes from 128 up included, are carried as they are.
[[nodiscard]] LINEXML_API bool IsWritableName(std::string_view Name);
/// True when Value, as an attribute value, comes back unchanged: without a space, ">" or line
/// break and without "<!--". Empty is fine; quotes of either kind are carried as they are.
[[nodiscard]] LINEXML_API bool IsWritableValue(std::string_view Value);
/// True when Text, as a text run, comes back as Text or as " " + Text (a text run is written on a
/// line of its own and read back with one space in front: the leading-space rule). After at most
/// one leading space, Text must be left: not empty, without a byte 0..32 at either end, without
/// two spaces in a row, and without "<" or a line break.
[[nodiscard]] [[nodiscard]] LINEXML_API bool IsWritableText(std::string_view Text);

/// Why Name cannot be a tag or attribute name (the rule of IsWritableName): one clause naming the
/// first offending byte and its 1-based position, e.g. "byte 3 of the name is ' ', which ends a
/// name"; nullopt when it can. A refused checked edit carries the same clause
/// (EXMLRefusal::Reason).
[[nodiscard]] LINEXML_API std::optional<std::string> WhyNotWritableName(std::string_view Name);
/// The same for an attribute value (IsWritableValue).
[[nodiscard]] LINEXML_API std::optional<std::string> WhyNotWritableValue(std::string_view Value);
/// The same for a text run (IsWritableText).
[[nodiscard]] LINEXML_API std::optional<std::string> WhyNotWritableText(std::string_view Text);

/// Raw is returned with "&", "<", ">", '"' and "'" written as "&amp;", "&lt;", "&gt;", "&quot;" and
/// "&apos;", for files that other XML readers also read. Values and texts stay raw in the tree;
/// the encoded form holds no "<" and no quote, but may still hold spaces (see IsWritableValue).
[[nodiscard]] LINEXML_API std::string EncodeEntities(std::string_view Raw);
/// Text with the five predefined entities and the character references "&#N;" (decimal) and
/// "&#xH;" (hexadecimal) replaced by what they stand for, a reference as UTF-8. A reference to 0,
/// a surrogate (D800 to DFFF) or past 10FFFF, any other entity, and "&" without a complete
/// reference stay as written.
[[nodiscard]] LINEXML_API std::string DecodeEntities(std::string_view Text);

/// Text as the library's messages show it: between double quotes, with '"', '\' and control
/// bytes escaped ("\t", "\n", "\r", "\xNN"; bytes from 128 up kept), so that no byte of a
/// document reaches a terminal raw. Past Max bytes it is cut (never inside a UTF-8 sequence) and
/// "..." ends it inside the quotes.
[[nodiscard]] LINEXML_API std::string QuoteText(std::string_view Text,
                                                std::size_t Max = std::string_view::npos);
/// QuoteText's escapes without the quotes ('"' stays as it is): unchanged for text without '\'
/// and control bytes.
[[nodiscard]] LINEXML_API std::string EscapeText(std::string_view Text);

}  // namespace linexml
