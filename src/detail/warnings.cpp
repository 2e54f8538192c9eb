#include "warnings.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string_view>
#include <unordered_set>

#include "bytes.h"
#include "doc_text.h"
#include "keyed_hash.h"
#include "quote.h"
#include "tag_tokens.h"

namespace linexml::detail {
namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string Quoted(std::string_view Text) {
  return Quote(Text, 32);
}

bool IsQuote(char C) {
  return C == '"' || C == '\'';
}

// Opens with a quote that does not close it: a value cut at a space or at the tag's ">".
bool OpensValue(std::string_view Rest) {
  return !Rest.empty() && IsQuote(Rest[0]) && (Rest.size() < 2 || Rest.back() != Rest[0]);
}

// Whether byte At of the token P, whose "=" is at Eq, lies inside its quoted value (up to the quote
// that closes it, or to the end of a value cut at a space).
bool InQuotedValue(std::string_view P, std::size_t Eq, std::size_t At) {
  if (Eq == npos || At <= Eq + 1 || !IsQuote(P[Eq + 1])) return false;
  const std::size_t Close = P.find(P[Eq + 1], Eq + 2);
  return Close == npos || At < Close;
}

// Walks the spans of a Spans list alongside ascending positions.
class SpanCursor {
 public:
  explicit SpanCursor(const Spans& S) : spans_(S) {}
  // True when Pos lies in a span; positions must not go down from call to call.
  bool Inside(std::size_t Pos) {
    while (next_ < spans_.size() && spans_[next_].second <= Pos) ++next_;
    return next_ < spans_.size() && spans_[next_].first <= Pos;
  }

 private:
  const Spans& spans_;
  std::size_t next_ = 0;
};

// The attribute names of one tag, for the names written twice: a few are compared one by one, many
// go to a table hashed with a key drawn for it (crafted names cannot make it slow).
class NamesSeen {
 public:
  // False when Name was seen before in this tag.
  bool Add(std::string_view Name) {
    if (table_ == nullptr) {
      if (std::find(few_.begin(), few_.end(), Name) != few_.end()) return false;
      few_.push_back(Name);
      if (few_.size() < kFew) return true;
      table_ = std::make_unique<Table>(few_.begin(), few_.end());
      return true;
    }
    return table_->insert(Name).second;
  }
  void Clear() {
    few_.clear();
    table_.reset();
  }

 private:
  static constexpr std::size_t kFew = 16;
  using Table = std::unordered_set<std::string_view, KeyedHash>;
  std::vector<std::string_view> few_;
  std::unique_ptr<Table> table_;
};

// The attribute tokens of opening tags, one tag after another, as the parse cuts them: each token
// is read as one attribute, so a value with a space in it, or an "=" with white space around it,
// spreads over several tokens, which the scan follows to warn once per construct.
class TagScan {
 public:
  TagScan(const DocText& Doc, std::vector<Found>& Out) : doc_(Doc), out_(Out), where_(Doc) {}

  // Tag: everything after the name through the tag's ">"; From: where it starts in the text.
  void Attributes(std::string_view Tag, std::size_t From) {
    pieces_.clear();
    ForEachToken(Tag, [&](std::string_view Piece) { pieces_.push_back(Piece); });
    state_ = State::kFresh;
    names_.Clear();
    for (std::size_t K = 0; K < pieces_.size(); ++K) {
      const bool Last = K + 1 == pieces_.size();
      Token(pieces_[K], From + static_cast<std::size_t>(pieces_[K].data() - Tag.data()), Last,
            Last ? std::string_view() : pieces_[K + 1]);
    }
    if (state_ == State::kBareName) Valueless(bare_, bare_at_);
  }

  void Add(std::size_t At, TXMLWarningKind Kind, std::string Text) {
    out_.push_back({doc_.JoinedAt(At), Kind, std::move(Text)});
  }

 private:
  enum class State {
    kFresh,        // the next token starts an attribute
    kBareName,     // the token before had no "=" (bare_): a valueless attribute, or "=" follows
    kAfterEquals,  // the token before ended with "=": this one holds the value
    kInValue,      // inside a value cut at a space, until a token holds quote_
  };

