// The application's process-wide state, shared by the window's thread and
// every worker. Counters are atomics; the texts and the batch lists sit
// behind one lock and are only ever copied in or out whole, so no caller
// holds the lock while it talks to the host.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "app/Handlers.h"
#include "host/Text.h"

namespace app {

class AppState {
 public:
  // The ten conversion counters, indexed by SingleTarget (jpgCount first).
  // Takes the next number of the row: each conversion gets its own.
  int TakeNumber(SingleTarget target);
  // Takes the next number of the row for which taken(number) is false, and
  // passes over the others; no two callers ever get the same number.
  int TakeFreeNumber(SingleTarget target, const std::function<bool(int)>& taken);
  int Count(SingleTarget target) const;
  void ResetCounters();

  host::Text BaseName() const;
  void SetBaseName(host::Text name);
  host::Text LastBrowsedFolder() const;
  void SetLastBrowsedFolder(host::Text folder);

  struct BatchLists {
    std::vector<host::Text> paths;  // folder + separator + name
    std::vector<host::Text> names;  // the name with its extension
  };
  BatchLists Batch() const;
  void SetBatch(const BatchLists& lists);

  // One run per batch target at a time: true when the caller now owns the run.
  bool TryBeginBatch(BatchTarget target);
  void EndBatch(BatchTarget target);
  // Stop: a run stops once the count differs from the one it began with, so
  // a press reaches the runs of its moment and no later one.
  void RequestBatchStop();
  unsigned BatchStopRequests() const;

  // Empties every text and list (start-up and the exit routine).
  void Release();

 private:
  std::atomic<int> counters_[kSingleTargetCount] = {};
  std::atomic<bool> batchRunning_[kBatchTargetCount] = {};
  std::atomic<unsigned> batchStopRequests_{0};
  mutable std::mutex mutex_;
  host::Text baseName_;
  host::Text lastBrowsedFolder_;
  BatchLists batch_;
};

// The one state of the program. It has static storage, so a worker that
// outlives the window still finds it alive.
AppState& State();

}  // namespace app
