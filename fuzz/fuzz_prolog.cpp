// The prolog parse on arbitrary bytes: declaration, style sheet, document type, and their writer.

#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_checks.h"

namespace {

const char* const kDefaultLine =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\"?>\n\n\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Input(reinterpret_cast<const char*>(Data), Size);

  {
    linexml::TXMLParameters P;
    std::ostringstream Fresh;
    P.SaveToFile(Fresh);
    FUZZ_CHECK(Fresh.str() == kDefaultLine, Fresh.str());
    std::string S = Input;
    const linexml::TXMLErrorCode Status = P.ParseString(S);
    FUZZ_CHECK(
        Status == linexml::ecOk || Status == linexml::ecInvalidFileFormat || Status == linexml::ecNotValid,
        linexml::ErrorCodeName(Status));
    FUZZ_CHECK(fuzz::EndsWith(Input, S), "remainder is not a tail of the input");
    FUZZ_CHECK(P.XMLStyleSheet().empty(), "style sheet filled by a parse");
    const std::string& DocType = P.XMLDocType()->DocTypeDefinition();
    FUZZ_CHECK(DocType.empty() || (DocType.rfind("<!", 0) == 0 && DocType.back() == '>' &&
                                   DocType.find('>') == DocType.size() - 1),
               DocType);
    std::ostringstream Out;
    P.SaveToFile(Out);
    FUZZ_CHECK(Out.str().rfind("<?xml version=\"", 0) == 0, "declaration line");
  }
  {
    // Each step on its own, on a fresh record.
    linexml::TXMLParameters P;
    std::string S = Input;
    (void)P.ParseXMLHeader(S);
    FUZZ_CHECK(fuzz::EndsWith(Input, S), "header remainder");
    S = Input;
    FUZZ_CHECK(P.ParseStyleSheet(S) == linexml::ecOk, "style sheet status");
    FUZZ_CHECK(fuzz::EndsWith(Input, S), "style sheet remainder");
    linexml::TXMLDocType D;
    S = Input;
    FUZZ_CHECK(D.ParseString(S) == linexml::ecOk, "document type status");
    FUZZ_CHECK(D.DocTypeDefinition() + S == Input, "document type split");
  }
  return 0;
}
