// linexml check: loads every file on its own parser, several at once, and prints what it found
// per file in the order of the arguments: as compilers print diagnostics, or as JSON.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>
#include <vector>

#include "commands.h"
#include "document.h"
#include "output.h"
#include "warnings.h"

namespace linexml::cli {
namespace {

struct CheckOptions {
  std::vector<std::string> Files;
  unsigned Jobs = 0;        // 0: one thread per core
  bool Warnings = false;    // also the warnings that only a save loses
  bool Quiet = false;       // no warnings printed, only the file's line
  bool Strict = false;      // a warning printed (or hidden by Quiet) fails the file
  std::string WarningsAre;  // -W error: Strict
  bool ShowSource = false;
  std::string Format = "text";
  ReadOptions Read;
};

struct Result {
  std::string Text;  // everything printed for the file, newlines included
  bool Ok = false;
  bool Ready = false;
};

// Results are handed from the workers to the printing thread in argument order: the printer waits
// for entry I while workers go on with later files, so output starts before the last file is done.
class Board {
 public:
  explicit Board(std::size_t Count) : results_(Count) {}

  void Put(std::size_t I, std::string Text, bool Ok) {
    {
      const std::lock_guard<std::mutex> Lock(mutex_);
      results_[I].Text = std::move(Text);
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

// The source lines numbered in Wanted, split as a load splits them (LF, CRLF or a lone CR): one
// pass over the text, which stops after the last line wanted.
std::map<std::int64_t, std::string_view> SourceLines(std::string_view Text,
                                                     std::vector<std::int64_t> Wanted) {
  std::map<std::int64_t, std::string_view> Out;
  std::sort(Wanted.begin(), Wanted.end());
  Wanted.erase(std::unique(Wanted.begin(), Wanted.end()), Wanted.end());
  auto Next = Wanted.begin();
  std::int64_t Line = 1;
  for (std::size_t Start = 0; Next != Wanted.end() && Start <= Text.size(); ++Line) {
    const std::size_t End = std::min(Text.find_first_of("\r\n", Start), Text.size());
    if (*Next == Line) {
      Out.emplace(Line, Text.substr(Start, End - Start));
      ++Next;
    }
    Start = End + (Text.substr(End, 2) == "\r\n" ? 2 : 1);
  }
  return Out;
}

// Whether the options show W of a load that ended with Status: with --warnings every warning;
// else those about the reading of a document that loaded (a failed load read no document: its
// failure is what matters, and what it read up to there may be read so only because of it).
// --quiet hides them, but they still count for --strict.
bool Selected(const CheckOptions& O, TXMLErrorCode Status, const TXMLWarning& W) {
  return O.Warnings || (Status == ecOk && !WarningConcernsSaveOnly(W.Kind));
}

// What a loaded file's outcome is: its line and whether it counts as failed.
struct Outcome {
  std::string Line;  // the file's line, without its newline
  bool Ok = false;
};

Outcome OutcomeOf(const CheckOptions& O, const std::string& Shown, TXMLErrorCode Status,
                  const TXMLParser& P) {
  std::size_t Reading = 0, Counted = 0;
  for (const TXMLWarning& W : P.Warnings()) {
    if (!WarningConcernsSaveOnly(W.Kind)) ++Reading;
    if (Selected(O, Status, W)) ++Counted;
  }
  Outcome Out{CheckLine(Shown, Status, P), Status == ecOk && !(O.Strict && Counted > 0)};
  // "ok" only for a file read as an XML reader reads it; what a save alone loses does not count.
  if (Status == ecOk && Reading > 0)
    Out.Line = Shown + ": read with " + std::to_string(Reading) + (Reading == 1 ? " warning" : " warnings");
  return Out;
}

// Source holds the bytes that were loaded when the excerpts are wanted.
Outcome TextReport(const CheckOptions& O, const std::string& Shown, TXMLErrorCode Status, const TXMLParser& P,
                   std::string_view Source, std::string& Out) {
  std::vector<std::int64_t> Wanted;
  for (const TXMLWarning& W : P.Warnings())
    if (!O.Quiet && Selected(O, Status, W)) Wanted.push_back(W.Line);
  if (Status != ecOk && P.ErrorLine() > 0) Wanted.push_back(P.ErrorLine());
  for (const TXMLErrorNote& N : P.ErrorNotes()) Wanted.push_back(N.Line);
  const std::map<std::int64_t, std::string_view> Lines = SourceLines(Source, std::move(Wanted));
  auto Excerpt = [&](std::int64_t Line, std::int64_t Column) {
    const auto It = Lines.find(Line);
    if (It != Lines.end()) Out += SourceExcerpt(It->second, Line, Column);
  };
  for (const TXMLWarning& W : P.Warnings()) {
    if (O.Quiet || !Selected(O, Status, W)) continue;
    Out += WarningLine(Shown, W) + "\n";
    Excerpt(W.Line, W.Column);
  }
  const Outcome Result = OutcomeOf(O, Shown, Status, P);
  Out += Result.Line + "\n";
  if (Status != ecOk) Excerpt(P.ErrorLine(), P.ErrorColumn());
  for (const TXMLErrorNote& N : P.ErrorNotes()) {
    Out += NoteLine(Shown, N) + "\n";
    Excerpt(N.Line, N.Column);
  }
  return Result;
}

std::string JsonReport(const CheckOptions& O, const std::string& Shown, TXMLErrorCode Status,
                       const TXMLParser* P) {
  nlohmann::json Warnings = nlohmann::json::array();
  nlohmann::json Notes = nlohmann::json::array();
  // The parser's place and message, unless the load never reached it (unreadable standard input).
  const bool Loaded = P != nullptr && P->XMLErrorCode() == Status;
  if (Loaded) {
    for (const TXMLWarning& W : P->Warnings())
      if (!O.Quiet && Selected(O, Status, W))
        Warnings.push_back({{"line", W.Line},
                            {"column", W.Column},
                            {"kind", WarningKindName(W.Kind)},
                            {"save_only", WarningConcernsSaveOnly(W.Kind)},
                            {"text", W.Text}});
    for (const TXMLErrorNote& N : P->ErrorNotes())
      Notes.push_back({{"line", N.Line}, {"column", N.Column}, {"text", N.Text}});
  }
  const nlohmann::json Object = {{"file", Shown},
                                 {"status", ErrorCodeName(Status)},
                                 {"line", Loaded ? P->ErrorLine() : 0},
                                 {"column", Loaded ? P->ErrorColumn() : 0},
                                 {"message", Status == ecOk ? ""
                                             : Loaded       ? P->ErrorMessage()
                                                            : ErrorCodeMeaning(Status)},
                                 {"notes", std::move(Notes)},
                                 {"warnings", std::move(Warnings)}};
  // Names and texts are bytes in any encoding: what is not UTF-8 becomes U+FFFD.
  return Object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

void CheckOne(const CheckOptions& O, const std::string& Arg, const std::string* StdinText, std::size_t I,
              Board& Out) {
  const std::string Shown = ShownName(Arg);
  try {
    TXMLParser P;
    P.SetLoadOptions(LoadOptionsFor(O.Read, true));
    // The excerpts come from the very bytes that were loaded: the file is read once.
    const bool Excerpts = O.ShowSource && O.Format == "text";
    std::string FileText;
    std::string_view Source;
    TXMLErrorCode Status = ecOk;
    if (Excerpts && !IsStdin(Arg)) {
      Status = LoadFileKeepingText(P, Arg, FileText);
      Source = FileText;
    } else {
      Status = LoadDocument(P, Arg, StdinText);
      if (Excerpts && StdinText != nullptr) Source = *StdinText;
    }
    if (O.Format == "json") {
      Out.Put(I, JsonReport(O, Shown, Status, &P), OutcomeOf(O, Shown, Status, P).Ok);
    } else {
      std::string Text;
      const bool Ok = TextReport(O, Shown, Status, P, Source, Text).Ok;
      Out.Put(I, std::move(Text), Ok);
    }
  } catch (const std::bad_alloc&) {
    Out.Put(I,
            O.Format == "json" ? JsonReport(O, Shown, ecOutOfMemory, nullptr) : Shown + ": out of memory\n",
            false);
  }
}

int RunCheck(CheckOptions O) {
  O.Strict = O.Strict || O.WarningsAre == "error";
  if (!O.ShowSource && O.Format == "text") O.ShowSource = ::isatty(STDOUT_FILENO) != 0;
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
    for (std::size_t I = Next++; I < Count; I = Next++) CheckOne(O, O.Files[I], Stdin, I, Results);
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
    std::cout << R.Text;
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
      "Prints, per file and in the order of the arguments, 'FILE: ok' or\n"
      "'FILE:LINE:COLUMN: STATUS: message', as compilers print errors: LINE and\n"
      "COLUMN (in bytes, counted in the line as it stands in the file) are where the\n"
      "problem was found, and are left out when no place applies (a file that\n"
      "cannot be read). Notes follow a failure where it refers to other places (an\n"
      "element left open: where it was opened), 'FILE:LINE:COLUMN: note: text'.\n"
      "\n"
      "Before the line of a file that loads come the places that linexml reads\n"
      "differently from an XML reader (a value cut at a space, 'port=5432' read as\n"
      "'43', a CDATA section, ...): 'FILE:LINE:COLUMN: warning: text [kind]'. A file\n"
      "read with such warnings ends with 'FILE: read with N warnings' instead of\n"
      "'FILE: ok'. --warnings adds what only a save would lose (a comment, an\n"
      "instruction in front of the root), which does not change 'ok', and the\n"
      "warnings of a file that fails to load; --quiet prints no warnings.\n"
      "On a terminal, or with --show-source, each place is followed by its source\n"
      "line with a caret under the column. --format json prints one JSON object per\n"
      "file and line instead. Files are loaded N at a time; the output is the same\n"
      "whatever N is. Exit status 0 when every file loads (ecOk; warnings do not\n"
      "count unless --strict or -W error: then a file with a warning that the\n"
      "options select, shown or hidden by --quiet, counts as failed), else 1.\n"
      "\n"
      "Example:\n"
      "  $ linexml check catalog.xml\n"
      "  catalog.xml: ok");
  Cmd->add_option("FILE", O->Files, "Documents to check")->required()->type_name("");
  Cmd->add_option("-j,--jobs", O->Jobs, "Check N files at a time (default: one per core)")
      ->type_name("N")
      ->check(CLI::Range(1U, 1024U));
  Cmd->add_flag("-w,--warnings", O->Warnings,
                "Also print what only a save would lose (comments, instructions before the root), and "
                "the warnings of a file that fails to load");
  Cmd->add_flag("-q,--quiet", O->Quiet, "Print no warnings, only each file's line");
  Cmd->add_flag("--strict", O->Strict, "A file with a warning fails (exit status 1)");
  Cmd->add_option("-W", O->WarningsAre, "'-W error' (or -Werror): the same as --strict")
      ->type_name("error")
      ->check(CLI::IsMember({"error"}));
  Cmd->add_flag("--show-source", O->ShowSource,
                "Show the source line and a caret (the default on a terminal)");
  Cmd->add_option("--format", O->Format, "'text' (default) or 'json': one object per file and line")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"text", "json"}));
  AddReadOptions(*Cmd, O->Read);
  return {Cmd, [O] { return RunCheck(*O); }};
}

}  // namespace linexml::cli
