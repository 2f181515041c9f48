#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Text.h"

/// An 8-bit string of at most N bytes held in place, so records that contain it stay plain values.
/// Assigning a longer text keeps its first N bytes and silently drops the rest; a cut never splits
/// a UTF-8 sequence of a text that is valid UTF-8.
template <std::size_t N>
class TShortString {
  static_assert(N > 0 && N < 256, "a short string holds at most 255 bytes");

 public:
  static constexpr std::size_t MaxLength = N;

  TShortString() = default;
  TShortString(std::string_view text) { Assign(text); }  // NOLINT: implicit like the strings it models
  TShortString(const char* text) : TShortString(std::string_view(text)) {}
  TShortString(const std::string& text) : TShortString(std::string_view(text)) {}

  TShortString& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  TShortString& operator=(const char* text) { return *this = std::string_view(text); }
  TShortString& operator=(const std::string& text) { return *this = std::string_view(text); }

  std::string_view view() const { return {FData.data(), FLength}; }
  std::string str() const { return std::string(view()); }
  operator std::string_view() const { return view(); }  // NOLINT
  const char* data() const { return FData.data(); }
  std::size_t size() const { return FLength; }
  bool empty() const { return FLength == 0; }

  friend bool operator==(const TShortString& a, const TShortString& b) { return a.view() == b.view(); }
  friend bool operator==(const TShortString& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const TShortString& a, const char* b) { return a.view() == std::string_view(b); }
  friend bool operator==(const TShortString& a, const std::string& b) { return a.view() == b; }

 private:
  void Assign(std::string_view text) {
    const std::size_t length = TruncatedLength(text, N);
    for (std::size_t i = 0; i < length; ++i) FData[i] = text[i];
    for (std::size_t i = length; i < N; ++i) FData[i] = '\0';
    FLength = static_cast<std::uint8_t>(length);
  }

  std::array<char, N> FData{};
  std::uint8_t FLength = 0;
};

using TString30 = TShortString<30>;
using TString8 = TShortString<8>;
using TString255 = TShortString<255>;
