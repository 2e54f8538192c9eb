#include "linexml/xml_node.h"

#include <memory>
#include <ostream>
#include <vector>

#include "detail/tree_builder.h"
#include "detail/writer.h"

namespace linexml {

void TXMLNode::DestroyChildren(TList<TXMLNode>& List) noexcept {
  // Iterative, and without memory of its own (it runs in destructors, also after an allocation
  // failed): the nodes waiting to be deleted form a chain through their text pointers, each
  // node's text being freed before the pointer becomes the link. Each node's owned children join
  // the chain before it is deleted, so no destructor ever meets an owned child and the call depth
  // stays at two, whatever the tree's depth. Children that belong to a document's storage are only
  // dropped: the document destroys them.
  TXMLNode* Doomed = nullptr;
  auto Join = [&Doomed](TXMLNode* N) {
    N->SetText(&Empty(), false);
    N->next_doomed_ = Doomed;
    Doomed = N;
  };
  List.DetachOwned(Join);
  while (Doomed != nullptr) {
    TXMLNode* N = Doomed;
    Doomed = N->next_doomed_;
    N->text_data_ = &Empty();
    N->children_.DetachOwned(Join);
    delete N;
  }
}

TXMLNode::~TXMLNode() {
  // A loaded document's nodes own no children (the document's storage does): nothing to walk.
  if (children_.OwnsAny()) DestroyChildren(children_);
  if ((owns_ & kOwnsName) != 0) delete tag_name_;
  if ((owns_ & kOwnsText) != 0) delete text_data_;
}

const std::string& TXMLNode::Empty() {
  static const std::string Nothing;
  return Nothing;
}

void TXMLNode::SetName(const std::string* Name, bool Owned) {
  if ((owns_ & kOwnsName) != 0) delete tag_name_;
  tag_name_ = Name;
  owns_ = static_cast<std::uint8_t>(Owned ? (owns_ | kOwnsName) : (owns_ & ~kOwnsName));
}

void TXMLNode::SetText(const std::string* Text, bool Owned) {
  if ((owns_ & kOwnsText) != 0) delete text_data_;
  text_data_ = Text;
  owns_ = static_cast<std::uint8_t>(Owned ? (owns_ | kOwnsText) : (owns_ & ~kOwnsText));
}

void TXMLNode::Reset() noexcept {
  DestroyChildren(children_);
  attributes_.Clear();
  SetName(&Empty(), false);
  SetText(&Empty(), false);
  level_ = 0;
  tag_type_ = ttNormal;
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
  for (const TXMLAttribute* A : attributes_)
    if (A->Name == Name) return A->Value;
  return "undefined";
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

}  // namespace linexml
