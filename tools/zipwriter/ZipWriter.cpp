#include "ZipWriter.h"

#include <libdeflate.h>

#include <fstream>
#include <stdexcept>

namespace {

void Put16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

}  // namespace

std::string DeflateBytes(const std::string& data, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  if (!c) throw std::runtime_error("libdeflate_alloc_compressor failed");
  std::string out(libdeflate_deflate_compress_bound(c, data.size()), '\0');
  const std::size_t n =
      libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size());
  libdeflate_free_compressor(c);
  out.resize(n);
  return out;
}

TZipWriterEntry& TZipWriter::Add(std::string name, std::string data, std::uint16_t method) {
  TZipWriterEntry e;
  e.Name = std::move(name);
  e.Data = std::move(data);
  e.Method = method;
  return Add(std::move(e));
}

TZipWriterEntry& TZipWriter::Add(TZipWriterEntry entry) {
  Entries.push_back(std::move(entry));
  return Entries.back();
}

std::vector<TZipWriter::TPrepared> TZipWriter::Prepare() const {
  std::vector<TPrepared> out;
  for (const TZipWriterEntry& e : Entries) {
    TPrepared p;
    if (e.SameDataAs) {
      const TZipWriterEntry& first = Entries.at(*e.SameDataAs);
      p.Compressed.clear();
      p.Crc = e.Crc.value_or(out.at(*e.SameDataAs).Crc);
      p.CompressedSize = e.CompressedSize.value_or(out.at(*e.SameDataAs).CompressedSize);
      p.Size = e.Size.value_or(first.Size.value_or(static_cast<std::uint32_t>(first.Data.size())));
      out.push_back(std::move(p));
      continue;
    }
    p.Compressed = e.RawData                                 ? *e.RawData
                   : e.Method == TZipWriterEntry::zmDeflated ? DeflateBytes(e.Data, e.Level)
                                                             : e.Data;
    p.Crc = e.Crc.value_or(libdeflate_crc32(0, e.Data.data(), e.Data.size()));
    p.CompressedSize = e.CompressedSize.value_or(static_cast<std::uint32_t>(p.Compressed.size()));
    p.Size = e.Size.value_or(static_cast<std::uint32_t>(e.Data.size()));
    out.push_back(std::move(p));
  }
  return out;
}

std::string TZipWriter::LocalHeader(const TZipWriterEntry& e, const TPrepared& p) const {
  std::string h;
  Put32(h, 0x04034b50);
  Put16(h, e.VersionNeeded);
  Put16(h, e.Flags | (e.DataDescriptor ? 8 : 0));
  Put16(h, e.Method);
  Put16(h, e.Time);
  Put16(h, e.Date);
  Put32(h, e.DataDescriptor ? 0 : p.Crc);
  Put32(h, e.DataDescriptor ? 0 : p.CompressedSize);
  Put32(h, e.DataDescriptor ? 0 : p.Size);
  Put16(h, static_cast<std::uint32_t>(e.Name.size()));
  Put16(h, static_cast<std::uint32_t>(e.LocalExtra.size()));
  return h + e.Name + e.LocalExtra;
}

std::string TZipWriter::Descriptor(const TZipWriterEntry& e, const TPrepared& p) const {
  std::string d;
  if (!e.DataDescriptor) return d;
  if (e.DescriptorSignature) Put32(d, 0x08074b50);
  Put32(d, p.Crc);
  Put32(d, p.CompressedSize);
  Put32(d, p.Size);
  return d;
}

std::string TZipWriter::CentralHeader(const TZipWriterEntry& e, const TPrepared& p,
                                      std::uint32_t offset, std::uint16_t disk) const {
  std::string h;
  Put32(h, 0x02014b50);
  Put16(h, e.VersionMadeBy);
  Put16(h, e.VersionNeeded);
  Put16(h, e.Flags | (e.DataDescriptor ? 8 : 0));
  Put16(h, e.Method);
  Put16(h, e.Time);
  Put16(h, e.Date);
  Put32(h, p.Crc);
  Put32(h, p.CompressedSize);
  Put32(h, p.Size);
  Put16(h, static_cast<std::uint32_t>(e.Name.size()));
  Put16(h, static_cast<std::uint32_t>(e.CentralExtra.size()));
  Put16(h, static_cast<std::uint32_t>(e.Comment.size()));
  Put16(h, disk);
  Put16(h, 0);
  Put32(h, e.ExternalAttributes);
  Put32(h, offset);
  return h + e.Name + e.CentralExtra + e.Comment;
}

