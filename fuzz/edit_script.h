#pragma once

// The edit scripts of the edit fuzz targets: after the document's last NUL byte, per operation an
// opcode, a node, a number and a string (a length byte, then that many bytes, or with its top bit
// set a word from a small list).

#include <linexml/linexml.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Reads the script from the front.
class Script {
 public:
  explicit Script(std::string_view Bytes) : rest_(Bytes) {}
  bool Done() const { return rest_.size() < 3; }
  unsigned Byte() {
    if (rest_.empty()) return 0;
    const auto B = static_cast<unsigned char>(rest_[0]);
    rest_.remove_prefix(1);
    return B;
  }
  std::string Text() {
    static const char* const Words[] = {"a",   "b",   "item", "!x",  "?y", " t", "t u", "x",
                                        "!--", "-->", "a\"",  "</a", "a",  "  ", "\t",  "&amp;"};
    const unsigned L = Byte();
    if ((L & 0x80) != 0) return Words[L % 16];
    const std::size_t N = std::min<std::size_t>(L % 16, rest_.size());
    std::string Out(rest_.substr(0, N));
    rest_.remove_prefix(N);
    return Out;
  }

 private:
  std::string_view rest_;
};

// Splits a fuzz input into the document and its script.
inline std::string_view DocumentOf(std::string_view Input) {
  const std::size_t Nul = Input.rfind('\0');
  return Nul == std::string_view::npos ? Input : Input.substr(0, Nul);
}
inline Script ScriptOf(std::string_view Input) {
  const std::size_t Nul = Input.rfind('\0');
  return Script(Nul == std::string_view::npos ? std::string_view() : Input.substr(Nul + 1));
}

// The node edits (Op 0 to 9): one checked edit of N, or of N's children, read from S; Nodes are the
// document's nodes (a move's target is one of them). Throws what the edit throws.
inline void EditNode(unsigned Op, linexml::TXMLNode& N, unsigned Arg, Script& S,
                     const std::vector<linexml::TXMLNode*>& Nodes) {
  const auto Index = static_cast<std::int32_t>(Arg % 8) - 1;  // -1 and past the end are tried too
  switch (Op % 10) {
    case 0:
      N.AddChild(S.Text());
      break;
    case 1:
      N.InsertChild(Index, S.Text());
      break;
    case 2:
      N.AddText(S.Text());
      break;
    case 3:
      N.InsertText(Index, S.Text());
      break;
    case 4:
      N.RemoveChild(Index);
      break;
    case 5:
      N.MoveChild(Index, *Nodes[(Arg / 8) % Nodes.size()], static_cast<std::int32_t>(S.Byte() % 8) - 1);
      break;
    case 6:
      (void)N.RemoveAttribute(S.Text());
      break;
    case 7: {
      const std::string Name = S.Text();
      N.SetAttribute(Name, S.Text());
      break;
    }
    case 8:
      N.SetTagName(S.Text());
      break;
    default:
      N.SetTextData(S.Text());
      break;
  }
}

}  // namespace fuzz
