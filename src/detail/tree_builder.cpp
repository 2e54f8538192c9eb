#include "tree_builder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "bytes.h"
#include "doc_text.h"
#include "list_access.h"
#include "simd.h"
#include "tag_tokens.h"

namespace linexml::detail {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// Where the tag name from P ends: at a space, "/" or ">", and with Watch also at "<" (which is
// otherwise a byte of the name); End when none of them comes. Head gets the name's first eight
// bytes, as NameTable::HeadOf gives them. The steps may read on up to Readable.
const char* NameEnd(const char* P, const char* End, const char* Readable, bool Watch, std::uint64_t& Head) {
  auto Stops = [](simd::Block B) { return (NameEnds(B) | B.Eq('<')).ToBits(); };
  const simd::Block First = simd::LoadBefore(P, Readable);
  simd::Bits Hits = Stops(First);
  if (End - P < static_cast<std::ptrdiff_t>(simd::kBlock))
    Hits &= simd::Below(static_cast<std::size_t>(End - P));
  const char* Stop = Hits != 0 ? P + simd::Lowest(Hits)
                               : simd::FindIf(std::min(P + simd::kBlock, End), End, Readable, Stops);
  while (!Watch && Stop != End && *Stop == '<') Stop = simd::FindIf(Stop + 1, End, Readable, Stops);
  const auto Size = static_cast<std::size_t>(Stop - P);
  Head = First.Low64();
  if (Size < 8) Head &= (std::uint64_t{1} << (8 * Size)) - 1;
  return Stop;
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

void TreeBuilder::SetText(TXMLNode& Node, std::string_view Text) {
  if (store_ == nullptr) {
    Node.SetText(new std::string(Text), true);
    return;
  }
  const std::string* S = store_->NewString(Text, Readable());
  if (Node.Has(TXMLNode::kOwnsText))
    Node.SetText(S, false);
  else
    Node.text_data_ = S;  // a fresh node: nothing to free
}

void TreeBuilder::TooDeep() const {
  // Children one level further down than Level can count: the level would wrap around.
  throw std::length_error("elements nested deeper than " + std::to_string(limits_.max_level) + " levels");
}

void TreeBuilder::CheckCount(std::size_t Count) const {
  if (Count > limits_.max_count)
    throw std::length_error("more than " + std::to_string(limits_.max_count) + " entries in one list");
}

template <class T>
void TreeBuilder::Fill(TList<T>& List, T* const* Items, std::size_t Count) {
  CheckCount(Count);
  if (Count == 0) {
    ListAccess::Clear(List);
  } else if (store_ != nullptr) {
    T** const Array = store_->NewArray<T>(Count);
    for (std::size_t I = 0; I < Count; ++I) Array[I] = Items[I];
    ListAccess::Adopt(List, Array, static_cast<std::uint32_t>(Count));
  } else {
    // All the room first: after it nothing can fail, so the list takes every object at once and
    // the caller drops them from its scratch right after.
    TList<T> Fresh;
    ListAccess::Reserve(Fresh, Count);
    for (std::size_t I = 0; I < Count; ++I) ListAccess::Add(Fresh, Items[I]);
    ListAccess::Swap(List, Fresh);
  }
}

template <class T>
void TreeBuilder::FillFrom(TList<T>& List, std::vector<T*>& Scratch, std::size_t From) {
  const std::size_t Count = Scratch.size() - From;
  if (store_ != nullptr && Count - 1 < kLongList - 1 && Count <= limits_.max_count) {
    // The common case, inline: a short list of a loaded document.
    T** const Array = store_->NewArray<T>(Count);
    for (std::size_t I = 0; I < Count; ++I) Array[I] = Scratch[From + I];
    ListAccess::Adopt(List, Array, static_cast<std::uint32_t>(Count));
  } else if (store_ != nullptr && From == 0 && Count >= kLongList) {
    // A long list takes the whole scratch array over instead of copying it.
    CheckCount(Count);
    ListAccess::Adopt(List, store_->Keep(std::move(Scratch)), static_cast<std::uint32_t>(Count));
    Scratch = {};
    return;
  } else {
    Fill(List, Scratch.data() + From, Count);
  }
  Scratch.resize(From);
}

void TreeBuilder::AddInfo(std::uint32_t Id, std::string_view Name) {
  infos_.resize(Id + 1);
  NameInfo& Info = infos_[Id];
  Info.size = static_cast<std::uint32_t>(std::min<std::size_t>(Name.size(), 0xFFFFFFFFu));
  if (Name.size() < sizeof Info.closing) {
    std::memcpy(Info.closing, Name.data(), Name.size());
    Info.closing[Name.size()] = '>';
  }
}

void TreeBuilder::SetOwnName(TXMLNode& Node, std::string_view Name) {
  if (Name.empty())
    Node.SetName(&TXMLNode::Empty(), false);
  else
    Node.SetName(new std::string(Name), true);
}

TXMLErrorCode TreeBuilder::TakeAttributes(TXMLNode& Node, std::size_t& Pos, std::size_t Gt) {
  ListAccess::Clear(Node.attributes_);
  if (&Node == top_) top_attributes_ = true;
  // A tag cut off before its ">" is broken, not a tag with a junk attribute.
  if (Gt == npos) return ecInvalidTag;
  const std::string_view A = text_.substr(Pos, Gt + 1 - Pos);
  Pos = Gt + 1;
  if (A.size() >= 2 && A[A.size() - 2] == '/') Node.SetKind(ttShorted);
  attrs_.clear();
  // "/> " and "> " are the tag's end, not attributes.
  auto IsEnd = [](std::string_view Piece) { return Piece.size() <= 2 && (Piece == "/>" || Piece == ">"); };
  // Taken once per tag: the calls for each attribute would load them again.
  const char* const ReadLimit = Readable();
  if (store_ != nullptr) {
    ForEachToken(
        A, ReadLimit, [this, &IsEnd, &Store = *store_, ReadLimit](std::string_view Piece, std::size_t Eq) {
          if (IsEnd(Piece)) return;
          std::string_view Name, Value;
          SplitAttributeToken(Piece, Eq, Name, Value);
          attrs_.push_back(Store.NewAttribute(Name, Value, ReadLimit));  // the storage owns it already
        });
  } else {
    ForEachToken(A, ReadLimit, [this, &IsEnd](std::string_view Piece, std::size_t) {
      if (IsEnd(Piece)) return;
      attrs_.push_back(nullptr);  // the slot first: a new attribute is never without an owner
      TXMLAttribute* Attr = new TXMLAttribute;
      attrs_.back() = Attr;
      ParseAttributeToken(*Attr, Piece);
    });
  }
  FillFrom(Node.attributes_, attrs_, 0);
  return ecOk;
}

TreeBuilder::Opened TreeBuilder::Open(TXMLNode& Node, std::int32_t Level, std::size_t& Pos, std::size_t End,
                                      bool Watch) {
  const char* const T = text_.data();
  // Nothing to parse (a document with nothing after its prolog): a broken tag, not a silent success.
  if (Pos >= End) {
    Node.level_ = Level;
    return Opened::kFailed;
  }
  if (T[Pos] != '<') {
    // A text run: everything up to the next "<", taken as it is, leading space included.
    Node.level_ = Level;
    Node.SetKind(ttCDATA);
    // Runs of text are long: the C library's search for one byte takes wider steps.
    const void* const Hit = std::memchr(T + Pos, '<', End - Pos);
    const std::size_t Lt = Hit == nullptr ? End : static_cast<std::size_t>(static_cast<const char*>(Hit) - T);
    SetText(Node, std::string_view(T + Pos, Lt - Pos));
    Pos = Lt;
    return Opened::kLeaf;
  }

  // The whole tag is read before anything is built from it, so that a "<" inside it (watched
  // for) leaves the node untouched.
  std::uint64_t Head = 0;
  const char* const Name = T + Pos + 1;
  const char* const Stop = NameEnd(Name, T + End, Readable(), Watch, Head);
  const bool CutOff = Stop == T + End;
  if (!CutOff && *Stop == '<') return Opened::kHidden;
  std::size_t Gt = npos;
  if (!CutOff && *Stop == ' ') {
    const char* const G = Watch ? simd::FindFirstOf<'>', '<'>(Stop + 1, T + End, Readable())
                                : simd::FindFirstOf<'>'>(Stop + 1, T + End, Readable());
    if (G != T + End && *G == '<') return Opened::kHidden;
    if (G != T + End) Gt = static_cast<std::size_t>(G - T);
  }
  // A self-closing tag takes the byte after its "/" whatever it is; watched for, a "<" there may
  // begin the closing tag that ends the parent, which only the ends of the elements can tell.
  if (Watch && !CutOff && *Stop == '/' && Stop + 1 < T + End && Stop[1] == '<') return Opened::kHidden;

  Node.level_ = Level;
  const std::string_view NameText(Name, static_cast<std::size_t>(Stop - Name));
  if (!NameText.empty()) opened_name_ = NameId(NameText, Head);
  SetName(Node, NameText, opened_name_);
  // The name runs to the end of the text: a cut-off tag.
  if (CutOff) return Opened::kFailed;
  bool Closed = false;
  auto Consumed = static_cast<std::size_t>(Stop - T) + 1;
  if (*Stop == '/') {
    ++Consumed;  // the byte after "/" goes too, whatever it is (normally the ">" of "/>")
    Node.SetKind(ttShorted);
    Closed = true;
  } else if (*Stop == '>') {
    Closed = true;
  }
  // An empty name consumes nothing (this also catches a closing tag where an element was expected).
  if (NameText.empty()) return Opened::kFailed;
  Pos = std::min(Consumed, End);
  if (!Closed && TakeAttributes(Node, Pos, Gt) != ecOk) return Opened::kFailed;
  return Node.TagType() == ttNormal ? Opened::kParent : Opened::kLeaf;
}

TXMLErrorCode TreeBuilder::ParseAttributes(TXMLNode& Node, std::size_t& Pos, std::size_t End) {
  const char* const T = text_.data();
  const char* const Gt = simd::FindFirstOf<'>'>(T + Pos, T + End, Readable());
  return TakeAttributes(Node, Pos, Gt == T + End ? npos : static_cast<std::size_t>(Gt - T));
}

void TreeBuilder::Push(TXMLNode& Node, std::size_t After, std::uint32_t Name) {
  stack_.push_back({&Node, kOpen, After, kids_.size(), Name});
  NameInfo& Info = infos_[Name];
  Info.open = static_cast<std::uint32_t>(stack_.size());
  if (fragment_ && Info.first_push == kNever) Info.first_push = static_cast<std::uint32_t>(closes_.size());
}

void TreeBuilder::Pop() {
  const Frame& F = stack_.back();
  infos_[F.name].open = 0;
  FillFrom(F.node->children_, kids_, F.kids_from);
  stack_.pop_back();
  known_ = std::min(known_, stack_.size());
}

void TreeBuilder::Adopt(std::size_t Depth, std::size_t From, std::size_t To) {
  TXMLNode* const Parent = stack_[Depth].node;
  const std::size_t Base = stack_[Depth].kids_from;
  for (std::size_t K = From; K < To; ++K) {
    TXMLNode* const Kid = kids_[K];
    Kid->SetParent(Parent, static_cast<std::int32_t>(K - Base));
    // What lies below it (its children, or its kids so far when it is still open) keeps the
    // levels it was given: FixLevels mends them at the end.
    if (Kid->level_ != Parent->level_ + 1 && Kid->TagType() == ttNormal) levels_stale_ = true;
    Kid->level_ = Parent->level_ + 1;
  }
}

void TreeBuilder::UncloseAbove(std::size_t J) {
  for (std::size_t K = J + 1; K < stack_.size(); ++K) {
    infos_[stack_[K].name].open = 0;
    NoteOpenEnd(*stack_[K].node, stack_[K].after);
  }
  if (J + 1 < stack_.size()) Adopt(J, stack_[J + 1].kids_from, kids_.size());
  stack_.resize(J + 1);
  known_ = std::min(known_, stack_.size());
}

bool TreeBuilder::Resolve(std::size_t Pos) {
  // The index needs no closing tag before Pos: a frame's own closing tag cannot stand there (the
  // cursor met every one before Pos, and a frame whose tag it met is no longer open).
  if (!index_) index_.emplace(text_, Pos);
  const std::size_t Count = stack_.size();
  std::size_t Kept = known_;
  for (std::size_t I = known_; I < Count; ++I) {
    Frame F = stack_[I];
    const std::size_t To = I + 1 < Count ? stack_[I + 1].kids_from : kids_.size();
    const std::size_t Bound = Kept == 0 ? end_ : stack_[Kept - 1].end;
    const std::size_t Close = index_->Find(*F.node->tag_name_, F.after, Bound);
    if (Close == npos) {
      if (Kept == 0) return false;  // the bottom frame: nothing has changed
      infos_[F.name].open = 0;
      NoteOpenEnd(*F.node, F.after);
      Adopt(Kept - 1, F.kids_from, To);
      continue;
    }
    F.end = Close;
    if (Kept > 0) {
      const std::int32_t Level = stack_[Kept - 1].node->level_ + 1;
      if (F.node->level_ != Level) {
        F.node->level_ = Level;
        levels_stale_ = true;  // its children so far hold the level it had
      }
    }
    stack_[Kept] = F;
    infos_[F.name].open = static_cast<std::uint32_t>(Kept + 1);
    ++Kept;
  }
  stack_.resize(Kept);
  known_ = Kept;
  return true;
}

void TreeBuilder::DropLastKid() {
  TXMLNode* const Kid = kids_.back();
  kids_.pop_back();
  if (store_ == nullptr) delete Kid;  // a stored one stays unused in the store
}

void TreeBuilder::FixLevels(TXMLNode& Top) {
  // Invariant: the levels of Node and of its children before Next are right.
  TXMLNode* Node = &Top;
  std::int32_t Next = 0;
  for (;;) {
    if (Next < Node->children_.Count()) {
      TXMLNode* const Kid = Node->children_.begin()[Next];
      if (Node->level_ >= limits_.max_level) TooDeep();
      Kid->level_ = Node->level_ + 1;
      if (Kid->children_.Count() > 0) {
        Node = Kid;
        Next = 0;
      } else {
        ++Next;
      }
    } else {
      if (Node == &Top) return;
      Next = Node->index_ + 1;
      Node = Node->Parent();
    }
  }
}

bool TreeBuilder::CloseAt(std::size_t& Pos, bool RemoveTopClose) {
  const char* const T = text_.data();
  const NameInfo& Top = infos_[stack_.back().name];
  std::size_t Gt = Pos + 2 + Top.size;
  bool Mine;
  if (Top.size < sizeof Top.closing && Pos + 2 + simd::kBlock <= end_) {
    // The name and its ">" in one step.
    const simd::Bits Same = simd::Block::Load(T + Pos + 2).Eq(simd::Block::Load(Top.closing)).ToBits();
    Mine = (~Same & simd::Below(Top.size + 1)) == 0;
  } else {
    const std::string& Name = *stack_.back().node->tag_name_;
    Gt = Pos + 2 + Name.size();
    Mine = Gt < end_ && T[Gt] == '>' && std::memcmp(T + Pos + 2, Name.data(), Name.size()) == 0;
  }
  if (!Mine) {
    // Not the top's: it may close an element further down, whose children then include those of
    // the elements above it, which have no closing tag.
    const char* const Stop = FindNameEndOrLt(T + Pos + 2, T + end_, Readable());
    if (Stop == T + end_ || *Stop != '>') return false;
    const std::uint32_t Id =
        names_.Find(std::string_view(T + Pos + 2, static_cast<std::size_t>(Stop - T) - Pos - 2));
    if (Id == NameTable::kNone || infos_[Id].open == 0) return false;
    const std::size_t Depth = infos_[Id].open - 1;
    if (Depth < known_ && stack_[Depth].end != Pos) return false;
    UncloseAbove(Depth);
    Gt = static_cast<std::size_t>(Stop - T);
  }
  if (stack_.size() > 1 || RemoveTopClose) Pos = Gt + 1;
  Pop();
  return true;
}

TXMLErrorCode TreeBuilder::Unrooted(std::size_t& Pos, std::size_t Notes) {
  const Frame Bottom = stack_.front();
  for (const Frame& F : stack_) infos_[F.name].open = 0;
  stack_.clear();
  known_ = 0;
  if (store_ == nullptr)
    for (TXMLNode* N : kids_) delete N;
  kids_.clear();
  // Nothing inside it was read: what was noted there goes.
  if (unclosed_ != nullptr) unclosed_->resize(Notes);
  NoteOpenEnd(*Bottom.node, Bottom.after);
  if (recorder_ != nullptr) recorder_->Closed(Bottom.after, 0);
  Pos = Bottom.after;
  return ecOk;
}

TXMLErrorCode TreeBuilder::RunChildren(TXMLNode& Top, std::size_t& Pos, std::size_t End,
                                       bool RemoveTopClose) {
  stack_.clear();
  kids_.clear();
  known_ = 0;
  end_ = End;
  levels_stale_ = false;
  const std::size_t Notes = unclosed_ != nullptr ? unclosed_->size() : 0;
  ListAccess::Clear(Top.children_);
  if (&Top == top_) top_children_ = true;
  const std::string& TopName = *Top.tag_name_;
  Push(Top, Pos, NameId(TopName, NameTable::HeadOf(TopName)));
  if (ends_from_index_ && !Resolve(Pos)) return Unrooted(Pos, Notes);
  StartSecondHalf(Pos, End);
  return Run(Top, Pos, End, RemoveTopClose, Notes);
}

void TreeBuilder::RunFragment(std::size_t Pos, std::size_t End) {
  fragment_ = true;
  end_ = End;
  // The holder's name (a space) is never a closing tag's.
  Push(holder_, Pos, NameId(" ", NameTable::HeadOf(" ")));
  (void)Run(holder_, Pos, End, false, 0);
}

bool TreeBuilder::NoteBottomClose(std::size_t& Pos) {
  const char* const T = text_.data();
  const char* const Stop = FindNameEndOrLt(T + Pos + 2, T + end_, Readable());
  if (Stop == T + end_ || *Stop != '>') return false;
  closes_.push_back({Pos, static_cast<std::size_t>(Stop - T) + 1, kids_.size(), store_->NodeCount()});
  Pos = closes_.back().after;
  return true;
}

TXMLErrorCode TreeBuilder::Run(TXMLNode& Top, std::size_t& Pos, std::size_t End, bool RemoveTopClose,
                               std::size_t Notes) {
  const char* const T = text_.data();
  // Invariant: Pos lies inside the children text of every frame on the stack, and the frames'
  // children texts nest, the innermost on top.
  while (!stack_.empty()) {
    if (Pos == split_) {
      JoinSecondHalf(Pos, RemoveTopClose);
      continue;
    }
    const Frame& F = stack_.back();
    const bool Known = known_ == stack_.size();
    if (Known && Pos == F.end) {
      const std::size_t Size = stack_.size() > 1 || RemoveTopClose ? F.node->tag_name_->size() + 3 : 0;
      if (recorder_ != nullptr) recorder_->Closed(F.end, Size);
      Pos += Size;
      Pop();
      continue;
    }
    if (!Known) {
      // The text ends inside elements whose ends are not known: none of them has a closing tag
      // (frames of known ends end before it), the bottom one included.
      if (Pos >= End) return fragment_ ? Stop(Pos) : Unrooted(Pos, Notes);
      if (T[Pos] == '<' && Pos + 1 < End && T[Pos + 1] == '/') {
        if (fragment_) {
          // At the bottom it closes an element opened before the fragment (the join decides which).
          if (!(stack_.size() == 1 ? NoteBottomClose(Pos) : CloseAt(Pos, false))) return Stop(Pos);
          continue;
        }
        if (!CloseAt(Pos, RemoveTopClose) && !Resolve(Pos)) return Unrooted(Pos, Notes);
        continue;
      }
    }
    // The children of the top frame end at its known end, else at the nearest known end below.
    const std::size_t Limit = Known ? F.end : known_ > 0 ? stack_[known_ - 1].end : End;
    if (release_ != nullptr && Pos >= next_release_) {
      release_->ReleaseBefore(Pos);
      next_release_ = Pos + (std::size_t{2} << 20);
    }
    // Children one level further down than Level can count: the level would wrap around.
    if (F.node->level_ >= limits_.max_level) {
      if (!Known) {
        if (fragment_) return Stop(Pos);
        if (!Resolve(Pos)) return Unrooted(Pos, Notes);  // the levels so far may be too high
        continue;
      }
      TooDeep();
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
    switch (Open(*Child, F.node->level_ + 1, Pos, Limit, !Known)) {
      case Opened::kLeaf:
        if (recorder_ != nullptr) recorder_->Opened(*Child, Start, Pos, false);
        break;
      case Opened::kParent:
        if (recorder_ != nullptr) recorder_->Opened(*Child, Start, Pos, true);
        // Inside an element of its own name, whose closing tag comes first: it has no children.
        if (infos_[opened_name_].open != 0) {
          NoteOpenEnd(*Child, Pos);
          if (recorder_ != nullptr) recorder_->Closed(Pos, 0);
          break;
        }
        Push(*Child, Pos, opened_name_);
        if (ends_from_index_) {
          if (!Resolve(Pos)) return Unrooted(Pos, Notes);
          // Without a closing tag it has no children: it ends where it opened.
          if (recorder_ != nullptr && stack_.back().node != Child) recorder_->Closed(Pos, 0);
        }
        break;
      case Opened::kHidden:
        DropLastKid();
        if (fragment_) return Stop(Pos);
        if (!Resolve(Pos)) return Unrooted(Pos, Notes);
        break;
      case Opened::kFailed:
        if (!Known) {
          // Tried again once every open element's end is known, for the tree it leaves.
          DropLastKid();
          Pos = Start;
          if (fragment_) return Stop(Pos);
          if (!Resolve(Pos)) return Unrooted(Pos, Notes);
          break;
        }
        // The first failing child ends every enclosing element; the outermost children text was
        // already taken, so the caller's text resumes at the outermost closing tag. Every open
        // element keeps the children parsed so far, the failing one included.
        fail_pos_ = Start;
        Pos = stack_.front().end;
        while (!stack_.empty()) Pop();
        if (levels_stale_) FixLevels(Top);
        return ecInvalidTag;
    }
  }
  if (levels_stale_) FixLevels(Top);
  return ecOk;
}

void TreeBuilder::StartSecondHalf(std::size_t Pos, std::size_t End) {
  if (two_threads_from_ == ~std::size_t{0} || fragment_ || store_ == nullptr || unclosed_ != nullptr ||
      recorder_ != nullptr || ends_from_index_ || End - Pos < two_threads_from_)
    return;
  // A start tag right after a ">" is where a token starts whatever came before it (a tag ends at
  // its first ">", and a text run at a "<").
  const char* const T = text_.data();
  const char* P = T + Pos + (End - Pos) / 2;
  for (;; ++P) {
    P = simd::FindPair<'>', '<'>(P, T + End);
    if (T + End - P < 3) return;
    if (P[2] != '/') break;
  }
  const auto Split = static_cast<std::size_t>(P + 1 - T);
  second_store_ = std::make_unique<Arena>();
  second_ = std::make_unique<TreeBuilder>(text_, second_store_.get());
  try {
    worker_ = std::jthread([this, Split, End] {
      try {
        second_->RunFragment(Split, End);
      } catch (...) {
        second_failed_ = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    second_.reset();  // no thread to be had: this one reads it all
    second_store_.reset();
    return;
  }
  split_ = Split;
}

void TreeBuilder::JoinSecondHalf(std::size_t& Pos, bool RemoveTopClose) {
  worker_.join();
  split_ = ~std::size_t{0};
  const std::unique_ptr<TreeBuilder> Second = std::move(second_);
  store_->Keep(std::move(second_store_));  // its objects go with the document's, used or not
  if (second_failed_) std::rethrow_exception(std::exchange(second_failed_, nullptr));
  // An element that had children there though one of its name was open here at the time has
  // none: this thread reads again from the closing tag before it. Frames only leave this stack
  // from the top, so the stack at the K-th of those tags holds no name first pushed there before
  // it when the earliest first push among the names of its frames (Earliest, kept per depth) is
  // later.
  std::vector<std::uint32_t> Earliest(stack_.size());
  for (std::size_t D = 0; D < stack_.size(); ++D) {
    const std::uint32_t Id = Second->names_.Find(*stack_[D].node->tag_name_);
    const std::uint32_t First = Id == NameTable::kNone ? kNever : Second->infos_[Id].first_push;
    Earliest[D] = D == 0 ? First : std::min(Earliest[D - 1], First);
  }
  auto Clash = [&](std::size_t K) { return !stack_.empty() && Earliest[stack_.size() - 1] <= K; };
  if (Clash(0)) return;
  // Levels it moved are mended with this thread's (see Adopt).
  if (Second->levels_stale_) levels_stale_ = true;
  Arena& Nodes = *Second->store_;
  std::size_t Kid = 0, Node = 0;  // the next of its bottom's children and of its nodes to hand over
  // Its bottom's children up to Kids become the top frame's, and its nodes up to Count (theirs,
  // with their subtrees, made in the order of the text) get levels below it.
  auto HandOver = [&](std::size_t Kids, std::size_t Count) {
    const Frame& F = stack_.back();
    // The other thread made these nodes, so none is in this core's cache: each is asked for a
    // few ahead, or the loop waits for each in turn (most of the join of a large flat document).
    constexpr std::size_t kAhead = 16;
    for (; Kid < Kids; ++Kid) {
      if (Kid + kAhead < Kids) __builtin_prefetch(Second->kids_[Kid + kAhead], 1);
      TXMLNode* const N = Second->kids_[Kid];
      kids_.push_back(N);
      N->SetParent(F.node, static_cast<std::int32_t>(kids_.size() - 1 - F.kids_from));
    }
    // Its bottom's children are at level 1.
    // (Levels that FixLevels mends are checked there: they may be too high here.)
    // Below the root (most documents split there) they stand as they are: no walk over them.
    const std::int32_t Shift = F.node->level_;
    const std::int32_t Deepest = levels_stale_ ? std::numeric_limits<std::int32_t>::max() : limits_.max_level;
    if (Shift != 0)
      Nodes.ForNodes(Node, Count, [this, Shift, Deepest](TXMLNode& N) {
        if (N.level_ > Deepest - Shift) TooDeep();
        N.level_ += Shift;
      });
    Node = Count;
  };
  for (std::size_t K = 0; K < Second->closes_.size(); ++K) {
    const BottomClose& C = Second->closes_[K];
    HandOver(C.kids, C.nodes);
    std::size_t At = C.pos;
    // A closing tag of no open element: this thread goes on from it.
    if (!CloseAt(At, RemoveTopClose)) {
      Pos = C.pos;
      return;
    }
    // The root ended: what follows is text after it.
    if (stack_.empty()) {
      Pos = At;
      return;
    }
    if (Clash(K + 1)) {
      Pos = C.after;
      return;
    }
  }
  // Then its bottom's other children, and its open elements with theirs.
  const std::size_t Open = Second->stack_.size() > 1 ? Second->stack_[1].kids_from : Second->kids_.size();
  HandOver(Open, Nodes.NodeCount());
  const std::size_t Base = kids_.size() - Open;
  kids_.insert(kids_.end(), Second->kids_.begin() + static_cast<std::ptrdiff_t>(Open), Second->kids_.end());
  for (std::size_t I = 1; I < Second->stack_.size(); ++I) {
    const Frame& F = Second->stack_[I];
    const std::string& Name = *F.node->tag_name_;
    Push(*F.node, F.after, NameId(Name, NameTable::HeadOf(Name)));
    stack_.back().kids_from = F.kids_from + Base;
  }
  Pos = Second->stop_;
}

TXMLErrorCode TreeBuilder::ParseNode(TXMLNode& Node, std::int32_t Level, std::size_t& Pos, std::size_t End) {
  const std::size_t Start = Pos;
  const Opened Result = Open(Node, Level, Pos, End, false);
  if (Result == Opened::kFailed) {
    fail_pos_ = Start;
    return ecInvalidTag;
  }
  // (kHidden is not watched for here.)
  if (recorder_ != nullptr) recorder_->Opened(Node, Start, Pos, Result == Opened::kParent);
  return Result == Opened::kParent ? RunChildren(Node, Pos, End, true) : ecOk;
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
  if (NewAttributes) ListAccess::Swap(Node.attributes_, Draft.attributes_);
  if (NewChildren) {
    ListAccess::Swap(Node.children_, Draft.children_);
    for (std::int32_t I = 0; I < Node.children_.Count(); ++I) Node.children_.begin()[I]->SetParent(&Node, I);
  }
  S.erase(0, Pos);
  // The children replaced are Node's former ones, in Node's tree: they are destroyed, those of a
  // document's storage released in place (the storage stays).
  TXMLNode::DestroyChildren(Draft.children_, TXMLNode::StorageNodes::kRelease);
  return Status;
}

}  // namespace linexml::detail
