#include <langinfo.h>
#include <locale.h>
#include <wchar.h>
#include <wctype.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ScreenShotOrder.h"
#include "platform/Text.h"

namespace {

// The user's locale, read once from the environment; C.UTF-8 when it names none that exists.
// Letters are told by a Unicode character table even when the user's locale has none (C, POSIX,
// 8-bit locales), so accented letters fold their case everywhere.
locale_t UserLocale() {
  static const locale_t locale = [] {
    locale_t l = ::newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (!l) l = ::newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (l && std::strcmp(::nl_langinfo_l(CODESET, l), "UTF-8") != 0) {
      if (locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", l)) l = unicode;
    }
    return l;  // stays for the life of the program
  }();
  return locale;
}

std::u32string CodePoints(std::string_view name) {
  const std::string utf8 = DisplayText(name);  // valid UTF-8 from here on
  std::u32string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out.push_back(c);
    i += 1 + extra;
  }
  return out;
}

enum TCharClass { ccOther = 0, ccDigit = 1, ccLetter = 2 };

struct TSortChar {
  TCharClass Class;
  wchar_t Folded;
};

TSortChar SortChar(char32_t c, locale_t locale) {
  const auto w = static_cast<wchar_t>(c);
  if (c >= U'0' && c <= U'9') return {ccDigit, w};
  if (c < 0x80) {
    if ((c >= U'a' && c <= U'z')) return {ccLetter, w};
    if ((c >= U'A' && c <= U'Z')) return {ccLetter, static_cast<wchar_t>(c + 32)};
    return {ccOther, w};
  }
  if (locale && ::iswalpha_l(static_cast<wint_t>(w), locale))
    return {ccLetter, static_cast<wchar_t>(::towlower_l(static_cast<wint_t>(w), locale))};
  return {ccOther, w};
}

int CompareLetters(wchar_t a, wchar_t b, locale_t locale) {
  if (a == b) return 0;
  if (locale) {
    const wchar_t sa[2] = {a, 0};
    const wchar_t sb[2] = {b, 0};
    const int r = ::wcscoll_l(sa, sb, locale);
    if (r != 0) return r;
  }
  return a < b ? -1 : 1;
}

bool Skippable(char32_t c) {
  return c == U'-' || c == U'\'';
}

int ComparePass(const std::u32string& a, const std::u32string& b, bool skipHyphens,
                locale_t locale) {
  std::size_t i = 0, j = 0;
  for (;;) {
    if (skipHyphens) {
      while (i < a.size() && Skippable(a[i])) ++i;
      while (j < b.size() && Skippable(b[j])) ++j;
    }
    if (i == a.size() || j == b.size()) break;
    const TSortChar ca = SortChar(a[i++], locale);
    const TSortChar cb = SortChar(b[j++], locale);
    if (ca.Class != cb.Class) return ca.Class < cb.Class ? -1 : 1;
    if (ca.Folded == cb.Folded) continue;
    if (ca.Class == ccLetter) return CompareLetters(ca.Folded, cb.Folded, locale);
    return ca.Folded < cb.Folded ? -1 : 1;
  }
  const bool aDone = i == a.size(), bDone = j == b.size();
  if (aDone && bDone) return 0;
  return aDone ? -1 : 1;
}

}  // namespace

int CompareScreenShotNames(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  const locale_t locale = UserLocale();
  const std::u32string ca = CodePoints(a), cb = CodePoints(b);
  if (const int r = ComparePass(ca, cb, true, locale)) return r;
  if (const int r = ComparePass(ca, cb, false, locale)) return r;
  return a < b ? -1 : 1;
}
