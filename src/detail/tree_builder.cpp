#include "tree_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "doc_text.h"
#include "simd.h"
#include "tag_tokens.h"

namespace linexml::detail {
namespace {

constexpr std::size_t npos = std::string_view::npos;

bool EndsName(char C) {
  return C == ' ' || C == '/' || C == '>';
}

std::size_t FindByte(std::string_view Text, char C, std::size_t Pos, std::size_t End) {
  const void* P = std::memchr(Text.data() + Pos, C, End - Pos);
  return P == nullptr ? npos : static_cast<std::size_t>(static_cast<const char*>(P) - Text.data());
}

// Where the tag name starting at I ends (a space, "/" or ">"), or End.
std::size_t NameEndAt(const char* T, std::size_t I, std::size_t End) {
#if defined(LINEXML_SSE2)
  for (; End - I >= 16; I += 16) {
    const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(T + I));
    const auto Mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(V, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(V, _mm_set1_epi8('/'))),
        _mm_cmpeq_epi8(V, _mm_set1_epi8('>')))));
    if (Mask != 0) return I + static_cast<std::size_t>(__builtin_ctz(Mask));
  }
#endif
  while (I < End && !EndsName(T[I])) ++I;
  return I;
}

// A hash of a tag name for the document's cache of name strings: its length and first eight
// bytes. The cache only saves memory (a name whose slot holds another gets a string of its own),
// so names made to collide cost nothing but that.
std::uint32_t NameHash(const char* Name, std::size_t Size) {
  std::uint64_t Head = 0;
  std::memcpy(&Head, Name, Size < 8 ? Size : 8);
  const std::uint64_t H = (Head ^ Size) * 0x9E3779B97F4A7C15ULL;
  return static_cast<std::uint32_t>(H >> 32);
}

}  // namespace

TreeBuilder::~TreeBuilder() {
  // Only an exception leaves objects here; without a store nothing else would free them (an
  // entry in kids_ owns the subtree already handed to it).
  if (store_ != nullptr) return;
  for (TXMLNode* N : kids_) delete N;
  for (TXMLAttribute* A : attrs_) delete A;
}

TXMLNode* TreeBuilder::NewNode() {
  return store_ != nullptr ? store_->NewNode() : new TXMLNode;
}

void TreeBuilder::SetStoreText(TXMLNode& Node, std::string_view Text) {
  const std::string* S = store_->NewString(Text);
  if (Node.Has(TXMLNode::kOwnsText))
    Node.SetText(S, false);
  else
    Node.text_data_ = S;  // a fresh node: nothing to free
}

TXMLAttribute* TreeBuilder::NewAttribute() {
  return store_ != nullptr ? store_->NewAttribute() : new TXMLAttribute;
}

void TreeBuilder::CheckCount(std::size_t Count) const {
  if (Count > limits_.max_count)
    throw std::length_error("more than " + std::to_string(limits_.max_count) + " entries in one list");
}

template <class T>
void TreeBuilder::Fill(TList<T>& List, T* const* Items, std::size_t Count) {
  CheckCount(Count);
  if (Count == 0) {
    List.Clear();
  } else if (store_ != nullptr) {
    T** Array = store_->NewArray<T>(Count);
    std::memcpy(Array, Items, Count * sizeof(T*));
    List.Adopt(Array, static_cast<std::uint32_t>(Count));
  } else {
    // All the room first: after it nothing can fail, so the list takes every object at once and
    // the caller drops them from its scratch right after.
    TList<T> Fresh;
    Fresh.Reserve(Count);
    for (std::size_t I = 0; I < Count; ++I) Fresh.Add(Items[I]);
    List.Swap(Fresh);
  }
}

template <class T>
void TreeBuilder::FillAll(TList<T>& List, std::vector<T*>& Scratch) {
  constexpr std::size_t kLong = std::size_t{1} << 16;
  if (store_ == nullptr || Scratch.size() < kLong) {
    Fill(List, Scratch.data(), Scratch.size());
    Scratch.clear();
    return;
  }
  CheckCount(Scratch.size());
  const auto Count = static_cast<std::uint32_t>(Scratch.size());
  List.Adopt(store_->Keep(std::move(Scratch)), Count);
  Scratch = {};
}

