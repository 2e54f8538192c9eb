#include "cli_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace fs = std::filesystem;

const char* const kSmallDoc =
    "<?xml version=\"1.0\"?>\n"
    "<!-- a shelf -->\n"
    "<shelf code=\"a1\" count=\"2\">\n"
    "  <book isbn=\"1-2\" state=\"undefined\"/>\n"
    "  Two   books,\tone note\n"
    "  <note>keep dry</note>\n"
    "</shelf>\n";

const char* const kSmallDocLayout =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" language=\"EN\" standalone=\"yes\"?>\n"
    "\n"
    "\n"
    "<shelf code=\"a1\" count=\"2\">\n"
    "  <book isbn=\"1-2\" state=\"undefined\" />\n"
    "   Two books,\tone note\n"
    "  <note>\n"
    "    keep dry\n"
    "  </note>\n"
    "</shelf>\n";

void CliTest::SetUp() {
  root_ = std::make_unique<linexml::test::TempDir>();
  dir_ = *root_ / "work";
  io_ = *root_ / "io";
  fs::create_directories(dir_);
  fs::create_directories(io_);
  // The tool reads option defaults from $XDG_CONFIG_HOME/linexml/config: a folder of the test's
  // own keeps the user's real configuration out of every run.
  config_ = *root_ / "config";
  fs::create_directories(config_ + "/linexml");
  ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
}

void CliTest::TearDown() {
  root_.reset();
}

std::string CliTest::Path(const std::string& Name) const {
  return dir_ + "/" + Name;
}

std::string CliTest::Write(const std::string& Name, const std::string& Content) const {
  const std::string P = Path(Name);
  std::ofstream(P, std::ios::binary) << Content;
  return P;
}

std::string CliTest::Read(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

RunResult CliTest::Run(const std::vector<std::string>& Args, const std::string& Stdin,
                       const std::string& StdoutPath) const {
  std::vector<std::string> Argv{LINEXML_CLI};
  Argv.insert(Argv.end(), Args.begin(), Args.end());
  return RunProgram(Argv, Stdin, StdoutPath);
}

RunResult CliTest::RunProgram(const std::vector<std::string>& Argv, const std::string& Stdin,
                              const std::string& StdoutPath) const {
  const std::string In = io_ + "/stdin", Out = io_ + "/stdout", Err = io_ + "/stderr";
  std::ofstream(In, std::ios::binary) << Stdin;

  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 0, In.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&Actions, 1, StdoutPath.empty() ? Out.c_str() : StdoutPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&Actions, 2, Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> Ptrs;
  for (const std::string& A : Argv) Ptrs.push_back(const_cast<char*>(A.c_str()));
  Ptrs.push_back(nullptr);

  RunResult R;
  pid_t Pid = 0;
  const int Rc = posix_spawn(&Pid, Argv[0].c_str(), &Actions, nullptr, Ptrs.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Rc != 0) {
    ADD_FAILURE() << "cannot start " << Argv[0];
    return R;
  }
  int Status = 0;
  while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
  }
  R.Exit = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  if (StdoutPath.empty()) R.Out = Read(Out);
  R.Err = Read(Err);
  return R;
}
