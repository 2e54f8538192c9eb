#pragma once

// What the tests share: temporary folders and files, the checks that a save left no temporary file
// and that a tree keeps its invariants, a compact picture of a tree, and how far the slow builds
// (sanitizers, no optimisation, valgrind) scale the big cases down.

#include <linexml/linexml.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tree_faults.h"

#if defined(__has_include)
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif
#endif

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
    // Tests may leave folders without write permission; open them up so they can be removed.
    std::error_code Ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 Ec);
    for (auto It = std::filesystem::recursive_directory_iterator(path_, Ec);
         !Ec && It != std::filesystem::end(It); It.increment(Ec)) {
      if (It->symlink_status(Ec).type() == std::filesystem::file_type::directory)
        std::filesystem::permissions(It->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, Ec);
    }
    std::filesystem::remove_all(path_, Ec);
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

inline bool RunningAsRoot() {
  return ::geteuid() == 0;
}

// True when Folder holds a temporary file of an unfinished save.
inline bool TemporaryFileLeftIn(const std::filesystem::path& Folder) {
  for (const auto& E : std::filesystem::directory_iterator(Folder))
    if (E.path().filename().string().find(".linexml-") != std::string::npos) return true;
  return false;
}

using fuzz::LinkFaults;
using fuzz::TreeFaults;

inline bool UnderValgrind() {
#ifdef RUNNING_ON_VALGRIND
  return RUNNING_ON_VALGRIND != 0;
#else
  return false;
#endif
}

inline bool UnderSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
  return true;
#endif
#endif
  return false;
}

// 1 in an optimised build, 10 under a sanitizer or without optimisation, 100 under valgrind.
inline long long SlowDown() {
  if (UnderValgrind()) return 100;
#if !defined(__OPTIMIZE__)
  return 10;
#else
  return UnderSanitizer() ? 10 : 1;
#endif
}

inline long long Scaled(long long N) {
  return N / SlowDown();
}

// Depth costs little time, and an unoptimised build has the larger stack frames: only the tools
// scale it down.
inline long long ScaledDepth(long long N) {
  if (UnderValgrind()) return N / 100;
  return UnderSanitizer() ? N / 10 : N;
}

// The declaration line and the two lines after it that a save writes for a prolog with defaults.
inline const char* kDefaultProlog =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\"?>\n\n\n";

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

inline  // "<n0>" ... "<nN-1>" "leaf" "</nN-1>" ... "</n0>", one tag a line.
    std::string
    NestedDocument(long long Depth) {
  std::string Text = "<?xml version=\"1.0\"?>\n";
  Text.reserve(static_cast<std::size_t>(Depth) * 20 + 64);
  for (long long I = 0; I < Depth; ++I) Text += "<n" + std::to_string(I) + ">\n";
  Text += "leaf\n";
  for (long long I = Depth; I-- > 0;) Text += "</n" + std::to_string(I) + ">\n";
  return Text;
}

}  // namespace linexml::test