void TreeBuilder::SetName(TXMLNode& Node, std::string_view Name, std::uint32_t Hash) {
  last_slot_ = nullptr;
  if (Name.empty()) {
    Node.SetName(&TXMLNode::Empty(), false);
  } else if (store_ == nullptr) {
    Node.SetName(new std::string(Name), true);
  } else {
    // Elements of one name share one string. The cache only saves memory, so a name that lost its
    // slot to another simply gets a new string.
    if (names_.empty()) names_.assign(kNameSlots, NameSlot{});
    NameSlot& Slot = names_[(Hash ^ (Hash >> 16)) & (kNameSlots - 1)];
    if (Slot.name == nullptr || Slot.hash != Hash || Slot.name->size() != Name.size() ||
        std::memcmp(Slot.name->data(), Name.data(), Name.size()) != 0)
      Slot = {store_->NewString(Name), Hash, kUnknown};
    if (Node.Has(TXMLNode::kOwnsName))
      Node.SetName(Slot.name, false);
    else
      Node.tag_name_ = Slot.name;  // nothing to free
    last_slot_ = &Slot;
  }
}

TXMLErrorCode TreeBuilder::Open(TXMLNode& Node, std::int32_t Level, std::size_t& Pos, std::size_t End,
                                bool& WantsChildren) {
  WantsChildren = false;
  Node.level_ = Level;
  // Nothing to parse (a document with nothing after its prolog): a broken tag, not a silent success.
  if (Pos >= End) return ecInvalidTag;
  const char* const T = text_.data();

  if (T[Pos] != '<') {
    // A text run: everything up to the next "<", taken as it is, leading space included.
    Node.SetKind(ttCDATA);
    std::size_t Lt = FindByte(text_, '<', Pos, End);
    if (Lt == npos) Lt = End;
    const std::string_view Run(T + Pos, Lt - Pos);
    if (store_ != nullptr)
      SetStoreText(Node, Run);
    else
      Node.SetText(new std::string(Run), true);
    Pos = Lt;
    return ecOk;
  }

  const std::size_t I = NameEndAt(T, Pos + 1, End);
  SetName(Node, std::string_view(T + Pos + 1, I - Pos - 1), NameHash(T + Pos + 1, I - Pos - 1));
  // The name runs to the end of the text: a cut-off tag.
  if (I == End) return ecInvalidTag;

  bool Closed = false;
  std::size_t Consumed = I + 1;
  if (T[I] == '/') {
    ++Consumed;  // the byte after "/" goes too, whatever it is (normally the ">" of "/>")
    Node.SetKind(ttShorted);
    Closed = true;
  } else if (T[I] == '>') {
    Closed = true;
  }
  // An empty name consumes nothing (this also catches a closing tag where an element was expected).
  if (Node.tag_name_->empty()) return ecInvalidTag;
  Pos = std::min(Consumed, End);

  if (!Closed) {
    const TXMLErrorCode Status = ParseAttributes(Node, Pos, End);
    if (Status != ecOk) return Status;
  }
  WantsChildren = Node.TagType() == ttNormal;
  return ecOk;
}

