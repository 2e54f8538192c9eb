#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "close_index.h"

namespace linexml::detail {

// The hash of every table keyed by document text: the closing-tag index's keyed hash under a key
// drawn afresh for each table, so that no document can be written whose names all fall into one
// bucket (the standard library's unkeyed hash lets crafted names make a table quadratic).
class KeyedHash {
 public:
  KeyedHash() { CloseIndex::DrawKey(k0_, k1_); }
  std::size_t operator()(std::string_view S) const {
    return static_cast<std::size_t>(CloseIndex::Hash(S, k0_, k1_));
  }

 private:
  std::uint64_t k0_ = 0;
  std::uint64_t k1_ = 0;
};

// A table keyed by text that input may fill.
template <class Value>
using KeyedMap = std::unordered_map<std::string_view, Value, KeyedHash>;

}  // namespace linexml::detail
