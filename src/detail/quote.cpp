#include "quote.h"

namespace linexml::detail {

void AppendEscaped(std::string& Out, std::string_view Text, Quotes Mode) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char C : Text) {
    const auto B = static_cast<unsigned char>(C);
    if (B >= 32 && B != 127 && C != '\\' && (C != '"' || Mode == Quotes::kNone)) {
      Out += C;
      continue;
    }
    Out += '\\';
    switch (C) {
      case '\t':
        Out += 't';
        break;
      case '\n':
        Out += 'n';
        break;
      case '\r':
        Out += 'r';
        break;
      case '"':
      case '\\':
        Out += C;
        break;
      default:
        Out += 'x';
        Out += kHex[B >> 4];
        Out += kHex[B & 15];
    }
  }
}

std::string Quote(std::string_view Text, std::size_t Max) {
  bool Cut = false;
  if (Text.size() > Max) {
    std::size_t N = Max;
    while (N > 0 && (static_cast<unsigned char>(Text[N]) & 0xC0) == 0x80) --N;
    Text = Text.substr(0, N);
    Cut = true;
  }
  std::string Out;
  Out.reserve(Text.size() + 5);
  Out += '"';
  AppendEscaped(Out, Text, Quotes::kAround);
  Out += Cut ? "...\"" : "\"";
  return Out;
}

}  // namespace linexml::detail
