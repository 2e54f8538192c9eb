#include "linexml/in_out_error.h"

namespace linexml {

EInOutError::EInOutError(const std::string& FileName, const std::string& Cause)
    : std::runtime_error(FileName + ": " + Cause), file_name_(FileName), cause_(Cause) {}

const char* EInOutError::what() const noexcept {
  return std::runtime_error::what();
}

}  // namespace linexml
