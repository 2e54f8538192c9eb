#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The commands of the linexml tool. Each returns the process's exit status (kExitOk or kExitFailed);
// a bad combination of arguments throws UsageError, which main turns into kExitUsage.
namespace linexml::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a document did not load, or a lookup or a write failed
inline constexpr int kExitUsage = 2;

// Arguments that parse but make no sense together; the message is one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CheckOptions {
  std::vector<std::string> Files;
  unsigned Jobs = 0;  // 0: one thread per core
};

struct FormatOptions {
  std::string File;
  std::optional<std::string> Output;  // "-" or absent: standard output
  bool InPlace = false;
  bool Force = false;
};

struct GetOptions {
  std::string File;
  std::string Tag;
  std::optional<std::string> Attribute;
};

struct SetOptions {
  std::string File;
  std::string Tag;
  std::string Attribute;
  std::string Value;
  std::optional<std::string> Output;
};

struct TreeOptions {
  std::string File;
  bool Force = false;
};

int RunCheck(const CheckOptions& O);
int RunFormat(const FormatOptions& O);
int RunGet(const GetOptions& O);
int RunSet(const SetOptions& O);
int RunTree(const TreeOptions& O);

}  // namespace linexml::cli