TXMLErrorCode TreeBuilder::ParseAttributes(TXMLNode& Node, std::size_t& Pos, std::size_t End) {
  Node.attributes_.Clear();
  if (&Node == top_) top_attributes_ = true;
  const std::size_t Gt = FindByte(text_, '>', Pos, End);
  // A tag cut off before its ">" is broken, not a tag with a junk attribute.
  if (Gt == npos) return ecInvalidTag;
  const std::string_view A = text_.substr(Pos, Gt + 1 - Pos);
  Pos = Gt + 1;
  if (A.size() >= 2 && A[A.size() - 2] == '/') Node.SetKind(ttShorted);
  attrs_.clear();

  // "/> " and "> " are the tag's end, not attributes.
  ForEachToken(A, [this](std::string_view Piece) {
    if (Piece == "/>" || Piece == ">") return;
    if (store_ != nullptr) {
      std::string_view Name, Value;
      SplitAttributeToken(Piece, Name, Value);
      attrs_.push_back(store_->NewAttribute(Name, Value));  // the storage owns it already
      return;
    }
    attrs_.push_back(nullptr);  // the slot first: a new attribute is never without an owner
    TXMLAttribute* Attr = NewAttribute();
    attrs_.back() = Attr;
    ParseAttributeToken(*Attr, Piece);
  });
  FillAll(Node.attributes_, attrs_);
  return ecOk;
}

void TreeBuilder::PushFrame(TXMLNode& Node, std::size_t Pos, std::size_t End) {
  Node.children_.Clear();
  if (&Node == top_) top_children_ = true;
  // The node just opened has its name's slot in last_slot_: its closing-tag id is looked up
  // once per name, not once per element.
  std::size_t Close;
  if (last_slot_ != nullptr && last_slot_->name == Node.tag_name_) {
    if (last_slot_->close_id == kUnknown) last_slot_->close_id = index_.NameId(*Node.tag_name_);
    Close = index_.FindFor(last_slot_->close_id, Node.tag_name_->size(), Pos, End);
  } else {
    Close = index_.Find(*Node.tag_name_, Pos, End);
  }
  if (Close == npos) {
    if (unclosed_ != nullptr) unclosed_->emplace_back(&Node, Pos);
    stack_.push_back(
        {&Node, Pos, 0, kids_.size()});  // no closing tag: no children, and nothing more is consumed
    return;
  }
  // Children one level further down than Level can count: the level would wrap around.
  if (Close > Pos && Node.level_ >= limits_.max_level)
    throw std::length_error("elements nested deeper than " + std::to_string(limits_.max_level) + " levels");
  stack_.push_back({&Node, Close, Node.tag_name_->size() + 3, kids_.size()});
}

void TreeBuilder::PopFrame() {
  const Frame& F = stack_.back();
  if (F.kids_from == 0) {
    FillAll(F.node->children_, kids_);  // all of kids_ is this frame's (the outermost, often)
  } else {
    Fill(F.node->children_, kids_.data() + F.kids_from, kids_.size() - F.kids_from);
    kids_.resize(F.kids_from);
  }
  stack_.pop_back();
}

TXMLErrorCode TreeBuilder::RunChildren(TXMLNode& Top, std::size_t& Pos, std::size_t End,
                                       bool RemoveTopClose) {
  stack_.clear();
  kids_.clear();
  PushFrame(Top, Pos, End);
  // Invariant: Pos lies inside the children text of every frame on the stack, and the frames'
  // children texts nest, the innermost on top.
  while (!stack_.empty()) {
    const Frame F = stack_.back();
    if (Pos < F.kids_end) {
      if (release_ != nullptr && Pos >= next_release_) {
        release_->ReleaseBefore(Pos);
        next_release_ = Pos + (std::size_t{8} << 20);
      }
      TXMLNode* Child;
      if (store_ != nullptr) {
        Child = store_->NewNode();  // the storage owns it already
        kids_.push_back(Child);
      } else {
        kids_.push_back(nullptr);  // the slot first: a new node is never without an owner
        Child = new TXMLNode;
        kids_.back() = Child;
      }
      // Its parent and position are known here: navigation costs no pass of its own.
      Child->SetParent(F.node, static_cast<std::int32_t>(kids_.size() - 1 - F.kids_from));
      const std::size_t Start = Pos;
      bool WantsChildren = false;
      const TXMLErrorCode Status = Open(*Child, F.node->level_ + 1, Pos, F.kids_end, WantsChildren);
      if (Status != ecOk) {
        // The first failing child ends every enclosing element; the outermost children text was
        // already taken, so the caller's text resumes at the outermost closing tag. Every open
        // element keeps the children parsed so far, the failing one included.
        fail_pos_ = Start;
        Pos = stack_.front().kids_end;
        while (!stack_.empty()) PopFrame();
        return Status;
      }
      if (recorder_ != nullptr) recorder_->Opened(*Child, Start, Pos, WantsChildren);
      if (WantsChildren) PushFrame(*Child, Pos, F.kids_end);
    } else {
      const bool Consumed = stack_.size() > 1 || RemoveTopClose;
      if (recorder_ != nullptr) recorder_->Closed(F.kids_end, Consumed ? F.close_len : 0);
      if (Consumed) Pos += F.close_len;
      PopFrame();
    }
  }
  return ecOk;
}

