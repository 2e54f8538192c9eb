#include "path.h"

#include <unordered_set>

#include "linexml/xml_attribute.h"
#include "linexml/xml_errors.h"
#include "linexml/xml_node.h"

namespace linexml::detail {
namespace {

[[noreturn]] void Invalid(std::string_view Text, std::size_t Pos, const std::string& What) {
  throw EXMLPathError(std::string(Text), Pos + 1, What);
}

using Set = std::vector<const TXMLNode*>;  // in document order, each once; null is the document

// The tree of a run: its topmost node, found only when a step needs the document's child.
class Tree {
 public:
  explicit Tree(const TXMLNode& Start) : start_(&Start) {}
  const TXMLNode* Top() {
    if (top_ == nullptr) {
      top_ = start_;
      while (top_->Parent() != nullptr) top_ = top_->Parent();
    }
    return top_;
  }
  // The children of N (the document: the topmost node alone).
  std::pair<const TXMLNode* const*, const TXMLNode* const*> Kids(const TXMLNode* N) {
    if (N == nullptr) {
      Top();
      return {&top_, &top_ + 1};
    }
    return {N->Children().begin(), N->Children().end()};
  }

 private:
  const TXMLNode* start_;
  const TXMLNode* top_ = nullptr;
};

// The character an attribute name or a tag name of a path cannot hold.
bool EndsName(char C) {
  return C == '/' || C == '[' || C == ']' || C == '=' || C == ' ' || C == '\'' || C == '"' || C == '@';
}

}  // namespace

std::size_t Path::Predicates(std::string_view Text, std::size_t Pos, Step& S) {
  const std::size_t N = Text.size();
  while (Pos < N && Text[Pos] == '[') {
    std::size_t I = Pos + 1;
    const bool Positioned = S.position != 0 || S.last;
    if (I < N && Text[I] == '@') {
      const std::size_t Name = ++I;
      while (I < N && !EndsName(Text[I])) ++I;
      if (I == Name) Invalid(Text, I, "an attribute name is expected after '@'");
      AttributeTest T{std::string(Text.substr(Name, I - Name)), {}, false};
      if (I < N && Text[I] == '=') {
        const char Quote = ++I < N ? Text[I] : '\0';
        if (Quote != '\'' && Quote != '"')
          Invalid(Text, I, "a quoted value ('...' or \"...\") is expected after '='");
        const std::size_t Close = Text.find(Quote, I + 1);
        if (Close == std::string_view::npos) Invalid(Text, I, "the value's closing quote is missing");
        T.value = Text.substr(I + 1, Close - I - 1);
        T.has_value = true;
        I = Close + 1;
      }
      (Positioned ? S.after : S.tests).push_back(std::move(T));
    } else if (Text.substr(I, 7) == "last()]") {
      if (Positioned) Invalid(Text, I, "a step takes one position");
      S.last = true;
      I += 6;
    } else {
      const std::size_t Digits = I;
      std::int64_t Value = 0;
      for (; I < N && Text[I] >= '0' && Text[I] <= '9'; ++I) {
        // Positions past any count are kept as large: they select nothing.
        if (Value < (std::int64_t{1} << 40)) Value = Value * 10 + (Text[I] - '0');
      }
      if (I == Digits)
        Invalid(Text, I, "a position (1, 2, ...), last() or an attribute test (@name) is expected after '['");
      if (Value == 0) Invalid(Text, Digits, "positions count from 1");
      if (Positioned) Invalid(Text, Digits, "a step takes one position");
      S.position = Value;
    }
    if (I == N || Text[I] != ']') Invalid(Text, I, "']' is expected");
    Pos = I + 1;
  }
  return Pos;
}

Path::Path(std::string_view Text) {
  const std::size_t N = Text.size();
  if (N == 0) Invalid(Text, 0, "the path is empty");
  std::size_t Pos = 0;
  bool Deep = false;
  if (Text[0] == '/') {
    absolute_ = true;
    if (N == 1) return;  // the document alone
    Deep = Text[1] == '/';
    Pos = Deep ? 2 : 1;
  }
  for (;;) {
    Pos = ParseStep(Text, Pos, Deep);
    if (Pos == N) return;
    if (Text[Pos] != '/') Invalid(Text, Pos, "'/' or the end of the path is expected after a step");
    Deep = Pos + 1 < N && Text[Pos + 1] == '/';
    Pos += Deep ? 2 : 1;
  }
}

std::size_t Path::ParseStep(std::string_view Text, std::size_t From, bool Deep) {
  const std::size_t N = Text.size();
  if (From == N) Invalid(Text, From, "a step is missing at the end");
  std::size_t End = From;
  while (End < N && Text[End] != '/' && Text[End] != '[') ++End;
  const std::string_view Word = Text.substr(From, End - From);
  Step S{Axis::kChild, false, {}, {}, 0, false, {}};
  if (Word == "." || Word == "..") {
    if (Deep) Invalid(Text, From, "after \"//\" comes a tag name or '*', not '" + std::string(Word) + "'");
    if (End < N && Text[End] == '[') Invalid(Text, End, "'.' and '..' take no position");
    S.axis = Word == "." ? Axis::kSelf : Axis::kParent;
    steps_.push_back(std::move(S));
    return End;
  }
  if (Word.empty())
    Invalid(Text, From,
            Text[From] == '/' ? "a step is missing (\"/\" follows \"/\" or \"//\")"
                              : "a tag name, '*', '.' or '..' is missing before '['");
  for (std::size_t I = From; I < End; ++I) {
    const char C = Text[I];
    if (C == ']') Invalid(Text, I, "']' without '['");
    if (C == ' ') Invalid(Text, I, "a tag name holds no space");
    if (C == '*' && Word.size() > 1) Invalid(Text, I, "'*' stands for any element only as a step of its own");
  }
  S.axis = Deep ? Axis::kDescendant : Axis::kChild;
  S.any = Word == "*";
  if (!S.any) S.name = Word;
  End = Predicates(Text, End, S);
  steps_.push_back(std::move(S));
  return End;
}

namespace {

using Step = Path::Step;

bool PassesAll(const TXMLNode& N, const std::vector<Path::AttributeTest>& Tests) {
  for (const Path::AttributeTest& T : Tests) {
    bool Found = false;
    for (const TXMLAttribute* A : N.Attributes())
      if (A->Name == T.name && (!T.has_value || A->Value == T.value)) {
        Found = true;
        break;
      }
    if (!Found) return false;
  }
  return true;
}

// Whether N counts for the step's position: an element of its name that passes the tests in front.
bool Candidate(const TXMLNode& N, const Step& S) {
  return N.TagType() != ttCDATA && (S.any || N.TagName() == S.name) && PassesAll(N, S.tests);
}

// For "[last()]", the last candidate of the children [Begin, End); null for any other step.
const TXMLNode* LastCandidate(const TXMLNode* const* Begin, const TXMLNode* const* End, const Step& S) {
  if (!S.last) return nullptr;
  while (End != Begin)
    if (Candidate(**--End, S)) return *End;
  return nullptr;
}

// Whether the candidate K, the Seen-th among its siblings, is selected.
bool Picked(const TXMLNode* K, std::int64_t Seen, const TXMLNode* Last, const Step& S) {
  if (S.last ? K != Last : S.position != 0 && Seen != S.position) return false;
  return PassesAll(*K, S.after);
}

// The matching children of every node of In, none of which lies below another: their children
// then come out in document order, one node's after another's.
Set ChildrenOfFlat(const Set& In, Tree& T, const Step& S) {
  Set Out;
  for (const TXMLNode* N : In) {
    std::int64_t Seen = 0;
    const auto [Begin, End] = T.Kids(N);
    const TXMLNode* Last = LastCandidate(Begin, End, S);
    if (S.last) {  // found from the end: the children before it need no look
      if (Last != nullptr && PassesAll(*Last, S.after)) Out.push_back(Last);
      continue;
    }
    for (auto K = Begin; K != End; ++K) {
      if (!Candidate(**K, S)) continue;
      ++Seen;
      if (Picked(*K, Seen, Last, S)) Out.push_back(*K);
      if (Seen == S.position) break;
    }
  }
  return Out;
}

// The matching children (Deep: descendants) of the nodes of In, which may lie below one another,
// in document order: one walk over the subtrees of In in document order, in which a node of In met
// inside the subtree of an earlier one is passed, not walked again.
Set Walk(const Set& In, Tree& T, bool Deep, const Step& S) {
  Set Out;
  // What the step needs to know of each node whose children the walk is among, innermost last:
  // how many of its children were candidates so far (for "[N]"), whether it is one of In (a
  // child step takes only the children of those), and its last candidate child (for
  // "[last()]"). The walk itself goes along the links.
  struct Open {
    std::int64_t seen;
    bool in_set;
    const TXMLNode* last;
  };
  std::vector<Open> Levels;
  std::size_t Pending = 0;  // the first node of In not met yet
  const auto Enter = [&](const TXMLNode* N, bool InSet) {
    const auto [Begin, End] = T.Kids(N);
    Levels.push_back({0, InSet, Deep || InSet ? LastCandidate(Begin, End, S) : nullptr});
  };
  // K is a child of the innermost open node.
  const auto Visit = [&](const TXMLNode& K) {
    if (K.TagType() == ttCDATA) return vsSkip;
    const bool InSet = Pending < In.size() && In[Pending] == &K;
    if (InSet) ++Pending;
    Open& Up = Levels.back();
    if ((Deep || Up.in_set) && Candidate(K, S)) {
      ++Up.seen;
      if (Picked(&K, Up.seen, Up.last, S)) Out.push_back(&K);
    }
    // Deep visits the whole subtree; a child step goes down to a node of In (its children are
    // candidates) and while nodes of In may still lie below.
    if (K.Children().Count() == 0 || !(Deep || InSet || Pending < In.size())) return vsSkip;
    Enter(&K, InSet);
    return vsDown;
  };
  const auto Leave = [&Levels](const TXMLNode&) { Levels.pop_back(); };
  while (Pending < In.size()) {
    const TXMLNode* Root = In[Pending++];
    Enter(Root, true);
    if (Root == nullptr) {
      // The document: its one child, the topmost node, is visited as any child.
      T.Top()->ForEachInSubtree(Visit, Leave);
    } else {
      // Root's entry is the one just made; its children are visited.
      Root->ForEachInSubtree([&](const TXMLNode& K) { return &K == Root ? vsDown : Visit(K); }, Leave);
    }
    Levels.clear();
  }
  return Out;
}

// The parents of the nodes of In, in document order, each once.
Set ParentsOf(const Set& In, Tree& T) {
  Set Out;
  if (In.size() == 1) {
    if (In[0] != nullptr) Out.push_back(In[0]->Parent());  // the topmost node's is the document
    return Out;
  }
  std::unordered_set<const TXMLNode*> Wanted;
  for (const TXMLNode* N : In)
    if (N != nullptr) Wanted.insert(N->Parent());
  // The parents of nodes in document order need not be in document order themselves: one walk
  // over the whole tree puts them in it.
  if (Wanted.count(nullptr) != 0) Out.push_back(nullptr);
  if (Out.size() == Wanted.size()) return Out;
  T.Top()->ForEachInSubtree([&](const TXMLNode& N) {
    if (N.Children().Count() == 0) return vsSkip;
    if (Wanted.count(&N) != 0) Out.push_back(&N);
    return Out.size() < Wanted.size() ? vsDown : vsStop;
  });
  return Out;
}

}  // namespace

std::vector<TXMLNode*> Path::Run(const TXMLNode& Start, bool FromDocument) const {
  Tree T(Start);
  Set Current{FromDocument ? nullptr : &Start};
  bool Nested = false;  // whether a node of Current may lie below another
  for (const Step& S : steps_) {
    switch (S.axis) {
      case Axis::kSelf:
        break;
      case Axis::kParent:
        Current = ParentsOf(Current, T);
        Nested = Current.size() > 1;
        break;
      case Axis::kChild:
        Current = Nested ? Walk(Current, T, false, S) : ChildrenOfFlat(Current, T, S);
        break;
      case Axis::kDescendant:
        Current = Walk(Current, T, true, S);
        Nested = true;
        break;
    }
    if (Current.empty()) break;
  }
  std::vector<TXMLNode*> Out;
  Out.reserve(Current.size());
  // The document and a text run (a start node can be one) are never selected.
  for (const TXMLNode* N : Current)
    if (N != nullptr && N->TagType() != ttCDATA) Out.push_back(const_cast<TXMLNode*>(N));
  return Out;
}

}  // namespace linexml::detail
