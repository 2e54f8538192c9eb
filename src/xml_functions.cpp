#include "linexml/xml_functions.h"

#include <cstdint>

#include "detail/quote.h"
#include "detail/tag_tokens.h"
#include "detail/writable.h"

namespace linexml {

std::string ParseAttributeValue(const std::string& S) {
  return std::string(detail::CutAttributeValue(S, false));
}

bool IsWritableName(std::string_view Name) {
  return detail::WhyNotName(Name).empty();
}

bool IsWritableValue(std::string_view Value) {
  return detail::WhyNotValue(Value).empty();
}

bool IsWritableText(std::string_view Text) {
  return detail::WhyNotText(Text).empty();
}

namespace {
std::optional<std::string> Reason(std::string Why) {
  if (Why.empty()) return std::nullopt;
  return Why;
}
}  // namespace

std::optional<std::string> WhyNotWritableName(std::string_view Name) {
  return Reason(detail::WhyNotName(Name));
}

std::optional<std::string> WhyNotWritableValue(std::string_view Value) {
  return Reason(detail::WhyNotValue(Value));
}

std::optional<std::string> WhyNotWritableText(std::string_view Text) {
  return Reason(detail::WhyNotText(Text));
}

std::string EncodeEntities(std::string_view Raw) {
  std::string Out;
  Out.reserve(Raw.size());
  for (const char C : Raw) {
    switch (C) {
      case '&':
        Out += "&amp;";
        break;
      case '<':
        Out += "&lt;";
        break;
      case '>':
        Out += "&gt;";
        break;
      case '"':
        Out += "&quot;";
        break;
      case '\'':
        Out += "&apos;";
        break;
      default:
        Out += C;
    }
  }
  return Out;
}

namespace {

void PutUtf8(std::string& Out, std::uint32_t C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += static_cast<char>(0xE0 | (C >> 12));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (C >> 18));
    Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

int DigitValue(char C, bool Hex) {
  if (C >= '0' && C <= '9') return C - '0';
  if (!Hex) return -1;
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// The length of the reference at the front of Text ("&...;") and what it stands for, appended to
// Out; 0 (Out untouched) when it is none that decodes.
std::size_t DecodeOne(std::string_view Text, std::string& Out) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (const auto& [Name, C] : kNamed) {
    if (Text.starts_with(Name)) {
      Out += C;
      return Name.size();
    }
  }
  if (!Text.starts_with("&#")) return 0;
  const bool Hex = Text.size() > 2 && Text[2] == 'x';
  std::size_t I = Hex ? 3 : 2;
  const std::size_t First = I;
  std::uint32_t Code = 0;
  // Digits past the largest code point are still read (the reference stays as written), but the
  // value no longer grows, so it cannot wrap around into range.
  for (int D; I < Text.size() && (D = DigitValue(Text[I], Hex)) >= 0; ++I)
    if (Code <= 0x10FFFF) Code = Code * (Hex ? 16 : 10) + static_cast<std::uint32_t>(D);
  if (I == First || I == Text.size() || Text[I] != ';') return 0;
  if (Code == 0 || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) return 0;
  PutUtf8(Out, Code);
  return I + 1;
}

}  // namespace

std::string DecodeEntities(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size();) {
    const std::size_t Amp = Text.find('&', I);
    if (Amp == std::string_view::npos) {
      Out.append(Text.substr(I));
      break;
    }
    Out.append(Text.substr(I, Amp - I));
    const std::size_t Used = DecodeOne(Text.substr(Amp), Out);
    if (Used == 0) {
      Out += '&';
      I = Amp + 1;
    } else {
      I = Amp + Used;
    }
  }
  return Out;
}

std::string QuoteText(std::string_view Text, std::size_t Max) {
  return detail::Quote(Text, Max);
}

std::string EscapeText(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  detail::AppendEscaped(Out, Text, detail::Quotes::kNone);
  return Out;
}

}  // namespace linexml
