// The read-ahead inflater on its own: results in job order whatever the helpers do, jobs passed by
// without being taken, and no helper at all.

#include <gtest/gtest.h>
#include <libdeflate.h>

#include <string>
#include <vector>

#include "InflateAhead.h"

namespace unziplib {
namespace {

struct TArchiveData {
  std::vector<std::string> Raw, Packed;
  std::vector<TInflateJob> Jobs;
};

// count deflated entries of distinct sizes; entry 3's CRC is wrong and entry 5's data is cut.
TArchiveData MakeJobs(int count) {
  TArchiveData a;
  libdeflate_compressor* c = libdeflate_alloc_compressor(6);
  for (int i = 0; i < count; ++i) {
    std::string raw;
    for (int k = 0; k < 3000 + i * 977; ++k) raw += static_cast<char>('a' + (k * (i + 3)) % 23);
    std::string packed(libdeflate_deflate_compress_bound(c, raw.size()), '\0');
    packed.resize(
        libdeflate_deflate_compress(c, raw.data(), raw.size(), packed.data(), packed.size()));
    a.Raw.push_back(raw);
    a.Packed.push_back(packed);
  }
  libdeflate_free_compressor(c);
  for (int i = 0; i < count; ++i) {
    const auto* data = reinterpret_cast<const unsigned char*>(a.Packed[i].data());
    const std::uint32_t crc = libdeflate_crc32(0, a.Raw[i].data(), a.Raw[i].size());
    a.Jobs.push_back({data, i == 5 ? a.Packed[i].size() / 2 : a.Packed[i].size(), a.Raw[i].size(),
                      8, i == 3 ? crc ^ 1 : crc});
  }
  return a;
}

TEST(InflateAhead, ResultsComeInJobOrderAndPassedJobsAreDropped) {
  for (unsigned helpers : {0u, 1u, 4u}) {
    const TArchiveData a = MakeJobs(40);
    TInflateAhead ahead(a.Jobs, helpers);
    for (std::size_t i = 0; i < a.Jobs.size(); ++i) {
      if (i % 7 == 6) {  // passed by, as an entry whose file exists already
        ahead.Release(i);
        continue;
      }
      const TInflated& r = ahead.Take(i);
      EXPECT_EQ(r.Ok, i != 5) << i;
      EXPECT_EQ(r.CrcOk, i != 3 && i != 5) << i;
      if (r.CrcOk) {
        EXPECT_EQ(std::string(r.Bytes.begin(), r.Bytes.begin() + a.Raw[i].size()), a.Raw[i]) << i;
      }
      ahead.Release(i);
    }
  }
}

TEST(InflateAhead, StopsHalfWayWithoutWaitingForTheRest) {
  const TArchiveData a = MakeJobs(200);
  TInflateAhead ahead(a.Jobs, 2);
  EXPECT_TRUE(ahead.Take(0).CrcOk);
  ahead.Release(0);
  // Destroyed here with jobs claimed, done and not yet claimed: the helpers end after their job.
}

}  // namespace
}  // namespace unziplib