TXMLErrorCode TreeBuilder::ParseNode(TXMLNode& Node, std::int32_t Level, std::size_t& Pos, std::size_t End) {
  const std::size_t Start = Pos;
  bool WantsChildren = false;
  const TXMLErrorCode Status = Open(Node, Level, Pos, End, WantsChildren);
  if (Status != ecOk) {
    fail_pos_ = Start;
    return Status;
  }
  if (recorder_ != nullptr) recorder_->Opened(Node, Start, Pos, WantsChildren);
  if (!WantsChildren) return ecOk;
  return RunChildren(Node, Pos, End, true);
}

TXMLErrorCode TreeBuilder::ParseChildren(TXMLNode& Node, std::size_t& Pos, std::size_t End) {
  return RunChildren(Node, Pos, End, false);
}

TXMLErrorCode TreeBuilder::RunOnString(TXMLNode& Node, Step Which, std::int32_t Level, std::string& S) {
  // The stand-in starts as a shallow copy of Node: Node's name and text, borrowed (not owned).
  TXMLNode Draft;
  Draft.tag_name_ = Node.tag_name_;
  Draft.text_data_ = Node.text_data_;
  Draft.level_ = Node.level_;
  Draft.SetKind(Node.TagType());
  std::size_t Pos = 0;
  TXMLErrorCode Status = ecOk;
  bool NewAttributes = false, NewChildren = false;
  {
    TreeBuilder B(S);
    B.top_ = &Draft;
    switch (Which) {
      case Step::kNode:
        Status = B.ParseNode(Draft, Level, Pos, S.size());
        break;
      case Step::kAttributes:
        Status = B.ParseAttributes(Draft, Pos, S.size());
        break;
      case Step::kChildren:
        Status = B.ParseChildren(Draft, Pos, S.size());
        break;
    }
    NewAttributes = B.top_attributes_;
    NewChildren = B.top_children_;
  }

  // Nothing below can fail. Node takes what the step set; the lists it replaced go to the
  // stand-in, which frees them on leaving, after S is cut.
  Node.level_ = Draft.level_;
  Node.SetKind(Draft.TagType());
  if (Draft.tag_name_ != Node.tag_name_) Node.SetName(Draft.tag_name_, Draft.Has(TXMLNode::kOwnsName));
  if (Draft.text_data_ != Node.text_data_) Node.SetText(Draft.text_data_, Draft.Has(TXMLNode::kOwnsText));
  // Its name and text are Node's now, or were Node's all along.
  Draft.Mark(TXMLNode::kOwnsName | TXMLNode::kOwnsText, false);
  if (NewAttributes) Node.attributes_.Swap(Draft.attributes_);
  if (NewChildren) {
    Node.children_.Swap(Draft.children_);
    for (std::int32_t I = 0; I < Node.children_.Count(); ++I) Node.children_.begin()[I]->SetParent(&Node, I);
  }
  S.erase(0, Pos);
  // The children replaced are Node's former ones, in Node's tree: they are destroyed, those of a
  // document's storage released in place (the storage stays).
  TXMLNode::DestroyChildren(Draft.children_, TXMLNode::StorageNodes::kRelease);
  return Status;
}

}  // namespace linexml::detail
