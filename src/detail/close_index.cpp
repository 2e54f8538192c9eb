#include "close_index.h"

#include <algorithm>
#include <cstring>

namespace linexml::detail {

void CloseIndex::Build() {
  built_ = true;
  const char* const Begin = text_.data();
  const char* const End = Begin + text_.size();
  const char* P = Begin;
  while (P < End) {
    P = static_cast<const char*>(std::memchr(P, '<', static_cast<std::size_t>(End - P)));
    if (P == nullptr) break;
    if (P + 1 < End && P[1] == '/') {
      const char* N = P + 2;
      while (N < End && *N != ' ' && *N != '/' && *N != '>') ++N;
      // A name holds no "/", so the next "</" is never skipped by this scan beyond one byte.
      // "</>" is recorded too: it closes a node with an empty name (ParseChildren on a new node).
      if (N < End && *N == '>') {
        names_[std::string_view(P + 2, static_cast<std::size_t>(N - P - 2))].starts.push_back(
            static_cast<std::size_t>(P - Begin));
      }
    }
    ++P;
  }
}

std::size_t CloseIndex::Find(std::string_view Name, std::size_t Pos, std::size_t End) {
  if (!built_) Build();
  const auto It = names_.find(Name);
  if (It == names_.end()) return std::string_view::npos;
  Entry& E = It->second;
  if (E.next > 0 && E.starts[E.next - 1] >= Pos)  // asked out of order: start over
    E.next = static_cast<std::size_t>(std::lower_bound(E.starts.begin(), E.starts.end(), Pos) - E.starts.begin());
  while (E.next < E.starts.size() && E.starts[E.next] < Pos) ++E.next;
  if (E.next == E.starts.size()) return std::string_view::npos;
  const std::size_t Start = E.starts[E.next];
  // A later occurrence would end even further out, so the first one decides.
  return Start + Name.size() + 3 <= End ? Start : std::string_view::npos;
}

}  // namespace linexml::detail
