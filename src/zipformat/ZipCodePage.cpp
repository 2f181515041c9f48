#include "ZipCodePage.h"

#include <algorithm>

#include "platform/Text.h"

#ifdef _WIN32
#include <windows.h>
#undef OemToAnsi  // a macro of the Windows headers, not this file's function
#endif

namespace zip {
namespace {

#ifndef _WIN32
// Code page 437, characters 128 to 255.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};
#endif

}  // namespace

bool IsOemText(std::uint16_t versionMadeBy, TCodePageRule rule) {
  const unsigned host = versionMadeBy >> 8;
  const unsigned madeBy = versionMadeBy & 0xFF;
  if (rule == TCodePageRule::cpOEM) return true;
  if (rule == TCodePageRule::cpAuto && host == 0) return true;
  return host == 6 || (host == 11 && madeBy == 50);
}

std::string OemToAnsi(std::string_view text) {
  std::string out;
  AppendOemToAnsi(out, text);
  return out;
}

void AppendOemToAnsi(std::string& out, std::string_view text) {
  // Most names are plain ASCII: taken whole, as a listing of many entries spends its time here.
  if (std::none_of(text.begin(), text.end(), [](char c) { return c & 0x80; })) {
    out += text;
    return;
  }
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 128) {
      out += ch;
      continue;
    }
#ifdef _WIN32
    char converted = ch;
    ::OemToCharBuffA(&ch, &converted, 1);
    out += converted;
#else
    const char16_t u = kCp437High[byte - 128];
    if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
#endif
  }
}

std::optional<std::string> Utf8ToNarrow(std::string_view text) {
  if (!IsValidUtf8(text)) return std::nullopt;
#ifdef _WIN32
  if (text.empty()) return std::string();
  const int wide =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(wide), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), w.data(), wide);
  BOOL lossy = FALSE;
  const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), wide, nullptr, 0,
                                      nullptr, &lossy);
  if (n <= 0 || lossy) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), wide, out.data(), n, nullptr,
                        nullptr);
  return out;
#else
  return std::string(text);
#endif
}

bool AppendUtf8ToNarrow(std::string& out, std::string_view text) {
#ifdef _WIN32
  const std::optional<std::string> narrow = Utf8ToNarrow(text);
  if (!narrow) return false;
  out += *narrow;
  return true;
#else
  if (!IsValidUtf8(text)) return false;
  out += text;  // the narrow encoding is UTF-8: nothing to convert
  return true;
#endif
}

}  // namespace zip
