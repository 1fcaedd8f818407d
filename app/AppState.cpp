#include "app/AppState.h"

#include <utility>

namespace app {
namespace {

std::size_t Index(SingleTarget target) { return static_cast<std::size_t>(target); }
std::size_t Index(BatchTarget target) { return static_cast<std::size_t>(target); }

}  // namespace

int AppState::TakeNumber(SingleTarget target) {
  // The number is taken once: the counter is never read again for this
  // conversion, so two quick clicks can never share a name.
  return counters_[Index(target)].fetch_add(1) + 1;
}

int AppState::TakeFreeNumber(SingleTarget target, const std::function<bool(int)>& taken) {
  std::atomic<int>& counter = counters_[Index(target)];
  int seen = counter.load();
  for (;;) {
    int candidate = seen + 1;
    while (taken(candidate)) ++candidate;
    // Unchanged since the look: nobody else holds a number up to the
    // candidate. Changed: another conversion took one meanwhile; look again.
    if (counter.compare_exchange_weak(seen, candidate)) return candidate;
  }
}

int AppState::Count(SingleTarget target) const { return counters_[Index(target)].load(); }

void AppState::ResetCounters() {
  for (std::atomic<int>& counter : counters_) counter.store(0);
}

host::Text AppState::BaseName() const {
  std::lock_guard lock(mutex_);
  return baseName_;
}

void AppState::SetBaseName(host::Text name) {
  std::lock_guard lock(mutex_);
  baseName_ = std::move(name);
}

host::Text AppState::LastBrowsedFolder() const {
  std::lock_guard lock(mutex_);
  return lastBrowsedFolder_;
}

void AppState::SetLastBrowsedFolder(host::Text folder) {
  std::lock_guard lock(mutex_);
  lastBrowsedFolder_ = std::move(folder);
}

AppState::BatchLists AppState::Batch() const {
  std::lock_guard lock(mutex_);
  return batch_;
}

void AppState::SetBatch(const BatchLists& lists) {
  BatchLists copy = lists;  // copied outside the lock
  std::lock_guard lock(mutex_);
  batch_ = std::move(copy);
}

bool AppState::TryBeginBatch(BatchTarget target) { return !batchRunning_[Index(target)].exchange(true); }

void AppState::EndBatch(BatchTarget target) { batchRunning_[Index(target)].store(false); }

void AppState::RequestBatchStop() { batchStopRequests_.fetch_add(1); }

unsigned AppState::BatchStopRequests() const { return batchStopRequests_.load(); }

void AppState::Release() {
  host::Text oldBase;
  host::Text oldFolder;
  BatchLists oldBatch;
  {
    std::lock_guard lock(mutex_);
    oldBase.swap(baseName_);
    oldFolder.swap(lastBrowsedFolder_);
    std::swap(oldBatch, batch_);
  }
}

AppState& State() {
  static AppState state;
  return state;
}

void CreateAppState() { State().Release(); }
void ResetCounters() { State().ResetCounters(); }
void ReleaseAppState() { State().Release(); }

}  // namespace app
