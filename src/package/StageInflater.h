// TStageInflater: inflates the entries of an update package into their staging files on
// worker threads, one per processor, while the caller takes the outcomes one by one in
// index order. Workers claim entries in index order, so the entry the caller waits for
// is always being inflated or done, and the first failing entry in index order is the
// one the caller sees first, whichever thread met its fault. Each worker reads the
// package through its own reader of the one open package file and streams into its file
// in constant memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/SyncObjs.h"
#include "package/Decompression.h"
#include "package/PackageFile.h"

namespace package {

struct TStageJob {
  int64_t Offset = 0;  // the entry's compressed block in the package
  int64_t Size = 0;
  std::string File;  // the staging file to create
};

struct TStageOutcome {
  enum class TKind { skInflated, skCorrupt, skFailed };
  TKind Kind = TKind::skInflated;
  TInflateResult Inflate;  // skInflated: what InflateBlock reported
  std::string Error;       // skFailed: what the exception said (file creation, disk full ...)
};

class TStageWorker;

class TStageInflater {
 public:
  // At most this many workers: each holds about 400 KB of buffers, and a 32-bit process
  // has little address space to spare.
  static constexpr uint32_t kMaxThreads = 8;

  // Starts min(threads, kMaxThreads, number of jobs) workers. With none (threads < 2, or
  // no thread could be created) the caller inflates each entry itself inside Take.
  // package must outlive the inflater.
  TStageInflater(const TPackageFile& package, std::vector<TStageJob> jobs, uint32_t threads);
  // Stops and waits for the workers: no staging file is written after it returns.
  ~TStageInflater();

  // The outcome of job index, waiting until it is done; once per index. Workers take
  // jobs in index order, so taking them in that order waits least. whileWaiting (may be
  // empty) is called on the caller's thread about every kWaitStepMs while it waits.
  TStageOutcome Take(size_t index, const std::function<void()>& whileWaiting = {});
  // Compressed bytes read from the package by every job so far (any thread).
  int64_t BytesRead() const { return FBytesRead.load(std::memory_order_relaxed); }
  // Starts no further job; the ones being inflated finish.
  void Stop() { FStopped = true; }
  size_t Threads() const { return FWorkers.size(); }

 private:
  friend class TStageWorker;
  // The next job to inflate, or false when every job is taken or Stop was called.
  bool Claim(size_t& index);
  void Finish(size_t index, TStageOutcome outcome);
  // Inflates one job, reading the package through package.
  TStageOutcome Run(base::TStream& package, size_t index);
  // Inflates one job on the calling thread, with a handle of its own.
  TStageOutcome RunHere(size_t index);
  bool AllWorkersEnded();

  const TPackageFile& FPackage;
  std::vector<TStageJob> FJobs;
  std::vector<TStageWorker*> FWorkers;
  std::atomic<size_t> FNext{0};
  std::atomic<bool> FStopped{false};
  std::atomic<int64_t> FBytesRead{0};
  base::TCriticalSection FLock;  // FDone and FOutcomes
  std::vector<bool> FDone;
  std::vector<TStageOutcome> FOutcomes;
  base::TEvent FFinished;  // set whenever a job is done
};

}  // namespace package
