#include "linexml/xml_node.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "detail/path.h"
#include "detail/tree_builder.h"
#include "detail/writable.h"
#include "detail/writer.h"

namespace linexml {

static_assert(alignof(TXMLNode) >= 32, "the marks in the low bits of up_ need 32-byte alignment");
static_assert(sizeof(void*) != 8 || sizeof(TXMLNode) == 64, "a node is 64 bytes");

namespace {

constexpr std::int32_t kMaxLevel = std::numeric_limits<std::int32_t>::max();

// Calls Visit(node, depth below Root) for Root and every node below it, in document order,
// along the parent links and positions (no stack, no memory), so it cannot fail.
template <class Fn>
void ForSubtree(TXMLNode& Root, Fn&& Visit) {
  TXMLNode* N = &Root;
  std::int64_t Depth = 0;
  for (;;) {
    Visit(*N, Depth);
    if (N->GetNumberOfChildren() > 0) {
      N = N->Children().begin()[0];
      ++Depth;
      continue;
    }
    // Up to the first ancestor (below Root) with a next sibling.
    while (N != &Root) {
      if (TXMLNode* Next = N->NextSibling()) {
        N = Next;
        break;
      }
      N = N->Parent();
      --Depth;
    }
    if (N == &Root) return;
  }
}

[[noreturn]] void Refuse(const char* What, const std::string& Why) {
  throw std::invalid_argument(std::string(What) + ": " + Why);
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
  // stops at the first node with a matching direct child. Invariant: each frame holds a node
  // whose direct children were checked and the number of its children not yet descended into
  // (the next one is the last of those); the stack is as deep as the tree, not as wide.
  auto MatchAmong = [&Name](const TXMLNode& N) -> TXMLNode* {
    const auto& Kids = N.children_;
    for (auto K = Kids.end(); K != Kids.begin();) {
      --K;
      if (*(*K)->tag_name_ == Name) return *K;
    }
    return nullptr;
  };
  if (TXMLNode* Found = MatchAmong(*this)) return Found;
  struct Frame {
    const TXMLNode* node;
    std::int32_t left;
  };
  std::vector<Frame> Stack{{this, children_.Count()}};
  while (!Stack.empty()) {
    Frame& F = Stack.back();
    if (F.left == 0) {
      Stack.pop_back();
      continue;
    }
    const TXMLNode* Child = F.node->children_.begin()[--F.left];
    if (TXMLNode* Found = MatchAmong(*Child)) return Found;
    if (Child->children_.Count() > 0) Stack.push_back({Child, Child->children_.Count()});
  }
  return nullptr;
}

std::string TXMLNode::GetAttributeValue(const std::string& Name) const {
  if (const TXMLAttribute* A = FindAttribute(Name)) return A->Value;
  return "undefined";
}

const TXMLAttribute* TXMLNode::FindAttribute(const std::string& Name) const {
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
  auto Trimmed = [](char C) { return static_cast<unsigned char>(C) <= 32; };
  std::size_t E = Out.size();
  while (E > 0 && Trimmed(Out[E - 1])) --E;
  std::size_t B = 0;
  while (B < E && Trimmed(Out[B])) ++B;
  Out.resize(E);
  Out.erase(0, B);
  return Out;
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
  // Linear in the depth: the new parent must not lie in the moved subtree, and a subtree that
  // holds a document's nodes must stay in that document's tree (the storage goes with it).
  const TXMLNode* NewTop = nullptr;
  for (const TXMLNode* P = &NewParent; P != nullptr; P = P->Parent()) {
    if (P == Child) Refuse("MoveChild", "the new parent lies in the moved subtree");
    NewTop = P;
  }
  const TXMLNode* OldTop = this;
  while (OldTop->Parent() != nullptr) OldTop = OldTop->Parent();
  const std::int64_t NewLevel = static_cast<std::int64_t>(NewParent.level_) + 1;
  std::int64_t Height = 0;
  bool Stored = false;
  if (NewTop != OldTop || NewLevel != Child->level_) {
    ForSubtree(*Child, [&](TXMLNode& N, std::int64_t Depth) {
      Height = std::max(Height, Depth);
      Stored = Stored || N.InStorage();
    });
  }
  if (NewTop != OldTop && Stored)
    Refuse("MoveChild",
           "a loaded document's node cannot move to another tree (it lives in its document's storage)");
  if (NewLevel + Height > kMaxLevel) throw std::length_error("MoveChild: a level past 2147483647");
  if (!Same) NewParent.children_.Reserve(static_cast<std::size_t>(NewParent.children_.Count()) + 1);

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
  if (NewLevel != Child->level_) {
    ForSubtree(*Child, [NewLevel](TXMLNode& N, std::int64_t Depth) {
      N.level_ = static_cast<std::int32_t>(NewLevel + Depth);
    });
  }
  return Child;
}

bool TXMLNode::RemoveAttribute(const std::string& Name) {
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
