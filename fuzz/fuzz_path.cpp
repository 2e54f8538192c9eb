// Paths over documents: the first line is a path, the rest a document. Whatever the library
// selects, from the document and from each node, must be what the reference model selects; a path
// the library refuses must be one the model cannot read either.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "model_path.h"

namespace {

// Select runs the library's selection of Path from Start (from the document above its tree when
// FromDocument).
template <class Select>
void Compare(std::string_view Path, const linexml::TXMLNode& Start, bool FromDocument, Select&& Run) {
  std::vector<linexml::TXMLNode*> Got;
  try {
    Got = Run();
  } catch (const std::invalid_argument&) {
    FUZZ_CHECK(!model::SelectAll(Path, Start, FromDocument), "refused: " + std::string(Path));
    return;
  }
  const auto Expected = model::SelectAll(Path, Start, FromDocument);
  FUZZ_CHECK(Expected.has_value(), "accepted: " + std::string(Path));
  FUZZ_CHECK(std::vector<const linexml::TXMLNode*>(Got.begin(), Got.end()) == *Expected,
             "selected differently: " + std::string(Path));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Input(reinterpret_cast<const char*>(Data), Size);
  const std::size_t Eol = Input.find('\n');
  if (Eol == std::string_view::npos || Eol == 0) return 0;
  const std::string_view Path = Input.substr(0, Eol);
  linexml::TXMLParser Parser;
  (void)Parser.LoadFromText(Input.substr(Eol + 1));
  Compare(Path, *Parser.XMLRoot(), true, [&] { return Parser.SelectAll(Path); });
  // From every node (the first few hundred), text runs included.
  std::vector<const linexml::TXMLNode*> Stack{Parser.XMLRoot()};
  for (int Visited = 0; !Stack.empty() && Visited < 300; ++Visited) {
    const linexml::TXMLNode* N = Stack.back();
    Stack.pop_back();
    Compare(Path, *N, false, [&] { return N->SelectAll(Path); });
    for (const linexml::TXMLNode* K : N->Children()) Stack.push_back(K);
  }
  return 0;
}
