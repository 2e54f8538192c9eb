#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace linexml::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string Pattern = (std::filesystem::temp_directory_path() / "linexml-test-XXXXXX").string();
    if (::mkdtemp(Pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = Pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code Ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, Ignored);
    std::filesystem::remove_all(path_, Ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& Name) const { return (path_ / Name).string(); }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& Path, const std::string& Bytes) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out << Bytes;
  if (!Out) throw std::runtime_error("cannot write " + Path);
}

inline std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream Bytes;
  Bytes << In.rdbuf();
  return Bytes.str();
}

inline bool RunningAsRoot() { return ::geteuid() == 0; }

// The declaration line and the two lines after it that a save writes for a prolog with defaults.
inline const char* kDefaultProlog =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\"?>\n\n\n";

}  // namespace linexml::test

#include <vector>

#include "linexml.h"

namespace linexml::test {

// A compact picture of a subtree: <name k=v>(children) for a normal element, <name k=v/> for a
// self-closing one, "text" for a text run. Built with an explicit stack, like the library's walks.
inline std::string Outline(const TXMLNode& Root, char Open = '(', char Close = ')') {
  std::string Out;
  struct Item {
    const TXMLNode* node;
    bool closing;
  };
  std::vector<Item> Stack{{&Root, false}};
  while (!Stack.empty()) {
    const Item It = Stack.back();
    Stack.pop_back();
    const TXMLNode& N = *It.node;
    if (It.closing) {
      Out += Close;
      continue;
    }
    if (N.TagType() == ttCDATA) {
      Out += '"' + N.TextData() + '"';
      continue;
    }
    Out += '<' + N.TagName();
    for (const TXMLAttribute* A : N.Attributes()) Out += ' ' + A->Name + '=' + A->Value;
    if (N.TagType() == ttShorted) {
      Out += "/>";
      continue;
    }
    Out += '>';
    Out += Open;
    Stack.push_back({&N, true});
    for (auto K = N.Children().end(); K != N.Children().begin();) Stack.push_back({*--K, false});
  }
  return Out;
}

}  // namespace linexml::test
