#include "EmuExeDate.h"

#include <cstdio>

#include "platform/Files.h"

namespace {

bool LocalTime(std::time_t time, std::tm& out) {
#ifdef _WIN32
  return localtime_s(&out, &time) == 0;
#else
  return localtime_r(&time, &out) != nullptr;
#endif
}

bool TakeNumber(std::string_view& text, std::size_t digits, int& value) {
  if (text.size() < digits) return false;
  value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  text.remove_prefix(digits);
  return true;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::string FormatEmuExeDate(std::time_t time) {
  std::tm tm{};
  if (!LocalTime(time, tm)) return {};
  tm.tm_sec -= tm.tm_sec % 2;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

std::optional<std::time_t> ParseEmuExeDate(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  int year, month, day, hour, minute, second;
  if (!TakeNumber(text, 4, year) || !TakeChar(text, '-') || !TakeNumber(text, 2, month) ||
      !TakeChar(text, '-') || !TakeNumber(text, 2, day) || !TakeChar(text, ' ') ||
      !TakeNumber(text, 2, hour) || !TakeChar(text, ':') || !TakeNumber(text, 2, minute) ||
      !TakeChar(text, ':') || !TakeNumber(text, 2, second) || !text.empty())
    return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  const std::time_t time = std::mktime(&tm);
  // mktime normalises impossible dates (30 February); those do not parse. An hour skipped by a
  // clock change moves too and counts as no date either.
  if (time == static_cast<std::time_t>(-1) || tm.tm_year != year - 1900 || tm.tm_mon != month - 1 ||
      tm.tm_mday != day || tm.tm_hour != hour || tm.tm_min != minute)
    return std::nullopt;
  return time;
}

std::string EmuExeDateOf(const std::string& path) {
  const auto age = platform::FileAge(path);
  return age ? FormatEmuExeDate(*age) : std::string();
}

bool EmuExeDateMatches(std::string_view stored, const std::string& path) {
  const auto storedTime = ParseEmuExeDate(stored);
  const std::string now = EmuExeDateOf(path);
  // Compared as canonical texts: the same local fields at even seconds are the same file date.
  return storedTime && !now.empty() && FormatEmuExeDate(*storedTime) == now;
}
