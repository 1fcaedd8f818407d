// Page "批量转换": every JPG/JPEG/PNG/BMP picture of one folder, except those
// already in the target format, converted into a second folder, with the
// progress bar and the status line after every file.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "app/AppState.h"
#include "app/Handlers.h"
#include "host/Host.h"

namespace app {

struct BatchTargetRow {
  BatchTarget target;
  const char* button;
  const char* defaultMessage;  // shown as written, backslashes included
  const char* defaultFolder;   // relative to the program directory
  const char* defaultTail;     // after the program directory
  std::vector<const char*> patterns;
  const char* extension;
};
const BatchTargetRow& BatchTargetOf(BatchTarget target);

// "【正在处理第i个图片】【成功s个】【失败f个】【共有n个图片】"
host::Text StatusLine(int index, int succeeded, int failed, int total);

// The question asked before a run when some of its targets exist already.
host::Text ExistingTargetsQuestion(int existing);
// Why a file failed, in a few plain words, for every result code.
host::Text FailureReason(int result);

// What a run did, for the message that ends it.
struct BatchOutcome {
  int succeeded = 0;
  int failed = 0;
  int notProcessed = 0;  // left over when the run was stopped
  int skipped = 0;       // existing targets kept at the user's word
  bool stopped = false;
  std::vector<std::pair<host::Text, int>> failures;  // name and result, in list order
};
inline constexpr std::size_t kNamedFailures = 10;
// "图片处理完毕!" for a run without failures, skips or stop; else that (or
// "已停止：…") followed by the skips and up to ten failures with reasons.
host::Text BatchEndMessage(const BatchOutcome& outcome);

// The files of the folder matching the patterns, in pattern order, with this
// run's own search.
AppState::BatchLists EnumerateBatchSources(host::Host& host, const host::Text& folder,
                                           const std::vector<const char*>& patterns);

// The worker of one batch click. It converts with up to BatchWorkers(n)
// threads; what the page shows at the end is what a one-by-one run shows.
void RunBatch(host::Host& host, BatchTarget target);

// Threads for a batch of n files: min(cores, 4, n), at least 1, unless a test
// has fixed the number.
int BatchWorkers(int files);
// 0 restores the automatic choice.
void SetBatchWorkersForTesting(int workers);

}  // namespace app
