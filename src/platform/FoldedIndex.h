#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "Text.h"

/// Numbered items found by name ignoring ASCII letter case, in constant time: an open-addressed
/// table, at most half full, of item numbers placed by the hash of their folded names. Every item
/// whose name SameTextAscii finds equal to a name lies on that name's probe path. Each place
/// keeps 32 bits of its item's hash, so a probe looks at an item only when they match: a look-up
/// among tens of thousands touches little more than one place of the table.
class TFoldedIndex {
 public:
  /// Empty, with room for count items before the table grows.
  explicit TFoldedIndex(std::size_t count = 0) { Resize(count); }

  /// Adds an item under name; items below 2^32 - 1.
  void Add(std::string_view name, std::uint32_t item) {
    if ((FCount + 1) * 2 > FSlots.size()) Resize(FSlots.size());
    Place({Hash(name), item});
    ++FCount;
  }

  /// Adds item under name unless same(i) is true for an item i already there under a name that
  /// may equal it; returns that item, or item when it was added. One look-up for both.
  template <typename Same>
  std::uint32_t Insert(std::string_view name, std::uint32_t item, Same same) {
    if ((FCount + 1) * 2 > FSlots.size()) Resize(FSlots.size());
    const std::uint32_t hash = Hash(name);
    const std::size_t mask = FSlots.size() - 1;
    std::size_t at = hash & mask;
    for (; FSlots[at].Item != kFree; at = (at + 1) & mask)
      if (FSlots[at].Hash == hash && same(FSlots[at].Item)) return FSlots[at].Item;
    FSlots[at] = {hash, item};
    ++FCount;
    return item;
  }

  /// Calls visit(item) for every item whose name may equal name ignoring ASCII case (the caller
  /// compares) until visit returns true; true when it did.
  template <typename Visit>
  bool Probe(std::string_view name, Visit visit) const {
    const std::uint32_t hash = Hash(name);
    const std::size_t mask = FSlots.size() - 1;
    for (std::size_t at = hash & mask; FSlots[at].Item != kFree; at = (at + 1) & mask)
      if (FSlots[at].Hash == hash && visit(FSlots[at].Item)) return true;
    return false;
  }

 private:
  struct TSlot {
    std::uint32_t Hash = 0;
    std::uint32_t Item = kFree;
  };
  static constexpr std::uint32_t kFree = ~std::uint32_t{0};

  static std::uint32_t Hash(std::string_view name) {
    return static_cast<std::uint32_t>(HashAsciiFolded(name));
  }

  // Room for count items, the items placed so far placed again.
  void Resize(std::size_t count) {
    std::size_t size = 16;
    while (size < count * 2) size *= 2;
    if (size <= FSlots.size()) return;
    std::vector<TSlot> old(size);
    old.swap(FSlots);
    for (const TSlot& slot : old)
      if (slot.Item != kFree) Place(slot);
  }

  void Place(TSlot slot) {
    const std::size_t mask = FSlots.size() - 1;
    std::size_t at = slot.Hash & mask;
    while (FSlots[at].Item != kFree) at = (at + 1) & mask;
    FSlots[at] = slot;
  }

  std::vector<TSlot> FSlots;
  std::size_t FCount = 0;
};
