// What the benchmarks share: generated ROM-like data and the start of a command-line tool to
// measure against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ROM-like contents: partly repetitive, partly noise, so that deflate and inflate have work to do.
std::string RomData(std::size_t size, std::uint32_t seed);

// Runs a tool found on PATH with its arguments as a list, its output discarded, and waits for it;
// true when it ran and exited with 0. *cpuSeconds, when given, grows by the CPU time the tool
// used (user and system, its start included).
bool RunTool(const std::vector<std::string>& args, double* cpuSeconds = nullptr);
