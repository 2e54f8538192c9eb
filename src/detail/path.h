#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace linexml {
class TXMLNode;
}

namespace linexml::detail {

// A path of the selection language, parsed into steps. Running it takes the set of nodes one
// step selected (in document order, each once) into the set the next step selects, over the tree
// of its start node, without recursion and visiting each node at most once per step. The
// document, above the topmost node of the tree, takes part in the sets as a null pointer; it is
// never in the result. Nothing is written: paths may run on several threads at once.
class Path {
 public:
  // Throws EXMLPathError naming the 1-based position where Text leaves the syntax.
  explicit Path(std::string_view Text);

  // Whether the path begins with "/" (at the document).
  bool Absolute() const { return absolute_; }
  // Every element selected from Start (or, FromDocument, from the document above Start's tree),
  // in document order.
  std::vector<TXMLNode*> Run(const TXMLNode& Start, bool FromDocument) const;

  // The parsed steps (public for the matching functions of path.cpp).
  enum class Axis : std::uint8_t { kSelf, kParent, kChild, kDescendant };
  // "[@name]" or "[@name='value']": an attribute of that name (with that value).
  struct AttributeTest {
    std::string name;
    std::string value;
    bool has_value;
  };
  struct Step {
    Axis axis;
    bool any;                          // "*": any element
    std::string name;                  // otherwise the tag name
    std::vector<AttributeTest> tests;  // the attribute tests in front of the position
    std::int64_t position;             // the N of "[N]", 0 without one
    bool last;                         // "[last()]": the last that passes the tests in front
    std::vector<AttributeTest> after;  // the tests behind the position, on the node it picks
  };

 private:
  // The step that begins at From (after "/", or after "//" when Deep), appended; returns the
  // position past it.
  std::size_t ParseStep(std::string_view Text, std::size_t From, bool Deep);
  // Reads the predicates of a step from Pos on into S; returns where they end.
  static std::size_t Predicates(std::string_view Text, std::size_t Pos, Step& S);

  std::vector<Step> steps_;
  bool absolute_ = false;
};

}  // namespace linexml::detail
