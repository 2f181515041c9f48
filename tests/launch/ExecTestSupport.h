#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Fake programs for the launcher and interpreter tests: small scripts that write down how they
// were started, so a test can see exactly which words, directory and priority arrived.

struct TRecord {
  std::string Cwd;
  int Nice = 0;
  std::string Pid;
  std::string WindowId;
  std::vector<std::string> Args;
  bool Found = false;
};

/// Writes an executable script at path that records to recordFile, prints "output of NAME" on
/// standard output, sleeps for seconds and exits with exitCode.
void WriteRecorder(const std::filesystem::path& path, const std::filesystem::path& recordFile,
                   int exitCode = 0, double seconds = 0);

/// Reads what a recorder wrote; Found is false when it never ran.
TRecord ReadRecord(const std::filesystem::path& recordFile);

/// Children of this process that have ended but were never reaped.
int ZombieChildren();

/// Polls until no zombie child is left or about two seconds have passed.
int ZombieChildrenAfterSettling();

struct TRunResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

/// Runs the batch interpreter that was built beside the tests, in the working directory.
TRunResult RunInterpreter(const std::vector<std::string>& args);

/// Path of the built interpreter.
std::string InterpreterPath();
