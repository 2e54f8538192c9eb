#include "linexml/xml_node.h"

#include <ostream>
#include <vector>

#include "detail/string_step.h"
#include "detail/tree_builder.h"
#include "detail/writer.h"

namespace linexml {

void TXMLNode::DestroyChildren(TList<TXMLNode>& List) {
  // Iterative: each node's owned children are taken out of it before it is deleted, so no
  // destructor ever meets an owned child and the call depth stays at two, whatever the tree's
  // depth. Children that belong to a document's storage are only dropped: the document destroys
  // them.
  std::vector<TXMLNode*> Pending;
  List.TakeOwned(Pending);
  while (!Pending.empty()) {
    TXMLNode* N = Pending.back();
    Pending.pop_back();
    N->children_.TakeOwned(Pending);
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

void TXMLNode::Reset() {
  DestroyChildren(children_);
  attributes_.Clear();
  SetName(&Empty(), false);
  SetText(&Empty(), false);
  level_ = 0;
  tag_type_ = ttNormal;
}

namespace {

// Runs one tree step over S with a cursor and removes what it consumed.
template <class Step>
TXMLErrorCode ParseOnString(std::string& S, Step&& Run) {
  return detail::OnString(S, [&](std::string_view& V) {
    detail::TreeBuilder Builder(V);
    std::size_t Pos = 0;
    const TXMLErrorCode Status = Run(Builder, Pos, V.size());
    V.remove_prefix(Pos);
    return Status;
  });
}

}  // namespace

TXMLErrorCode TXMLNode::ParseString(std::int32_t ALevel, std::string& S) {
  return ParseOnString(S, [&](detail::TreeBuilder& B, std::size_t& Pos, std::size_t End) {
    return B.ParseNode(*this, ALevel, Pos, End);
  });
}

TXMLErrorCode TXMLNode::ParseAttributes(std::string& S) {
  return ParseOnString(S, [&](detail::TreeBuilder& B, std::size_t& Pos, std::size_t End) {
    return B.ParseAttributes(*this, Pos, End);
  });
}

TXMLErrorCode TXMLNode::ParseChildren(std::string& S) {
  return ParseOnString(S, [&](detail::TreeBuilder& B, std::size_t& Pos, std::size_t End) {
    return B.ParseChildren(*this, Pos, End);
  });
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
  auto* A = new TXMLAttribute;
  attributes_.Add(A);
  A->Name = Name;
  A->Value = Value;
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
