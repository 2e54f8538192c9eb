#include "linexml/xml_node.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "detail/bytes.h"
#include "detail/path.h"
#include "detail/tree_builder.h"
#include "detail/writable.h"
#include "detail/writer.h"
#include "linexml/xml_errors.h"

namespace linexml {

static_assert(alignof(TXMLNode) >= 32, "the marks in the low bits of up_ need 32-byte alignment");
static_assert(sizeof(void*) != 8 || sizeof(TXMLNode) == 64, "a node is 64 bytes");

namespace {

constexpr std::int32_t kMaxLevel = std::numeric_limits<std::int32_t>::max();

// Whether Node lies in Root's subtree (or is Root): walks up from Node and down through Root's
// subtree one step each in turn, so the answer costs twice the smaller of the two walks, never the
// whole depth of a tree for a small subtree.
bool InSubtree(const TXMLNode& Node, TXMLNode& Root) {
  const TXMLNode* Up = &Node;
  bool Found = false;
  Root.ForEachInSubtree([&](const TXMLNode& Down) {
    if (Up == &Root || &Down == &Node) {
      Found = true;
      return vsStop;
    }
    if (Up == nullptr) return vsStop;
    Up = Up->Parent();
    return vsDown;
  });
  return Found || Up == &Root;
}

// Whether A and B are in one tree: both walk up to where their lines meet, the one with the higher
// Level first, so the walks stop at the nearest common ancestor. Levels only guide: where they do
// not follow the depth (the public parse steps allow that), the walks go on to the tops.
bool SameTree(const TXMLNode* A, const TXMLNode* B) {
  const TXMLNode* TopA = A;
  const TXMLNode* TopB = B;
  while (A != nullptr && B != nullptr) {
    if (A == B) return true;
    const std::int32_t LevelA = A->Level(), LevelB = B->Level();
    if (LevelA >= LevelB) {
      TopA = A;
      A = A->Parent();
    }
    if (LevelB >= LevelA) {
      TopB = B;
      B = B->Parent();
    }
  }
  for (; A != nullptr; A = A->Parent()) TopA = A;
  for (; B != nullptr; B = B->Parent()) TopB = B;
  return TopA == TopB;
}

[[noreturn]] void Refuse(const char* What, const std::string& Why) {
  throw EXMLRefusal(What, Why);
}

}  // namespace

void TXMLNode::DestroyChildren(TList<TXMLNode>& List, StorageNodes Nodes) noexcept {
  // Iterative, and without memory of its own (it runs in destructors, also after an allocation
  // failed): the nodes waiting to be destroyed form a chain through their text pointers, each
  // node's text being freed before the pointer becomes the link. Each node's children join the
  // chain before it is destroyed, so no destructor ever meets a child and the call depth stays at
  // two, whatever the tree's depth.
  TXMLNode* Doomed = nullptr;
  auto Join = [&Doomed, Nodes](TXMLNode* N) {
    if (Nodes == StorageNodes::kSkip && N->InStorage()) return;
    N->SetText(&Empty(), false);
    N->next_doomed_ = Doomed;
    Doomed = N;
  };
  List.DetachAll(Join);
  while (Doomed != nullptr) {
    TXMLNode* N = Doomed;
    Doomed = N->next_doomed_;
    N->text_data_ = &Empty();
    N->children_.DetachAll(Join);
    if (N->InStorage())
      N->ReleaseInPlace();
    else
      delete N;
  }
}

void TXMLNode::ReleaseInPlace() noexcept {
  // A node of a document's storage: its memory goes with the storage (the next load), but what it
  // owns goes now. The storage still runs its destructor, which then finds nothing to do.
  if (children_.Count() > 0) DestroyChildren(children_, StorageNodes::kRelease);
  attributes_.Clear();
  SetName(&Empty(), false);
  SetText(&Empty(), false);
  up_ = ttNormal | kInStorage;
  level_ = 0;
  index_ = -1;
}

TXMLNode::~TXMLNode() {
  // A node destroyed on its own is either out of any document's storage, whose tree then holds
  // none of the storage's nodes (they never move to another tree), or a node of a storage that is
  // being destroyed, which destroys every one of its nodes itself: either way the storage's
  // nodes are skipped. A children array that is still the storage's own holds only those.
  if (children_.Count() > 0) {
    if (children_.OwnsArray())
      DestroyChildren(children_, StorageNodes::kSkip);
    else
      children_.DetachAll([](TXMLNode*) {});
  }
  if (Has(kOwnsName)) delete tag_name_;
  if (Has(kOwnsText)) delete text_data_;
}

const std::string TXMLNode::kEmpty;

void TXMLNode::SetName(const std::string* Name, bool Owned) {
  if (Has(kOwnsName)) delete tag_name_;
  tag_name_ = Name;
  Mark(kOwnsName, Owned);
}

void TXMLNode::SetText(const std::string* Text, bool Owned) {
  if (Has(kOwnsText)) delete text_data_;
  text_data_ = Text;
  Mark(kOwnsText, Owned);
}

void TXMLNode::Reset() noexcept {
  DestroyChildren(children_, StorageNodes::kSkip);
  attributes_.Clear();
  SetName(&Empty(), false);
  SetText(&Empty(), false);
  SetKind(ttNormal);
  level_ = 0;
}

TXMLErrorCode TXMLNode::ParseString(std::int32_t ALevel, std::string& S) {
  return detail::TreeBuilder::RunOnString(*this, detail::TreeBuilder::Step::kNode, ALevel, S);
}

TXMLErrorCode TXMLNode::ParseAttributes(std::string& S) {
  return detail::TreeBuilder::RunOnString(*this, detail::TreeBuilder::Step::kAttributes, level_, S);
}

TXMLErrorCode TXMLNode::ParseChildren(std::string& S) {
  return detail::TreeBuilder::RunOnString(*this, detail::TreeBuilder::Step::kChildren, level_, S);
}

// --- Navigation ---

TXMLNode* TXMLNode::NextSibling() const {
  const TXMLNode* P = Parent();
  if (P == nullptr || index_ + 1 >= P->children_.Count()) return nullptr;
  return P->children_.begin()[index_ + 1];
}

TXMLNode* TXMLNode::PreviousSibling() const {
  const TXMLNode* P = Parent();
  if (P == nullptr || index_ <= 0) return nullptr;
  return P->children_.begin()[index_ - 1];
}

// --- Queries ---

TXMLNode* TXMLNode::FindTagByName(const std::string& Name) const {
  // The recursive rule ("the last direct child that matches, else the result under the last child
  // whose subtree holds a match") is a depth-first walk that visits children last to first and
  // stops at the first node with a matching direct child.
  TXMLNode* Found = nullptr;
  auto MatchAmong = [&Name, &Found](const TXMLNode& N) {
    const auto& Kids = N.children_;
    for (auto K = Kids.end(); K != Kids.begin();) {
      --K;
      if (*(*K)->tag_name_ == Name) {
        Found = *K;
        return vsStop;
      }
    }
    return vsDown;
  };
  WalkFrom<true>(*this, MatchAmong, kNoLeave);
  return Found;
}

std::string TXMLNode::GetAttributeValue(const std::string& Name) const {
  if (const TXMLAttribute* A = FindAttribute(Name)) return A->Value;
  return "undefined";
}

const TXMLAttribute* TXMLNode::FindAttribute(std::string_view Name) const {
  for (const TXMLAttribute* A : attributes_)
    if (A->Name == Name) return A;
  return nullptr;
}

std::string TXMLNode::Text() const {
  std::string Out;
  if (TagType() == ttCDATA) {
    Out = TextData();
  } else {
    for (const TXMLNode* K : children_)
      if (K->TagType() == ttCDATA) Out += K->TextData();
  }
  const std::string_view Kept = detail::Trimmed(Out);
  return std::string(Kept);
}

void TXMLNode::SetAttributeValue(const std::string& Name, const std::string& Value) {
  for (TXMLAttribute* A : attributes_) {
    if (A->Name == Name) {
      A->Value = Value;
      return;
    }
  }
  // Complete before it joins the list, which deletes it when it cannot take it: a failure leaves
  // neither a half-set attribute nor a leak.
  auto A = std::make_unique<TXMLAttribute>();
  A->Name = Name;
  A->Value = Value;
  attributes_.Add(A.release());
}

TXMLNode* TXMLNode::GetChild(std::int32_t Index) const {
  if (Index < 0 || Index >= children_.Count()) return nullptr;
  return children_.Get(Index);
}

void TXMLNode::SaveToFile(std::ostream& F) const {
  detail::StreamSink Out(F);
  detail::WriteTo(Out, [this](detail::Writer& W) { detail::WriteNode(W, *this); });
}

TXMLNode* TXMLNode::Select(std::string_view Path) const {
  const std::vector<TXMLNode*> All = SelectAll(Path);
  return All.empty() ? nullptr : All.front();
}

std::vector<TXMLNode*> TXMLNode::SelectAll(std::string_view Path) const {
  const detail::Path P(Path);
  return P.Run(*this, P.Absolute());
}

// --- Building and changing ---

void TXMLNode::ExpectElement(const char* What) const {
  if (TagType() == ttCDATA) Refuse(What, "a text run has no children or attributes");
}

void TXMLNode::RenumberFrom(std::int32_t Index) noexcept {
  TXMLNode* const* Kids = children_.begin();
  for (std::int32_t I = Index; I < children_.Count(); ++I) Kids[I]->index_ = I;
}

TXMLNode* TXMLNode::InsertNew(std::int32_t Index, const std::string& Text, TTagType Kind) {
  const bool Element = Kind != ttCDATA;
  const char* const What =
      Element ? (Index < 0 ? "AddChild" : "InsertChild") : (Index < 0 ? "AddText" : "InsertText");
  ExpectElement(What);
  if (Index < 0) Index = children_.Count();
  if (Index > children_.Count())
    throw std::out_of_range(std::string(What) + ": position " + std::to_string(Index) + " is outside 0.." +
                            std::to_string(children_.Count()));
  const std::string Why = Element ? detail::WhyNotName(Text) : detail::WhyNotText(Text);
  if (!Why.empty()) Refuse(What, Why);
  if (level_ == kMaxLevel) throw std::length_error(std::string(What) + ": a level past 2147483647");

  auto N = std::make_unique<TXMLNode>();
  auto S = std::make_unique<std::string>(Text);
  if (Element)
    N->SetName(S.release(), true);
  else
    N->SetText(S.release(), true);
  N->SetKind(Element ? ttShorted : ttCDATA);
  N->level_ = level_ + 1;
  children_.Insert(Index, N.get());  // the last step that can fail
  TXMLNode* const Added = N.release();
  Added->SetParent(this, Index);
  RenumberFrom(Index + 1);
  if (TagType() == ttShorted) SetKind(ttNormal);
  return Added;
}

TXMLNode* TXMLNode::AddChild(const std::string& TagName) {
  return InsertNew(-1, TagName, ttShorted);
}

TXMLNode* TXMLNode::InsertChild(std::int32_t Index, const std::string& TagName) {
  if (Index < 0) throw std::out_of_range("InsertChild: position " + std::to_string(Index) + " is negative");
  return InsertNew(Index, TagName, ttShorted);
}

TXMLNode* TXMLNode::AddText(const std::string& Text) {
  return InsertNew(-1, Text, ttCDATA);
}

TXMLNode* TXMLNode::InsertText(std::int32_t Index, const std::string& Text) {
  if (Index < 0) throw std::out_of_range("InsertText: position " + std::to_string(Index) + " is negative");
  return InsertNew(Index, Text, ttCDATA);
}

void TXMLNode::RemoveChild(std::int32_t Index) {
  if (Index < 0 || Index >= children_.Count())
    throw std::out_of_range("RemoveChild: position " + std::to_string(Index) + " is outside 0.." +
                            std::to_string(children_.Count() - 1));
  TXMLNode* const Child = children_.Detach(Index);
  RenumberFrom(Index);
  DestroyDetached(Child);
}

void TXMLNode::DestroyDetached(TXMLNode* Child) noexcept {
  // Destroyed as the only entry of a list of its own, which needs no memory: a list with one
  // entry would, so the chain starts at the node's own children instead.
  TList<TXMLNode> Below;
  Below.Swap(Child->children_);
  DestroyChildren(Below, StorageNodes::kRelease);
  if (Child->InStorage())
    Child->ReleaseInPlace();
  else
    delete Child;
}

void TXMLNode::RemoveNodes(std::span<TXMLNode* const> Nodes) {
  std::unordered_set<const TXMLNode*> Seen(Nodes.size());
  std::vector<TXMLNode*> Parents;
  Parents.reserve(Nodes.size());
  for (TXMLNode* N : Nodes) {
    if (N == nullptr) Refuse("RemoveNodes", "a null node");
    if (N->Parent() == nullptr) Refuse("RemoveNodes", "a node without a parent (a root) cannot be removed");
    if (!Seen.insert(N).second) Refuse("RemoveNodes", "a node is given twice");
    Parents.push_back(N->Parent());
  }
  DetachMarked(Nodes, Parents);
  // A node below another one given was taken out of its list too: each is destroyed on its own.
  for (TXMLNode* N : Nodes) DestroyDetached(N);
}

void TXMLNode::DetachMarked(std::span<TXMLNode* const> Nodes, std::vector<TXMLNode*>& Parents) noexcept {
  // Each list is packed once; a node taken out is marked by its position, -1, until then.
  std::sort(Parents.begin(), Parents.end());
  Parents.erase(std::unique(Parents.begin(), Parents.end()), Parents.end());
  for (TXMLNode* N : Nodes) N->index_ = -1;
  for (TXMLNode* P : Parents) {
    P->children_.DetachIf([](const TXMLNode* K) { return K->index_ < 0; });
    P->RenumberFrom(0);
  }
}

TXMLNode* TXMLNode::MoveChild(std::int32_t Index, TXMLNode& NewParent, std::int32_t NewIndex) {
  if (Index < 0 || Index >= children_.Count())
    throw std::out_of_range("MoveChild: position " + std::to_string(Index) + " is outside 0.." +
                            std::to_string(children_.Count() - 1));
  TXMLNode* const Child = children_.begin()[Index];
  const bool Same = &NewParent == this;
  const std::int32_t Most = Same ? children_.Count() - 1 : NewParent.children_.Count();
  if (NewIndex < 0 || NewIndex > Most)
    throw std::out_of_range("MoveChild: new position " + std::to_string(NewIndex) + " is outside 0.." +
                            std::to_string(Most));
  if (NewParent.TagType() == ttCDATA) Refuse("MoveChild", "the new parent is a text run");
  const std::int64_t NewLevel = static_cast<std::int64_t>(NewParent.level_) + 1;
  if (!Same) {
    // Linear in the moved subtree: the new parent must not lie in it, a level must not pass the
    // limit, and a subtree that holds a document's nodes must stay in that document's tree (the
    // storage goes with it); only that last check walks up, and only to the nearest common
    // ancestor.
    if (InSubtree(NewParent, *Child)) Refuse("MoveChild", "the new parent lies in the moved subtree");
    std::int64_t Height = 0, Depth = 0;
    bool Stored = false;
    Child->ForEachInSubtree(
        [&](const TXMLNode& N) {
          Height = std::max(Height, Depth++);
          Stored = Stored || N.InStorage();
        },
        [&Depth](const TXMLNode&) { --Depth; });
    if (Stored && !SameTree(this, &NewParent))
      Refuse("MoveChild",
             "a loaded document's node cannot move to another tree (it lives in its document's storage)");
    if (NewLevel + Height > kMaxLevel) throw std::length_error("MoveChild: a level past 2147483647");
    NewParent.children_.Reserve(static_cast<std::size_t>(NewParent.children_.Count()) + 1);
  }

  // Nothing below can fail.
  if (Same) {
    children_.Move(Index, NewIndex);
    RenumberFrom(std::min(Index, NewIndex));
  } else {
    children_.Detach(Index);
    RenumberFrom(Index);
    NewParent.children_.Insert(NewIndex, Child);
    Child->SetParent(&NewParent, NewIndex);
    NewParent.RenumberFrom(NewIndex + 1);
    if (NewParent.TagType() == ttShorted) NewParent.SetKind(ttNormal);
  }
  if (NewLevel != Child->level_) SetLevels(*Child, NewLevel);
  return Child;
}

void TXMLNode::SetLevels(TXMLNode& Top, std::int64_t Level) noexcept {
  // Only the top's level is given: below it each node's is its parent's + 1 (the parent is done
  // first).
  Top.level_ = static_cast<std::int32_t>(Level);
  Top.ForEachInSubtree([&Top](TXMLNode& N) {
    if (&N != &Top) N.level_ = N.Parent()->level_ + 1;
  });
}

void TXMLNode::AppendNodes(std::span<TXMLNode* const> Nodes) {
  ExpectElement("AppendNodes");
  if (Nodes.empty()) return;
  std::unordered_set<const TXMLNode*> Moving(Nodes.size());
  for (const TXMLNode* N : Nodes) {
    if (N == nullptr) Refuse("AppendNodes", "a null node");
    if (N->Parent() == nullptr) Refuse("AppendNodes", "a node without a parent (a root) cannot be moved");
    if (!Moving.insert(N).second) Refuse("AppendNodes", "a node is given twice");
  }
  // This node and the nodes above it: none of them may move (the new parent would lie in a moved
  // subtree), and they make up the line to this tree's top, at which the walks up below stop.
  std::unordered_map<const TXMLNode*, bool> InThisTree;
  for (const TXMLNode* P = this; P != nullptr; P = P->Parent()) {
    if (Moving.count(P) != 0) Refuse("AppendNodes", "the new parent lies in the moved subtree");
    InThisTree.emplace(P, true);
  }
  // Whether N is in this tree; each node on the way up is noted, so the walks of all the moved
  // nodes together pass each node once.
  std::vector<const TXMLNode*> Way;
  auto InTree = [&](const TXMLNode* N) {
    Way.clear();
    bool In = false;
    for (; N != nullptr; N = N->Parent()) {
      const auto Known = InThisTree.find(N);
      if (Known != InThisTree.end()) {
        In = Known->second;
        break;
      }
      Way.push_back(N);
    }
    for (const TXMLNode* W : Way) InThisTree.emplace(W, In);
    return In;
  };
  // Each moved subtree without the moved nodes below it, which move on their own: so together the
  // walks visit each node once.
  const std::int64_t NewLevel = static_cast<std::int64_t>(level_) + 1;
  std::vector<TXMLNode*> Parents;
  Parents.reserve(Nodes.size());
  for (TXMLNode* N : Nodes) {
    std::int64_t Height = 0, Depth = 0;
    bool Stored = false;
    N->ForEachInSubtree(
        [&](const TXMLNode& K) {
          if (&K != N && Moving.count(&K) != 0) return vsSkip;
          Height = std::max(Height, Depth++);
          Stored = Stored || K.InStorage();
          return vsDown;
        },
        [&Depth](const TXMLNode&) { --Depth; });
    if (Stored && !InTree(N))
      Refuse("AppendNodes",
             "a loaded document's node cannot move to another tree (it lives in its document's storage)");
    if (NewLevel + Height > kMaxLevel) throw std::length_error("AppendNodes: a level past 2147483647");
    Parents.push_back(N->Parent());
  }
  children_.Reserve(static_cast<std::size_t>(children_.Count()) + Nodes.size());

  // Nothing below can fail.
  DetachMarked(Nodes, Parents);
  for (TXMLNode* N : Nodes) {
    const std::int32_t At = children_.Count();
    children_.Insert(At, N);
    N->SetParent(this, At);
    if (N->level_ != NewLevel) SetLevels(*N, NewLevel);
  }
  if (TagType() == ttShorted) SetKind(ttNormal);
}

bool TXMLNode::RemoveAttribute(std::string_view Name) {
  for (std::int32_t I = 0; I < attributes_.Count(); ++I) {
    TXMLAttribute* const A = attributes_.begin()[I];
    if (A->Name != Name) continue;
    const bool Owned = attributes_.Owns(I);
    attributes_.Detach(I);
    if (Owned) {
      delete A;
    } else {
      // The document's storage keeps the attribute until the next load; its texts go now.
      std::string().swap(A->Name);
      std::string().swap(A->Value);
    }
    return true;
  }
  return false;
}

void TXMLNode::SetAttribute(const std::string& Name, const std::string& Value) {
  ExpectElement("SetAttribute");
  std::string Why = detail::WhyNotName(Name);
  if (Why.empty()) Why = detail::WhyNotValue(Value);
  if (!Why.empty()) Refuse("SetAttribute", Why);
  SetAttributeValue(Name, Value);
}

void TXMLNode::SetTagName(const std::string& Name) {
  if (TagType() == ttCDATA) Refuse("SetTagName", "a text run has no tag name");
  if (std::string Why = detail::WhyNotName(Name); !Why.empty()) Refuse("SetTagName", Why);
  SetName(new std::string(Name), true);
}

void TXMLNode::SetTextData(const std::string& Text) {
  if (TagType() != ttCDATA) Refuse("SetTextData", "an element has no text data (its text is in text runs)");
  if (std::string Why = detail::WhyNotText(Text); !Why.empty()) Refuse("SetTextData", Why);
  SetText(new std::string(Text), true);
}

}  // namespace linexml
