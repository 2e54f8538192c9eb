#pragma once
/// \file
/// linexml::TXMLNode, one element or text run of the tree.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "export.h"
#include "list.h"
#include "xml_attribute.h"
#include "xml_types.h"

namespace linexml {

namespace detail {
class Arena;
class TreeBuilder;
}  // namespace detail

/// What the callback of TXMLNode::ForEachInSubtree answers for the node it was given.
enum TXMLVisit : std::uint8_t {
  vsDown = 0,  ///< go on into its children, then on to the nodes after it
  vsSkip = 1,  ///< pass over its children (and call no Leave for it)
  vsStop = 2,  ///< end the walk here
};

/// One node of the document tree: an element (tag name, attributes, children) or a text run.
/// A node owns its children and attributes. Every walk over the tree (parse, search, select, save,
/// edit) runs on an explicit stack or along the parent links, and destruction on a chain through
/// the nodes themselves, so depth is limited only by memory, and destroying a tree needs none.
///
/// Queries (the const members) write nothing, so several threads may query one tree at once;
/// building and changing need exclusive access to the tree. The checked edits (AddChild,
/// SetAttribute, SetTagName, ...) refuse what a save could not write so that a load reads it back
/// the same (EXMLRefusal, a std::invalid_argument, with the reason WhyNotWritableName and its
/// siblings give), and every edit leaves the tree exactly as
/// it was when it throws (also std::bad_alloc, and std::length_error past the 2^31 - 1 limits of a
/// count or a Level). Removing or moving never invalidates pointers to other nodes.
class LINEXML_API TXMLNode {
 public:
  TXMLNode() = default;
  TXMLNode(const TXMLNode&) = delete;
  TXMLNode& operator=(const TXMLNode&) = delete;
  ~TXMLNode();

  /// Element name; empty for a text node.
  const std::string& TagName() const { return *tag_name_; }
  /// The character run of a text node, leading space included; empty for an element.
  const std::string& TextData() const { return *text_data_; }
  /// 0 for the root, the parent's level + 1 below it.
  std::int32_t Level() const { return level_; }
  /// ttNormal (also for a new node), ttShorted or ttCDATA.
  TTagType TagType() const { return static_cast<TTagType>(up_ & kKindMask); }
  /// The child nodes in document order; empty for a text run and after a parse for ttShorted.
  const TList<TXMLNode>& Children() const { return children_; }
  /// The attributes in the order written; empty for a text run.
  const TList<TXMLAttribute>& Attributes() const { return attributes_; }

  // --- Navigation, in constant time, on loaded and built trees alike ---

  /// The node whose child this is; nullptr for the root and for a node that is in no tree.
  [[nodiscard]] TXMLNode* Parent() const { return reinterpret_cast<TXMLNode*>(up_ & ~kFlagMask); }
  /// Its position in Parent()->Children(); -1 without a parent.
  [[nodiscard]] std::int32_t IndexInParent() const { return index_; }
  /// The next child of the same parent; nullptr for the last one and without a parent.
  [[nodiscard]] TXMLNode* NextSibling() const;
  /// The child before it of the same parent; nullptr for the first one and without a parent.
  [[nodiscard]] TXMLNode* PreviousSibling() const;

  // --- Walking a subtree ---

  /// Calls Visit(node) for this node and every node below it in document order (each node before
  /// its children), along the parent links: no recursion, no memory, so it cannot fail and any
  /// depth is fine. Visit returns void (go on everywhere) or a TXMLVisit; the walk returns true
  /// when a vsStop ended it. Visit may change what it is given, but not the lists of children of
  /// the nodes on the way.
  template <class VisitFn>
  bool ForEachInSubtree(VisitFn&& Visit) {
    return WalkFrom<false>(*this, Visit, kNoLeave);
  }
  /// The same over a const subtree.
  template <class VisitFn>
  bool ForEachInSubtree(VisitFn&& Visit) const {
    return WalkFrom<false>(*this, Visit, kNoLeave);
  }
  /// The same, and Leave(node) once the children of a node that Visit went into (vsDown) are done,
  /// also when it has none: Visit and Leave see an element as its start and its closing tag.
  template <class VisitFn, class LeaveFn>
  bool ForEachInSubtree(VisitFn&& Visit, LeaveFn&& Leave) {
    return WalkFrom<false>(*this, Visit, Leave);
  }
  /// The same over a const subtree.
  template <class VisitFn, class LeaveFn>
  bool ForEachInSubtree(VisitFn&& Visit, LeaveFn&& Leave) const {
    return WalkFrom<false>(*this, Visit, Leave);
  }

  // --- Reading. Queries write nothing, so several threads may query one tree at once ---