  void Token(std::string_view Piece, std::size_t At, bool Last, std::string_view Next) {
    // The last token carries the tag's end: ">", or "/>" (or "?>") after the value.
    std::string_view P = Piece;
    if (Last && P.ends_with('>')) {
      P.remove_suffix(1);
      if (P.ends_with('/') || P.ends_with('?')) P.remove_suffix(1);
    }
    switch (state_) {
      case State::kInValue:
        if (P.find(quote_) != npos) state_ = State::kFresh;
        return;
      case State::kAfterEquals:
        state_ = State::kFresh;
        Follow(P);
        return;
      case State::kBareName:
        state_ = State::kFresh;
        if (P.starts_with('=')) {
          SpaceAroundEquals(bare_, bare_at_);
          AfterEquals(P.substr(1), Last);
          return;
        }
        Valueless(bare_, bare_at_);
        break;
      case State::kFresh:
        break;
    }
    if (P.empty()) return;  // the tag's end, or the space a comment cut out there left
    const std::size_t Eq = P.find('='), TabAt = P.find('\t');
    if (TabAt != npos && !InQuotedValue(P, Eq, TabAt)) {
      TabInTag(P, At, Eq);
      return;
    }
    if (TabAt != npos)
      Add(At + TabAt, wkTabInTag,
          "the value of " + Quoted(P.substr(0, Eq)) +
              " holds a tab, which is kept as it is; an XML reader reads a space in its place");
    if (Eq == npos) {
      if (Last) {
        Valueless(P, At);
      } else {
        state_ = State::kBareName;
        bare_ = P;
        bare_at_ = At;
      }
      return;
    }
    const std::string_view Name = P.substr(0, Eq), Rest = P.substr(Eq + 1);
    if (Name.empty()) {
      // "=" with nothing before it: the name stood before a space (the tag's name, or a comment).
      Add(At, wkSpaceAroundEquals,
          "an \"=\" without an attribute name before it is read as an attribute named \"\"; an XML reader "
          "reads the name before the white space in front of it");
      AfterEquals(Rest, Last);
      return;
    }
    Named(Name, At);
    if (Rest.empty()) {
      if (Last) {
        Unquoted(Name, At, Piece.substr(Eq + 1));
        return;
      }
      Add(At, wkSpaceAroundEquals,
          "white space follows the \"=\" of " + Quoted(Name) + ": it is read with an empty value, and " +
              Quoted(Next) +
              " as an attribute of its own; an XML reader reads the value after the white space");
      state_ = State::kAfterEquals;
      return;
    }
    if (!IsQuote(Rest[0])) {
      Unquoted(Name, At, Piece.substr(Eq + 1));
      return;
    }
    if (!OpensValue(Rest)) {
      if (Rest.substr(1, Rest.size() - 2).find(Rest[0]) != npos)
        Add(At, wkUnquotedValue,
            "the value of " + Quoted(Name) + " holds the quote that encloses it: " +
                Quoted(CutAttributeValue(Piece.substr(Eq + 1), true)) + " is read; an XML reader refuses it");
      return;
    }
    const std::string Kept = Quoted(CutAttributeValue(Piece.substr(Eq + 1), true));
    if (Last) {
      Add(At, wkValueCut,
          "the value of " + Quoted(Name) + " holds \">\", which ends the tag: " + Kept +
              " is kept, and the rest of the value is read as text");
      return;
    }
    Add(At, wkValueCut,
        "the value of " + Quoted(Name) + " holds " +
            (BreaksLine(At + Piece.size()) ? "a line break" : "a space") + ", where it is cut: " + Kept +
            " is kept, and the rest, " + Quoted(Next) + ", is read as an attribute of its own");
    state_ = State::kInValue;
    quote_ = Rest[0];
  }

  // Whether the space at Space of the text joins two lines (a line break stood there). Asked in the
  // order of the text.
  bool BreaksLine(std::size_t Space) {
    const std::size_t J = doc_.JoinedAt(Space);
    return J > 0 && where_.At(J - 1).line != where_.At(J + 1).line;
  }

  // What follows an "=" that white space stood before: the value, or nothing (it is the next token).
  void AfterEquals(std::string_view Rest, bool Last) {
    if (Rest.empty())
      state_ = Last ? State::kFresh : State::kAfterEquals;
    else
      Follow(Rest);
  }

