#include "output.h"

#include <linexml/in_out_error.h>
#include <linexml/xml_node.h>
#include <linexml/xml_parser.h>

#include <algorithm>
#include <iostream>

#include "commands.h"

namespace linexml::cli {

std::string SourceExcerpt(std::string_view Text, std::int64_t Line, std::int64_t Column) {
  constexpr std::size_t kBefore = 60, kAfter = 40;
  const auto At = static_cast<std::size_t>(Column > 0 ? Column - 1 : 0);
  if (At > Text.size()) return {};  // not this line's place: nothing to point at
  std::string Shown, Under;
  std::size_t From = 0;
  if (At > kBefore) {
    From = At - kBefore;
    // Never start inside a UTF-8 sequence.
    while (From < At && (static_cast<unsigned char>(Text[From]) & 0xC0) == 0x80) ++From;
    Shown = Under = "...";
  }
  const std::size_t To = std::min(Text.size(), std::max(From + kBefore + kAfter, At + kAfter));
  for (std::size_t I = From; I < To; ++I) {
    const auto B = static_cast<unsigned char>(Text[I]);
    std::string_view Piece(&Text[I], 1);
    if (I == 0 && Text.substr(0, 3) == "\xEF\xBB\xBF") {
      Piece = "<BOM>";
      I += 2;
    } else if (B != '\t' && (B < 32 || B == 127)) {
      Piece = "?";
    }
    Shown += Piece;
    if (I < At) {
      // A tab stays a tab under the line; a multi-byte character takes one column.
      if (Piece == "\t") {
        Under += '\t';
      } else if ((B & 0xC0) != 0x80) {
        Under.append(Piece == "<BOM>" ? 5 : 1, ' ');
      }
    }
  }
  if (To < Text.size()) Shown += "...";
  const std::string Number = std::to_string(Line);
  return " " + Number + " | " + Shown + "\n " + std::string(Number.size(), ' ') + " | " + Under + "^\n";
}

int Fail(const std::string& Message) {
  std::cerr << "linexml: " << Message << '\n';
  return kExitFailed;
}

void FlushStdout() {
  std::cout.flush();
  if (!std::cout) throw EInOutError("standard output", "the write failed");
}

namespace {

// The library names a failed stream "<stream>"; the user knows it as standard output.
template <class Save>
void ToStdout(Save&& Write) {
  try {
    Write(std::cout);
  } catch (const EInOutError&) {
    throw EInOutError("standard output", "the write failed");
  }
  FlushStdout();
}

}  // namespace

void SaveToStdout(const TXMLParser& P, const TXMLSaveOptions& Layout) {
  ToStdout([&](std::ostream& Out) { P.SaveToStream(Out, Layout); });
}

void SaveToStdout(const TXMLNode& Node) {
  ToStdout([&](std::ostream& Out) { Node.SaveToFile(Out); });
}

}  // namespace linexml::cli
