#include "linexml/xml_errors.h"

#include "detail/quote.h"

namespace linexml {

// Defined here, so the base's type information has one home (a handler in another shared object
// matches it).
EXMLError::~EXMLError() = default;

EXMLRefusal::EXMLRefusal(const std::string& Operation, const std::string& Reason)
    : std::invalid_argument(Operation + ": " + Reason), operation_(Operation), reason_(Reason) {}

const char* EXMLRefusal::what() const noexcept {
  return std::invalid_argument::what();
}

EXMLPathError::EXMLPathError(const std::string& Path, std::size_t Position, const std::string& Reason)
    : std::invalid_argument("invalid path " + detail::Quote(Path, 40) + " at position " +
                            std::to_string(Position) + ": " + Reason),
      path_(Path),
      position_(Position),
      reason_(Reason) {}

const char* EXMLPathError::what() const noexcept {
  return std::invalid_argument::what();
}

}  // namespace linexml
