#include "ZipWriter.h"

#include <libdeflate.h>

#include <algorithm>
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
      p.Crc = out.at(*e.SameDataAs).Crc;
      p.CompressedSize = out.at(*e.SameDataAs).CompressedSize;
      p.Size = first.Size.value_or(out.at(*e.SameDataAs).Size);
      out.push_back(std::move(p));
      continue;
    }
    p.Compressed = e.RawData                                 ? *e.RawData
                   : e.Method == TZipWriterEntry::zmDeflated ? DeflateBytes(e.Data, e.Level)
                                                             : e.Data;
    p.Crc = libdeflate_crc32(0, e.Data.data(), e.Data.size());
    if (e.Zeros > 0) {
      const std::string zeros(1 << 20, '\0');
      for (std::uint64_t left = e.Zeros; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
        p.Crc = libdeflate_crc32(p.Crc, zeros.data(), n);
        left -= n;
      }
    }
    p.CompressedSize = p.Compressed.size() + e.Zeros;
    p.Size = e.Data.size() + e.Zeros;
    out.push_back(std::move(p));
  }
  return out;
}

namespace {

bool Needs64(const TZipWriterEntry& e, std::uint64_t value) {
  return e.Zip64 || value >= 0xFFFFFFFFu;
}
// A header's 32-bit field: the override, else the value or the mark that the zip64 field has it.
std::uint32_t Field32(const TZipWriterEntry& e, std::optional<std::uint32_t> override,
                      std::uint64_t value) {
  if (override) return *override;
  return Needs64(e, value) ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}
void Put64(std::string& s, std::uint64_t v) {
  Put32(s, static_cast<std::uint32_t>(v));
  Put32(s, static_cast<std::uint32_t>(v >> 32));
}
std::string ExtraBlock(std::uint16_t id, const std::string& data) {
  std::string block;
  Put16(block, id);
  Put16(block, static_cast<std::uint32_t>(data.size()));
  return block + data;
}

}  // namespace

std::string UnicodePathExtra(const std::string& storedName, const std::string& utf8Name,
                             std::optional<std::uint32_t> crc) {
  std::string data(1, '\1');
  Put32(data, crc.value_or(libdeflate_crc32(0, storedName.data(), storedName.size())));
  return ExtraBlock(0x7075, data + utf8Name);
}

std::string TZipWriter::LocalHeader(const TZipWriterEntry& e, const TPrepared& p) const {
  const bool zip64 = Needs64(e, p.Size) || Needs64(e, p.CompressedSize);
  std::string extra = e.LocalExtra;
  if (zip64) {
    std::string values;
    Put64(values, e.DataDescriptor ? 0 : p.Size);
    Put64(values, e.DataDescriptor ? 0 : p.CompressedSize);
    extra = ExtraBlock(0x0001, values) + extra;
  }
  std::string h;
  Put32(h, 0x04034b50);
  Put16(h, e.VersionNeeded);
  Put16(h, e.Flags | (e.DataDescriptor ? 8 : 0));
  Put16(h, e.Method);
  Put16(h, e.Time);
  Put16(h, e.Date);
  Put32(h, e.DataDescriptor ? 0 : e.Crc.value_or(p.Crc));
  Put32(h, zip64              ? 0xFFFFFFFFu
           : e.DataDescriptor ? 0
                              : Field32(e, e.CompressedSize, p.CompressedSize));
  Put32(h, zip64 ? 0xFFFFFFFFu : e.DataDescriptor ? 0 : Field32(e, e.Size, p.Size));
  Put16(h, static_cast<std::uint32_t>(e.Name.size()));
  Put16(h, static_cast<std::uint32_t>(extra.size()));
  return h + e.Name + extra;
}

std::string TZipWriter::Descriptor(const TZipWriterEntry& e, const TPrepared& p) const {
  std::string d;
  if (!e.DataDescriptor) return d;
  if (e.DescriptorSignature) Put32(d, 0x08074b50);
  Put32(d, e.Crc.value_or(p.Crc));
  if (Needs64(e, p.Size) || Needs64(e, p.CompressedSize)) {
    Put64(d, p.CompressedSize);
    Put64(d, p.Size);
  } else {
    Put32(d, e.CompressedSize.value_or(static_cast<std::uint32_t>(p.CompressedSize)));
    Put32(d, e.Size.value_or(static_cast<std::uint32_t>(p.Size)));
  }
  return d;
}

