#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
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
  std::vector<unsigned char> Bytes;  ///< the first Size bytes are the entry's (it may be longer)
  bool Ok = false;                   ///< inflated to exactly its size
  bool CrcOk = false;                ///< and its CRC-32 matches
  bool OutOfMemory = false;
};

class TInflateAhead {
 public:
  /// Starts up to threads helpers on jobs; with none (or none to be had) Take inflates itself.
  TInflateAhead(std::vector<TInflateJob> jobs, unsigned threads);
  ~TInflateAhead();  ///< stops the helpers after the job each is on
  TInflateAhead(const TInflateAhead&) = delete;
  TInflateAhead& operator=(const TInflateAhead&) = delete;

  /// The result of job i, waited for. The writer goes through the jobs in their order and releases
  /// each one, taken or not, before it goes on to the next.
  TInflated& Take(std::size_t i);
  /// Frees job i's bytes (or has them dropped when a helper is still on it), making room ahead.
  void Release(std::size_t i);

  /// Inflates one job on the calling thread with the given decompressor.
  static void Inflate(const TInflateJob& job, TInflated& result, libdeflate_decompressor* d);

 private:
  void Work();
  void Recycle(std::size_t index);
  bool Claim(std::size_t& index, std::unique_lock<std::mutex>& lock, bool wait);
  void Run(std::size_t index, std::unique_lock<std::mutex>& lock, libdeflate_decompressor* d);

  std::vector<TInflateJob> FJobs;
  std::vector<TInflated> FResults;
  std::vector<std::vector<unsigned char>> FSpare;  // buffers of released jobs, reused
  enum TState : char { jsFree, jsClaimed, jsReady, jsReleased };
  std::vector<TState> FState;
  std::size_t FNext = 0;        // the first job no thread has claimed
  std::uint64_t FInFlight = 0;  // bytes claimed and not yet released
  bool FStop = false;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<std::thread> FHelpers;
  libdeflate_decompressor* FOwn = nullptr;  // the writer's, for jobs it inflates itself
};

}  // namespace unziplib