  // A value that stood apart from its "=": a cut one spreads over the tokens that follow.
  void Follow(std::string_view Value) {
    if (OpensValue(Value)) {
      state_ = State::kInValue;
      quote_ = Value[0];
    }
  }

  void Named(std::string_view Name, std::size_t At) {
    if (!names_.Add(Name))
      Add(At, wkDuplicateAttribute,
          "the attribute " + Quoted(Name) +
              " is written twice in this tag: both are kept, and lookups and changes find the first; an XML "
              "reader refuses it");
  }

  void Valueless(std::string_view Name, std::size_t At) {
    Named(Name, At);
    Add(At, wkValuelessAttribute,
        "the attribute " + Quoted(Name) +
            " has no value: it is read with an empty one; an XML reader refuses it");
  }

  void SpaceAroundEquals(std::string_view Name, std::size_t At) {
    Named(Name, At);
    Add(At, wkSpaceAroundEquals,
        "white space stands before the \"=\" after " + Quoted(Name) +
            ": it is read as an attribute with an empty value, and what follows the \"=\" as attributes of "
            "their "
            "own; an XML reader reads the value after the \"=\"");
  }

  void Unquoted(std::string_view Name, std::size_t At, std::string_view Rest) {
    Add(At, wkUnquotedValue,
        "the value of " + Quoted(Name) + " is not in quotes: " + Quoted(CutAttributeValue(Rest, true)) +
            " is read (its first and last bytes are taken for quotes); an XML reader refuses it");
  }

  void TabInTag(std::string_view P, std::size_t At, std::size_t Eq) {
    const std::string_view Name = P.substr(0, Eq == npos ? P.size() : Eq);
    std::string Read = "the attribute " + Quoted(Name);
    if (Eq != npos) Read += " with the value " + Quoted(CutAttributeValue(P.substr(Eq + 1), true));
    Add(At + P.find('\t'), wkTabInTag,
        "a tab in the tag is read as part of an attribute, not as white space between attributes: " + Read +
            " is read; an XML reader ends a name or an unquoted value at the tab");
  }

  const DocText& doc_;
  std::vector<Found>& out_;
  DocText::Locator where_;
  std::vector<std::string_view> pieces_;
  State state_ = State::kFresh;
  char quote_ = '"';
  std::string_view bare_;
  std::size_t bare_at_ = 0;
  NamesSeen names_;
};

bool IsNameByte(char C) {
  const auto B = static_cast<unsigned char>(C);
  return (B >= 'a' && B <= 'z') || (B >= 'A' && B <= 'Z') || (B >= '0' && B <= '9') || B == '_' || B == ':' ||
         B == '.' || B == '-' || B >= 128;
}

// The end of the reference that starts with the "&" at P (after its ";"), or npos when it starts none.
std::size_t ReferenceEnd(std::string_view T, std::size_t P) {
  std::size_t Q = P + 1;
  if (Q < T.size() && T[Q] == '#') {
    ++Q;
    const bool Hex = Q < T.size() && (T[Q] == 'x' || T[Q] == 'X');
    if (Hex) ++Q;
    const std::size_t Digits = Q;
    while (Q < T.size() &&
           (Hex ? std::isxdigit(static_cast<unsigned char>(T[Q])) != 0 : (T[Q] >= '0' && T[Q] <= '9')))
      ++Q;
    if (Q == Digits) return npos;
  } else {
    // A name runs over name bytes only, and "&" is none: the scans of two references never overlap.
    while (Q < T.size() && IsNameByte(T[Q])) ++Q;
    if (Q == P + 1) return npos;
  }
  return Q < T.size() && T[Q] == ';' ? Q + 1 : npos;
}

std::string ReferenceText(std::string_view Ref) {
  static constexpr std::pair<std::string_view, const char*> kPredefined[] = {
      {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}};
  for (const auto& [Name, Char] : kPredefined)
    if (Ref == Name)
      return "the reference " + Quoted(Ref) + " is kept as written; an XML reader reads " + Quoted(Char);
  if (Ref.starts_with("&#"))
    return "the character reference " + Quoted(Ref) +
           " is kept as written; an XML reader reads the character it stands for";
  return "the entity reference " + Quoted(Ref) +
         " is kept as written; an XML reader expands it (or refuses it when it is not declared)";
}

// Whether text that meets at P (from the line before and the line after) would have white space
// between them in an XML reader's reading that counts: between text and an element, between two
// texts, or between the end of an element and text; not at the start or the end of an element's
// content, nor between two tags.
bool JoinLosesSpace(std::string_view T, std::size_t P) {
  if (P == 0 || P + 1 >= T.size()) return false;
  const char Before = T[P - 1], After = T[P];
  if (Before == ' ' || After == ' ') return false;
  if (After == '<' && (T[P + 1] == '/' || T[P + 1] == '!' || T[P + 1] == '?' || T[P + 1] == ' '))
    return false;
  if (Before != '>') return true;
  if (After == '<') return false;
  // Text after a tag: it counts after a closing or self-closing tag, not after an opening one.
  if (P >= 2 && T[P - 2] == '/') return true;
  const std::size_t Lt = T.rfind('<', P - 1);
  return Lt != npos && T[Lt + 1] == '/';
}

}  // namespace

