#pragma once

// The entries of a TDirListing, as the platform's sources build and read them.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Files.h"
#include "FoldedIndex.h"

struct platform::TDirListing::TData {
  enum TKind : std::uint8_t { kOther, kDirectory, kLookUp /* a link or of unknown kind */ };
  struct TItem {
    std::uint32_t At;  // into Names
    std::uint16_t Length;
    TKind Kind;
  };

  void Add(std::string_view name, TKind kind) {
    Items.push_back(
        {static_cast<std::uint32_t>(Names.size()), static_cast<std::uint16_t>(name.size()), kind});
    Names.append(name);
  }
  std::string_view Name(std::size_t i) const {
    return std::string_view(Names).substr(Items[i].At, Items[i].Length);
  }
  // Once every entry is added.
  void MakeIndex() {
    Index = TFoldedIndex(Items.size());
    for (std::size_t i = 0; i < Items.size(); ++i)
      Index.Add(Name(i), static_cast<std::uint32_t>(i));
  }

  static const std::shared_ptr<const TData>& Of(const TDirListing& listing) {
    return listing.FData;
  }
  static TDirListing Listing(std::shared_ptr<const TData> data, std::vector<std::uint32_t> linked) {
    TDirListing listing;
    listing.FData = std::move(data);
    listing.FLinkedDirs = std::move(linked);
    return listing;
  }

  std::string Names;  // every name, one after the other
  std::vector<TItem> Items;
  TFoldedIndex Index;
};
