#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FoldedIndex.h"

/// The short names of driver directories that the catalogue does not know yet, used during the
/// catalogue load only. Keeps insertion order; look-ups ignore ASCII letter case and cost the same
/// however many names it holds, so a load of many thousand games stays linear. The names lie in
/// one block, found through an index.
class TNewGames {
 public:
  void Add(std::string_view name);

  /// True when a name equal to name ignoring case is still held.
  bool Contains(std::string_view name) const;

  /// Removes the first held name equal to name ignoring case; false when there is none.
  bool Remove(std::string_view name);

  std::size_t Count() const { return FCount; }
  bool Empty() const { return FCount == 0; }

  /// The first name still held, in insertion order; empty when none is.
  std::string First() const;

  /// The names still held, in insertion order.
  std::vector<std::string> Names() const;

 private:
  struct TEntry {
    std::uint32_t At;
    std::uint32_t Length;
    bool Removed;
  };
  std::string_view Name(std::size_t i) const {
    return std::string_view(FNames).substr(FEntries[i].At, FEntries[i].Length);
  }
  // The first held entry equal to name ignoring case, or FEntries.size().
  std::size_t FindHeld(std::string_view name) const;

  std::string FNames;  // every name added, one after the other
  std::vector<TEntry> FEntries;
  TFoldedIndex FIndex;  // FEntries by name, removed ones too
  std::size_t FCount = 0;
  mutable std::size_t FFirst = 0;  // no entry before it is held any more
};