  /// nullptr at or past the end, and when negative.
  [[nodiscard]] TXMLNode* GetChild(std::int32_t Index) const;
  /// The number of children.
  [[nodiscard]] std::int32_t GetNumberOfChildren() const { return children_.Count(); }
  /// The first attribute named Name, or nullptr when there is none (unlike GetAttributeValue, a
  /// value "undefined" is then told apart from a missing attribute).
  [[nodiscard]] const TXMLAttribute* FindAttribute(std::string_view Name) const;
  /// The node's text the way a reader means it: the direct text runs (not those of child elements)
  /// joined as they stand, then the bytes 0..32 (spaces, tabs, line ends, control bytes) removed at
  /// both ends; "" when there is none. For a text run, its own TextData() so trimmed. Spaces inside
  /// stay as stored.
  [[nodiscard]] std::string Text() const;
  /// The first node that Path selects, in document order, or nullptr (see SelectAll).
  [[nodiscard]] TXMLNode* Select(std::string_view Path) const;
  /// Every element that Path selects, in document order, each once. A path without a leading "/"
  /// starts at this node; with one, at the document above the topmost node of its tree (for a
  /// loaded document, above XMLRoot()). Steps are separated by "/": a tag name or "*", with
  /// attribute tests ("[@name]", "[@name='value']") and one position ("[N]" from 1, "[last()]")
  /// among the siblings that match; ".." the parent, "." the node itself, "//" any depth below
  /// (docs/reference.md, "Paths", has the whole syntax). Text runs and the document are never
  /// selected. Throws EXMLPathError (a std::invalid_argument) naming the 1-based position when Path
  /// is not in the syntax. Runs without recursion, visiting each node at most once per step;
  /// TXMLPath parses a path once for many runs.
  /// \snippet snippets.cpp select
  [[nodiscard]] std::vector<TXMLNode*> SelectAll(std::string_view Path) const;
  /// Writes the node and its subtree as indented lines ("\n"), two spaces per stored Level, values
  /// raw. Throws EInOutError when the stream fails.
  void SaveToFile(std::ostream& F) const;

  // --- Building. New nodes belong to this node and have its Level() + 1 ---
  // An element that is ttShorted becomes ttNormal when it gains a child. A text run cannot have
  // children (EXMLRefusal).

  /// Appends a new empty element named TagName (ttShorted: written "<name />" until it gains a
  /// child) and returns it. EXMLRefusal when IsWritableName(TagName) is false.
  TXMLNode* AddChild(const std::string& TagName);
  /// Inserts a new empty element named TagName at Index (0..GetNumberOfChildren(), else
  /// std::out_of_range), the later children moving up, and returns it; as AddChild otherwise.
  TXMLNode* InsertChild(std::int32_t Index, const std::string& TagName);
  /// Appends a new text run holding Text and returns it. EXMLRefusal when
  /// IsWritableText(Text) is false. Two text runs side by side merge into one on the next load
  /// (see TXMLParser::FirstUnwritable).
  TXMLNode* AddText(const std::string& Text);
  /// Inserts a new text run at Index (0..GetNumberOfChildren(), else std::out_of_range); as
  /// AddText otherwise.
  TXMLNode* InsertText(std::int32_t Index, const std::string& Text);

  // --- Changing ---

  /// Removes the child at Index (std::out_of_range outside the children) and destroys it with its
  /// subtree: pointers into that subtree dangle, all others stay valid. Needs no memory. The
  /// storage of a loaded document's nodes is only given back by the next load (what they own,
  /// such as names and attributes set since, is freed at once).
  void RemoveChild(std::int32_t Index);
  /// Removes each of Nodes with its subtree (a node below another one given goes too), as
  /// RemoveChild would one at a time, in time linear in the nodes removed, their subtrees and the
  /// lists they leave. Refused as a whole, nothing changed, for a node without a parent and for a
  /// node given twice (EXMLRefusal), and when memory runs out (std::bad_alloc).
  static void RemoveNodes(std::span<TXMLNode* const> Nodes);
  /// Moves the child at Index (std::out_of_range outside the children), with its subtree, to
  /// position NewIndex among NewParent's children (0..its count without the moved node, else
  /// std::out_of_range), NewParent being this node or another; returns it. The levels below
  /// follow. Pointers stay valid. EXMLRefusal when NewParent is the moved node or lies
  /// in its subtree, when NewParent is a text run, and when a loaded document's node would move to
  /// another tree (it lives in that document's storage); std::length_error when a level would
  /// pass 2^31 - 1.
  TXMLNode* MoveChild(std::int32_t Index, TXMLNode& NewParent, std::int32_t NewIndex);
  /// Moves each of Nodes, with its subtree, to the end of this node's children, in the order given,
  /// as one MoveChild after another would; linear in the nodes moved, their subtrees and the lists
  /// they leave (many MoveChild calls cost a list's shift each). Refused as a whole, nothing
  /// changed, where a MoveChild would be, for a node without a parent and for a node given twice.
  void AppendNodes(std::span<TXMLNode* const> Nodes);
  /// Removes the first attribute named Name; false (and nothing changed) when there is none.
  bool RemoveAttribute(std::string_view Name);
  /// SetAttributeValue, checked: EXMLRefusal, naming the offending byte, when
  /// IsWritableName(Name) or IsWritableValue(Value) is false, and on a text run.
  void SetAttribute(const std::string& Name, const std::string& Value);
  /// Renames an element. EXMLRefusal when IsWritableName(Name) is false, and on a
  /// text run.
  void SetTagName(const std::string& Name);
  /// Replaces the text of a text run. EXMLRefusal when IsWritableText(Text) is false,
  /// and on an element.
  void SetTextData(const std::string& Text);

