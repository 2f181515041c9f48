#pragma once

#include <string>
#include <variant>
#include <vector>

// The zip component's numbered messages.

using TZipMessageArg = std::variant<int, std::string>;

/// The message text of a number, or the text that tells that the string is missing.
std::string LoadZipString(int number);

/// LoadZipString with its %s, %d and %.1d placeholders filled from args, in order.
std::string FormatZipString(int number, const std::vector<TZipMessageArg>& args);
