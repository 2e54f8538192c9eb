#pragma once

// The byte rules of the format, each in one place: what ends a tag name, what a load trims, what
// breaks a line, and the byte-order mark. Every stage that reads or checks text takes them from
// here, so a change to a rule is made once.

#include <string_view>

#include "simd.h"

namespace linexml::detail {

// A tag name runs up to a space, "/" or ">" (the tree, the closing-tag index, the messages and the
// warnings all read names so). Some scans also stop at "<", which is otherwise a byte of a name.
constexpr bool EndsName(char C) {
  return C == ' ' || C == '/' || C == '>';
}
// The bytes of a block that end a name.
inline simd::Lanes NameEnds(simd::Block B) {
  return B.Eq(' ') | B.Eq('/') | B.Eq('>');
}
// The first byte of [P, End) that ends a name, or End; with Lt, also a "<". The blocks may read on
// up to Readable.
inline const char* FindNameEnd(const char* P, const char* End, const char* Readable) {
  return simd::FindIf(P, End, Readable, [](simd::Block B) { return NameEnds(B).ToBits(); });
}
inline const char* FindNameEndOrLt(const char* P, const char* End, const char* Readable) {
  return simd::FindIf(P, End, Readable, [](simd::Block B) { return (NameEnds(B) | B.Eq('<')).ToBits(); });
}

// A load trims the bytes 0..32 (the space, tabs, line ends and the other control bytes) at both
// ends of every line; bytes from 128 up are always kept. TXMLNode::Text trims the same way.
constexpr bool IsTrimmed(char C) {
  return static_cast<unsigned char>(C) <= 32;
}
// Text without the bytes IsTrimmed takes at either end.
constexpr std::string_view Trimmed(std::string_view S) {
  std::size_t B = 0, E = S.size();
  while (B < E && IsTrimmed(S[B])) ++B;
  while (E > B && IsTrimmed(S[E - 1])) --E;
  return S.substr(B, E - B);
}

// A load splits lines at LF, CRLF and a lone CR.
constexpr bool IsLineBreak(char C) {
  return C == '\n' || C == '\r';
}

// The white space inside a line: what the declaration skips between its parts, and what a root
// read as a text run in front of the real root (a space left by a cut comment) consists of.
constexpr bool IsSpaceOrTab(char C) {
  return C == ' ' || C == '\t';
}
constexpr bool IsSpacesAndTabs(std::string_view S) {
  for (const char C : S)
    if (!IsSpaceOrTab(C)) return false;
  return true;
}

// The UTF-8 byte-order mark: a load skips it in front of the document when the options accept it,
// a save writes it when asked.
inline constexpr std::string_view kBom = "\xEF\xBB\xBF";
// The mark as the document text holds it when a load did not skip it: the first line does not
// begin with "<", so it is joined with one space in front, as every such line is.
inline constexpr std::string_view kJoinedBom = " \xEF\xBB\xBF";

}  // namespace linexml::detail
