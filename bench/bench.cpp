// Side-by-side benchmarks: load, find and save of the generated documents with linexml and its
// peers, and linexml alone on the adversarial shapes. The documents come from linexml_gen (see
// bench/run.sh); the folder is taken from LINEXML_BENCH_DATA (default bench/data), the sizes in MB
// from LINEXML_BENCH_SIZES (default "1 10 100"). Times are
// wall-clock times of the job alone: building the document for a find or a save, and destroying
// it after a load, are outside the measured span.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "peers.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string DataDir() {
  const char* Dir = std::getenv("LINEXML_BENCH_DATA");
  return Dir != nullptr ? Dir : "bench/data";
}

std::vector<int> Sizes() {
  const char* List = std::getenv("LINEXML_BENCH_SIZES");
  std::vector<int> Out;
  for (const char* P = List != nullptr ? List : "1 10 100"; *P != '\0';) {
    char* End = nullptr;
    const long N = std::strtol(P, &End, 10);
    if (End == P) break;
    Out.push_back(static_cast<int>(N));
    P = End;
  }
  return Out;
}

long long FileSize(const std::string& Path) {
  struct stat St {};
  return ::stat(Path.c_str(), &St) == 0 ? static_cast<long long>(St.st_size) : -1;
}

// Writes over a buffer larger than the caches (untimed), so the next run starts from memory:
// the adversarial ratios then compare two sizes that are both out of cache, instead of one that
// fits (this machine reports a 480 MiB last-level cache) and one that does not.
void EvictCaches() {
  static std::vector<char> Big(std::size_t{1} << 30);
  static char Fill = 0;
  std::memset(Big.data(), ++Fill, Big.size());
  benchmark::DoNotOptimize(Big.data());
}

double Seconds(Clock::time_point From, Clock::time_point To) {
  return std::chrono::duration<double>(To - From).count();
}

void Load(benchmark::State& State, const std::string& Library, const std::string& Path, long long Size,
          bool Cold) {
  // Loads first, untimed: the heap then holds what a load needs, as it does in a program that
  // loads one document after another, and the first timed load is not the only one that pays
  // for fresh pages (which skewed the means of runs with few iterations).
  // A big document takes two loads before the heap stops growing (each runs once per repetition).
  for (int Warm = Size >= (50LL << 20) ? 2 : 1; Warm > 0; --Warm) bench::MakeDoc(Library)->Load(Path);
  for (auto _ : State) {
    auto D = bench::MakeDoc(Library);
    if (Cold) EvictCaches();
    const auto T0 = Clock::now();
    const bool Ok = D->Load(Path);
    State.SetIterationTime(Seconds(T0, Clock::now()));
    if (!Ok) State.SkipWithError("load failed");
  }
  State.counters["bytes"] = static_cast<double>(Size);
  State.SetBytesProcessed(State.iterations() * Size);
}

void Find(benchmark::State& State, const std::string& Library, const std::string& Path, long long Size,
          const std::string& Name, bool Expected, bool Cold) {
  auto D = bench::MakeDoc(Library);
  if (!D->Load(Path)) {
    State.SkipWithError("load failed");
    return;
  }
  for (auto _ : State) {
    if (Cold) EvictCaches();
    const auto T0 = Clock::now();
    const bool Found = D->Find(Name);
    State.SetIterationTime(Seconds(T0, Clock::now()));
    if (Found != Expected) State.SkipWithError("find gave the wrong answer");
  }
  State.counters["bytes"] = static_cast<double>(Size);
  State.SetBytesProcessed(State.iterations() * Size);
}

void Save(benchmark::State& State, const std::string& Library, const std::string& Path, long long Size,
          const std::string& Out, bool Cold) {
  auto D = bench::MakeDoc(Library);
  if (!D->Load(Path) || !D->Save(Out)) {  // the untimed first save creates the file
    State.SkipWithError("load or save failed");
    return;
  }
  for (auto _ : State) {
    if (Cold) EvictCaches();
    const auto T0 = Clock::now();
    const bool Ok = D->Save(Out);
    State.SetIterationTime(Seconds(T0, Clock::now()));
    if (!Ok) State.SkipWithError("save failed");
  }
  State.counters["bytes"] = static_cast<double>(Size);
  State.counters["saved"] = static_cast<double>(FileSize(Out));
  State.SetBytesProcessed(State.iterations() * Size);
  std::remove(Out.c_str());
}

// The fastest repetition: on a machine that other work shares, a repetition is only ever slowed
// down, so the minimum is the steadiest figure (the same for every library).
void Fastest(benchmark::internal::Benchmark* B) {
  B->ComputeStatistics("min",
                       [](const std::vector<double>& V) { return *std::min_element(V.begin(), V.end()); });
}

