// Loads one file once with one library and exits: run under /usr/bin/time -v for the peak memory
// of a load in a fresh process; prints the seconds that load took.
// Usage: linexml_load_once LIBRARY FILE
//        linexml_load_once --stats FILE   where the bytes of a linexml tree go
//        linexml_load_once --loop N LIBRARY FILE   N loads one after another, as a program that
//            loads document after document makes them: each into a new document, freed before
//            the next; prints the fastest and the median load, the page faults of the median
//            load and the resident memory at the end, in MB, with the last document held
#include <linexml/linexml.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "peers.h"

namespace {

std::size_t HeapInUse() {
  const struct mallinfo2 M = mallinfo2();
  return M.uordblks + M.hblkhd;
}

// The storage's large blocks are aligned to huge pages, and the allocator keeps the alignment's
// slack with the block as address space that is never touched. The heap the tree holds counts
// what was asked for, as it does for every other block.
std::map<void*, std::size_t>* AlignedSlack = nullptr;  // by block, while --stats counts

std::size_t LiveSlack() {
  std::size_t Sum = 0;
  for (const auto& [Block, Slack] : *AlignedSlack) Sum += Slack;
  return Sum;
}

// Heap bytes behind a string: none while it fits in the object itself.
std::size_t Owned(const std::string& S) {
  const std::string Empty;
  return S.capacity() > Empty.capacity() ? S.capacity() + 1 : 0;
}

int Stats(const char* Path) {
  std::map<void*, std::size_t> Slack;
  AlignedSlack = &Slack;
  const std::size_t Before = HeapInUse();
  linexml::TXMLParser P;
  P.setFileName(Path);
  // Nor the blocks the load freed and keeps for the next one (the file's buffer).
  const std::size_t Tree = HeapInUse() - Before - LiveSlack() - linexml::LoadMemoryKept();
  AlignedSlack = nullptr;
  if (P.XMLErrorCode() != linexml::ecOk) return 1;

  std::size_t Nodes = 0, Attrs = 0, NodeStrings = 0, AttrStrings = 0, ListSlots = 0, Texts = 0;
  std::set<const std::string*> Names;
  std::vector<const linexml::TXMLNode*> Stack{P.XMLRoot()};
  while (!Stack.empty()) {
    const linexml::TXMLNode* N = Stack.back();
    Stack.pop_back();
    ++Nodes;
    NodeStrings += Owned(N->TagName()) + Owned(N->TextData());
    if (!N->TextData().empty()) ++Texts;
    if (!N->TagName().empty()) Names.insert(&N->TagName());
    ListSlots += static_cast<std::size_t>(N->Children().Count() + N->Attributes().Count());
    for (const linexml::TXMLAttribute* A : N->Attributes()) {
      ++Attrs;
      AttrStrings += Owned(A->Name) + Owned(A->Value);
    }
    for (const linexml::TXMLNode* C : N->Children()) Stack.push_back(C);
  }
  auto Mb = [](std::size_t B) { return static_cast<double>(B) / (1 << 20); };
  std::printf("nodes\t%zu\t%zu bytes each\t%.1f MB\n", Nodes, sizeof(linexml::TXMLNode),
              Mb(Nodes * sizeof(linexml::TXMLNode)));
  std::printf("attributes\t%zu\t%zu bytes each\t%.1f MB\n", Attrs, sizeof(linexml::TXMLAttribute),
              Mb(Attrs * sizeof(linexml::TXMLAttribute)));
  std::printf("text strings of text nodes\t%zu\t%zu bytes each\t%.1f MB\n", Texts, sizeof(std::string),
              Mb(Texts * sizeof(std::string)));
  std::printf("name strings (shared by the elements of one name)\t%zu\t%zu bytes each\t%.1f MB\n",
              Names.size(), sizeof(std::string), Mb(Names.size() * sizeof(std::string)));
  std::printf("node texts on the heap\t\t\t%.1f MB\n", Mb(NodeStrings));
  std::printf("attribute texts on the heap\t\t\t%.1f MB\n", Mb(AttrStrings));
  std::printf("list entries\t%zu\t8 bytes each\t%.1f MB\n", ListSlots, Mb(ListSlots * 8));
  std::printf("heap held by the loaded tree\t\t\t%.1f MB\n", Mb(Tree));
  return 0;
}

long PageFaults() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return Usage.ru_minflt;
}

int Loop(int Loads, const char* Library, const char* Path) {
  std::vector<std::pair<double, long>> Runs;  // seconds, page faults
  std::unique_ptr<bench::Doc> Last;
  for (int I = 0; I < Loads; ++I) {
    Last.reset();
    auto D = bench::MakeDoc(Library);
    if (!D) return 2;
    const long F0 = PageFaults();
    const auto T0 = std::chrono::steady_clock::now();
    if (!D->Load(Path)) return 1;
    Runs.emplace_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count(),
                      PageFaults() - F0);
    Last = std::move(D);
  }
  std::sort(Runs.begin(), Runs.end());
  long Pages = 0, Unused = 0;
  std::ifstream("/proc/self/statm") >> Unused >> Pages;
  std::printf("fastest %.3f ms, median %.3f ms, %ld page faults, %.1f MB resident\n",
              Runs.front().first * 1e3, Runs[Runs.size() / 2].first * 1e3, Runs[Runs.size() / 2].second,
              static_cast<double>(Pages) * 4096 / (1 << 20));
  return 0;
}

}  // namespace

void* operator new(std::size_t Size, std::align_val_t Align) {
  const std::size_t Before = AlignedSlack != nullptr ? HeapInUse() : 0;
  void* P = nullptr;
  if (posix_memalign(&P, static_cast<std::size_t>(Align), Size) != 0) throw std::bad_alloc();
  if (AlignedSlack != nullptr) {
    const std::size_t Grew = HeapInUse() - Before;
    (*AlignedSlack)[P] = Grew > Size ? Grew - Size : 0;
  }
  return P;
}

void operator delete(void* P, std::align_val_t) noexcept {
  if (AlignedSlack != nullptr) AlignedSlack->erase(P);
  std::free(P);
}

void operator delete(void* P, std::size_t, std::align_val_t Align) noexcept {
  operator delete(P, Align);
}

int main(int Argc, char** Argv) {
  const int Loads = Argc == 5 && std::strcmp(Argv[1], "--loop") == 0 ? std::atoi(Argv[2]) : 0;
  if (Loads > 0) return Loop(Loads, Argv[3], Argv[4]);
  if (Argc != 3) {
    std::fprintf(stderr, "usage: %s LIBRARY FILE | --stats FILE | --loop N LIBRARY FILE\n", Argv[0]);
    return 2;
  }
  if (std::strcmp(Argv[1], "--stats") == 0) return Stats(Argv[2]);
  auto D = bench::MakeDoc(Argv[1]);
  if (!D) {
    std::fprintf(stderr, "unknown library %s\n", Argv[1]);
    return 2;
  }
  // The time of this first load, with every page fresh from the kernel, on standard output.
  const auto T0 = std::chrono::steady_clock::now();
  const bool Ok = D->Load(Argv[2]);
  std::printf("%.6f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count());
  return Ok ? 0 : 1;
}
