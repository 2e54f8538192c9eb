#include "writable.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "bytes.h"
#include "doc_text.h"
#include "keyed_hash.h"
#include "linexml/xml_node.h"
#include "linexml/xml_parameters.h"
#include "quote.h"

namespace linexml::detail {
namespace {

constexpr std::string_view kComment = "<!--";

// The byte as a message shows it: quoted when printable, else in hexadecimal.
std::string ByteShown(char C) {
  const auto B = static_cast<unsigned char>(C);
  if (B >= 32 && B < 127) return std::string("'") + C + "'";
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string("0x") + kHex[B >> 4] + kHex[B & 15];
}

// "byte 3 of the name is ' ', which ends a name"
std::string AtByte(std::size_t Pos, std::string_view What, char C, std::string_view Why) {
  std::string Out =
      "byte " + std::to_string(Pos + 1) + " of the " + std::string(What) + " is " + ByteShown(C);
  if (IsLineBreak(C)) Out += ", a line break";
  return Out + ", which " + std::string(Why);
}

// "bytes 3 to 6 of the name are "<!--", which starts a comment"
std::string AtBytes(std::size_t Pos, std::size_t Size, std::string_view What, std::string_view Bytes,
                    std::string_view Why) {
  return "bytes " + std::to_string(Pos + 1) + " to " + std::to_string(Pos + Size) + " of the " +
         std::string(What) + " are \"" + std::string(Bytes) + "\", which " + std::string(Why);
}

// "bytes 4 to 5 of the text are two spaces in a row, which a load reduces to one"
std::string TwoSpaces(std::size_t Pos, std::string_view What) {
  return "bytes " + std::to_string(Pos + 1) + " to " + std::to_string(Pos + 2) + " of the " +
         std::string(What) + " are two spaces in a row, which a load reduces to one";
}

constexpr std::string_view kCommentWhy = "starts a comment that a load cuts out";
constexpr std::string_view kBreakWhy = "splits the line";

// A byte that ends a name or a value where it stands, and what it does there.
struct Stop {
  char byte;
  std::string_view why;
};

// Why S cannot be written where a tag holds it: its first byte among Stops, a line break or the
// start of "<!--"; empty when there is none.
std::string FirstStop(std::string_view S, std::string_view What, std::initializer_list<Stop> Stops) {
  std::string Bytes = "\n\r<";
  for (const Stop& T : Stops) Bytes += T.byte;
  for (std::size_t I = S.find_first_of(Bytes); I != std::string_view::npos;
       I = S.find_first_of(Bytes, I + 1)) {
    if (IsLineBreak(S[I])) return AtByte(I, What, S[I], kBreakWhy);
    if (S[I] == '<') {
      if (S.substr(I).starts_with(kComment)) return AtBytes(I, 4, What, kComment, kCommentWhy);
      continue;
    }
    for (const Stop& T : Stops)
      if (T.byte == S[I]) return AtByte(I, What, S[I], T.why);
  }
  return {};
}

}  // namespace

std::string WhyNotName(std::string_view S, std::string_view What) {
  if (S.empty()) return "the " + std::string(What) + " is empty";
  // "<" + a name beginning "!--" is a comment start ("<!--" inside the name is caught below).
  if (S.starts_with("!--")) return AtBytes(0, 3, What, "!--", "after the \"<\" of a tag starts a comment");
  return FirstStop(S, What,
                   {{' ', "ends a name"},
                    {'/', "ends a tag name"},
                    {'>', "ends the tag"},
                    {'=', "ends an attribute name"},
                    // With a '"' in element names, an attribute such as x="</a" could end an element
                    // named a" early: its closing tag would be found inside the attribute.
                    {'"', "lets a closing tag be found inside an attribute"}});
}

std::string WhyNotValue(std::string_view S, std::string_view What) {
  return FirstStop(S, What, {{' ', "ends an attribute"}, {'>', "ends the tag"}});
}

std::string WhyNotText(std::string_view S, std::string_view What) {
  // A text run is written on a line of its own, which a load trims and then joins with one space
  // in front: all that may differ is that space.
  const std::size_t From = S.starts_with(' ') ? 1 : 0;
  if (From == S.size())
    return "the " + std::string(What) + " is empty (after at most one leading space), and a load drops it";
  const std::size_t Last = S.size() - 1;
  if (IsLineBreak(S[From])) return AtByte(From, What, S[From], kBreakWhy);
  if (IsTrimmed(S[From]))
    return AtByte(From, What, S[From],
                  From == 0 ? "a load trims at the start of a line"
                            : "a load trims at the start of a line (one leading space is kept)");
  // The first of the faults inside, each found with a search of its own (texts are long; the
  // searches run through them at memchr's pace instead of byte by byte).
  std::size_t First = std::string_view::npos;
  for (const char C : {'<', '\n', '\r'}) First = std::min(First, S.find(C, From));
  const std::size_t Spaces = S.find("  ", From);
  if (Spaces < First) return TwoSpaces(Spaces, What);
  if (First != std::string_view::npos)
    return AtByte(First, What, S[First], S[First] == '<' ? "starts a tag" : kBreakWhy);
  if (IsTrimmed(S[Last])) return AtByte(Last, What, S[Last], "a load trims at the end of a line");
  return {};
}

std::string WhyNotTextRun(std::string_view S) {
  const std::size_t First = S.find_first_of("<\n\r");
  if (First == std::string_view::npos) return {};
  return AtByte(First, "text", S[First], S[First] == '<' ? "starts a tag" : kBreakWhy);
}

namespace {

// The declaration is one line read as tokens cut at spaces, up to its first "?>".
std::string WhyNotInDeclaration(std::string_view S, std::string_view What, bool IsName) {
  for (std::size_t I = 0; I < S.size(); ++I) {
    const char C = S[I];
    if (C == ' ') return AtByte(I, What, C, "ends a declaration attribute");
    if (IsLineBreak(C)) return AtByte(I, What, C, kBreakWhy);
    if (IsName && C == '=') return AtByte(I, What, C, "ends an attribute name");
    if (C == '?' && I + 1 < S.size() && S[I + 1] == '>')
      return AtBytes(I, 2, What, "?>", "ends the declaration");
    if (C == '<' && S.substr(I).starts_with(kComment)) return AtBytes(I, 4, What, kComment, kCommentWhy);
  }
  return {};
}

std::string WhyNotDocType(std::string_view D) {
  const std::string_view What = "document-type line";
  if (!D.starts_with("<!"))
    return "the document-type line does not begin with \"<!\", so a load does not take it for one";
  const std::size_t Gt = D.find('>');
  if (Gt == std::string_view::npos) return "the document-type line does not end with \">\"";
  if (Gt + 1 != D.size())
    return AtByte(Gt, What, '>', "ends the line early: a load reads the rest as the root");
  for (std::size_t I = 0; I < D.size(); ++I) {
    if (IsLineBreak(D[I])) return AtByte(I, What, D[I], kBreakWhy);
    if (D[I] == ' ' && D[I + 1] == ' ') return TwoSpaces(I, What);
    if (D[I] == '<' && D.substr(I).starts_with(kComment)) return AtBytes(I, 4, What, kComment, kCommentWhy);
  }
  return {};
}

std::string WhyNotStyleSheet(std::string_view S) {
  for (std::size_t I = 0; I < S.size(); ++I) {
    if (S[I] == '?' && I + 1 < S.size() && S[I + 1] == '>')
      return AtBytes(I, 2, "style-sheet link", "?>", "ends the instruction early");
    if (S[I] == '<' && S.substr(I).starts_with(kComment))
      return AtBytes(I, 4, "style-sheet link", kComment, kCommentWhy);
  }
  return {};
}

bool IsKeyword(std::string_view Name) {
  return Name == "version" || Name == "encoding" || Name == "language" || Name == "standalone";
}

std::string WhyNotProlog(const TXMLParameters& P) {
  const std::pair<std::string_view, const std::string*> Values[] = {{"version", &P.XMLVersion()},
                                                                    {"encoding", &P.XMLEncoding()},
                                                                    {"language", &P.XMLLanguage()},
                                                                    {"standalone", &P.XMLStandalone()}};
  for (const auto& [Keyword, Value] : Values) {
    std::string Why = WhyNotInDeclaration(*Value, "declaration's " + std::string(Keyword), false);
    if (!Why.empty()) return Why;
  }
  std::int32_t Index = 0;
  for (const TXMLAttribute* A : P.XMLOtherAttrs()) {
    ++Index;
    const std::string Which = "other declaration attribute " + std::to_string(Index);
    if (IsKeyword(A->Name))
      return "the " + Which + " is named " + Quote(A->Name, 40) + ", so a load takes it for that keyword";
    std::string Why = WhyNotInDeclaration(A->Name, "name of the " + Which, true);
    if (Why.empty()) Why = WhyNotInDeclaration(A->Value, "value of the " + Which, false);
    if (!Why.empty()) return Why;
  }
  if (!P.XMLStyleSheet().empty()) {
    std::string Why = WhyNotStyleSheet(P.XMLStyleSheet());
    if (!Why.empty()) return Why;
  }
  const std::string& DocType = P.XMLDocType()->DocTypeDefinition();
  if (DocType.empty()) return {};
  if (!P.XMLStyleSheet().empty())
    return "a style-sheet link and a document-type line: a load reads only the link and takes the "
           "document-type line for the root";
  return WhyNotDocType(DocType);
}

// ---- what an XML reader reads: the rules a save adds when it claims to be XML ----------------------

// What the document's prolog tells about reading it as XML: whether its bytes must be UTF-8 (the
// declared encoding is UTF-8), and whether an external document type may declare entities.
struct XmlRules {
  bool utf8 = true;
  bool doctype = false;
};

// The code point of the UTF-8 sequence at S[I] and its length; length 0 where the bytes there are
// no well-formed UTF-8 (overlong forms, surrogates and values past 10FFFF included).
struct CodePoint {
  char32_t value;
  std::size_t size;
};

CodePoint DecodeAt(std::string_view S, std::size_t I) {
  const auto B = static_cast<unsigned char>(S[I]);
  if (B < 0x80) return {B, 1};
  std::size_t Size = 4;
  char32_t Value = B & 0x07, Least = 0x10000;
  if (B >= 0xC2 && B <= 0xDF) {
    Size = 2;
    Value = B & 0x1F;
    Least = 0x80;
  } else if (B >= 0xE0 && B <= 0xEF) {
    Size = 3;
    Value = B & 0x0F;
    Least = 0x800;
  } else if (B < 0xF0 || B > 0xF4) {
    return {0, 0};
  }
  if (I + Size > S.size()) return {0, 0};
  for (std::size_t K = 1; K < Size; ++K) {
    const auto C = static_cast<unsigned char>(S[I + K]);
    if ((C & 0xC0) != 0x80) return {0, 0};
    Value = (Value << 6) | (C & 0x3F);
  }
  if (Value < Least || Value > 0x10FFFF || (Value >= 0xD800 && Value <= 0xDFFF)) return {0, 0};
  return {Value, Size};
}

// The character at S[I]: UTF-8 decoded when the document is UTF-8, else one byte.
CodePoint CharAt(std::string_view S, std::size_t I, const XmlRules& R) {
  return R.utf8 ? DecodeAt(S, I) : CodePoint{static_cast<unsigned char>(S[I]), 1};
}

bool IsXmlChar(char32_t C) {
  return C == 0x9 || C == 0xA || C == 0xD || (C >= 0x20 && C <= 0xD7FF) || (C >= 0xE000 && C <= 0xFFFD) ||
         (C >= 0x10000 && C <= 0x10FFFF);
}

bool IsNameStart(char32_t C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_' || C == ':' ||
         (C >= 0xC0 && C <= 0xD6) || (C >= 0xD8 && C <= 0xF6) || (C >= 0xF8 && C <= 0x2FF) ||
         (C >= 0x370 && C <= 0x37D) || (C >= 0x37F && C <= 0x1FFF) || (C >= 0x200C && C <= 0x200D) ||
         (C >= 0x2070 && C <= 0x218F) || (C >= 0x2C00 && C <= 0x2FEF) || (C >= 0x3001 && C <= 0xD7FF) ||
         (C >= 0xF900 && C <= 0xFDCF) || (C >= 0xFDF0 && C <= 0xFFFD) || (C >= 0x10000 && C <= 0xEFFFF);
}

bool IsNameChar(char32_t C) {
  return IsNameStart(C) || C == '-' || C == '.' || (C >= '0' && C <= '9') || C == 0xB7 ||
         (C >= 0x300 && C <= 0x36F) || (C >= 0x203F && C <= 0x2040);
}

constexpr std::string_view kNotUtf8 =
    "does not begin a well-formed UTF-8 sequence, which an XML reader refuses";
constexpr std::string_view kNoXmlChar = "is no character of XML 1.0";

// Why S is not an XML name, or empty (the format's own name rules are checked before).
std::string WhyNotXmlName(std::string_view S, std::string_view What, const XmlRules& R) {
  for (std::size_t I = 0; I < S.size();) {
    const CodePoint C = CharAt(S, I, R);
    if (C.size == 0) return AtByte(I, What, S[I], kNotUtf8);
    if (I == 0 ? !IsNameStart(C.value) : !IsNameChar(C.value))
      return AtByte(I, What, S[I], I == 0 ? "cannot begin an XML name" : "an XML name cannot hold");
    I += C.size;
  }
  return {};
}

// The size of the reference that S begins with ('&' ... ';') when an XML reader reads it, else 0.
std::size_t ReferenceSize(std::string_view S, const XmlRules& R) {
  const std::size_t End = S.find(';');
  if (End == std::string_view::npos || End < 2) return 0;
  const std::string_view Body = S.substr(1, End - 1);
  if (Body[0] == '#') {
    const bool Hex = Body.size() > 1 && Body[1] == 'x';
    const std::string_view Digits = Body.substr(Hex ? 2 : 1);
    if (Digits.empty() || Digits.size() > 8) return 0;
    char32_t Value = 0;
    for (const char D : Digits) {
      const int V = D >= '0' && D <= '9'          ? D - '0'
                    : Hex && D >= 'a' && D <= 'f' ? D - 'a' + 10
                    : Hex && D >= 'A' && D <= 'F' ? D - 'A' + 10
                                                  : -1;
      if (V < 0) return 0;
      Value = Value * (Hex ? 16 : 10) + static_cast<char32_t>(V);
    }
    return IsXmlChar(Value) ? End + 1 : 0;
  }
  if (!WhyNotXmlName(Body, "name", R).empty()) return 0;
  const bool Predefined = Body == "amp" || Body == "lt" || Body == "gt" || Body == "quot" || Body == "apos";
  return Predefined || R.doctype ? End + 1 : 0;
}

// Why an XML reader cannot read S as an attribute value (InValue) or as text, or empty.
std::string WhyNotXmlChars(std::string_view S, std::string_view What, const XmlRules& R, bool InValue) {
  for (std::size_t I = 0; I < S.size();) {
    const char B = S[I];
    if (B == '&') {
      const std::size_t Size = ReferenceSize(S.substr(I), R);
      if (Size == 0)
        return AtByte(I, What, B,
                      "starts no reference an XML reader reads (\"&amp;\" writes it; other named ones need "
                      "a document type that declares them and standalone \"no\")");
      I += Size;
      continue;
    }
    if (InValue && B == '"') return AtByte(I, What, B, "ends the value for an XML reader");
    if (InValue && B == '<') return AtByte(I, What, B, "an XML reader does not allow in a value");
    if (!InValue && S.substr(I).starts_with("]]>"))
      return AtBytes(I, 3, What, "]]>", "an XML reader does not allow in text");
    const CodePoint C = CharAt(S, I, R);
    if (C.size == 0) return AtByte(I, What, B, kNotUtf8);
    if (!IsXmlChar(C.value)) return AtByte(I, What, B, kNoXmlChar);
    I += C.size;
  }
  return {};
}

std::string WhyNotXmlProlog(const TXMLParameters& P) {
  const std::string& Version = P.XMLVersion();
  if (!Version.starts_with("1.") || Version.size() == 2 ||
      Version.find_first_not_of("0123456789", 2) != std::string::npos)
    return "the declaration's version is " + Quote(Version, 40) + ", which is no XML version (1.0, 1.1, ...)";
  const std::string& Encoding = P.XMLEncoding();
  const bool EncodingName =
      !Encoding.empty() && std::isalpha(static_cast<unsigned char>(Encoding[0])) != 0 &&
      std::all_of(Encoding.begin(), Encoding.end(), [](char C) {
        return std::isalnum(static_cast<unsigned char>(C)) != 0 || C == '.' || C == '_' || C == '-';
      });
  if (!EncodingName)
    return "the declaration's encoding is " + Quote(Encoding, 40) + ", which is no encoding name of XML";
  if (P.XMLStandalone() != "yes" && P.XMLStandalone() != "no")
    return "the declaration's standalone is " + Quote(P.XMLStandalone(), 40) +
           ", where XML wants \"yes\" or \"no\"";
  if (P.XMLOtherAttrs().Count() > 0)
    return "the declaration has an attribute " + Quote(P.XMLOtherAttrs()[0]->Name, 40) +
           ", where XML allows only version, encoding and standalone";
  const std::string& DocType = P.XMLDocType()->DocTypeDefinition();
  if (!DocType.empty() && !DocType.starts_with("<!DOCTYPE "))
    return "the document-type line does not begin with \"<!DOCTYPE \", which an XML reader needs";
  return {};
}

// The attribute of N that repeats the name of an earlier one, with that earlier one's number; 0
// when there is none. A table only for the many attributes that would make comparing each pair
// slow.
std::pair<std::int32_t, std::int32_t> RepeatedAttribute(const TXMLNode& N) {
  const TList<TXMLAttribute>& A = N.Attributes();
  constexpr std::int32_t kFew = 16;
  if (A.Count() <= kFew) {
    for (std::int32_t I = 1; I < A.Count(); ++I)
      for (std::int32_t J = 0; J < I; ++J)
        if (A[I]->Name == A[J]->Name) return {I + 1, J + 1};
    return {0, 0};
  }
  KeyedMap<std::int32_t> First;
  for (std::int32_t I = 0; I < A.Count(); ++I) {
    const auto [It, New] = First.emplace(A[I]->Name, I);
    if (!New) return {I + 1, It->second + 1};
  }
  return {0, 0};
}

// What an XML reader cannot read in N itself, or empty.
std::string WhyNotXmlNode(const TXMLNode& N, const XmlRules& R) {
  if (N.TagType() == ttCDATA) return WhyNotXmlChars(N.TextData(), "text", R, false);
  std::string Why = WhyNotXmlName(N.TagName(), "tag name", R);
  std::int32_t Index = 0;
  for (const TXMLAttribute* A : N.Attributes()) {
    if (!Why.empty()) return Why;
    ++Index;
    Why = WhyNotXmlName(A->Name, "name of attribute " + std::to_string(Index), R);
    if (Why.empty()) Why = WhyNotXmlChars(A->Value, "value of attribute " + Quote(A->Name, 40), R, true);
  }
  if (!Why.empty()) return Why;
  if (const auto [Again, First] = RepeatedAttribute(N); Again != 0)
    return "attribute " + std::to_string(Again) + " repeats the name " +
           Quote(N.Attributes()[Again - 1]->Name, 40) + " of attribute " + std::to_string(First) +
           ", which an XML reader refuses";
  return {};
}

// What is wrong with N itself (not with where it stands), or empty.
std::string WhyNotNode(const TXMLNode& N) {
  if (N.TagType() == ttCDATA) {
    if (!N.TagName().empty()) return "a text run with a tag name, which a save does not write";
    if (N.Attributes().Count() > 0) return "a text run with attributes, which a save does not write";
    if (N.Children().Count() > 0) return "a text run with children, which a save does not write";
    return WhyNotTextRun(N.TextData());
  }
  if (!N.TextData().empty()) return "an element with text data of its own, which a save does not write";
  if (N.TagType() == ttShorted && N.Children().Count() > 0)
    return "a self-closing element with children, which a save does not write";
  std::string Why = WhyNotName(N.TagName(), "tag name");
  if (!Why.empty()) return Why;
  std::int32_t Index = 0;
  for (const TXMLAttribute* A : N.Attributes()) {
    ++Index;
    Why = WhyNotName(A->Name, "name of attribute " + std::to_string(Index));
    if (Why.empty()) Why = WhyNotValue(A->Value, "value of attribute " + Quote(A->Name, 40));
    if (!Why.empty()) return Why;
  }
  return {};
}

}  // namespace

std::optional<TXMLUnwritable> FindUnwritable(const TXMLParameters& Prolog, const TXMLNode& Root,
                                             const TXMLSaveOptions* Options) {
  if (std::string Why = WhyNotProlog(Prolog); !Why.empty()) return TXMLUnwritable{nullptr, std::move(Why)};
  // A save that writes the standard declaration claims to be XML: an XML reader must read it.
  std::optional<XmlRules> Xml;
  if (Options != nullptr && Options->StandardDeclaration) {
    if (std::string Why = WhyNotXmlProlog(Prolog); !Why.empty())
      return TXMLUnwritable{nullptr, std::move(Why)};
    std::string Encoding = Prolog.XMLEncoding();
    for (char& C : Encoding) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    // Entities other than the five predefined may be declared in an external document type, which
    // a reader may skip only for a document that is not standalone.
    Xml = XmlRules{Encoding == "utf-8" || Encoding == "utf8",
                   !Prolog.XMLDocType()->DocTypeDefinition().empty() && Prolog.XMLStandalone() == "no"};
  }
  if (Root.TagType() == ttCDATA) return TXMLUnwritable{&Root, "the root is a text run, not an element"};
  if (Root.Level() != 0)
    return TXMLUnwritable{&Root, "the root's level is " + std::to_string(Root.Level()) + ", not 0"};
  const std::string& RootName = Root.TagName();
  if (!RootName.empty() && (RootName[0] == '!' || RootName[0] == '?') &&
      Prolog.XMLDocType()->DocTypeDefinition().empty() && Prolog.XMLStyleSheet().empty())
    return TXMLUnwritable{&Root, std::string("the root's name begins with '") + RootName[0] +
                                     "', so without a document-type line or a style-sheet link in "
                                     "front a load takes the root for one"};

  // Names of the open normal elements (a keyed table: crafted names cannot make it slow).
  KeyedMap<std::int64_t> Open;
  std::optional<TXMLUnwritable> Fault;
  auto Refuse = [&Fault](const TXMLNode& N, std::string Why) {
    Fault = TXMLUnwritable{&N, std::move(Why)};
    return vsStop;
  };
  // Invariant: Open counts the names of the normal elements whose subtree the walk is in.
  Root.ForEachInSubtree(
      [&](const TXMLNode& N) {
        if (&N != &Root) {
          const TXMLNode& Up = *N.Parent();
          if (N.Level() != static_cast<std::int64_t>(Up.Level()) + 1)
            return Refuse(N, "its level is " + std::to_string(N.Level()) + ", not its parent's + 1");
          if (N.IndexInParent() > 0 && N.TagType() == ttCDATA &&
              Up.Children().begin()[N.IndexInParent() - 1]->TagType() == ttCDATA)
            return Refuse(N, "a text run right after another text run, with which a load merges it");
        }
        if (std::string Why = WhyNotNode(N); !Why.empty()) return Refuse(N, std::move(Why));
        if (Xml)
          if (std::string Why = WhyNotXmlNode(N, *Xml); !Why.empty()) return Refuse(N, std::move(Why));
        if (N.TagType() == ttCDATA) return vsSkip;
        if (N.TagType() == ttNormal && ++Open[N.TagName()] > 1)
          return Refuse(
              N,
              "a normal element inside an element of the same name, whose closing tag would end the "
              "outer one");
        return vsDown;
      },
      [&Open](const TXMLNode& N) {
        if (N.TagType() == ttNormal) --Open[N.TagName()];
      });
  return Fault;
}

}  // namespace linexml::detail