void FindTagWarnings(const DocText& Doc, std::size_t Body, std::vector<Found>& Out, Spans& Literal) {
  const std::string_view T = Doc.Text();
  TagScan Scan(Doc, Out);
  std::size_t I = Body;
  while (I < T.size()) {
    const std::size_t Lt = T.find('<', I);
    if (Lt == npos) return;
    std::size_t J = Lt + 1;
    while (J < T.size() && !EndsName(T[J])) ++J;
    const std::string_view Name = T.substr(Lt + 1, J - Lt - 1);
    // An instruction or a CDATA section: read as an element, where an XML reader takes what it holds
    // as it is (nothing in it is looked at further).
    const bool Instruction = Name.starts_with('?'), CData = Name.starts_with("![CDATA[");
    if (Instruction || CData) {
      const std::string_view Close = Instruction ? "?>" : "]]>";
      const std::size_t End = T.find(Close, Lt + 2);
      const std::size_t Stop = End == npos ? T.size() : End + Close.size();
      Literal.emplace_back(Lt, Stop);
      if (Instruction)
        Scan.Add(Lt, wkInstructionAsElement,
                 "the processing instruction " + Quoted(T.substr(Lt, Stop - Lt)) +
                     " is read as an element named " + Quoted(Name) +
                     "; an XML reader reads an instruction, which is no element");
      else
        Scan.Add(Lt, wkCDataSection,
                 "the CDATA section " + Quoted(T.substr(Lt, Stop - Lt)) + " is read as an element named " +
                     Quoted(Name) + " and what follows it; an XML reader reads what the section holds, " +
                     Quoted(T.substr(Lt + 9, std::min(End, T.size()) - Lt - 9)) + ", as text");
      I = Stop;
      continue;
    }
    if (J >= T.size()) return;
    if (const std::size_t Tab = Name.find('\t'); Tab != npos && !Name.starts_with('/'))
      Scan.Add(Lt + 1 + Tab, wkTabInTag,
               "a tab in the tag " + Quoted(T.substr(Lt, J - Lt)) +
                   " is read as part of the element's name, " + Quoted(Name) +
                   "; an XML reader ends the name at the tab");
    if (T[J] == '/') {
      // A closing tag runs to its ">"; after a name, "/" takes the byte after it along.
      I = J == Lt + 1 ? std::min(T.find('>', J), T.size() - 1) + 1 : J + 2;
      continue;
    }
    if (T[J] == '>') {
      I = J + 1;
      continue;
    }
    const std::size_t Gt = T.find('>', J);
    if (Gt == npos) return;  // cut off: the parse fails there
    Scan.Attributes(T.substr(J + 1, Gt - J), J + 1);
    I = Gt + 1;
  }
}

void FindReferences(const DocText& Doc, const Spans& Literal, std::vector<Found>& Out) {
  const std::string_view T = Doc.Text();
  SpanCursor InLiteral(Literal);
  for (std::size_t P = T.find('&'); P != npos; P = T.find('&', P + 1)) {
    if (InLiteral.Inside(P)) continue;
    const std::size_t End = ReferenceEnd(T, P);
    if (End != npos) {
      Out.push_back({Doc.JoinedAt(P), wkReferenceKeptRaw, ReferenceText(T.substr(P, End - P))});
      continue;
    }
    std::size_t Shown = P + 1;
    while (Shown < T.size() && Shown - P < 16 && T[Shown] != ' ' && T[Shown] != '<' && T[Shown] != '&')
      ++Shown;
    Out.push_back({Doc.JoinedAt(P), wkLoneAmpersand,
                   "the \"&\" of " + Quoted(T.substr(P, Shown - P)) +
                       " starts no reference and is kept as written; an XML reader refuses it"});
  }
}

