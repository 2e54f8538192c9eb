#include "model_path.h"

#include <set>
#include <string>
#include <unordered_map>

namespace model {
namespace {

using linexml::TXMLNode;

// "[@name]" or "[@name='value']".
struct Test {
  std::string name;
  std::optional<std::string> value;
};

struct Step {
  enum Kind { kSelf, kParent, kChild, kDescendant } kind = kChild;
  std::string name;          // empty: "*"
  std::vector<Test> before;  // the tests in front of the position
  long long position = 0;
  bool last = false;        // "[last()]"
  std::vector<Test> after;  // the tests behind the position
};

// Reads the "[...]" of a step from I on; the index past them, or nullopt.
std::optional<std::size_t> Predicates(std::string_view Path, std::size_t I, Step& S) {
  while (I < Path.size() && Path[I] == '[') {
    std::size_t J = I + 1;
    const bool Positioned = S.position != 0 || S.last;
    if (J < Path.size() && Path[J] == '@') {
      const std::size_t From = ++J;
      while (J < Path.size() && std::string_view("/[]= '\"@").find(Path[J]) == std::string_view::npos) ++J;
      if (J == From) return std::nullopt;
      Test T{std::string(Path.substr(From, J - From)), std::nullopt};
      if (J < Path.size() && Path[J] == '=') {
        if (++J == Path.size() || (Path[J] != '\'' && Path[J] != '"')) return std::nullopt;
        const std::size_t Close = Path.find(Path[J], J + 1);
        if (Close == std::string_view::npos) return std::nullopt;
        T.value = std::string(Path.substr(J + 1, Close - J - 1));
        J = Close + 1;
      }
      (Positioned ? S.after : S.before).push_back(T);
    } else if (Path.substr(J, 7) == "last()]") {
      if (Positioned) return std::nullopt;
      S.last = true;
      J += 6;
    } else {
      long long Value = 0;
      const std::size_t From = J;
      for (; J < Path.size() && Path[J] >= '0' && Path[J] <= '9'; ++J)
        if (Value < (1LL << 40)) Value = Value * 10 + (Path[J] - '0');
      if (J == From || Value == 0 || Positioned) return std::nullopt;
      S.position = Value;
    }
    if (J == Path.size() || Path[J] != ']') return std::nullopt;
    I = J + 1;
  }
  return I;
}

// The steps of Path, or nullopt; Absolute says whether it began with "/".
std::optional<std::vector<Step>> Parse(std::string_view Path, bool& Absolute) {
  std::vector<Step> Steps;
  std::size_t I = 0;
  Absolute = !Path.empty() && Path[0] == '/';
  if (Path == "/") return Steps;
  bool Deep = false;
  if (Absolute) {
    Deep = Path.substr(0, 2) == "//";
    I = Deep ? 2 : 1;
  }
  for (;;) {
    std::size_t End = I;
    while (End < Path.size() && Path[End] != '/' && Path[End] != '[') ++End;
    const std::string Word(Path.substr(I, End - I));
    Step S;
    if (Word == "." || Word == "..") {
      if (Deep || (End < Path.size() && Path[End] == '[')) return std::nullopt;
      S.kind = Word == "." ? Step::kSelf : Step::kParent;
    } else {
      if (Word.empty() || Word.find_first_of("] ") != std::string::npos) return std::nullopt;
      if (Word.find('*') != std::string::npos && Word != "*") return std::nullopt;
      S.kind = Deep ? Step::kDescendant : Step::kChild;
      if (Word != "*") S.name = Word;
      const std::optional<std::size_t> Past = Predicates(Path, End, S);
      if (!Past) return std::nullopt;
      End = *Past;
    }
    Steps.push_back(S);
    if (End == Path.size()) return Steps;
    if (Path[End] != '/') return std::nullopt;
    Deep = End + 1 < Path.size() && Path[End + 1] == '/';
    I = End + (Deep ? 2 : 1);
    if (I >= Path.size()) return std::nullopt;
  }
}

// The tree in document order.
struct Tree {
  std::vector<const TXMLNode*> nodes;
  std::unordered_map<const TXMLNode*, long> order;

