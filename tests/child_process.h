#pragma once

// Running a check in a child process: to drop root's privileges, to lower a resource limit or to
// mount something in a private mount namespace without touching the test process, and to stop a
// check that hangs. The child reports back through a pipe: an empty text for success, else what
// went wrong.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <functional>
#include <string>

// Reports a skip from InChild ("skip: why") as a skip of the test.
#define EXPECT_REPORT_OK(Report)                                  \
  do {                                                            \
    const std::string R_ = (Report);                              \
    if (R_.rfind("skip: ", 0) == 0) GTEST_SKIP() << R_.substr(6); \
    EXPECT_EQ(R_, "");                                            \
  } while (0)

namespace linexml::test {

// Runs Body in a forked child and returns its report; "crashed ..." or "no answer within ..." when
// the child did not report. Never throws.
inline std::string InChild(const std::function<std::string()>& Body, int TimeoutSeconds = 60) {
  int Pipe[2];
  if (::pipe(Pipe) != 0) return "pipe failed";
  const pid_t Pid = ::fork();
  if (Pid < 0) return "fork failed";
  if (Pid == 0) {
    ::close(Pipe[0]);
    std::string Report;
    try {
      Report = Body();
    } catch (const std::exception& E) {
      Report = std::string("unexpected exception: ") + E.what();
    } catch (...) {
      Report = "unexpected exception";
    }
    Report.insert(0, 1, '=');  // so an empty report still arrives
    const char* P = Report.data();
    std::size_t Left = Report.size();
    while (Left > 0) {
      const ssize_t N = ::write(Pipe[1], P, Left);
      if (N <= 0) break;
      P += N;
      Left -= static_cast<std::size_t>(N);
    }
    ::_exit(0);
  }
  ::close(Pipe[1]);
  std::string Report;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(TimeoutSeconds);
  bool TimedOut = false;
  for (;;) {
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0) {
      TimedOut = true;
      break;
    }
    pollfd Fd{Pipe[0], POLLIN, 0};
    if (::poll(&Fd, 1, static_cast<int>(Left.count())) <= 0) continue;
    char Buf[4096];
    const ssize_t N = ::read(Pipe[0], Buf, sizeof Buf);
    if (N <= 0) break;
    Report.append(Buf, static_cast<std::size_t>(N));
  }
  ::close(Pipe[0]);
  if (TimedOut) ::kill(Pid, SIGKILL);
  int Status = 0;
  ::waitpid(Pid, &Status, 0);
  if (TimedOut) return "no answer within " + std::to_string(TimeoutSeconds) + " s";
  if (Report.empty()) {
    if (WIFSIGNALED(Status)) return "crashed with signal " + std::to_string(WTERMSIG(Status));
    return "the child ended without a report";
  }
  return Report.substr(1);
}

// In a child: become the unprivileged user "nobody" (65534), for checks that root would pass by
// its privileges alone. False when that is not possible.
inline bool BecomeNobody() {
  return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0 && ::geteuid() == 65534;
}

// In a child: a mount namespace of its own, so what it mounts vanishes with it. False when mounting
// is not allowed here.
inline bool PrivateMounts() {
  return ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

}  // namespace linexml::test
