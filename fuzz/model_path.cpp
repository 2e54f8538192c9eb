#include "model_path.h"

#include <set>
#include <string>
#include <unordered_map>

namespace model {
namespace {

using linexml::TXMLNode;

struct Step {
  enum Kind { kSelf, kParent, kChild, kDescendant } kind = kChild;
  std::string name;  // empty: "*"
  long long position = 0;
};

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
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
      if (End < Path.size() && Path[End] == '[') {
        std::size_t J = End + 1;
        long long Value = 0;
        while (J < Path.size() && IsDigit(Path[J])) {
          if (Value < (1LL << 40)) Value = Value * 10 + (Path[J] - '0');
          ++J;
        }
        if (J == End + 1 || Value == 0 || J == Path.size() || Path[J] != ']') return std::nullopt;
        S.position = Value;
        End = J + 1;
      }
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
  bool Matches(long I, const Step& S) const {
    const TXMLNode* N = nodes[static_cast<std::size_t>(I)];
    return N->TagType() != linexml::ttCDATA && (S.name.empty() || N->TagName() == S.name);
  }
  // The children of I that S selects: the matching ones, or the position-th of them.
  void ChildStep(long I, const Step& S, std::set<long>& Out) const {
    long long Seen = 0;
    for (const long K : Children(I)) {
      if (!Matches(K, S)) continue;
      ++Seen;
      if (S.position == 0 || Seen == S.position) Out.insert(K);
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