void FindJoinedText(const DocText& Doc, std::size_t Body, const Spans& Literal, std::vector<Found>& Out) {
  const std::string_view T = Doc.Text();
  const std::vector<DocText::CommentNote>& Cut = Doc.CommentsCut();
  DocText::Locator Where(Doc);
  SpanCursor InLiteral(Literal);
  auto LineOf = [&](std::size_t Joined) { return Where.At(Joined).line; };
  std::size_t NextTag = T.find('<', Body + 1), NextCut = 0;
  // Two ascending lists of places where the text may have lost a line break: every "<" (a line that
  // begins with a tag is joined on without a space) and every comment cut out.
  for (;;) {
    while (NextCut < Cut.size() && Cut[NextCut].at <= Body) ++NextCut;
    const std::size_t AtCut = NextCut < Cut.size() ? Cut[NextCut].at : npos;
    const std::size_t P = std::min(NextTag, AtCut);
    if (P == npos || P >= T.size()) return;
    if (P == NextTag) NextTag = T.find('<', P + 1);
    while (NextCut < Cut.size() && Cut[NextCut].at == P) ++NextCut;
    if (!JoinLosesSpace(T, P) || InLiteral.Inside(P)) continue;
    // A line break stood between the two bytes, outside the comments cut out between them.
    const std::size_t Before = Doc.JoinedAt(P - 1), After = Doc.JoinedAt(P);
    const bool Lost = After == Before + 1
                          ? LineOf(Before) != LineOf(After)
                          : LineOf(Before) != LineOf(Before + 1) || LineOf(After - 1) != LineOf(After);
    if (!Lost) continue;
    std::size_t Head = P + 1;
    while (Head < T.size() && Head - P < 24 && T[Head] != '<' && !(T[P] == '<' && EndsName(T[Head]))) ++Head;
    // What stands before: the text's last bytes, or the tag that ends there.
    std::size_t Tail = std::max(Body, P > 24 ? P - 24 : 0);
    const std::size_t Mark = T[P - 1] == '>' ? T.rfind('<', P - 1) : T.rfind('>', P - 1);
    if (Mark != npos && Mark >= Tail) Tail = T[P - 1] == '>' ? Mark : Mark + 1;
    Out.push_back(
        {After, wkTextJoined,
         "the line break between " + Quoted(T.substr(Tail, P - Tail)) + " and " +
             Quoted(T.substr(P, Head - P)) +
             " is dropped (the second line begins with a tag or a comment), so they are read joined; "
             "an XML reader reads white space between them"});
  }
}

void FindUnclosedComment(const DocText& Doc, const Spans& Literal, std::vector<Found>& Out) {
  const std::string_view T = Doc.Text();
  SpanCursor InLiteral(Literal);
  // No "-->" follows the first unclosed one, so every "<!--" from there on is unclosed too.
  for (std::size_t P = Doc.UnclosedComment(); P != npos; P = T.find("<!--", P + 1)) {
    if (InLiteral.Inside(P)) continue;
    Out.push_back({Doc.JoinedAt(P), wkCommentUnclosed,
                   "the comment " + Quote(T.substr(P), 40) +
                       " is never closed (there is no \"-->\" after its \"<!--\"): it and what follows it "
                       "are read as the document; an XML reader refuses it"});
    return;
  }
}

void FindDroppedInstructions(const DocText& Doc, const Spans& Instructions, std::vector<Found>& Out) {
  const std::string_view T = Doc.Text();
  for (const auto& [Start, End] : Instructions)
    Out.push_back(
        {Doc.JoinedAt(Start), wkInstructionDropped,
         "the processing instruction " + Quote(T.substr(Start, End - Start), 40) +
             " in front of the root element is read and dropped, so a save does not write it; an XML "
             "reader keeps it"});
}

}  // namespace linexml::detail
