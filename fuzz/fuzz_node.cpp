// The tree parse on arbitrary bytes: one node from the front of the text.

#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Input(reinterpret_cast<const char*>(Data), Size);
  std::string S = Input;
  linexml::TXMLNode Node;
  const linexml::TXMLErrorCode Status = Node.ParseString(0, S);
  FUZZ_CHECK(Status == linexml::ecOk || Status == linexml::ecInvalidTag, linexml::ErrorCodeName(Status));
  // What is left is a tail of the input; a failure at the front consumes nothing.
  FUZZ_CHECK(fuzz::EndsWith(Input, S), "remainder is not a tail of the input");
  if (Status == linexml::ecOk) FUZZ_CHECK(S.size() < Input.size(), "success without progress");
  fuzz::CheckTree(Node);
  FUZZ_CHECK(Node.Level() == 0, "root level");

  std::ostringstream Out;
  Node.SaveToFile(Out);
  (void)Node.FindTagByName("a");
  (void)Node.FindTagByName("");
  return 0;
}