std::string TZipWriter::Build(TZipLayout* layout) const {
  TZipLayout l;
  const std::vector<TPrepared> prepared = Prepare();
  std::string out = Prefix;
  std::string central;
  std::vector<std::uint32_t> offsets;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    if (const auto& same = Entries[i].SameDataAs) {
      offsets.push_back(offsets.at(*same));
      l.LocalHeaders.push_back(l.LocalHeaders.at(*same));
      l.DataOffsets.push_back(l.DataOffsets.at(*same));
      central += CentralHeader(Entries[i], prepared[i], offsets.back(), 0);
      continue;
    }
    const std::uint32_t offset = static_cast<std::uint32_t>(out.size() - Prefix.size());
    offsets.push_back(offset);
    l.LocalHeaders.push_back(out.size());
    out += LocalHeader(Entries[i], prepared[i]);
    l.DataOffsets.push_back(out.size());
    out += prepared[i].Compressed;
    out += Descriptor(Entries[i], prepared[i]);
    central += CentralHeader(Entries[i], prepared[i], offset, 0);
  }
  l.CentralDirectory = out.size();
  for (std::size_t i = 0, pos = out.size(); i < Entries.size(); ++i) {
    l.CentralHeaders.push_back(pos);
    pos += 46 + Entries[i].Name.size() + Entries[i].CentralExtra.size() + Entries[i].Comment.size();
  }
  const std::uint32_t centralOffset = static_cast<std::uint32_t>(out.size() - Prefix.size());
  out += central;
  l.CentralSize = central.size();
  l.EndRecord = out.size();
  const std::uint16_t count =
      EntryCountOverride.value_or(static_cast<std::uint16_t>(Entries.size()));
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, count);
  Put16(out, count);
  Put32(out, static_cast<std::uint32_t>(central.size()));
  Put32(out, centralOffset);
  Put16(out, static_cast<std::uint32_t>(Comment.size()));
  out += Comment;
  out += Trailer;
  if (layout) *layout = l;
  return out;
}

std::vector<std::string> TZipWriter::BuildVolumes(std::size_t volumeSize) const {
  if (volumeSize < 512) throw std::invalid_argument("volumes must hold at least 512 bytes");
  const std::vector<TPrepared> prepared = Prepare();
  std::vector<std::string> volumes(1);
  Put32(volumes[0], 0x08074b50);
  // Headers move whole to the next volume when they do not fit; data is cut anywhere.
  auto room = [&] { return volumeSize - volumes.back().size(); };
  auto putWhole = [&](const std::string& bytes) {
    if (bytes.size() > room()) volumes.emplace_back();
    volumes.back() += bytes;
  };
  auto putSplit = [&](const std::string& bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
      if (room() == 0) volumes.emplace_back();
      const std::size_t n = std::min(room(), bytes.size() - pos);
      volumes.back().append(bytes, pos, n);
      pos += n;
    }
  };
  std::string central;
  std::vector<std::pair<std::uint16_t, std::uint32_t>> places;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    if (const auto& same = Entries[i].SameDataAs) {
      places.push_back(places.at(*same));
      central += CentralHeader(Entries[i], prepared[i], places.back().second, places.back().first);
      continue;
    }
    const std::string local = LocalHeader(Entries[i], prepared[i]);
    if (local.size() > room()) volumes.emplace_back();
    const auto disk = static_cast<std::uint16_t>(volumes.size() - 1);
    const auto offset = static_cast<std::uint32_t>(volumes.back().size());
    places.emplace_back(disk, offset);
    volumes.back() += local;
    putSplit(prepared[i].Compressed);
    const std::string descriptor = Descriptor(Entries[i], prepared[i]);
    if (!descriptor.empty()) putWhole(descriptor);
    central += CentralHeader(Entries[i], prepared[i], offset, disk);
  }
  std::string end;
  Put32(end, 0x06054b50);
  if (central.size() + 22 + Comment.size() > room()) volumes.emplace_back();
  const auto last = static_cast<std::uint16_t>(volumes.size() - 1);
  const auto centralOffset = static_cast<std::uint32_t>(volumes.back().size());
  const auto count = static_cast<std::uint16_t>(Entries.size());
  Put16(end, last);
  Put16(end, last);
  Put16(end, count);
  Put16(end, count);
  Put32(end, static_cast<std::uint32_t>(central.size()));
  Put32(end, centralOffset);
  Put16(end, static_cast<std::uint32_t>(Comment.size()));
  volumes.back() += central + end + Comment;
  return volumes;
}

TZipLayout TZipWriter::WriteFile(const std::string& path) const {
  TZipLayout layout;
  const std::string bytes = Build(&layout);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
  return layout;
}
