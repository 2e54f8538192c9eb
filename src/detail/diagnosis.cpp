#include "diagnosis.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <system_error>
#include <unordered_map>

#include "bytes.h"
#include "doc_text.h"
#include "keyed_hash.h"
#include "linexml/xml_node.h"
#include "quote.h"
#include "tag_tokens.h"
#include "warnings.h"

namespace linexml::detail {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The name of the tag whose "<" is at Lt, as the parse reads it: up to a space, "/" or ">".
std::string_view NameAt(std::string_view T, std::size_t Lt) {
  std::size_t I = Lt + 1;
  while (I < T.size() && !EndsName(T[I])) ++I;
  return T.substr(Lt + 1, I - Lt - 1);
}

std::string Quoted(std::string_view Text) {
  return Quote(Text, 32);
}

// The name of an element that the tree holds inside an element of the same name, Prefer when it is
// one of them; empty when there is none. Walks the tree once, with the names of the open ancestors
// counted.
std::string_view NestedSameName(const TXMLNode& Root, std::string_view Prefer) {
  KeyedMap<std::size_t> Open;
  std::string_view Found;
  // Invariant: Open counts the names of the elements whose subtree the walk is in.
  Root.ForEachInSubtree(
      [&](const TXMLNode& N) {
        if (&N != &Root && N.TagType() == ttCDATA) return vsSkip;
        std::size_t& Count = Open[N.TagName()];
        if (Count > 0) {
          if (N.TagName() == Prefer) {
            Found = Prefer;
            return vsStop;
          }
          if (Found.empty()) Found = N.TagName();
        }
        ++Count;
        return vsDown;
      },
      [&Open](const TXMLNode& N) { --Open[N.TagName()]; });
  return Found;
}

std::string SameNameCause(std::string_view Name) {
  const std::string N = Quoted(Name);
  return "an element " + N + " inside another " + N + " ends the outer one at the inner " +
         Quoted("</" + std::string(Name) + ">");
}

std::string DescribeBadStart(std::string_view T) {
  if (T.empty()) return "the document is empty: it has no XML declaration and no root element";
  if (T.starts_with(kJoinedBom))
    return "the document begins with a UTF-8 byte-order mark, which stands in front of the XML declaration "
           "(accepting a byte-order mark skips it)";
  if (T.starts_with(" \xFF\xFE") || T.starts_with(" \xFE\xFF"))
    return "the document begins with a UTF-16 byte-order mark: it is UTF-16 text, and only encodings of "
           "8-bit units are read";
  if (T.starts_with("<?xml ") || T.starts_with("<? xml "))
    return "the XML declaration is never closed: there is no \"?>\" in the document";
  if (T.starts_with("<?"))
    return "the document begins with the processing instruction " + Quoted("<" + std::string(NameAt(T, 0))) +
           " instead of the XML declaration \"<?xml ...?>\"";
  if (T.starts_with("<"))
    return "the document begins with the element " + Quoted("<" + std::string(NameAt(T, 0))) +
           " instead of the XML declaration \"<?xml ...?>\" (accepting a document without a "
           "declaration reads it)";
  return "the document begins with text, " + Quoted(T.substr(1, T.find('<') - 1)) +
         ", instead of the XML declaration \"<?xml ...?>\"";
}

std::string DescribeBrokenTag(const FailureFacts& F) {
  const std::string_view T = F.text;
  const std::size_t Pos = F.pos;
  if (Pos >= T.size()) return "nothing follows the prolog: the document has no root element";
  const std::string_view After = T.substr(Pos + 1);
  if (After.empty()) return "the document ends with a lone \"<\"";
  if (After[0] == '/') {
    const std::size_t Gt = After.find('>');
    if (Gt == npos)
      return "the closing tag " + Quoted(T.substr(Pos)) + " is cut off: the document ends before its \">\"";
    const std::string_view Name = After.substr(1, Gt - 1);
    const std::string Tag = Quoted(T.substr(Pos, Gt + 2));
    if (Name.empty())
      return "a closing tag without a name, " + Tag + ", stands where an element was expected";
    const std::string_view Nested = NestedSameName(F.root, Name);
    std::string Out = "the closing tag " + Tag + " stands where an element was expected: ";
    if (Nested == Name) return Out + SameNameCause(Name) + ", so this one is left over";
    if (!Nested.empty())
      return Out + SameNameCause(Nested) + ", which leaves " + Quoted(Name) +
             " without its content before it";
    return Out + "no element " + Quoted(Name) + " is open here";
  }
  if (After[0] == ' ') return "\"<\" is followed by a space: the name of a tag must follow \"<\" directly";
  if (After[0] == '>') return "an empty tag \"<>\": a tag needs a name";
  const std::string Open = Quoted("<" + std::string(NameAt(T, Pos)));
  if (Pos + 1 + NameAt(T, Pos).size() >= T.size())
    return "the tag " + Open + " is cut off: the document ends before its \">\"";
  return "the tag " + Open + " has no \">\" before the end of the element around it";
}

std::string DescribeLeftOver(const FailureFacts& F, std::vector<FailureNote>& Notes) {
  const std::string_view T = F.text;
  const std::string_view Left = T.substr(std::min(F.pos, T.size()));
  const TXMLNode& Root = F.root;
  const std::string& RootName = Root.TagName();
  const std::string Left0 = " is left over";
  if (F.marked)
    return "the document begins with a UTF-8 byte-order mark, which is read as text where the root element "
           "should begin (accepting a byte-order mark skips it)";
  const bool SubsetCut = F.doctype.find('[') != npos && F.doctype.find(']') == npos;
  const std::string SubsetCause = "the internal subset of the document type is cut at its first \">\", so ";
  const std::string FullProlog = " (accepting the full prolog reads it)";
  if (Root.TagType() == ttCDATA) {
    const std::string_view Text = Root.TextData();
    if (IsSpacesAndTabs(Text))
      return std::string("a space in front of the root element") +
             (F.comment_cut ? ", which a comment cut out there leaves," : "") +
             " is read as text where the root element should begin, so the document after it" + Left0 +
             FullProlog;
    const std::string Shown = Quoted(Text.substr(Text.starts_with(' ') ? 1 : 0));
    if (SubsetCut)
      return SubsetCause + "the rest of it, " + Shown +
             ", is read as text where the root element should begin, and the document after it" + Left0;
    return "the document has text, " + Shown + ", where its root element should begin, and what follows it" +
           Left0;
  }
  if (RootName.starts_with("!--"))
    return "a comment is never closed (there is no \"-->\" after its \"<!--\"), so it is read as the root "
           "element, and the document after it" +
           Left0;
  if (RootName.starts_with("!") && SubsetCut)
    return SubsetCause + Quoted("<" + RootName) +
           " after it is read as the root element, and the document after it" + Left0;
  if (RootName.starts_with("!"))
    return Quoted("<" + RootName) +
           " is read as the root element (a document-type line is read only right after the declaration, "
           "not after a style-sheet instruction), so the document after it" +
           Left0 + FullProlog;
  if (RootName.starts_with("?"))
    return "the processing instruction " + Quoted("<" + RootName) +
           " is read as the root element (only one instruction is read after the declaration), so the "
           "document after it" +
           Left0 + FullProlog;
  if (Root.TagType() == ttNormal && Root.Children().Count() == 0 &&
      T.find("</" + RootName + ">", F.pos) == npos) {
    const std::string Open = Quoted("<" + RootName + ">");
    Notes.push_back({F.body, "the root element " + Open + " is opened here"});
    return "the root element " + Open + ", opened on line " + std::to_string(F.body_line) +
           ", is never closed: there is no " + Quoted("</" + RootName + ">") +
           " after it (the document may be cut off), so the document after its opening tag" + Left0;
  }
  if (Left.starts_with("</")) {
    const std::size_t Gt = Left.find('>');
    const std::string_view Name = Left.substr(2, Gt == npos ? npos : Gt - 2);
    const std::string Tag = Quoted(Left.substr(0, Gt == npos ? npos : Gt + 1));
    const std::string_view Nested = NestedSameName(Root, Name);
    if (!Nested.empty())
      return "the closing tag " + Tag + " is left over after the root element: " + SameNameCause(Nested);
    return "the closing tag " + Tag + " follows the end of the root element";
  }
  if (Left.starts_with("<?"))
    return "the processing instruction " + Quoted("<" + std::string(NameAt(Left, 0))) +
           " follows the root element, where only comments may follow";
  if (Left.starts_with("<!--"))
    return "a comment after the root element is never closed (there is no \"-->\" after its \"<!--\")";
  if (Left.starts_with("<"))
    return "a second element, " + Quoted("<" + std::string(NameAt(Left, 0))) +
           ", follows the root element: a document has one root element";
  return "text follows the root element: " + Quoted(Left.substr(Left.starts_with(' ') ? 1 : 0));
}

// ---- warnings ----------------------------------------------------------------------------------

// The "<" of the opening tag that ends just before After: the first "<" after the ">" before it
// (a tag holds no ">" before its end, and text holds no "<").
std::size_t TagStart(std::string_view T, std::size_t After) {
  std::size_t I = After - 1;
  while (I > 0 && T[I - 1] != '>') --I;
  const std::size_t Lt = T.find('<', I);
  return Lt < After ? Lt : After - 1;
}

void FindUnclosed(const WarningFacts& F, std::vector<Found>& Out) {
  if (F.unclosed.empty()) return;
  const std::string_view T = F.doc.Text();
  std::unordered_map<const TXMLNode*, std::size_t> Ends;
  for (const auto& [Node, After] : F.unclosed) Ends.emplace(Node, After);
  KeyedMap<std::size_t> Open;
  // Invariant: Open counts the names of the normal elements whose subtree the walk is in.
  F.root.ForEachInSubtree(
      [&](const TXMLNode& N) {
        if (&N != &F.root && N.TagType() != ttNormal) return vsSkip;
        const auto It = Ends.find(&N);
        if (It != Ends.end()) {
          const std::string& Name = N.TagName();
          const std::string Opening = Quoted("<" + Name + ">"), Closing = Quoted("</" + Name + ">");
          const std::size_t At = TagStart(T, It->second);
          // Keyed by the tree's own string: a view of a copy would dangle.
          if (Open[N.TagName()] > 0) {
            Out.push_back({F.doc.JoinedAt(At), wkSameNameNesting,
                           "the element " + Opening + " stands inside another " + Quoted(Name) +
                               ": the first " + Closing +
                               " after it ends the outer one, so this one is read without content"});
          } else {
            Out.push_back({F.doc.JoinedAt(At), wkMissingClosingTag,
                           "no closing tag " + Closing + " is found for the element " + Opening +
                               " (before the end of the element around it): it is read without content, and "
                               "what follows it becomes its siblings"});
          }
        }
        ++Open[N.TagName()];
        return vsDown;
      },
      [&Open](const TXMLNode& N) { --Open[N.TagName()]; });
}

}  // namespace

