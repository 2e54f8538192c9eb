#pragma once
/// \file
/// linexml::TXMLPath, a path parsed once and run on any number of nodes and documents.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export.h"

namespace linexml {

class TXMLNode;
class TXMLParser;

namespace detail {
class Path;
}  // namespace detail

/// A path of the path syntax (TXMLNode::SelectAll has it; docs/reference.md, "Paths"), parsed
/// once. Running it is what TXMLNode::SelectAll and TXMLParser::SelectAll do with the same text,
/// without parsing again. Immutable: copies share the parsed steps, and one path may run on
/// several threads at once.
class LINEXML_API TXMLPath {
 public:
  /// Parses Text; throws EXMLPathError (a std::invalid_argument) naming the 1-based position where
  /// Text leaves the syntax, and std::bad_alloc when memory runs out.
  explicit TXMLPath(std::string_view Text);
  /// The same as the constructor, for code that reads better so.
  [[nodiscard]] static TXMLPath Parse(std::string_view Text) { return TXMLPath(Text); }

  /// The text it was parsed from.
  [[nodiscard]] const std::string& Text() const noexcept { return text_; }
  /// Whether it begins with "/" (at the document above the start node's tree).
  [[nodiscard]] bool Absolute() const noexcept;

  /// Every element it selects from From (a leading "/" starts at the document above From's
  /// tree), in document order, each once: From.SelectAll(Text()).
  [[nodiscard]] std::vector<TXMLNode*> SelectAll(TXMLNode& From) const;
  /// The same from a const node, handing out const nodes.
  [[nodiscard]] std::vector<const TXMLNode*> SelectAll(const TXMLNode& From) const;
  /// Every element it selects in Document, starting at the document with or without a leading
  /// "/": Document.SelectAll(Text()).
  [[nodiscard]] std::vector<TXMLNode*> SelectAll(TXMLParser& Document) const;
  /// The same in a const document, handing out const nodes.
  [[nodiscard]] std::vector<const TXMLNode*> SelectAll(const TXMLParser& Document) const;

  /// The first node SelectAll would give, or nullptr.
  [[nodiscard]] TXMLNode* SelectFirst(TXMLNode& From) const;
  /// The same from a const node.
  [[nodiscard]] const TXMLNode* SelectFirst(const TXMLNode& From) const;
  /// The first node SelectAll(Document) would give, or nullptr.
  [[nodiscard]] TXMLNode* SelectFirst(TXMLParser& Document) const;
  /// The same in a const document.
  [[nodiscard]] const TXMLNode* SelectFirst(const TXMLParser& Document) const;

 private:
  std::string text_;
  std::shared_ptr<const detail::Path> path_;
};

}  // namespace linexml
