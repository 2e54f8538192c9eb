#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_util.h"

// Runs the built linexml tool the way a user's shell would: own process, standard input from a
// file, standard output and error captured, exit status returned.
struct RunResult {
  int Exit = -1;  // the exit status, or 128 + signal when the tool was killed
  std::string Out;
  std::string Err;
};

// A fixture with a fresh folder per test; files are written and read relative to it.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Path of Name inside the test's folder.
  std::string Path(const std::string& Name) const;
  // Writes Content to Name in the test's folder and returns its path.
  std::string Write(const std::string& Name, const std::string& Content) const;
  static std::string Read(const std::string& Path);

  // linexml ARGS..., with Stdin as standard input. StdoutPath, when given, replaces the capture
  // of standard output (e.g. "/dev/full").
  RunResult Run(const std::vector<std::string>& Args, const std::string& Stdin = {},
                const std::string& StdoutPath = {}) const;
  // Any program with its full argument vector (Argv[0] is an absolute path).
  RunResult RunProgram(const std::vector<std::string>& Argv, const std::string& Stdin = {},
                       const std::string& StdoutPath = {}) const;

  std::unique_ptr<linexml::test::TempDir> root_;
  std::string dir_;     // the test's files
  std::string io_;      // captured streams, kept apart so that listings of dir_ see only the test's files
  std::string config_;  // $XDG_CONFIG_HOME of the runs: config_ + "/linexml/config" is the tool's file
};

// A small document that loads with ecOk, and its layout as the tool writes it.
extern const char* const kSmallDoc;
extern const char* const kSmallDocLayout;
