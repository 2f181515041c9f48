// The batch interpreter's reading of lines: any text as a batch file, with parameters that hold
// blanks, quotes, ">" and percent signs. A parameter's value must never change how a line splits
// into words or where its output goes.

#include <cstdint>
#include <string>
#include <vector>

#include "BatchLine.h"
#include "FuzzSupport.h"

namespace {

const std::vector<std::string> HostileParams = {
    "batch.bat", "a b",  "\"",
    ">x",        ">>y",  "%1",
    "%%",        "",     "-d640x480 & rm -rf / ; `id` $(id) | cat",
    "\t",        "@echo"};
const std::vector<std::string> PlainParams = {"batch.bat", "p", "p", "p", "p", "p",
                                              "p",         "",  "p", "p", "p"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using TKind = TBatchLine::TKind;
  ForEachBatchLine(fuzz::AsText(data, size), [](std::string_view text) {
    fuzz::Check(text.find('\n') == std::string_view::npos, "a line holds a line feed");
    const TBatchLine hostile = ParseBatchLine(text, HostileParams);
    const TBatchLine plain = ParseBatchLine(text, PlainParams);
    // Both sets leave the same parameters empty, so everything but the words' text must agree.
    fuzz::Check(hostile.Quiet == plain.Quiet, "parameters changed the @");
    fuzz::Check(hostile.Kind == plain.Kind, "parameters changed the kind of a line");
    fuzz::Check(hostile.Words.size() == plain.Words.size(), "parameters changed the word count");
    fuzz::Check(hostile.Redirect == plain.Redirect, "parameters changed the redirection");
    if (hostile.Kind == TKind::blProgram) fuzz::Check(!hostile.Words.empty(), "no program");
    if (hostile.Redirect != 0) fuzz::Check(!hostile.Target.empty(), "redirection to nothing");
    return true;
  });
  return 0;
}
