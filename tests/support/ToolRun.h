// Starts the command-line tools that tests and benchmarks compare with (unzip, zip, 7z, bsdtar,
// python3). POSIX only.
#pragma once

#include <string>
#include <vector>

// Runs a tool found on PATH with its arguments as a list, its output discarded, and waits for it;
// true when it ran and exited with 0. *cpuSeconds, when given, grows by the CPU time the tool
// used (user and system, its start included).
bool RunTool(const std::vector<std::string>& args, double* cpuSeconds = nullptr);
