#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace linexml::detail {

// The one way document text (and any other text of unknown bytes) enters a message of the library
// or the tool: '\' and control bytes escaped ("\t", "\n", "\r", "\xNN" for the others and 127),
// so that nothing reaches a terminal raw; bytes from 128 up are kept as they are.
enum class Quotes : unsigned char {
  kAround,  // between double quotes, '"' escaped too
  kNone,    // bare, '"' kept as it is (a name in a path or an outline)
};
void AppendEscaped(std::string& Out, std::string_view Text, Quotes Mode);

// Text between double quotes, escaped as above; longer than Max bytes, it is cut there (never
// inside a UTF-8 sequence) and "..." ends it inside the quotes.
std::string Quote(std::string_view Text, std::size_t Max = std::string_view::npos);

}  // namespace linexml::detail
