#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// The short names of driver directories that the catalogue does not know yet, used during the
/// catalogue load only. Keeps insertion order; look-ups ignore ASCII letter case and cost the same
/// however many names it holds, so a load of many thousand games stays linear.
class TNewGames {
 public:
  void Add(std::string name);

  /// True when a name equal to name ignoring case is still held.
  bool Contains(std::string_view name) const;

  /// Removes the first held name equal to name ignoring case; false when there is none.
  bool Remove(std::string_view name);

  std::size_t Count() const { return FCount; }
  bool Empty() const { return FCount == 0; }

  /// The first name still held, in insertion order; empty when none is.
  const std::string& First() const;

  /// The names still held, in insertion order.
  std::vector<std::string> Names() const;

 private:
  struct TEntry {
    std::string Name;
    bool Removed = false;
  };
  std::vector<TEntry> FEntries;
  // Lower-case name -> indices into FEntries of the names not yet removed, oldest first.
  std::unordered_map<std::string, std::vector<std::size_t>> FIndex;
  std::size_t FCount = 0;
  mutable std::size_t FFirst = 0;  // no entry before it is held any more
};
