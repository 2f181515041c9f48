// The batch interpreter's reading of a line, apart from the programs it starts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BatchLine.h"
#include "launch/BatchFile.h"

namespace {

using TKind = TBatchLine::TKind;
const std::vector<std::string> Params = {"batch.bat", "game", "-v", "", "a b"};

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  ForEachBatchLine(text, [&](std::string_view line) {
    lines.emplace_back(line);
    return true;
  });
  return lines;
}

}  // namespace

TEST(BatchLine, LinesEndAtLfOrCrLfAndTheLastNeedsNoEnd) {
  EXPECT_EQ(Lines("a\r\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Lines("a\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(Lines(""), (std::vector<std::string>{""}));
  EXPECT_EQ(Lines("\r\r\n"), (std::vector<std::string>{"\r", ""}));  // one CR belongs to the end
  int visited = 0;
  ForEachBatchLine("1\n2\n3", [&](std::string_view) { return ++visited < 2; });
  EXPECT_EQ(visited, 2);
}

TEST(BatchLine, CommandsEchoAndBlankLines) {
  EXPECT_EQ(ParseBatchLine("   ", Params).Kind, TKind::blBlank);
  const TBatchLine at = ParseBatchLine(" @  ", Params);
  EXPECT_EQ(at.Kind, TKind::blBlank);
  EXPECT_TRUE(at.Quiet);
  EXPECT_EQ(ParseBatchLine("REM %1 > x", Params).Kind, TKind::blNothing);
  EXPECT_EQ(ParseBatchLine("Cls", Params).Kind, TKind::blCls);
  EXPECT_EQ(ParseBatchLine("echo", Params).Kind, TKind::blEchoState);
  EXPECT_EQ(ParseBatchLine("@echo  OFF ", Params).Kind, TKind::blEchoOff);
  EXPECT_EQ(ParseBatchLine("echo on", Params).Kind, TKind::blEchoOn);
  const TBatchLine echo = ParseBatchLine("echo  %1 > 100%% %9", Params);
  EXPECT_EQ(echo.Kind, TKind::blEcho);
  EXPECT_EQ(echo.Text, " game > 100% ");  // as written after the one blank, nothing redirected
  EXPECT_EQ(echo.Shown, "echo  game > 100% ");
  EXPECT_EQ(ParseBatchLine("echo.", Params).Kind, TKind::blProgram);  // not the echo command
}

TEST(BatchLine, ParameterValuesStayOneWordAndNeverRedirect) {
  const std::vector<std::string> hostile = {"x.bat", "-d1&rm x;", "$(id)>y", "\"a\"", "`id`|z"};
  const TBatchLine line = ParseBatchLine("velk.exe %1 %2 %3 %4 %5 > VELKStart.txt", hostile);
  ASSERT_EQ(line.Kind, TKind::blProgram);
  EXPECT_EQ(line.Words,
            (std::vector<std::string>{"velk.exe", "-d1&rm x;", "$(id)>y", "\"a\"", "`id`|z"}));
  EXPECT_EQ(line.Redirect, 1);
  EXPECT_EQ(line.Target, "VELKStart.txt");
  // %N is replaced once: a value that looks like a parameter stays as it is.
  EXPECT_EQ(ParseBatchLine("p %1", {"b", "%2", "boom"}).Words,
            (std::vector<std::string>{"p", "%2"}));
}

TEST(BatchLine, EmptyWordsRedirectionsAndErrors) {
  // Empty parameters vanish unless quoted; a line of nothing but them runs nothing.
  EXPECT_EQ(ParseBatchLine("p %3 \"%3\" %8", Params).Words, (std::vector<std::string>{"p", ""}));
  const TBatchLine nothing = ParseBatchLine("%3 %8 > out", Params);
  EXPECT_EQ(nothing.Kind, TKind::blNothing);
  EXPECT_EQ(nothing.Redirect, 0);
  const TBatchLine append = ParseBatchLine("p>>\"log file\"", Params);
  EXPECT_EQ(append.Redirect, 2);
  EXPECT_EQ(append.Target, "log file");
  EXPECT_EQ(ParseBatchLine("p \"a > b\" c", Params).Words,
            (std::vector<std::string>{"p", "a > b", "c"}));
  for (const char* bad : {"p >", "p > > x", "p >>>x", "p > %3"}) {
    const TBatchLine error = ParseBatchLine(bad, Params);
    EXPECT_EQ(error.Kind, TKind::blError) << bad;
    EXPECT_NE(error.Text.find("file name after \">\" in: p"), std::string::npos) << error.Text;
  }
}

TEST(BatchLine, TheFrontEndsBatchFileReadsAsWritten) {
  std::vector<TBatchLine> lines;
  ForEachBatchLine(BatchFileText(), [&](std::string_view line) {
    lines.push_back(ParseBatchLine(line, Params));
    return true;
  });
  int programs = 0;
  for (const TBatchLine& line : lines) {
    EXPECT_NE(line.Kind, TKind::blError) << line.Shown;
    if (line.Kind != TKind::blProgram) continue;
    ++programs;
    EXPECT_EQ(line.Words, (std::vector<std::string>{"velk.exe", "game", "-v", "a b"}));
    EXPECT_EQ(line.Redirect, 1);
  }
  EXPECT_EQ(programs, 1);
}
