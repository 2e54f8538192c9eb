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

  // The column is there exactly when the line is, and the message exactly after a failure.
  FUZZ_CHECK((Parser.ErrorColumn() == 0) == (Parser.ErrorLine() == 0), std::to_string(Parser.ErrorColumn()));
  FUZZ_CHECK(Parser.ErrorColumn() >= 0 && static_cast<std::size_t>(Parser.ErrorColumn()) <= Size + 1,
             std::to_string(Parser.ErrorColumn()));
  FUZZ_CHECK(Parser.ErrorMessage().empty() == (Status == linexml::ecOk), Parser.ErrorMessage());
  FUZZ_CHECK(!fuzz::HasControlByte(Parser.ErrorMessage()), linexml::QuoteText(Parser.ErrorMessage()));

  // Collecting warnings reads the same document, and finds its places in the source, in order.
  {
    linexml::TXMLParser Warned;
    linexml::TXMLLoadOptions Options;
    Options.CollectWarnings = true;
    Warned.SetLoadOptions(Options);
    FUZZ_CHECK(Warned.LoadFromText(Source) == Status, "status with warnings");
    FUZZ_CHECK(Warned.ErrorLine() == Parser.ErrorLine() && Warned.ErrorColumn() == Parser.ErrorColumn(),
               "place with warnings");
    FUZZ_CHECK(Warned.ErrorMessage() == Parser.ErrorMessage(), "message with warnings");
    FUZZ_CHECK(fuzz::TreeFaults(*Warned.XMLRoot()).empty(), "tree with warnings");
    std::int64_t LastLine = 0, LastColumn = 0;
    for (const linexml::TXMLWarning& W : Warned.Warnings()) {
      FUZZ_CHECK(W.Line >= 1 && W.Line <= Lines && W.Column >= 1, W.Text);
      FUZZ_CHECK(W.Line > LastLine || (W.Line == LastLine && W.Column >= LastColumn),
                 "warnings out of order");
      FUZZ_CHECK(!W.Text.empty() && std::string(linexml::WarningKindName(W.Kind)) != "unknown",
                 "warning text");
      FUZZ_CHECK(!fuzz::HasControlByte(W.Text), linexml::QuoteText(W.Text));
      LastLine = W.Line;
      LastColumn = W.Column;
    }
    // The other load options read any bytes too.
    Options.AcceptBOM = Options.AcceptNoDeclaration = true;
    Warned.SetLoadOptions(Options);
    Warned.LoadFromText(Source);
    fuzz::CheckTree(*Warned.XMLRoot());
    FUZZ_CHECK((Warned.ErrorColumn() == 0) == (Warned.ErrorLine() == 0), "place with the load options");
    linexml::TXMLSaveOptions Layout = linexml::TXMLSaveOptions::Interoperable();
    Layout.IndentWithTabs = Layout.ByteOrderMark = true;
    Layout.LineEnding = linexml::leCRLF;
    (void)Warned.SaveToText(Layout);
  }

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