  explicit Tree(const TXMLNode& Start) {
    const TXMLNode* Top = &Start;
    while (Top->Parent() != nullptr) Top = Top->Parent();
    std::vector<const TXMLNode*> Stack{Top};
    while (!Stack.empty()) {
      const TXMLNode* N = Stack.back();
      Stack.pop_back();
      order[N] = static_cast<long>(nodes.size());
      nodes.push_back(N);
      for (auto K = N->Children().end(); K != N->Children().begin();) Stack.push_back(*--K);
    }
  }
  // The children of node I (-1, the document: the topmost node alone).
  std::vector<long> Children(long I) const {
    if (I < 0) return {0};
    std::vector<long> Out;
    for (const TXMLNode* K : nodes[static_cast<std::size_t>(I)]->Children()) Out.push_back(order.at(K));
    return Out;
  }
  // Node I and every node below it (the document: every node).
  std::vector<long> SelfAndBelow(long I) const {
    std::vector<long> Out{I}, Todo{I};
    while (!Todo.empty()) {
      const long N = Todo.back();
      Todo.pop_back();
      for (const long K : Children(N)) {
        Out.push_back(K);
        Todo.push_back(K);
      }
    }
    return Out;
  }
  bool Passes(long I, const std::vector<Test>& Tests) const {
    for (const Test& T : Tests) {
      bool Found = false;
      for (const linexml::TXMLAttribute* A : nodes[static_cast<std::size_t>(I)]->Attributes())
        Found = Found || (A->Name == T.name && (!T.value || A->Value == *T.value));
      if (!Found) return false;
    }
    return true;
  }
  bool Matches(long I, const Step& S) const {
    const TXMLNode* N = nodes[static_cast<std::size_t>(I)];
    return N->TagType() != linexml::ttCDATA && (S.name.empty() || N->TagName() == S.name) &&
           Passes(I, S.before);
  }
  // The children of I that S selects: the matching ones, or the position-th or the last of them,
  // if it passes the tests behind the position.
  void ChildStep(long I, const Step& S, std::set<long>& Out) const {
    std::vector<long> Matching;
    for (const long K : Children(I))
      if (Matches(K, S)) Matching.push_back(K);
    for (std::size_t At = 0; At < Matching.size(); ++At) {
      const bool Picked = S.last ? At + 1 == Matching.size()
                                 : S.position == 0 || static_cast<long long>(At) + 1 == S.position;
      if (Picked && Passes(Matching[At], S.after)) Out.insert(Matching[At]);
    }
  }
};

}  // namespace

std::optional<std::vector<const TXMLNode*>> SelectAll(std::string_view Path, const TXMLNode& Start,
                                                      bool FromDocument) {
  bool Absolute = false;
  const std::optional<std::vector<Step>> Steps = Parse(Path, Absolute);
  if (!Steps) return std::nullopt;
  const Tree T(Start);
  std::set<long> Current{FromDocument || Absolute ? -1L : T.order.at(&Start)};
  for (const Step& S : *Steps) {
    std::set<long> Next;
    for (const long N : Current) {
      switch (S.kind) {
        case Step::kSelf:
          Next.insert(N);
          break;
        case Step::kParent:
          if (N >= 0) {
            const TXMLNode* Up = T.nodes[static_cast<std::size_t>(N)]->Parent();
            Next.insert(Up == nullptr ? -1L : T.order.at(Up));
          }
          break;
        case Step::kChild:
          T.ChildStep(N, S, Next);
          break;
        case Step::kDescendant:
          // "//x[p]": the x children, or the p-th of them, of the node and of every node below it.
          for (const long M : T.SelfAndBelow(N)) T.ChildStep(M, S, Next);
          break;
      }
    }
    Current = std::move(Next);
  }
  std::vector<const TXMLNode*> Out;
  for (const long N : Current)
    if (N >= 0 && T.nodes[static_cast<std::size_t>(N)]->TagType() != linexml::ttCDATA)
      Out.push_back(T.nodes[static_cast<std::size_t>(N)]);
  return Out;
}

}  // namespace model
