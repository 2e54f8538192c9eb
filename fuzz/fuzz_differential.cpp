// The library's cursor-based tree parse against the plain reference model: the same tree, the same
// status and the same remainder of the text, for every call sequence a caller can make on a node.

#include <cstdint>
#include <string>

#include "fuzz_checks.h"
#include "model_parse.h"

namespace {

// What one call sequence does to the engine's node and to the model's node.
void Compare(const std::string& Body, const std::string& Step, linexml::TXMLErrorCode Engine,
             linexml::TXMLErrorCode Model, const std::string& SE, const std::string& SM) {
  FUZZ_CHECK(Engine == Model, Step + ": status " + linexml::ErrorCodeName(Engine) + " vs model " +
                                  linexml::ErrorCodeName(Model) + " on [" + Body + "]");
  FUZZ_CHECK(SE == SM, Step + ": remainder [" + SE + "] vs model [" + SM + "] on [" + Body + "]");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  // The model copies the text once per level; bodies of a few KB are plenty.
  if (Size == 0 || Size > 8192) return 0;
  const unsigned Mode = Data[0] % 5;
  const std::string Body(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  // Two-call modes split the body at its first NUL: the first call's text, then the second's.
  const std::size_t Cut = Body.find('\0');
  const std::string First = Cut == std::string::npos ? Body : Body.substr(0, Cut);
  const std::string Second = Cut == std::string::npos ? std::string() : Body.substr(Cut + 1);

  linexml::TXMLNode E;
  model::Node M;
  std::string SE, SM;
  switch (Mode) {
    case 0:  // one node, as the loader parses the root
      SE = SM = Body;
      Compare(Body, "ParseString", E.ParseString(0, SE), M.ParseString(0, SM), SE, SM);
      break;
    case 1:  // the children step on a new node (empty name)
      SE = SM = Body;
      Compare(Body, "ParseChildren", E.ParseChildren(SE), M.ParseChildren(SM), SE, SM);
      break;
    case 2:  // the attribute step on a new node
      SE = SM = Body;
      Compare(Body, "ParseAttributes", E.ParseAttributes(SE), M.ParseAttributes(SM), SE, SM);
      break;
    case 3:  // a node parsed twice: the second parse keeps what its steps do not touch
      SE = SM = First;
      Compare(First, "ParseString 1", E.ParseString(0, SE), M.ParseString(0, SM), SE, SM);
      SE = SM = Second;
      Compare(Second, "ParseString 2", E.ParseString(1, SE), M.ParseString(1, SM), SE, SM);
      break;
    default:  // a node parsed, then its children step run on a further text
      SE = SM = First;
      Compare(First, "ParseString", E.ParseString(0, SE), M.ParseString(0, SM), SE, SM);
      SE = SM = Second;
      Compare(Second, "ParseChildren", E.ParseChildren(SE), M.ParseChildren(SM), SE, SM);
      break;
  }
  const std::string Diff = model::DiffTrees(M, E);
  FUZZ_CHECK(Diff.empty(), Diff + " on [" + Body + "] mode " + std::to_string(Mode));
  return 0;
}
