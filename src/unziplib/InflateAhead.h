#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct libdeflate_decompressor;

// Inflates the entries of an extraction ahead of the thread that writes them, on a few threads, so
// that inflating one entry overlaps writing another. The writer still takes the entries one by one
// in their order; only the inflating moves to other threads, never a callback or a file.

namespace unziplib {

/// One entry's compressed data as the extraction found it.
struct TInflateJob {
  const unsigned char* Data = nullptr;  ///< null: nothing to inflate (the writer reports why)
  std::uint64_t CompressedSize = 0;
  std::uint64_t Size = 0;
  std::uint16_t Method = 0;  ///< 0 stored, 8 deflate
  std::uint32_t Crc = 0;
};

/// What became of one job.
struct TInflated {
  std::unique_ptr<unsigned char[]> Bytes;  ///< the first Size bytes are the entry's
  std::size_t Capacity = 0;                ///< of Bytes, which may be a larger buffer reused
  bool Ok = false;                         ///< inflated to exactly its size
  bool CrcOk = false;                      ///< and its CRC-32 matches
  bool OutOfMemory = false;
};

class TInflateAhead {
 public:
  /// The most that buffers may hold together, in flight and spare, by their capacity; only a job
  /// larger than this may pass it, and then alone.
  static constexpr std::uint64_t kAheadBytes = std::uint64_t{32} << 20;

  /// Starts up to threads helpers on jobs; with none (or none to be had) Take inflates itself.
  /// inputDone, when given, is told of each job's compressed data once it has been read.
  TInflateAhead(std::vector<TInflateJob> jobs, unsigned threads,
                std::function<void(const unsigned char*, std::uint64_t)> inputDone = {});
  ~TInflateAhead();  ///< stops the helpers after the job each is on
  TInflateAhead(const TInflateAhead&) = delete;
  TInflateAhead& operator=(const TInflateAhead&) = delete;

  /// The result of job i, waited for. The writer goes through the jobs in their order and releases
  /// each one, taken or not, before it goes on to the next.
  TInflated& Take(std::size_t i);
  /// Frees job i's bytes (or has them dropped when a helper is still on it), making room ahead.
  void Release(std::size_t i);

  /// The capacity of every buffer held now, counted buffer by buffer.
  std::uint64_t HeldBytes();
  /// The most the count of held bytes has been.
  std::uint64_t PeakHeldBytes();

  /// Inflates one job on the calling thread with the given decompressor into result's buffer,
  /// which holds at least the job's size.
  static void Inflate(const TInflateJob& job, TInflated& result, libdeflate_decompressor* d);

 private:
  void Work();
  bool Provide(std::size_t index);
  void Recycle(std::size_t index);
  bool Claim(std::size_t& index, std::unique_lock<std::mutex>& lock, bool wait);
  void Run(std::size_t index, std::unique_lock<std::mutex>& lock, libdeflate_decompressor* d);

  std::vector<TInflateJob> FJobs;
  std::vector<TInflated> FResults;
  std::vector<TInflated> FSpare;  // buffers of released jobs, kept for reuse
  enum TState : char { jsFree, jsClaimed, jsReady, jsReleased };
  std::vector<TState> FState;
  std::size_t FNext = 0;    // the first job no thread has claimed
  std::uint64_t FHeld = 0;  // capacity of the buffers of claimed and ready jobs and of the spares
  std::uint64_t FPeak = 0;
  bool FStop = false;
  std::function<void(const unsigned char*, std::uint64_t)> FInputDone;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<std::thread> FHelpers;
  libdeflate_decompressor* FOwn = nullptr;  // the writer's, for jobs it inflates itself
};

}  // namespace unziplib
