#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace linexml::detail {

// Answers "where is the first "</name>" at or after pos?" for one text in amortised constant time.
// Every "</" of the text can close one name only (the bytes up to the first space, "/" or ">",
// valid when that byte is ">"), so one pass records, per name, where its closing tags stand. A
// plain substring search per element would cost the size of its subtree, quadratic for deep or
// unclosed documents.
class CloseIndex {
 public:
  explicit CloseIndex(std::string_view Text) : text_(Text) {}

  // Start of the first "</Name>" at or after Pos that ends at or before End; npos when none.
  // Queries for one name are expected with growing Pos (parse order); others still work.
  std::size_t Find(std::string_view Name, std::size_t Pos, std::size_t End);

 private:
  struct Entry {
    std::vector<std::size_t> starts;  // ascending
    std::size_t next = 0;             // first index whose start may still be >= the next Pos
  };
  void Build();

  std::string_view text_;
  bool built_ = false;
  std::unordered_map<std::string_view, Entry> names_;
};

}  // namespace linexml::detail