// Big documents run once per repetition; small ones long enough for a steady figure.
void Pace(benchmark::internal::Benchmark* B, long long Size) {
  B->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
  Fastest(B);
  if (Size >= 50LL << 20)
    B->Iterations(1);
  else
    B->MinTime(Size >= 5LL << 20 ? 0.3 : 0.1);
}

void RegisterCore(const std::string& Dir) {
  const char* Shapes[] = {"records", "text", "deep"};
  for (const char* Shape : Shapes) {
    for (const int Mb : Sizes()) {
      const std::string Tag = std::string(Shape) + "/" + std::to_string(Mb) + "MB/";
      const std::string Path = Dir + "/" + Shape + "-" + std::to_string(Mb) + "mb.xml";
      const long long Size = FileSize(Path);
      if (Size < 0) continue;
      for (std::string Lib : bench::Libraries()) {
        // tinyxml2 stops at 100 levels (a constant of the library); libxml2's default at 256.
        if (std::string(Shape) == "deep" && Lib == "tinyxml2") continue;
        if (std::string(Shape) == "deep" && Lib == "libxml2") Lib = "libxml2-huge";
        Pace(benchmark::RegisterBenchmark(("load/" + Tag + Lib).c_str(), Load, Lib, Path, Size, false), Size);
        // The same load kept on one thread, beside the default that may use two.
        if (Lib == "linexml")
          Pace(benchmark::RegisterBenchmark(("load/" + Tag + "linexml-1t").c_str(), Load, "linexml-1t", Path,
                                            Size, false),
               Size);
        if (Lib != "baseline") {
          Pace(benchmark::RegisterBenchmark(("find/" + Tag + Lib).c_str(), Find, Lib, Path, Size, "end", true,
                                            false),
               1);
          Pace(benchmark::RegisterBenchmark(("miss/" + Tag + Lib).c_str(), Find, Lib, Path, Size,
                                            "nosuchname", false, false),
               1);
        }
        // The indented save of a deep forest is about 80 times its input.
        if (std::string(Shape) == "deep" && Mb > 1) continue;
        Pace(benchmark::RegisterBenchmark(("save/" + Tag + Lib).c_str(), Save, Lib, Path, Size,
                                          Dir + "/out-" + Lib + ".xml", false),
             Size);
        if (Lib == "linexml")
          Pace(
              benchmark::RegisterBenchmark(("save/" + Tag + "linexml-stream").c_str(), Save, "linexml-stream",
                                           Path, Size, Dir + "/out-" + Lib + ".xml", false),
              Size);
      }
    }
  }
}

void RegisterAdversarial(const std::string& Dir) {
  // From memory every time (see EvictCaches), a fixed three runs per repetition.
  auto Cold = [](benchmark::internal::Benchmark* B) {
    B->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->Iterations(3);
    Fastest(B);
  };
  const char* Shapes[] = {"brs", "comments", "oneline", "attrs", "chain", "chain2"};
  for (const char* Shape : Shapes) {
    for (const char* Scale : {"n", "4n"}) {
      const std::string Tag = std::string(Shape) + "/" + Scale;
      const std::string Path = Dir + "/adv-" + Shape + "-" + Scale + ".xml";
      const long long Size = FileSize(Path);
      if (Size < 0) continue;
      Cold(benchmark::RegisterBenchmark(("adv/load/" + Tag).c_str(), Load, "linexml", Path, Size, true));
      Cold(benchmark::RegisterBenchmark(("adv/miss/" + Tag).c_str(), Find, "linexml", Path, Size,
                                        "nosuchname", false, true));
      // An indented chain of a million levels would be about 10^12 bytes.
      if (std::string(Shape).starts_with("chain")) continue;
      // Into /dev/null: how the layout grows, not how the disk's write-back copes with 4n bytes.
      Cold(benchmark::RegisterBenchmark(("adv/save/" + Tag).c_str(), Save, "linexml-null", Path, Size,
                                        Dir + "/out-adv.xml", true));
    }
  }
}

}  // namespace

int main(int Argc, char** Argv) {
  // Freed heap memory stays with the process, as in a program that loads one document after
  // another: repeated runs then measure the libraries' work, not the kernel handing out (and
  // zeroing) fresh pages again after glibc returned the last run's to it. Blocks of 32 MiB and
  // more (the 100 MB files' buffers) are still mapped afresh for every library. The cold cost of
  // a first load is reported separately, from a fresh process.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
  const std::string Dir = DataDir();
  RegisterCore(Dir);
  RegisterAdversarial(Dir);
  benchmark::Initialize(&Argc, Argv);
  if (benchmark::ReportUnrecognizedArguments(Argc, Argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
