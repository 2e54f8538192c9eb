#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "arena.h"
#include "close_index.h"
#include "limits.h"
#include "linexml/xml_node.h"
#include "name_table.h"
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
//
// Where each children text ends is found by matching closing tags against the stack as the
// cursor meets them, which gives the first "</name>" as long as no element of the same name is
// open and no "<" hides inside a tag; an element that opens inside one of its own name has no
// children at all. Anything else (a closing tag of no open element, a broken tag, a "<" inside a
// tag) asks the closing-tag index, built then, for the ends of the elements still open (see
// Resolve).
class TreeBuilder {
 public:
  explicit TreeBuilder(std::string_view Text, Arena* Store = nullptr)
      : text_(Text), store_(Store), limits_(CurrentLimits()) {}
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

  // Lets the parse give the text behind it back to the system as it goes (a load of a large
  // document; nothing reads the text before the parse position again).
  void ReleaseConsumedText(DocText* Doc) { release_ = Doc; }

  // Tells Out where every node stands in the text (a load that keeps its source). Every element's
  // end is then found as it opens (see EndsFromIndex), so that Out learns the elements' ends in
  // the order of the text.
  void RecordInto(SourceMap::Recorder* Out) {
    recorder_ = Out;
    if (Out != nullptr) ends_from_index_ = true;
  }

  // Where the node whose status ended the parse starts (its "<"); End when the text ran out.
  std::size_t FailPos() const { return fail_pos_; }

  // Every element whose closing tag is not found, with the end of its opening tag, goes to Out
  // (for the warnings of a load; null, the default, notes nothing).
  using Unclosed = std::vector<std::pair<const TXMLNode*, std::size_t>>;
  void NoteUnclosed(Unclosed* Out) { unclosed_ = Out; }

  // From Count bytes of children text on (the root of a large document), the children are read by
  // two threads: this one up to a start tag near the middle, and one it starts from there on with
  // its own storage, whose nodes are then joined to these. The tree is the one a single thread
  // builds; where the second thread cannot decide (see Resolve) this one goes on from there. Not
  // for a parse that notes unclosed elements, records positions or takes ends from the index.
  void TwoThreadsFrom(std::size_t Count) { two_threads_from_ = Count; }

  // For tests, which compare both ways: every element's end is found with the closing-tag index
  // as soon as it opens, leaving nothing for the stack to match. And whether the index was built.
  void EndsFromIndex() { ends_from_index_ = true; }
  bool UsedIndex() const { return index_.has_value(); }

 private:
  static constexpr std::size_t kOpen = ~std::size_t{0};  // a children text whose end is not known yet
  static constexpr std::uint32_t kNever = ~std::uint32_t{0};
  struct Frame {
    TXMLNode* node;
    std::size_t end;        // where its closing tag starts; kOpen until that is known
    std::size_t after;      // where its children start (the end of its opening tag)
    std::size_t kids_from;  // where its children start in kids_
    std::uint32_t name;     // its name's id in names_
  };
  // What one element name stands for: its string in the store (made when first needed), and the
  // frame (its position + 1) of the element of that name that is open, 0 when none is.
  struct NameInfo {
    const std::string* text = nullptr;
    std::uint32_t open = 0;
    // In a second half: the closing tags met at its bottom before the first element of this
    // name was on the stack (kNever: none was).
    std::uint32_t first_push = kNever;
    std::uint32_t size = 0;
    char closing[16] = {};  // the name and ">", when that fits: the end of its closing tag
  };
  // How Open ended.
  enum class Opened : std::uint8_t {
    kLeaf,    // a node without children (a text run, a shorted or a kept-kind element)
    kParent,  // an element whose children follow
    kFailed,  // ecInvalidTag
    kHidden,  // a "<" inside the tag, which only the index can judge: nothing changed yet
  };

