// What the benchmarks share: generated ROM-like data and the start of a command-line tool to
// measure against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ToolRun.h"

// ROM-like contents: partly repetitive, partly noise, so that deflate and inflate have work to do.
std::string RomData(std::size_t size, std::uint32_t seed);