  // --- Kept for compatibility: the original lookups and setter ---
  // Each has a newer counterpart above: FindTagByName searches last child first where Select goes
  // in document order; GetAttributeValue answers "undefined" also for a missing attribute, which
  // FindAttribute tells apart; SetAttributeValue stores what a save cannot carry, which
  // SetAttribute refuses.

  /// The last direct child named Name; else the match found below the last child whose subtree holds
  /// one; else nullptr. The node's own name is not compared. An empty Name finds text nodes.
  TXMLNode* FindTagByName(const std::string& Name) const;
  /// The value of the first attribute named Name, or "undefined".
  std::string GetAttributeValue(const std::string& Name) const;
  /// Sets the first attribute named Name, or appends a new one at the end. Name and Value may be
  /// strings of this node. Unchecked: what a save cannot carry is stored as given. When memory
  /// runs out it throws std::bad_alloc with the node unchanged.
  /// \snippet snippets.cpp change
  void SetAttributeValue(const std::string& Name, const std::string& Value);

  // --- Parse steps: what a load runs on every element, public for callers that drive them ---
  // S may be a string of the very attributes or children that the step replaces: those are
  // released only after the step is done with S. When an allocation fails, a step throws
  // std::bad_alloc, and past a limit (more than 2^31 - 1 children or attributes in one list, or
  // a Level past 2^31 - 1) std::length_error; either way S and this node are exactly as they were
  // (nothing consumed, nothing replaced), and the node can be used and destroyed as before.

  /// Parses one node from the front of S and removes what it consumed: for a normal element that is
  /// everything through its closing tag, which is found by search (the first "</name>" in S), not by
  /// nesting. Returns ecOk or ecInvalidTag (an empty tag name, which consumes nothing; a tag cut off
  /// before its ">"; an empty S). A missing closing tag leaves the element without children and
  /// removes nothing after its opening tag.
  TXMLErrorCode ParseString(std::int32_t ALevel, std::string& S);
  /// Parses the attributes of an opening tag whose name and following space are already consumed:
  /// consumes through the first ">", which also ends the tag inside a quoted value. ecInvalidTag,
  /// consuming nothing, when S holds no ">".
  TXMLErrorCode ParseAttributes(std::string& S);
  /// Parses every node before the first "</TagName>" of S as a child and removes that text; with no
  /// closing tag in S there are no children and nothing is removed. Stops after the first child
  /// whose status is not ecOk (that child stays in Children) and returns that status.
  TXMLErrorCode ParseChildren(std::string& S);

 private:
  friend class detail::Arena;
  friend class detail::TreeBuilder;
  friend class TXMLParser;

  // How DestroyChildren treats the nodes that live in a document's storage (see up_).
  enum class StorageNodes : std::uint8_t {
    kRelease,  // release what they own and leave them there (the storage stays)
    kSkip,     // leave them alone: the storage is about to destroy each of them itself
  };

