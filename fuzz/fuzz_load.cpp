// Whole documents from arbitrary bytes: load, query, save, load again on the same parser.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Source(reinterpret_cast<const char*>(Data), Size);
  linexml::TXMLParser Parser;
  const linexml::TXMLErrorCode Status = Parser.LoadFromText(Source);
  FUZZ_CHECK(Status <= linexml::ecInvalidTag && Status != linexml::ecNoFile &&
                 Status != linexml::ecInvalidFileName && Status != linexml::ecInvalidValue,
             linexml::ErrorCodeName(Status));
  FUZZ_CHECK(Parser.XMLErrorCode() == Status, "stored status");

  // ErrorLine names a source line, and none after success.
  std::int32_t Lines = 1;
  for (std::size_t I = 0; I < Size; ++I) {
    if (Source[I] == '\n' || (Source[I] == '\r' && (I + 1 == Size || Source[I + 1] != '\n'))) ++Lines;
  }
  FUZZ_CHECK(Parser.ErrorLine() >= 0 && Parser.ErrorLine() <= Lines, std::to_string(Parser.ErrorLine()));
  if (Status == linexml::ecOk) FUZZ_CHECK(Parser.ErrorLine() == 0, "line after success");

  fuzz::CheckTree(*Parser.XMLRoot());
  FUZZ_CHECK(Parser.FindTagByName(Parser.XMLRoot()->TagName()) == Parser.XMLRoot(), "root lookup");
  if (const linexml::TXMLNode* First = Parser.XMLRoot()->GetChild(0)) {
    const linexml::TXMLNode* Found = Parser.XMLRoot()->FindTagByName(First->TagName());
    FUZZ_CHECK(Found != nullptr && Found->TagName() == First->TagName(), "child lookup");
  }
  const std::string Saved = Parser.SaveToText();

  // A second load on the same parser starts from scratch: it gives the same document.
  FUZZ_CHECK(Parser.LoadFromText(Source) == Status, "second load status");
  FUZZ_CHECK(Parser.SaveToText() == Saved, "second load document");
  return 0;
}
