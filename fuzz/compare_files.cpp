// Compares linexml's reading of real files with an XML reader's (see xml_compare.h) and counts the
// files that differ without a warning on the lines of the difference. scripts/real_files.sh
// collects the files.
//
// Usage: linexml_compare_files [--candidates] [--verbose] [--accept-bom] [--accept-no-declaration]
//                              [--accept-full-prolog] < list of files, one a line
//   --candidates  print only the names of the files that begin like XML ("<", after a byte-order
//                 mark and white space), for the well-formedness check that follows
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>

#include "xml_compare.h"

namespace {

std::string ReadAll(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

bool BeginsLikeXml(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  char Head[64] = {};
  In.read(Head, sizeof Head);
  std::string_view H(Head, static_cast<std::size_t>(In.gcount()));
  if (H.starts_with("\xEF\xBB\xBF")) H.remove_prefix(3);
  while (!H.empty() && (H[0] == ' ' || H[0] == '\t' || H[0] == '\n' || H[0] == '\r')) H.remove_prefix(1);
  return H.starts_with("<?xml") || (H.starts_with("<") && H.size() > 1 && H[1] != '?');
}

}  // namespace

int main(int Argc, char** Argv) {
  bool Candidates = false, Verbose = false;
  linexml::TXMLLoadOptions Options;
  for (int I = 1; I < Argc; ++I) {
    const std::string A = Argv[I];
    if (A == "--candidates")
      Candidates = true;
    else if (A == "--verbose")
      Verbose = true;
    else if (A == "--accept-bom")
      Options.AcceptBOM = true;
    else if (A == "--accept-no-declaration")
      Options.AcceptNoDeclaration = true;
    else if (A == "--accept-full-prolog")
      Options.AcceptFullProlog = true;
    else {
      std::cerr << "unknown option " << A << "\n";
      return 2;
    }
  }
  std::size_t Files = 0, XmlRejects = 0, Fails = 0, Same = 0, Warned = 0, Unwarned = 0;
  std::map<std::string, std::size_t> Failures;
  for (std::string Path; std::getline(std::cin, Path);) {
    if (Candidates) {
      if (BeginsLikeXml(Path)) std::cout << Path << "\n";
      continue;
    }
    ++Files;
    const std::string Source = ReadAll(Path);
    const compare::Outcome O = compare::Compare(Source, Options, true);
    if (!O.xml_reads) {
      ++XmlRejects;
    } else if (!O.linexml_reads) {
      ++Fails;
      ++Failures[std::string(linexml::ErrorCodeName(O.status)) + ": " + O.message.substr(0, 70)];
      if (Verbose) std::cout << "FAILS " << Path << ": " << O.message << "\n";
    } else if (O.differences.empty()) {
      ++Same;
    } else if (O.Uncovered().empty()) {
      ++Warned;

    } else {
      ++Unwarned;
      std::cout << "UNWARNED " << Path << "\n";
      if (Verbose) std::cout << compare::Describe(Source, O);
    }
  }
  if (Candidates) return 0;
  std::cout << Files << " files: " << XmlRejects << " not read by the XML reader, " << Fails
            << " fail to load in linexml, " << Same << " read the same, " << Warned
            << " read differently with a warning on every difference, " << Unwarned
            << " read differently without one\n";
  std::vector<std::pair<std::size_t, std::string>> Sorted;
  for (const auto& [Why, Count] : Failures) Sorted.emplace_back(Count, Why);
  std::sort(Sorted.rbegin(), Sorted.rend());
  for (std::size_t I = 0; I < Sorted.size() && I < 12; ++I)
    std::cout << "  " << Sorted[I].first << " x " << Sorted[I].second << "\n";
  return 0;
}