  // Back to the state of a new node, in place, its place in a tree kept; a document's nodes below
  // it are skipped (the caller destroys the document's storage next).
  void Reset() noexcept;
  // Destroys the children in List with their subtrees and empties it; needs no memory. A node of
  // a document's storage is released in place or skipped as Nodes says; every other node is
  // deleted.
  static void DestroyChildren(TList<TXMLNode>& List, StorageNodes Nodes) noexcept;
  // Frees what a node of a document's storage owns and leaves it as a new node, out of any tree.
  void ReleaseInPlace() noexcept;
  // The empty text that every node without a name or a text points to (a constant, so that making
  // a node costs no call).
  static const std::string kEmpty;
  static const std::string& Empty() { return kEmpty; }
  // Replace the name or the text. An Owned string is deleted with the node; any other belongs to
  // a loaded document's storage (where one string serves every element of the same name).
  void SetName(const std::string* Name, bool Owned);
  void SetText(const std::string* Text, bool Owned);
  void SetKind(TTagType Kind) noexcept { up_ = (up_ & ~kKindMask) | static_cast<std::uintptr_t>(Kind); }
  void SetParent(TXMLNode* Parent, std::int32_t Index) noexcept {
    up_ = reinterpret_cast<std::uintptr_t>(Parent) | (up_ & kFlagMask);
    index_ = Index;
  }
  bool Has(std::uintptr_t Flag) const noexcept { return (up_ & Flag) != 0; }
  void Mark(std::uintptr_t Flag, bool On) noexcept { up_ = On ? (up_ | Flag) : (up_ & ~Flag); }
  bool InStorage() const noexcept { return Has(kInStorage); }
  // Shared by the building and changing members.
  TXMLNode* InsertNew(std::int32_t Index, const std::string& Text, TTagType Kind);
  void RenumberFrom(std::int32_t Index) noexcept;
  // Gives Top the level Level and every node below it its depth below Top added.
  static void SetLevels(TXMLNode& Top, std::int64_t Level) noexcept;
  // Takes Nodes out of the lists of Parents (theirs, in any order, repeats allowed; sorted here),
  // packing each list once.
  static void DetachMarked(std::span<TXMLNode* const> Nodes, std::vector<TXMLNode*>& Parents) noexcept;
  // Destroys a node out of any list, with its subtree; needs no memory.
  static void DestroyDetached(TXMLNode* Child) noexcept;
  void ExpectElement(const char* What) const;

  // The one walk behind ForEachInSubtree (and, Reverse, FindTagByName's: last child first). Only
  // the links are followed: the position in the parent's list leads to the next sibling, the
  // parent link back up, so the walk holds nothing but the node it stands on.
  static constexpr auto kNoLeave = [](const TXMLNode&) {};
  template <bool Reverse, class Node, class VisitFn, class LeaveFn>
  static bool WalkFrom(Node& Root, VisitFn& Visit, LeaveFn& Leave) {
    Node* At = &Root;
    for (;;) {
      TXMLVisit Step = vsDown;
      if constexpr (std::is_void_v<decltype(Visit(*At))>)
        Visit(*At);
      else
        Step = Visit(*At);
      if (Step == vsStop) return true;
      if (Step == vsDown) {
        const TList<TXMLNode>& Kids = At->children_;
        if (Kids.Count() > 0) {
          At = Reverse ? Kids.end()[-1] : Kids.begin()[0];
          continue;
        }
        Leave(*At);
      }
      // On to the next sibling, leaving each parent whose children are all done.
      for (;;) {
        if (At == &Root) return false;
        Node* const Up = At->Parent();
        const std::int32_t Next = Reverse ? At->index_ - 1 : At->index_ + 1;
        if (Next >= 0 && Next < Up->children_.Count()) {
          At = Up->children_.begin()[Next];
          break;
        }
        At = Up;
        Leave(*At);
      }
    }
  }

  // The low bits of up_ (nodes are aligned to 32 bytes, see tag_name_) hold the node kind and
  // the marks below; the rest is the parent's address.
  static constexpr std::uintptr_t kKindMask = 3;    // the TTagType
  static constexpr std::uintptr_t kOwnsName = 4;    // tag_name_ is deleted with the node
  static constexpr std::uintptr_t kOwnsText = 8;    // text_data_ is deleted with the node
  static constexpr std::uintptr_t kInStorage = 16;  // the node lives in a document's storage
  static constexpr std::uintptr_t kFlagMask = 31;

  // Never null. Held by pointer: a node holds two pointers instead of two strings, and a loaded
  // document's elements of one name share one string. The alignment frees the low bits of a
  // node's address for the marks in up_; with the fields below a node is 64 bytes.
  alignas(32) const std::string* tag_name_ = &Empty();
  union {
    const std::string* text_data_ = &Empty();
    // Only while the node waits to be deleted with a subtree (its text already freed): the next
    // node waiting, so that destroying a tree needs no memory (see DestroyChildren).
    TXMLNode* next_doomed_;
  };
  std::uintptr_t up_ = ttNormal;  // the parent's address | kind | marks
  std::int32_t level_ = 0;
  std::int32_t index_ = -1;  // in the parent's children
  TList<TXMLNode> children_;
  TList<TXMLAttribute> attributes_;
};

}  // namespace linexml
