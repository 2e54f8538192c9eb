#pragma once
/// \file
/// linexml::TXMLNode, one element or text run of the tree.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "export.h"
#include "list.h"
#include "xml_attribute.h"
#include "xml_types.h"

namespace linexml {

namespace detail {
class TreeBuilder;
}

/// One node of the document tree: an element (tag name, attributes, children) or a text run.
/// A node owns its children and attributes. Every walk over the tree (parse, search, save) runs on
/// an explicit stack and destruction on a chain through the nodes themselves, so depth is limited
/// only by memory, and destroying a tree needs none.
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
  TTagType TagType() const { return tag_type_; }
  /// The child nodes in document order; empty for a text run and after a parse for ttShorted.
  const TList<TXMLNode>& Children() const { return children_; }
  /// The attributes in the order written; empty for a text run.
  const TList<TXMLAttribute>& Attributes() const { return attributes_; }

  // Queries write nothing, so several threads may query one tree at once.

  /// The last direct child named Name; else the match found below the last child whose subtree holds
  /// one; else nullptr. The node's own name is not compared. An empty Name finds text nodes.
  TXMLNode* FindTagByName(const std::string& Name) const;
  /// The value of the first attribute named Name, or "undefined".
  std::string GetAttributeValue(const std::string& Name) const;
  /// Sets the first attribute named Name, or appends a new one at the end. Name and Value may be
  /// strings of this node. When memory runs out it throws std::bad_alloc with the node unchanged.
  /// \snippet snippets.cpp change
  void SetAttributeValue(const std::string& Name, const std::string& Value);
  /// nullptr at or past the end, and when negative.
  TXMLNode* GetChild(std::int32_t Index) const;
  /// The number of children.
  std::int32_t GetNumberOfChildren() const { return children_.Count(); }
  /// Writes the node and its subtree as indented lines ("\n"), two spaces per stored Level, values
  /// raw. Throws EInOutError when the stream fails.
  void SaveToFile(std::ostream& F) const;

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
  friend class detail::TreeBuilder;
  friend class TXMLParser;

  // Back to the state of a new node, in place.
  void Reset() noexcept;
  // Deletes the children that List owns, with their subtrees, and empties it; needs no memory.
  static void DestroyChildren(TList<TXMLNode>& List) noexcept;
  // The empty text that every node without a name or a text points to.
  static const std::string& Empty();
  // Replace the name or the text. An Owned string is deleted with the node; any other belongs to
  // a loaded document's storage (where one string serves every element of the same name).
  void SetName(const std::string* Name, bool Owned);
  void SetText(const std::string* Text, bool Owned);

  static constexpr std::uint8_t kOwnsName = 1;
  static constexpr std::uint8_t kOwnsText = 2;

  // Never null. Held by pointer: a node holds two pointers instead of two strings, and a loaded
  // document's elements of one name share one string.
  const std::string* tag_name_ = &Empty();
  union {
    const std::string* text_data_ = &Empty();
    // Only while the node waits to be deleted with a subtree (its text already freed): the next
    // node waiting, so that destroying a tree needs no memory (see DestroyChildren).
    TXMLNode* next_doomed_;
  };
  std::int32_t level_ = 0;
  TTagType tag_type_ = ttNormal;
  std::uint8_t owns_ = 0;  // kOwnsName, kOwnsText
  TList<TXMLNode> children_;
  TList<TXMLAttribute> attributes_;
};

}  // namespace linexml