std::string TZipWriter::CentralHeader(const TZipWriterEntry& e, const TPrepared& p,
                                      std::uint64_t offset, std::uint16_t disk) const {
  std::string values;
  if (!e.Size && Needs64(e, p.Size)) Put64(values, p.Size);
  if (!e.CompressedSize && Needs64(e, p.CompressedSize)) Put64(values, p.CompressedSize);
  if (Needs64(e, offset)) Put64(values, offset);
  const std::string extra =
      (values.empty() ? std::string() : ExtraBlock(0x0001, values)) + e.CentralExtra;
  std::string h;
  Put32(h, 0x02014b50);
  Put16(h, e.VersionMadeBy);
  Put16(h, e.VersionNeeded);
  Put16(h, e.Flags | (e.DataDescriptor ? 8 : 0));
  Put16(h, e.Method);
  Put16(h, e.Time);
  Put16(h, e.Date);
  Put32(h, e.Crc.value_or(p.Crc));
  Put32(h, Field32(e, e.CompressedSize, p.CompressedSize));
  Put32(h, Field32(e, e.Size, p.Size));
  Put16(h, static_cast<std::uint32_t>(e.Name.size()));
  Put16(h, static_cast<std::uint32_t>(extra.size()));
  Put16(h, static_cast<std::uint32_t>(e.Comment.size()));
  Put16(h, disk);
  Put16(h, 0);
  Put32(h, e.ExternalAttributes);
  Put32(h, Field32(e, std::nullopt, offset));
  return h + e.Name + extra + e.Comment;
}

void TZipWriter::Assemble(const TPut& put, const TSkip& skip, TZipLayout* layout) const {
  TZipLayout l;
  const std::vector<TPrepared> prepared = Prepare();
  std::uint64_t pos = 0;  // bytes written so far
  auto emit = [&](const std::string& bytes) {
    put(bytes);
    pos += bytes.size();
  };
  emit(Prefix);
  std::string central;
  std::vector<std::uint64_t> offsets;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    std::size_t centralAt = central.size();
    if (const auto& same = Entries[i].SameDataAs) {
      offsets.push_back(offsets.at(*same));
      l.LocalHeaders.push_back(l.LocalHeaders.at(*same));
      l.DataOffsets.push_back(l.DataOffsets.at(*same));
    } else {
      offsets.push_back(pos - Prefix.size());
      l.LocalHeaders.push_back(pos);
      emit(LocalHeader(Entries[i], prepared[i]));
      l.DataOffsets.push_back(pos);
      emit(prepared[i].Compressed);
      if (Entries[i].Zeros > 0) {
        skip(Entries[i].Zeros);
        pos += Entries[i].Zeros;
      }
      emit(Descriptor(Entries[i], prepared[i]));
    }
    central += CentralHeader(Entries[i], prepared[i], offsets.back(), 0);
    l.CentralHeaders.push_back(centralAt);  // made absolute below
  }
  l.CentralDirectory = pos;
  for (std::size_t& at : l.CentralHeaders) at += pos;
  const std::uint64_t centralOffset = pos - Prefix.size();
  emit(central);
  l.CentralSize = central.size();
  const bool zip64 = Zip64End || Entries.size() > 0xFFFE || centralOffset >= 0xFFFFFFFFu;
  const std::uint64_t count = EntryCountOverride ? *EntryCountOverride : Entries.size();
  std::string end;
  if (zip64) {
    const std::uint64_t recordOffset = pos - Prefix.size();
    Put32(end, 0x06064b50);
    Put64(end, 44);
    Put16(end, 45);
    Put16(end, 45);
    Put32(end, 0);
    Put32(end, 0);
    Put64(end, count);
    Put64(end, count);
    Put64(end, central.size());
    Put64(end, centralOffset);
    Put32(end, 0x07064b50);
    Put32(end, 0);
    Put64(end, recordOffset);
    Put32(end, 1);
  }
  l.EndRecord = pos + end.size();
  const auto count16 = static_cast<std::uint16_t>(std::min<std::uint64_t>(count, 0xFFFF));
  Put32(end, 0x06054b50);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, count16);
  Put16(end, count16);
  // As most writers do: in the 32-bit record every value that fits, the largest value for others.
  Put32(end, static_cast<std::uint32_t>(std::min<std::uint64_t>(central.size(), 0xFFFFFFFFu)));
  Put32(end, static_cast<std::uint32_t>(std::min<std::uint64_t>(centralOffset, 0xFFFFFFFFu)));
  Put16(end, static_cast<std::uint32_t>(Comment.size()));
  emit(end + Comment + Trailer);
  if (layout) *layout = l;
}

std::string TZipWriter::Build(TZipLayout* layout) const {
  std::string out;
  Assemble([&](const std::string& bytes) { out += bytes; },
           [&](std::uint64_t n) { out.append(static_cast<std::size_t>(n), '\0'); }, layout);
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
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  Assemble(
      [&](const std::string& bytes) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      },
      [&](std::uint64_t n) { out.seekp(static_cast<std::streamoff>(n), std::ios::cur); }, &layout);
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
  return layout;
}
