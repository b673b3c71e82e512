#include "package/StageInflater.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/Thread.h"
#include "base/ZLibStream.h"
#include "package/BlockStream.h"
#include "platform/Files.h"

namespace package {
namespace {
// How often a caller waiting for an entry looks whether the workers are still there.
constexpr uint32_t kWaitStepMs = 100;

// A block whose reads are added to a counter shared by every job: the install's progress.
class TCountedBlock : public TBlockStream {
 public:
  TCountedBlock(base::TStream& parent, int64_t start, int64_t size, std::atomic<int64_t>& counter)
      : TBlockStream(parent, start, size), FCounter(counter) {}
  int32_t Read(void* buffer, int32_t count) override {
    int32_t n = TBlockStream::Read(buffer, count);
    if (n > 0) FCounter.fetch_add(n, std::memory_order_relaxed);
    return n;
  }

 private:
  std::atomic<int64_t>& FCounter;
};
}  // namespace

class TStageWorker : public base::TThread {
 public:
  explicit TStageWorker(TStageInflater& owner) : TThread(false), FOwner(owner) {}

 protected:
  void Execute() override {
    std::unique_ptr<base::TStream> package;
    std::string openError;
    try {
      package = FOwner.FPackage.NewReader();
    } catch (const std::exception& e) {
      openError = e.what();
    }
    size_t index;
    while (!Terminated() && FOwner.Claim(index)) {
      TStageOutcome outcome;
      if (package) {
        outcome = FOwner.Run(*package, index);
      } else {
        outcome.Kind = TStageOutcome::TKind::skFailed;
        outcome.Error = openError;
      }
      FOwner.Finish(index, std::move(outcome));
    }
  }

 private:
  TStageInflater& FOwner;
};

TStageInflater::TStageInflater(const TPackageFile& package, std::vector<TStageJob> jobs, uint32_t threads)
    : FPackage(package), FJobs(std::move(jobs)), FDone(FJobs.size(), false), FOutcomes(FJobs.size()) {
  size_t wanted = std::min<size_t>({threads, kMaxThreads, FJobs.size()});
  if (wanted < 2) return;  // one worker would only make the caller wait for it
  for (size_t i = 0; i < wanted; ++i) {
    try {
      FWorkers.push_back(base::TThread::Create<TStageWorker>(*this));
    } catch (const std::exception&) {
      break;  // fewer threads, or none: Take inflates on the caller's thread
    }
  }
}

TStageInflater::~TStageInflater() {
  Stop();
  for (TStageWorker* w : FWorkers) w->Destroy();
}

bool TStageInflater::Claim(size_t& index) {
  if (FStopped) return false;
  index = FNext++;
  return index < FJobs.size();
}

void TStageInflater::Finish(size_t index, TStageOutcome outcome) {
  {
    base::TLockGuard g(FLock);
    FOutcomes[index] = std::move(outcome);
    FDone[index] = true;
  }
  FFinished.SetEvent();
}

TStageOutcome TStageInflater::Run(base::TStream& package, size_t index) {
  const TStageJob& job = FJobs[index];
  TStageOutcome r;
  try {
    TCountedBlock block(package, job.Offset, job.Size, FBytesRead);
    base::TFileStream file(job.File, base::fmCreate);
    r.Inflate = InflateBlock(block, &file);
    // Through to the disk before the journal can plan a move of it: after a power cut a
    // planned or committed journal must never name a file whose data is not there.
    if (!platform::FileFlush(file.Handle())) {
      r.Kind = TStageOutcome::TKind::skFailed;
      r.Error = "the staged file cannot be written through to the disk";
    }
  } catch (const base::EDecompressionError&) {
    r.Kind = TStageOutcome::TKind::skCorrupt;
  } catch (const std::exception& e) {
    r.Kind = TStageOutcome::TKind::skFailed;
    r.Error = e.what();
  }
  return r;
}

TStageOutcome TStageInflater::RunHere(size_t index) {
  try {
    return Run(*FPackage.NewReader(), index);
  } catch (const std::exception& e) {
    TStageOutcome r;
    r.Kind = TStageOutcome::TKind::skFailed;
    r.Error = e.what();
    return r;
  }
}

bool TStageInflater::AllWorkersEnded() {
  return std::all_of(FWorkers.begin(), FWorkers.end(), [](TStageWorker* w) { return w->Finished(); });
}

TStageOutcome TStageInflater::Take(size_t index, const std::function<void()>& whileWaiting) {
  auto done = [&](TStageOutcome& outcome) {
    base::TLockGuard g(FLock);
    if (!FDone[index]) return false;
    outcome = std::move(FOutcomes[index]);
    return true;
  };
  TStageOutcome outcome;
  for (;;) {
    FFinished.ResetEvent();
    if (done(outcome)) return outcome;
    // No worker left to do it (none started, or they were stopped): inflate it here. A
    // worker that claimed it and ended without an outcome writes nothing any more.
    if (AllWorkersEnded()) return done(outcome) ? outcome : RunHere(index);
    FFinished.WaitFor(kWaitStepMs);
    if (whileWaiting) whileWaiting();
  }
}

}  // namespace package
