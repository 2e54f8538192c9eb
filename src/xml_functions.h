#pragma once

#include <string>
#include <string_view>

#include "export.h"

namespace linexml {

// Cuts an attribute value out of the rest of its token (what follows the "="): drops the first
// character (the opening quote, whatever it is) and, at the end, the closing quote and the token's
// trailing space, plus the tag's closing ">", "/>" or "?>" where the token carries one. Quotes are
// never inspected. Exactly ">", "/>", "?>" or "!>", and anything of three characters or fewer,
// give empty text. Never fails.
LINEXML_API std::string ParseAttributeValue(const std::string& S);

namespace detail {
// The same cut on a view, as a view into it. With SpaceAppended the text is taken as Rest followed
// by one space that is not stored (the tokenizers' trailing space), so no copy is needed.
LINEXML_API std::string_view CutAttributeValue(std::string_view Rest, bool SpaceAppended);
}  // namespace detail

}  // namespace linexml
