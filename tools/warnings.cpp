#include "warnings.h"

#include <algorithm>
#include <iostream>

namespace linexml::cli {

std::string WarningLine(const std::string& Shown, const TXMLWarning& W) {
  return Shown + ":" + std::to_string(W.Line) + ":" + std::to_string(W.Column) + ": warning: " + W.Text +
         " [" + WarningKindName(W.Kind) + "]";
}

std::string NoteLine(const std::string& Shown, const TXMLErrorNote& N) {
  return Shown + ":" + std::to_string(N.Line) + ":" + std::to_string(N.Column) + ": note: " + N.Text;
}

TXMLLoadOptions WithWarningPlaces(TXMLLoadOptions O) {
  O.CollectWarnings = true;
  O.KeepSource = true;
  return O;
}

void WarningScope::Add(const TXMLParser& P, const TXMLNode& Node, Part Which) {
  const std::optional<TXMLSourceRange> R = P.SourceRange(Node);
  if (R) parts_.emplace_back(R->Begin, Which == Part::kStartTag ? R->TagEnd : R->End);
}

void WarningScope::Print(const TXMLParser& P, const std::string& Shown) {
  Print(P, P.Warnings(), Shown);
}

void WarningScope::Print(const TXMLParser& P, const std::vector<TXMLWarning>& Warnings,
                         const std::string& Shown) {
  // The parts sorted and merged, so that each warning is looked up once in disjoint ranges.
  std::sort(parts_.begin(), parts_.end());
  std::vector<std::pair<std::size_t, std::size_t>> Merged;
  for (const auto& Range : parts_) {
    if (!Merged.empty() && Range.first <= Merged.back().second) {
      Merged.back().second = std::max(Merged.back().second, Range.second);
    } else {
      Merged.push_back(Range);
    }
  }
  const std::string_view Source = P.Source();
  std::string Out;
  for (const TXMLWarning& W : Warnings) {
    if (WarningConcernsSaveOnly(W.Kind)) continue;
    if (P.HasSource()) {
      // The warning's place as a byte of the source: its line's first byte and the column.
      const std::string_view Line = P.SourceLine(W.Line);
      if (Line.data() == nullptr || W.Column < 1) continue;
      const auto At =
          static_cast<std::size_t>(Line.data() - Source.data()) + static_cast<std::size_t>(W.Column - 1);
      const auto After = std::upper_bound(Merged.begin(), Merged.end(), At,
                                          [](std::size_t A, const auto& Range) { return A < Range.first; });
      if (After == Merged.begin() || At >= std::prev(After)->second) continue;
    }
    Out += WarningLine(Shown, W);
    Out += '\n';
  }
  std::cerr << Out;
}

void PrintWarningsAbout(const TXMLParser& P, const std::string& Arg, const std::vector<TXMLNode*>& Nodes,
                        WarningScope::Part Which) {
  WarningScope Scope;
  for (const TXMLNode* Node : Nodes) Scope.Add(P, *Node, Which);
  Scope.Print(P, Arg == "-" ? "<stdin>" : Arg);
}

}  // namespace linexml::cli
