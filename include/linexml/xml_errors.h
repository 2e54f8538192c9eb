#pragma once
/// \file
/// The library's exceptions: linexml::EXMLError, the base of them all, linexml::EXMLRefusal for a
/// checked edit that refuses its arguments, and linexml::EXMLPathError for a path not in the path
/// syntax. (linexml::EInOutError, the save's, is in in_out_error.h.) The error policy, which calls
/// return a status and which throw what: docs/reference.md, "Errors".

#include <cstddef>
#include <stdexcept>
#include <string>

#include "export.h"

namespace linexml {

/// The base of every exception the library defines, so that `catch (const EXMLError&)` takes any
/// of them. Each also derives from the standard exception that says what kind it is
/// (std::invalid_argument for a refusal, std::runtime_error for a failed save), so a handler
/// written for that one keeps working.
class LINEXML_API EXMLError {
 public:
  virtual ~EXMLError();
  /// The message, the same as the standard exception's.
  virtual const char* what() const noexcept = 0;

 protected:
  /// Made only as a base of the library's exceptions.
  EXMLError() = default;
  /// Copied with the exception it is part of.
  EXMLError(const EXMLError&) = default;
  /// Assigned with the exception it is part of.
  EXMLError& operator=(const EXMLError&) = default;
};

/// A checked operation (AddChild, SetAttribute, SetTagName, MoveChild, New, ...) that refused its
/// arguments; the node or document is as it was. The reason is the one that
/// WhyNotWritableName and its siblings give for a string, or names what else is wrong.
class LINEXML_API EXMLRefusal : public std::invalid_argument, public EXMLError {
 public:
  /// what() reads "OPERATION: REASON".
  EXMLRefusal(const std::string& Operation, const std::string& Reason);
  /// The call that refused, e.g. "SetTagName".
  [[nodiscard]] const std::string& Operation() const noexcept { return operation_; }
  /// Why, one clause, e.g. "byte 3 of the name is ' ', which ends a name".
  [[nodiscard]] const std::string& Reason() const noexcept { return reason_; }
  /// "OPERATION: REASON".
  const char* what() const noexcept override;

 private:
  std::string operation_;
  std::string reason_;
};

/// A path that is not in the path syntax (TXMLPath, Select, SelectAll).
class LINEXML_API EXMLPathError : public std::invalid_argument, public EXMLError {
 public:
  /// what() reads "invalid path "PATH" at position N: REASON" (the path quoted and cut as messages
  /// show text).
  EXMLPathError(const std::string& Path, std::size_t Position, const std::string& Reason);
  /// The path as given.
  [[nodiscard]] const std::string& Path() const noexcept { return path_; }
  /// The 1-based byte position in Path() where it leaves the syntax (one past its end when a step
  /// is missing there).
  [[nodiscard]] std::size_t Position() const noexcept { return position_; }
  /// What was expected there, e.g. "']' is expected after the position".
  [[nodiscard]] const std::string& Reason() const noexcept { return reason_; }
  /// "invalid path "PATH" at position N: REASON".
  const char* what() const noexcept override;

 private:
  std::string path_;
  std::size_t position_;
  std::string reason_;
};

}  // namespace linexml
