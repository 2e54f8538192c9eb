#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "arena.h"
#include "close_index.h"
#include "limits.h"
#include "linexml/xml_node.h"
#include "source_map.h"

namespace linexml::detail {

class DocText;

// Builds nodes from one text with a cursor: every parse step works on the window [pos, end) of that
// text instead of cutting the front off a string, and nested elements are kept on an explicit stack.
// Each element's children text is a window that ends at the first "</name>" after its opening tag.
// New nodes and attributes come from Store when one is given (a loaded document), else each is
// allocated on its own and owned by the list that holds it. Until a list takes them, the builder
// owns the new objects (kids_, attrs_): a list takes all of its objects at once, in a step that
// cannot fail, so an object is never owned by both or by neither. Past the Limits, a parse
// throws std::length_error.
class TreeBuilder {
 public:
  // CloseStarts: where every "</" of Text starts, when the caller knows (see CloseIndex).
  explicit TreeBuilder(std::string_view Text, Arena* Store = nullptr,
                       const std::vector<std::uint32_t>* CloseStarts = nullptr)
      : text_(Text), index_(Text, CloseStarts), store_(Store), limits_(CurrentLimits()) {}
  TreeBuilder(const TreeBuilder&) = delete;
  TreeBuilder& operator=(const TreeBuilder&) = delete;
  ~TreeBuilder();

  // One node from [Pos, End): element with its subtree, or text run. Pos moves past what it consumed.
  TXMLErrorCode ParseNode(TXMLNode& Node, std::int32_t Level, std::size_t& Pos, std::size_t End);
  // The attributes of an opening tag, through its first ">".
  TXMLErrorCode ParseAttributes(TXMLNode& Node, std::size_t& Pos, std::size_t End);
  // The children of Node up to its closing tag (which stays unconsumed).
  TXMLErrorCode ParseChildren(TXMLNode& Node, std::size_t& Pos, std::size_t End);

  // The public string steps of TXMLNode: one node, its attributes, or its children.
  enum class Step { kNode, kAttributes, kChildren };
  // Runs Which on Node over S (Level for kNode) and removes what it consumed from the front of S.
  // The step builds into a stand-in and moves the results into Node only once nothing can fail:
  // on an exception Node and S are as they were. What Node had before and the step replaced is
  // released last, after S is cut, so S may be a string of it.
  static TXMLErrorCode RunOnString(TXMLNode& Node, Step Which, std::int32_t Level, std::string& S);

  // The closing-tag index records its tags with two threads from this many on (see CloseIndex).
  void IndexWithTwoThreadsFrom(std::size_t Count) { index_.TwoThreadsFrom(Count); }
  // Lets the parse give the text behind it back to the system as it goes (a load of a large
  // document; nothing reads the text before the parse position again).
  void ReleaseConsumedText(DocText* Doc) { release_ = Doc; }

  // Tells Out where every node stands in the text (a load that keeps its source).
  void RecordInto(SourceMap::Recorder* Out) { recorder_ = Out; }

  // Where the node whose status ended the parse starts (its "<"); End when the text ran out.
  std::size_t FailPos() const { return fail_pos_; }

  // Every element whose closing tag is not found, with the end of its opening tag, goes to Out
  // (for the warnings of a load; null, the default, notes nothing).
  using Unclosed = std::vector<std::pair<const TXMLNode*, std::size_t>>;
  void NoteUnclosed(Unclosed* Out) { unclosed_ = Out; }

 private:
  struct Frame {
    TXMLNode* node;
    std::size_t kids_end;   // end of the children text (the closing tag's start, or pos when none)
    std::size_t close_len;  // length of the closing tag, 0 when there is none
    std::size_t kids_from;  // where its children start in kids_
  };

  // Everything of one node except its children; WantsChildren tells whether they follow.
  TXMLErrorCode Open(TXMLNode& Node, std::int32_t Level, std::size_t& Pos, std::size_t End,
                     bool& WantsChildren);
  void PushFrame(TXMLNode& Node, std::size_t Pos, std::size_t End);
  // Hands the top frame's children over to its node, in one array of the right size.
  void PopFrame();
  TXMLNode* NewNode();
  // Gives Node its name: the document's string for that name, or (without a store) its own.
  void SetName(TXMLNode& Node, std::string_view Name, std::uint32_t Hash);
  TXMLAttribute* NewAttribute();
  // Gives Node a text from the store.
  void SetStoreText(TXMLNode& Node, std::string_view Text);
  // Throws std::length_error when a list would hold more than the limits allow.
  void CheckCount(std::size_t Count) const;
  template <class T>
  void Fill(TList<T>& List, T* const* Items, std::size_t Count);
  // The same with all of Scratch, which a long list hands over instead of copying.
  template <class T>
  void FillAll(TList<T>& List, std::vector<T*>& Scratch);
  TXMLErrorCode RunChildren(TXMLNode& Top, std::size_t& Pos, std::size_t End, bool RemoveTopClose);

  std::string_view text_;
  CloseIndex index_;
  Arena* store_;
  Limits limits_;
  // The node a string step works on, and whether the step replaced its attributes or children.
  const TXMLNode* top_ = nullptr;
  bool top_attributes_ = false;
  bool top_children_ = false;
  DocText* release_ = nullptr;
  std::size_t next_release_ = 0;
  std::vector<Frame> stack_;
  // The children parsed so far of every frame on the stack, the innermost frame's on top; and
  // the attributes of the tag being parsed. Lists are filled once, when they are complete.
  std::vector<TXMLNode*> kids_;
  std::vector<TXMLAttribute*> attrs_;
  static constexpr std::size_t kNameSlots = 4096;
  static constexpr std::size_t kUnknown = ~std::size_t{0} - 1;
  struct NameSlot {
    const std::string* name = nullptr;
    std::uint32_t hash = 0;
    std::size_t close_id = kUnknown;  // the closing-tag index's id for the name, once asked
  };
  NameSlot* last_slot_ = nullptr;  // the slot of the name the last Open gave (arena only)
  std::vector<NameSlot> names_;    // by hash of the name; empty until the first element
  std::size_t fail_pos_ = 0;
  Unclosed* unclosed_ = nullptr;
  SourceMap::Recorder* recorder_ = nullptr;
};

}  // namespace linexml::detail
