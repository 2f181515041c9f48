#include "InflateAhead.h"

#include <libdeflate.h>

#include <cstring>
#include <new>
#include <system_error>

namespace unziplib {
namespace {

// Bytes inflated ahead and not yet written, at most (one larger job may still go alone).
constexpr std::uint64_t kAheadBytes = std::uint64_t{32} << 20;
// Buffers kept for reuse: one per thread that may be inflating, and a few for jobs done ahead.
constexpr std::size_t kSpareBuffers = 8;

}  // namespace

TInflateAhead::TInflateAhead(std::vector<TInflateJob> jobs, unsigned threads)
    : FJobs(std::move(jobs)), FResults(FJobs.size()), FState(FJobs.size(), jsFree) {
  try {
    for (unsigned t = 0; t < threads && FJobs.size() > 1; ++t)
      FHelpers.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // Fewer helpers, or none: Take inflates what no helper took.
  }
}

TInflateAhead::~TInflateAhead() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStop = true;
  }
  FChanged.notify_all();
  for (std::thread& helper : FHelpers) helper.join();
  if (FOwn) libdeflate_free_decompressor(FOwn);
}

void TInflateAhead::Inflate(const TInflateJob& job, TInflated& result, libdeflate_decompressor* d) {
  if (!job.Data) return;
  try {
    // A reused buffer that is large enough is not cleared again: every byte gets written.
    if (result.Bytes.size() < job.Size) result.Bytes.resize(job.Size);
  } catch (const std::bad_alloc&) {
    result.OutOfMemory = true;
    return;
  }
  if (job.Method == 0) {
    if (job.Size > 0) std::memcpy(result.Bytes.data(), job.Data, job.Size);
    result.Ok = true;
  } else if (d) {
    std::size_t inUsed = 0, outUsed = 0;
    result.Ok =
        libdeflate_deflate_decompress_ex(d, job.Data, job.CompressedSize, result.Bytes.data(),
                                         job.Size, &inUsed, &outUsed) == LIBDEFLATE_SUCCESS &&
        outUsed == job.Size;
  } else {
    result.OutOfMemory = true;  // no decompressor to be had
    return;
  }
  result.CrcOk = result.Ok && libdeflate_crc32(0, result.Bytes.data(), job.Size) == job.Crc;
}

// Claims the next job when there is room for it; with wait, sleeps until there is or until stop.
bool TInflateAhead::Claim(std::size_t& index, std::unique_lock<std::mutex>& lock, bool wait) {
  for (;;) {
    while (FNext < FJobs.size() && FState[FNext] == jsReleased) ++FNext;
    if (FStop || FNext >= FJobs.size()) return false;
    const std::uint64_t size = FJobs[FNext].Size;
    if (FInFlight == 0 || FInFlight + size <= kAheadBytes) {
      index = FNext++;
      FState[index] = jsClaimed;
      FInFlight += size;
      return true;
    }
    if (!wait) return false;
    FChanged.wait(lock);
  }
}

void TInflateAhead::Run(std::size_t index, std::unique_lock<std::mutex>& lock,
                        libdeflate_decompressor* d) {
  // Fresh buffers for each entry would cost a page fault per page and a clearing of each.
  if (!FSpare.empty()) {
    FResults[index].Bytes = std::move(FSpare.back());
    FSpare.pop_back();
  }
  lock.unlock();
  Inflate(FJobs[index], FResults[index], d);
  lock.lock();
  if (FState[index] == jsReleased) {  // the writer passed it by meanwhile
    FInFlight -= FJobs[index].Size;
    Recycle(index);
  } else {
    FState[index] = jsReady;
  }
  FChanged.notify_all();
}

void TInflateAhead::Work() {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  std::unique_lock<std::mutex> lock(FLock);
  for (std::size_t index; Claim(index, lock, true);) Run(index, lock, d);
  lock.unlock();
  if (d) libdeflate_free_decompressor(d);
}

// Called with the lock held. Buffers as many as can be in flight are kept; more are freed.
void TInflateAhead::Recycle(std::size_t index) {
  std::vector<unsigned char>& bytes = FResults[index].Bytes;
  if (!bytes.empty() && FSpare.size() < kSpareBuffers) FSpare.push_back(std::move(bytes));
  bytes = {};
}

TInflated& TInflateAhead::Take(std::size_t i) {
  std::unique_lock<std::mutex> lock(FLock);
  // Every job before i is released, and jobs are claimed in order: job i is claimed already, or
  // it is the next one and the writer inflates it itself.
  if (FState[i] == jsFree) {
    if (!FOwn) FOwn = libdeflate_alloc_decompressor();
    FNext = i + 1;
    FState[i] = jsClaimed;
    FInFlight += FJobs[i].Size;
    Run(i, lock, FOwn);
  }
  FChanged.wait(lock, [&] { return FState[i] == jsReady; });
  return FResults[i];
}

void TInflateAhead::Release(std::size_t i) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    const TState state = FState[i];
    FState[i] = jsReleased;
    if (state == jsReady) {
      FInFlight -= FJobs[i].Size;
      Recycle(i);
    }
    // A claimed job is dropped by its helper when done; a free one is passed over by Claim.
  }
  FChanged.notify_all();
}

}  // namespace unziplib
