#pragma once
/// \file
/// linexml::ParseAttributeValue, the value cutter of attribute tokens.

#include <string>

#include "export.h"

namespace linexml {

/// Cuts an attribute value out of the rest of its token (what follows the "="): drops the first
/// character (the opening quote, whatever it is) and, at the end, the closing quote and the token's
/// trailing space, plus the tag's closing ">", "/>" or "?>" where the token carries one. Quotes are
/// never inspected. Exactly ">", "/>", "?>" or "!>", and anything of three characters or fewer,
/// give empty text. Never fails.
LINEXML_API std::string ParseAttributeValue(const std::string& S);

}  // namespace linexml
