#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What one line of a batch file asks for, worked out without running anything, so the
// interpreter's reading of a line can be tested and fuzzed apart from the processes it starts.

struct TBatchLine {
  enum class TKind {
    blBlank,      ///< empty or only blanks (also after "@"): nothing, not even echoed
    blNothing,    ///< echoed, then nothing: "rem", or a program line whose words all came out empty
    blCls,        ///< clear the console
    blEchoState,  ///< "echo" alone: print whether echo is on
    blEchoOff,
    blEchoOn,
    blEcho,     ///< print Text
    blProgram,  ///< start Words[0] with the other words as its arguments
    blError,    ///< a line that cannot be run; Text says why
  };
  TKind Kind = TKind::blBlank;
  bool Quiet = false;              ///< "@" in front: the line is not echoed
  std::string Shown;               ///< the line as echoed: after "@", with %0-%9 replaced
  std::string Text;                ///< blEcho: the text to print; blError: the reason
  std::vector<std::string> Words;  ///< blProgram: never empty
  int Redirect = 0;                ///< blProgram: 0 none, 1 ">" (replace), 2 ">>" (append)
  std::string Target;  ///< the redirection's file name as written, %N replaced; not empty
};

/// %0-%9 become params[0..9] (missing ones empty); %% is one percent sign; the rest is kept.
std::string SubstituteBatchParams(std::string_view text, const std::vector<std::string>& params);

/// Reads one line (without its line end). Words are cut at blanks and ">" before %N is replaced,
/// so a parameter's value always stays one word whatever it holds.
TBatchLine ParseBatchLine(std::string_view line, const std::vector<std::string>& params);

/// Calls visit for each line of a batch text, without its LF or CRLF end; the text after the last
/// line feed counts as a line too. Stops when visit returns false.
void ForEachBatchLine(std::string_view text, const std::function<bool(std::string_view)>& visit);
