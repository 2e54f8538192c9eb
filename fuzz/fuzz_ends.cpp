// Where elements end, found three ways: on the element stack as a load does, from the closing-tag
// index for every element, and with a second thread reading the second half. Any bytes must give
// the same status, places, tree and unclosed elements in all three.

#include <cstdint>
#include <string>

#include "fuzz_checks.h"
#include "parse_ends.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size > 16384) return 0;
  const std::string Body(reinterpret_cast<const char*>(Data), Size);
  const std::string Diff = fuzz::EndsDiffer(Body);
  FUZZ_CHECK(Diff.empty(), Diff + "on [" + Body + "]");
  return 0;
}
