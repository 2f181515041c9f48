#include "BenchTools.h"

std::string RomData(std::size_t size, std::uint32_t seed) {
  std::string s(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = (i / 64) % 3 == 0 ? static_cast<char>(x >> 24) : static_cast<char>((i * 7) ^ (x >> 29));
  }
  return s;
}