  // How far the 16-byte steps may read: the whole text, also where a window ends before it.
  const char* Readable() const { return text_.data() + text_.size(); }
  // Everything of one node except its children. With Watch, a "<" inside a tag returns kHidden.
  Opened Open(TXMLNode& Node, std::int32_t Level, std::size_t& Pos, std::size_t End, bool Watch);
  // The attributes of a tag from Pos through its ">" at Gt (npos: none, a cut-off tag).
  TXMLErrorCode TakeAttributes(TXMLNode& Node, std::size_t& Pos, std::size_t Gt);
  // The id of Name, whose first eight bytes are Head (see NameTable::HeadOf).
  std::uint32_t NameId(std::string_view Name, std::uint64_t Head) {
    const std::uint32_t Id = names_.Add(Name, Head);
    if (Id >= infos_.size()) AddInfo(Id, Name);
    return Id;
  }
  void AddInfo(std::uint32_t Id, std::string_view Name);
  // Gives Node the name of id Id (unused for an empty name).
  void SetName(TXMLNode& Node, std::string_view Name, std::uint32_t Id) {
    if (store_ == nullptr || Name.empty()) return SetOwnName(Node, Name);
    // Elements of one name share one string.
    NameInfo& Info = infos_[Id];
    if (Info.text == nullptr) Info.text = store_->NewString(Name, Readable());
    if (Node.Has(TXMLNode::kOwnsName))
      Node.SetName(Info.text, false);
    else
      Node.tag_name_ = Info.text;  // nothing to free
  }
  // The same without a store: a string of its own (none for an empty name).
  static void SetOwnName(TXMLNode& Node, std::string_view Name);
  // Gives Node a text (from the store when there is one).
  void SetText(TXMLNode& Node, std::string_view Text);
  void Push(TXMLNode& Node, std::size_t After, std::uint32_t Name);
  // Hands the top frame's children over to its node, in one array of the right size.
  void Pop();
  // The element of Node, opened at After, has no closing tag in its window.
  void NoteOpenEnd(const TXMLNode& Node, std::size_t After) {
    if (unclosed_ != nullptr) unclosed_->emplace_back(&Node, After);
  }
  // The frames above J have no closing tag: their children become J's.
  void UncloseAbove(std::size_t J);
  // Finds the ends of the frames whose end is not known with the index built from Pos; the
  // frames without one are taken off the stack, their children handed to the frame below. False
  // when the bottom frame has none (then nothing else changed).
  bool Resolve(std::size_t Pos);
  // Moves kids_[From, To) to the frame at Depth, whose children run up to From.
  void Adopt(std::size_t Depth, std::size_t From, std::size_t To);
  // A closing tag at Pos while the top frame's end is not known: closes the top frame, or the
  // frame of its name further down (the frames above it have no closing tag). False when it
  // closes no open element (the index then decides).
  bool CloseAt(std::size_t& Pos, bool RemoveTopClose);
  // The bottom frame has no closing tag: it gets no children and nothing after its opening tag is
  // consumed; the notes made inside it since Notes go.
  TXMLErrorCode Unrooted(std::size_t& Pos, std::size_t Notes);
  // Drops the child parsed last (a step that is tried again after Resolve).
  void DropLastKid();
  // Sets the levels below Top from their parents' (after frames moved to other parents).
  void FixLevels(TXMLNode& Top);
  // Throws std::length_error: an element at the deepest level the limits allow has children.
  [[noreturn]] void TooDeep() const;
  TXMLNode* NewNode();
  // Throws std::length_error when a list would hold more than the limits allow.
  void CheckCount(std::size_t Count) const;
  template <class T>
  void Fill(TList<T>& List, T* const* Items, std::size_t Count);
  // The same with Scratch from From on, which is then dropped from it (a long list takes all of
  // the scratch array over instead of copying it).
  static constexpr std::size_t kLongList = std::size_t{1} << 16;
  template <class T>
  void FillFrom(TList<T>& List, std::vector<T*>& Scratch, std::size_t From);
  TXMLErrorCode RunChildren(TXMLNode& Top, std::size_t& Pos, std::size_t End, bool RemoveTopClose);
  // The loop of RunChildren, over the frames on the stack (Top at its bottom).
  TXMLErrorCode Run(TXMLNode& Top, std::size_t& Pos, std::size_t End, bool RemoveTopClose, std::size_t Notes);

  // The second half (see TwoThreadsFrom). Starts the thread when the text is long enough and a
  // start tag after a ">" stands past its middle.
  void StartSecondHalf(std::size_t Pos, std::size_t End);
  // At the start tag where the second half began: joins the thread and takes over its nodes,
  // moving Pos to where it stopped (or leaves all as it was, when they do not fit).
  void JoinSecondHalf(std::size_t& Pos, bool RemoveTopClose);
  // The builder of the second half: its children text starts at Pos inside elements opened
  // before it, which its bottom frame (holder_) stands for. A closing tag met at the bottom is
  // noted for the join (closes_); anything the stack cannot decide ends the run (stop_).
  void RunFragment(std::size_t Pos, std::size_t End);
  TXMLErrorCode Stop(std::size_t Pos) {
    stop_ = Pos;
    return ecOk;
  }
  // Notes the closing tag at Pos met at the bottom of a fragment and moves past it; false when
  // it is no closing tag (the run ends there).
  bool NoteBottomClose(std::size_t& Pos);

  std::string_view text_;
  Arena* store_;
  Limits limits_;
  // The node a string step works on, and whether the step replaced its attributes or children.
  const TXMLNode* top_ = nullptr;
  bool top_attributes_ = false;
  bool top_children_ = false;
  DocText* release_ = nullptr;
  std::size_t next_release_ = 0;
  // Open elements, the innermost on top; the frames from the bottom up to known_ have known ends.
  std::vector<Frame> stack_;
  std::size_t known_ = 0;
  std::size_t end_ = 0;  // the end of the bottom frame's window
  bool levels_stale_ = false;
  bool ends_from_index_ = false;
  // The children parsed so far of every frame on the stack, the innermost frame's on top; and
  // the attributes of the tag being parsed. Lists are filled once, when they are complete.
  std::vector<TXMLNode*> kids_;
  std::vector<TXMLAttribute*> attrs_;
  NameTable names_;
  std::vector<NameInfo> infos_;    // by name id
  std::uint32_t opened_name_ = 0;  // the name id of the element Open read last
  std::optional<CloseIndex> index_;
  std::size_t two_threads_from_ = ~std::size_t{0};
  std::size_t split_ = ~std::size_t{0};  // where the second half starts, while it is being read
  // The second half's builder and storage, and what went wrong there; the thread is declared
  // after them, so that it is joined before they go.
  std::unique_ptr<Arena> second_store_;
  std::unique_ptr<TreeBuilder> second_;
  std::exception_ptr second_failed_;
  std::jthread worker_;
  // As the builder of a second half:
  struct BottomClose {
    std::size_t pos;    // where the closing tag starts
    std::size_t after;  // and ends
    std::size_t kids;   // the bottom's children before it
    std::size_t nodes;  // the nodes made before it
  };

  bool fragment_ = false;
  TXMLNode holder_;
  std::vector<BottomClose> closes_;
  std::size_t stop_ = 0;
  std::size_t fail_pos_ = 0;
  Unclosed* unclosed_ = nullptr;
  SourceMap::Recorder* recorder_ = nullptr;
};

}  // namespace linexml::detail
