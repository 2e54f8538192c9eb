#pragma once
/// \file
/// linexml::EInOutError, the exception of every failed save.

#include <stdexcept>
#include <string>

#include "export.h"
#include "xml_errors.h"

namespace linexml {

/// The runtime's I/O error: thrown by every failed create, write, flush, sync, rename or close.
class LINEXML_API EInOutError : public std::runtime_error, public EXMLError {
 public:
  /// what() reads "FILE: CAUSE".
  EInOutError(const std::string& FileName, const std::string& Cause);
  /// The file (or `<stream>`) that failed.
  [[nodiscard]] const std::string& FileName() const noexcept { return file_name_; }
  /// The system's reason, e.g. "No space left on device".
  [[nodiscard]] const std::string& Cause() const noexcept { return cause_; }
  /// "FILE: CAUSE".
  const char* what() const noexcept override;

 private:
  std::string file_name_;
  std::string cause_;
};

}  // namespace linexml
