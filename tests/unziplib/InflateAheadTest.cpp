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
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.Bytes.get()), a.Raw[i].size()),
                  a.Raw[i])
            << i;
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

TEST(InflateAhead, BuffersOfMixedSizesNeverHoldMoreThanTheBound) {
  // 8 MiB and 100-byte entries in turn: a buffer grown for a large one must not go to a small
  // one uncounted, and spare buffers count too.
  const std::string large(8u << 20, 'L'), small(100, 's');
  const auto* l = reinterpret_cast<const unsigned char*>(large.data());
  const auto* s = reinterpret_cast<const unsigned char*>(small.data());
  const std::uint32_t lc = libdeflate_crc32(0, l, large.size()), sc = libdeflate_crc32(0, s, 100);
  std::vector<TInflateJob> jobs;
  for (int i = 0; i < 40; ++i)
    jobs.push_back(i % 2 ? TInflateJob{s, 100, 100, 0, sc}
                         : TInflateJob{l, large.size(), large.size(), 0, lc});
  TInflateAhead ahead(jobs, 4);
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    EXPECT_TRUE(ahead.Take(i).CrcOk) << i;
    EXPECT_LE(ahead.HeldBytes(), TInflateAhead::kAheadBytes) << i;
    ahead.Release(i);
    EXPECT_LE(ahead.HeldBytes(), TInflateAhead::kAheadBytes) << i;
  }
  EXPECT_LE(ahead.PeakHeldBytes(), TInflateAhead::kAheadBytes);
  EXPECT_GT(ahead.PeakHeldBytes(), large.size());  // and it did read ahead
}

}  // namespace
}  // namespace unziplib
