// linexml check: loads every file on its own parser, several at once, and prints one line per
// file in the order of the arguments.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "commands.h"
#include "document.h"
#include "output.h"

namespace linexml::cli {
namespace {

struct CheckOptions {
  std::vector<std::string> Files;
  unsigned Jobs = 0;  // 0: one thread per core
};

struct Result {
  std::string Line;
  bool Ok = false;
  bool Ready = false;
};

// Results are handed from the workers to the printing thread in argument order: the printer waits
// for entry I while workers go on with later files, so output starts before the last file is done.
class Board {
 public:
  explicit Board(std::size_t Count) : results_(Count) {}

  void Put(std::size_t I, std::string Line, bool Ok) {
    {
      const std::lock_guard<std::mutex> Lock(mutex_);
      results_[I].Line = std::move(Line);
      results_[I].Ok = Ok;
      results_[I].Ready = true;
    }
    ready_.notify_all();
  }

  Result Take(std::size_t I) {
    std::unique_lock<std::mutex> Lock(mutex_);
    ready_.wait(Lock, [&] { return results_[I].Ready; });
    return std::move(results_[I]);
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<Result> results_;
};

void CheckOne(const std::string& Arg, const std::string* StdinText, std::size_t I, Board& Out) {
  const std::string Shown = ShownName(Arg);
  try {
    TXMLParser P;
    const TXMLErrorCode Status = LoadDocument(P, Arg, StdinText);
    Out.Put(I, CheckLine(Shown, Status, P.ErrorLine()), Status == ecOk);
  } catch (const std::bad_alloc&) {
    Out.Put(I, Shown + ": out of memory", false);
  }
}

int RunCheck(const CheckOptions& O) {
  // Standard input is read once, before any thread starts, however often "-" is named.
  std::string StdinText;
  bool StdinRead = false;
  if (std::any_of(O.Files.begin(), O.Files.end(), IsStdin)) StdinRead = ReadStdin(StdinText);
  const std::string* Stdin = StdinRead ? &StdinText : nullptr;

  const std::size_t Count = O.Files.size();
  std::size_t Threads = O.Jobs != 0 ? O.Jobs : std::max(1U, std::thread::hardware_concurrency());
  Threads = std::min(Threads, Count);

  Board Results(Count);
  std::atomic<std::size_t> Next{0};
  std::vector<std::thread> Workers;
  Workers.reserve(Threads);
  const auto Work = [&] {
    for (std::size_t I = Next++; I < Count; I = Next++) CheckOne(O.Files[I], Stdin, I, Results);
  };
  try {
    for (std::size_t T = 0; T < Threads; ++T) Workers.emplace_back(Work);
  } catch (const std::system_error&) {
    // The system has no more threads to give: the ones started share the files.
    if (Workers.empty()) Work();
  }

  bool AllOk = true;
  for (std::size_t I = 0; I < Count; ++I) {
    const Result R = Results.Take(I);
    std::cout << R.Line << '\n';
    AllOk = AllOk && R.Ok;
  }
  for (std::thread& W : Workers) W.join();
  FlushStdout();
  return AllOk ? kExitOk : kExitFailed;
}

}  // namespace

Command AddCheckCommand(CLI::App& App) {
  auto O = std::make_shared<CheckOptions>();
  CLI::App* Cmd =
      App.add_subcommand("check", "Load each FILE and print 'FILE: ok' or where and why it fails");
  Cmd->footer(
      "Prints one line per file, in the order of the arguments: 'FILE: ok', or\n"
      "'FILE:LINE: STATUS: meaning', LINE being the line where the problem was found\n"
      "(left out when no line applies, as for a file that cannot be read). Files are\n"
      "loaded N at a time; the output is the same whatever N is. Exit status 0 when\n"
      "every file loads cleanly (ecOk), else 1.\n"
      "\n"
      "Example:\n"
      "  $ linexml check catalog.xml\n"
      "  catalog.xml: ok");
  Cmd->add_option("FILE", O->Files, "Documents to check")->required()->type_name("");
  Cmd->add_option("-j,--jobs", O->Jobs, "Check N files at a time (default: one per core)")
      ->type_name("N")
      ->check(CLI::Range(1U, 1024U));
  return {Cmd, [O] { return RunCheck(*O); }};
}

}  // namespace linexml::cli
