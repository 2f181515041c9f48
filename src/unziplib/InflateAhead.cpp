#include "InflateAhead.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace unziplib {
namespace {

// Buffers kept for reuse: one per thread that may be inflating, and a few for jobs done ahead.
constexpr std::size_t kSpareBuffers = 8;

}  // namespace

TInflateAhead::TInflateAhead(std::vector<TInflateJob> jobs, unsigned threads,
                             std::function<void(const unsigned char*, std::uint64_t)> inputDone)
    : FJobs(std::move(jobs)),
      FResults(FJobs.size()),
      FState(FJobs.size(), jsFree),
      FInputDone(std::move(inputDone)) {
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
  if (!job.Data || result.OutOfMemory) return;
  if (job.Method == 0) {
    if (job.Size > 0) std::memcpy(result.Bytes.get(), job.Data, job.Size);
    result.Ok = true;
  } else if (d) {
    std::size_t inUsed = 0, outUsed = 0;
    result.Ok =
        libdeflate_deflate_decompress_ex(d, job.Data, job.CompressedSize, result.Bytes.get(),
                                         job.Size, &inUsed, &outUsed) == LIBDEFLATE_SUCCESS &&
        outUsed == job.Size;
  } else {
    result.OutOfMemory = true;  // no decompressor to be had
    return;
  }
  result.CrcOk = result.Ok && libdeflate_crc32(0, result.Bytes.get(), job.Size) == job.Crc;
}

// Gives job index a buffer within the bound, with the lock held; false while there is no room.
// Buffers are counted by their capacity, so the bound is what the buffers really hold.
bool TInflateAhead::Provide(std::size_t index) {
  const TInflateJob& job = FJobs[index];
  TInflated& result = FResults[index];
  if (!job.Data || job.Size == 0) return true;  // nothing to hold
  // A spare goes to a job that fills at least half of it: a large buffer handed to a small job
  // would hold its room for nothing. The closest fit among those is taken.
  auto best = FSpare.end();
  for (auto it = FSpare.begin(); it != FSpare.end(); ++it)
    if (it->Capacity >= job.Size && it->Capacity / 2 <= job.Size &&
        (best == FSpare.end() || it->Capacity < best->Capacity))
      best = it;
  if (best != FSpare.end()) {
    result.Bytes = std::move(best->Bytes);
    result.Capacity = best->Capacity;
    FSpare.erase(best);
    return true;
  }
  // Spares give way to a job that needs room, the largest first.
  while (FHeld + job.Size > kAheadBytes && !FSpare.empty()) {
    const auto largest = std::max_element(
        FSpare.begin(), FSpare.end(),
        [](const TInflated& a, const TInflated& b) { return a.Capacity < b.Capacity; });
    FHeld -= largest->Capacity;
    FSpare.erase(largest);
  }
  if (FHeld > 0 && FHeld + job.Size > kAheadBytes) return false;
  // Not cleared: every byte is written by the inflating, and clearing would touch every page.
  result.Bytes.reset(new (std::nothrow) unsigned char[job.Size]);
  if (!result.Bytes) {
    result.OutOfMemory = true;
    return true;
  }
  result.Capacity = job.Size;
  FHeld += job.Size;
  FPeak = std::max(FPeak, FHeld);
  return true;
}

// Claims the next job when there is room for it; with wait, sleeps until there is or until stop.
bool TInflateAhead::Claim(std::size_t& index, std::unique_lock<std::mutex>& lock, bool wait) {
  for (;;) {
    while (FNext < FJobs.size() && FState[FNext] == jsReleased) ++FNext;
    if (FStop || FNext >= FJobs.size()) return false;
    if (Provide(FNext)) {
      index = FNext++;
      FState[index] = jsClaimed;
      return true;
    }
    if (!wait) return false;
    FChanged.wait(lock);
  }
}

void TInflateAhead::Run(std::size_t index, std::unique_lock<std::mutex>& lock,
                        libdeflate_decompressor* d) {
  lock.unlock();
  Inflate(FJobs[index], FResults[index], d);
  if (FInputDone && FJobs[index].Data) FInputDone(FJobs[index].Data, FJobs[index].CompressedSize);
  lock.lock();
  if (FState[index] == jsReleased)  // the writer passed it by meanwhile
    Recycle(index);
  else
    FState[index] = jsReady;
  FChanged.notify_all();
}

void TInflateAhead::Work() {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  std::unique_lock<std::mutex> lock(FLock);
  for (std::size_t index; Claim(index, lock, true);) Run(index, lock, d);
  lock.unlock();
  if (d) libdeflate_free_decompressor(d);
}

// Called with the lock held: the job's buffer becomes a spare, or is freed when enough are kept.
void TInflateAhead::Recycle(std::size_t index) {
  TInflated& result = FResults[index];
  if (result.Bytes && FSpare.size() < kSpareBuffers) {
    TInflated& spare = FSpare.emplace_back();
    spare.Bytes = std::move(result.Bytes);
    spare.Capacity = result.Capacity;
  } else {
    FHeld -= result.Capacity;
  }
  result = TInflated{};
}

TInflated& TInflateAhead::Take(std::size_t i) {
  std::unique_lock<std::mutex> lock(FLock);
  // Every job before i is released, and jobs are claimed in order: job i is claimed already, or
  // it is the next one and the writer inflates it itself once there is room for it.
  while (FState[i] != jsReady) {
    if (FState[i] == jsFree && Provide(i)) {
      if (!FOwn) FOwn = libdeflate_alloc_decompressor();
      FNext = i + 1;
      FState[i] = jsClaimed;
      Run(i, lock, FOwn);
      continue;
    }
    FChanged.wait(lock);
  }
  return FResults[i];
}

void TInflateAhead::Release(std::size_t i) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    const TState state = FState[i];
    FState[i] = jsReleased;
    if (state == jsReady) Recycle(i);
    // A claimed job is dropped by its helper when done; a free one is passed over by Claim.
  }
  FChanged.notify_all();
}

std::uint64_t TInflateAhead::HeldBytes() {
  std::lock_guard<std::mutex> guard(FLock);
  std::uint64_t held = 0;
  for (const TInflated& r : FResults) held += r.Bytes ? r.Capacity : 0;
  for (const TInflated& r : FSpare) held += r.Capacity;
  return held;
}

std::uint64_t TInflateAhead::PeakHeldBytes() {
  std::lock_guard<std::mutex> guard(FLock);
  return FPeak;
}

}  // namespace unziplib
