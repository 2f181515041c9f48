#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

/// Raised when batch.bat cannot be written; the caller's general error report shows its text.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view BatchFileName = "batch.bat";
inline constexpr std::string_view ConsoleLogName = "VELKStart.txt";

/// The nine lines of batch.bat, each ended by CR LF.
std::string BatchFileText();

/// Writes batch.bat into dir (the emulator's directory; empty: the working directory), replacing
/// any file of that name in any letter case. Throws EInOutError when the file cannot be written.
void WriteBatchFile(const std::string& dir = "");

/// Deletes batch.bat and then VELKStart.txt from dir; failures are ignored.
void DeleteBatchFiles(const std::string& dir = "");
