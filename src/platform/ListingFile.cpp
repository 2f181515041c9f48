#include "ListingFile.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "Text.h"

namespace platform {
namespace {

using TData = TDirListing::TData;

// The file: kMagic, then eight words (kByteOrder, the stamp's device, inode, modification and
// status-change times, the read moment, the length of the directory's path, the number of
// entries), the length of the names, the checksum of what follows the header; then the path,
// zero-padded to a multiple of eight bytes, eight bytes an entry (where its name begins, its
// length, its kind, a zero) and the names one after the other.
constexpr char kMagic[16] = "StartVELK list1";
constexpr std::uint64_t kByteOrder = 0x0102030405060708ull;
constexpr std::size_t kWords = 10;
constexpr std::size_t kHeader = sizeof kMagic + kWords * 8;
constexpr std::size_t kItem = 8;
constexpr std::size_t kMaxName = 255;  // the longest name a directory entry may have

std::size_t Padded(std::size_t n) { return (n + 7) / 8 * 8; }

template <typename T>
T At(std::string_view bytes, std::size_t at) {
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

template <typename T>
void Append(std::string& bytes, T value) {
  bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

std::string EncodeListing(std::string_view dir, const TDirStamp& stamp, std::int64_t readNs,
                          const TData& entries) {
  std::vector<std::uint32_t> order(entries.Items.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&entries](std::uint32_t a, std::uint32_t b) {
    return entries.Name(a) < entries.Name(b);
  });
  std::string body(dir);
  body.resize(Padded(dir.size()), '\0');
  std::uint32_t at = 0;
  for (const std::uint32_t i : order) {
    const TData::TItem& item = entries.Items[i];
    Append(body, at);
    Append(body, item.Length);
    Append(body, static_cast<std::uint8_t>(item.Kind));
    Append(body, std::uint8_t{0});
    at += item.Length;
  }
  for (const std::uint32_t i : order) body += entries.Name(i);
  std::string bytes(kMagic, sizeof kMagic);
  for (const std::uint64_t word :
       {kByteOrder, stamp.Device, stamp.Inode, static_cast<std::uint64_t>(stamp.ModifiedNs),
        static_cast<std::uint64_t>(stamp.ChangedNs), static_cast<std::uint64_t>(readNs),
        std::uint64_t{dir.size()}, std::uint64_t{entries.Items.size()},
        std::uint64_t{at}, ChecksumWords(body)})
    Append(bytes, word);
  return bytes + body;
}

std::shared_ptr<TData> DecodeListing(std::string_view bytes, std::string_view dir,
                                     const TDirStamp& stamp) {
  if (bytes.size() < kHeader || bytes.size() > kMaxListingFileBytes ||
      bytes.substr(0, sizeof kMagic) != std::string_view(kMagic, sizeof kMagic))
    return nullptr;
  std::uint64_t word[kWords];
  for (std::size_t i = 0; i < kWords; ++i) word[i] = At<std::uint64_t>(bytes, sizeof kMagic + 8 * i);
  const auto readNs = static_cast<std::int64_t>(word[5]);
  const std::uint64_t count = word[7], namesLength = word[8];
  // Each bounded by the file's size before any sum, so that none can overflow.
  if (word[0] != kByteOrder || word[1] != stamp.Device || word[2] != stamp.Inode ||
      static_cast<std::int64_t>(word[3]) != stamp.ModifiedNs ||
      static_cast<std::int64_t>(word[4]) != stamp.ChangedNs || word[6] != dir.size() ||
      count > bytes.size() / kItem || namesLength > bytes.size() ||
      bytes.size() != kHeader + Padded(dir.size()) + count * kItem + namesLength)
    return nullptr;
  const std::string_view body = bytes.substr(kHeader);
  if (ChecksumWords(body) != word[9] || body.substr(0, dir.size()) != dir ||
      readNs > NowNs() || !StampVouches(stamp, readNs))
    return nullptr;

  auto data = std::make_shared<TData>();
  const std::string_view items = body.substr(Padded(dir.size()), count * kItem);
  data->Names.assign(body.substr(Padded(dir.size()) + count * kItem));
  data->Items.reserve(count);
  data->Index = TFoldedIndex(count);
  // What the checksum cannot tell: entries as a directory gives them, each name once, one
  // after the other.
  std::size_t next = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const auto at = At<std::uint32_t>(items, i * kItem);
    const auto length = At<std::uint16_t>(items, i * kItem + 4);
    const auto kind = At<std::uint8_t>(items, i * kItem + 6);
    if (at != next || length == 0 || length > kMaxName || at + length > namesLength ||
        kind > TData::kLookUp || items[i * kItem + 7] != 0)
      return nullptr;
    const std::string_view name = std::string_view(data->Names).substr(at, length);
    if (name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) return nullptr;
    data->Items.push_back({at, length, static_cast<TData::TKind>(kind)});
    const auto item = static_cast<std::uint32_t>(i);
    if (data->Index.Insert(name, item, [&](std::uint32_t j) { return data->Name(j) == name; }) !=
        item)
      return nullptr;
    next = at + length;
  }
  if (next != namesLength) return nullptr;
  return data;
}

}  // namespace platform
