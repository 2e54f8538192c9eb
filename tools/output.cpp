#include "output.h"

#include <linexml/in_out_error.h>
#include <linexml/xml_node.h>
#include <linexml/xml_parser.h>

#include <iostream>

#include "commands.h"

namespace linexml::cli {

namespace {

void AppendEscaped(std::string& Out, std::string_view Text, bool InQuotes) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char C : Text) {
    const auto Byte = static_cast<unsigned char>(C);
    switch (C) {
      case '"':
        Out += InQuotes ? "\\\"" : "\"";
        continue;
      case '\\':
        Out += "\\\\";
        continue;
      case '\t':
        Out += "\\t";
        continue;
      case '\n':
        Out += "\\n";
        continue;
      case '\r':
        Out += "\\r";
        continue;
      default:
        break;
    }
    if (Byte < 32 || Byte == 127) {
      Out += "\\x";
      Out += kHex[Byte >> 4];
      Out += kHex[Byte & 15];
    } else {
      Out += C;
    }
  }
}

}  // namespace

std::string Quote(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size() + 2);
  Out += '"';
  AppendEscaped(Out, Text, true);
  Out += '"';
  return Out;
}

std::string Escape(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  AppendEscaped(Out, Text, false);
  return Out;
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

void SaveToStdout(const TXMLParser& P) {
  ToStdout([&](std::ostream& Out) { P.SaveToStream(Out); });
}

void SaveToStdout(const TXMLNode& Node) {
  ToStdout([&](std::ostream& Out) { Node.SaveToFile(Out); });
}

}  // namespace linexml::cli