std::string DescribeFailure(const FailureFacts& F, std::vector<FailureNote>& Notes) {
  if (F.status == ecInvalidFileFormat) return DescribeBadStart(F.text);
  if (F.status != ecNotValid && F.status != ecInvalidTag) return ErrorCodeMeaning(F.status);
  if (!F.repeated.empty())
    return "the declaration keyword " + Quoted(F.repeated) + " is written twice (the first value is kept)";
  if (F.doctype.starts_with("<!--"))
    return "a comment in front of the root element is never closed (there is no \"-->\" after its \"<!--\"), "
           "so "
           "it is read as the document-type line, up to its first \">\"";
  return F.status == ecNotValid ? DescribeLeftOver(F, Notes) : DescribeBrokenTag(F);
}

std::string DescribeUnreadable(int Errno) {
  if (Errno == 0) return "no file name is set";
  return "the file cannot be read: " + std::generic_category().message(Errno);
}

std::vector<TXMLWarning> FindWarnings(const WarningFacts& F) {
  std::vector<Found> All;
  for (const DocText::CommentNote& C : F.doc.CommentsCut())
    All.push_back({C.joined, wkCommentDropped,
                   "the comment " + Quote(C.head, 40) + " is cut out on loading, so a save drops it"});
  if (F.doctype_at != npos) {
    const std::size_t Open = F.doctype.find('[');
    if (Open != npos && F.doctype.find(']', Open) == npos)
      All.push_back({F.doc.JoinedAt(F.doctype_at), wkDocTypeSubsetCut,
                     "the internal subset of the document type is cut at its first \">\": " +
                         Quote(F.doctype, 40) + " is kept, and the rest is read as the document"});
  }
  Spans Literal;
  if (F.instructions != nullptr) {
    FindDroppedInstructions(F.doc, *F.instructions, All);
    Literal = *F.instructions;
  }
  FindTagWarnings(F.doc, F.body, All, Literal);
  FindReferences(F.doc, Literal, All);
  FindJoinedText(F.doc, F.body, Literal, All);
  FindUnclosedComment(F.doc, Literal, All);
  FindUnclosed(F, All);
  std::stable_sort(All.begin(), All.end(),
                   [](const Found& A, const Found& B) { return A.joined < B.joined; });
  std::vector<TXMLWarning> Out;
  Out.reserve(All.size());
  DocText::Locator Where(F.doc);
  for (Found& W : All) {
    const SourcePlace At = Where.At(W.joined);
    Out.push_back({At.line, At.column, W.kind, std::move(W.text)});
  }
  return Out;
}

}  // namespace linexml::detail
