#include "app/BatchFlow.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "app/ControlNames.h"
#include "app/Paths.h"
#include "engine/commands/ConversionCommands.h"
#include "platform/Platform.h"

namespace app {
namespace {

constexpr char kCaption[] = "提示";
constexpr char kBrowseTitle[] = "选择目标目录";

std::atomic<int> fixedWorkers{0};

// The messages write "\" on every system; the folders take the system's
// separator.
const BatchTargetRow kBatchRows[kBatchTargetCount] = {
    {BatchTarget::Jpg, names::kBatchJpg, "设置默认文件夹为程序目录\\tmp\\批量jpg", PICTOMILL_TMP_FOLDER("批量jpg"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("批量jpg"),
     {"*.bmp", "*.png"}, ".jpg"},
    {BatchTarget::Bmp, names::kBatchBmp, "设置默认文件夹为程序目录\\tmp\\批量bmp", PICTOMILL_TMP_FOLDER("批量bmp"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("批量bmp"),
     {"*.jpg", "*.jpeg", "*.png"}, ".bmp"},
    {BatchTarget::Png, names::kBatchPng, "设置默认文件夹为程序目录\\tmp\\批量png", PICTOMILL_TMP_FOLDER("批量png"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("批量png"),
     {"*.jpg", "*.jpeg", "*.bmp"}, ".png"},
};

int RunCommand(BatchTarget target, const char* source, const char* path) {
  switch (target) {
    case BatchTarget::Jpg: return engine::ConvertToJpg(source, path, 0, 99, 1, 50);
    case BatchTarget::Bmp: return engine::ConvertToBmp(source, path);
    case BatchTarget::Png: return engine::ConvertToPng(source, path, 24);
  }
  return engine::ResultBadArguments;
}

void BrowseInto(host::Host& host, const char* box) {
  host::Text folder = host.BrowseForFolder(kBrowseTitle, false);
  State().SetLastBrowsedFolder(folder);
  if (!folder.empty()) host.SetText(box, folder);
}

// Anything at the path, a folder included, is a target that exists.
bool PathTaken(const host::Text& path) {
  bool isDirectory = false;
  bool isRegularFile = false;
  return platform::GetPathKind(path.c_str(), isDirectory, isRegularFile);
}

// The Stop button serves every run: enabled while one converts, disabled once
// the last has ended. Only batch workers take this lock, never the window's
// thread, so holding it across the host call cannot hold the window up.
std::mutex stopButtonLock;
int convertingRuns = 0;

// The converting part of one run, from the first file to the last.
class StoppablePhase {
 public:
  explicit StoppablePhase(host::Host& host) : host_(host) {
    std::lock_guard lock(stopButtonLock);
    ++convertingRuns;
    requestsAtStart_ = State().BatchStopRequests();
    host_.SetDisabled(names::kStop, false);
  }
  ~StoppablePhase() { End(); }
  StoppablePhase(const StoppablePhase&) = delete;
  StoppablePhase& operator=(const StoppablePhase&) = delete;

  bool StopRequested() const { return State().BatchStopRequests() != requestsAtStart_; }
  void End() {
    if (ended_) return;
    ended_ = true;
    std::lock_guard lock(stopButtonLock);
    if (--convertingRuns == 0) host_.SetDisabled(names::kStop, true);
  }

 private:
  host::Host& host_;
  unsigned requestsAtStart_ = 0;
  bool ended_ = false;
};

// The run of one target once it owns its running flag.
void RunOwnedBatch(host::Host& host, const BatchTargetRow& row) {
  if (host.IsExiting()) return;
  const host::Text sourceFolder = host.GetText(names::kSourceFolderBox);
  if (sourceFolder.empty()) {
    host.ShowMessage("请选取源文件夹，再进行转换！", 0, kCaption);
    return;
  }
  if (host.GetText(names::kTargetFolderBox).empty()) {
    host.ShowMessage(row.defaultMessage, 0, kCaption);
    host.MakeDirectory(row.defaultFolder);
    host.SetText(names::kTargetFolderBox, host.GetProgramDirectory() + row.defaultTail);
  }
  // Taken once for the whole run: an edit of the box during the run, or the
  // empty reads of an exit, can never send files somewhere else.
  const host::Text targetFolder = host.GetText(names::kTargetFolderBox);
  if (host.IsExiting() || targetFolder.empty()) return;

  host.SetDisabled(row.button, true);
  const AppState::BatchLists lists = EnumerateBatchSources(host, sourceFolder, row.patterns);
  State().SetBatch(lists);
  auto outputOf = [&](std::size_t entry) {
    return host::JoinPath(targetFolder, lists.names[entry] + row.extension);
  };

  // Nothing is replaced unasked: one question before the first file.
  std::vector<std::size_t> todo;  // the entries of the list to convert
  std::vector<bool> exists(lists.paths.size());
  int existing = 0;
  for (std::size_t entry = 0; entry < lists.paths.size(); ++entry) {
    exists[entry] = PathTaken(outputOf(entry));
    existing += exists[entry] ? 1 : 0;
  }
  BatchOutcome outcome;
  bool skipExisting = false;
  if (existing > 0) {
    const int answer = host.ShowMessage(ExistingTargetsQuestion(existing),
                                        host::kButtonsYesNoCancel | host::kDefaultSecond, kCaption);
    if (host.IsExiting()) return;
    if (answer != host::kAnswerYes && answer != host::kAnswerNo) {
      host.SetDisabled(row.button, false);
      return;
    }
    skipExisting = answer == host::kAnswerNo;
  }
  for (std::size_t entry = 0; entry < lists.paths.size(); ++entry) {
    if (skipExisting && exists[entry]) {
      ++outcome.skipped;
    } else {
      todo.push_back(entry);
    }
  }
  const int total = static_cast<int>(todo.size());
  host.SetIntProperty(names::kProgress, host::Property::Maximum, total);

  // Files are handed out in list order; the page counts finished files, and
  // its updates are made one at a time so the bar never steps back.
  StoppablePhase phase(host);
  std::atomic<int> next{0};
  std::mutex progressLock;
  int finished = 0;
  int lastFinished = -1;  // the furthest file in the list that has finished
  // One slot per file, written by the one worker that converts it and read
  // after every worker has ended.
  std::vector<int> results(todo.size(), engine::ResultOk);
  auto convertFiles = [&] {
    while (!host.IsExiting() && !phase.StopRequested()) {
      const int at = next.fetch_add(1);
      if (at >= total) return;
      State().TakeNumber(SingleTarget::Jpg);  // every batch file counts as a JPG
      const std::size_t entry = todo[static_cast<std::size_t>(at)];
      const host::Text output = outputOf(entry);
      const int result = RunCommand(row.target, lists.paths[entry].c_str(), output.c_str());
      results[static_cast<std::size_t>(at)] = result;
      std::lock_guard lock(progressLock);
      ++finished;
      lastFinished = std::max(lastFinished, at);
      if (result == engine::ResultOk) {
        ++outcome.succeeded;
      } else {
        ++outcome.failed;
      }
      host.SetText(names::kSaveBox, output);
      host.SetIntProperty(names::kProgress, host::Property::Position, finished);
      host.SetText(names::kStatusLine, StatusLine(finished, outcome.succeeded, outcome.failed, total));
      host.ProcessEvents();
    }
  };
  const int workers = BatchWorkers(total);
  if (workers <= 1) {
    convertFiles();
  } else {
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) threads.emplace_back(convertFiles);
    for (std::thread& thread : threads) thread.join();
    // As after a one-by-one run, the save box names the furthest target.
    if (lastFinished >= 0 && !host.IsExiting()) {
      const host::Text last = outputOf(todo[static_cast<std::size_t>(lastFinished)]);
      if (host.GetText(names::kSaveBox) != last) host.SetText(names::kSaveBox, last);
    }
  }
  outcome.stopped = phase.StopRequested();
  phase.End();
  if (host.IsExiting()) return;
  // Files are handed out in order, so those not processed are the last ones.
  outcome.notProcessed = total - finished;
  for (int at = 0; at < finished; ++at) {
    const int result = results[static_cast<std::size_t>(at)];
    if (result != engine::ResultOk) outcome.failures.push_back({lists.names[todo[static_cast<std::size_t>(at)]], result});
  }
  host.ShowMessage(BatchEndMessage(outcome));
  host.SetDisabled(row.button, false);
}

}  // namespace

int BatchWorkers(int files) {
  const int fixed = fixedWorkers.load();
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int chosen = fixed > 0 ? fixed : std::min(cores, 4);
  return std::max(1, std::min(chosen, files));
}

void SetBatchWorkersForTesting(int workers) { fixedWorkers.store(workers); }

const BatchTargetRow& BatchTargetOf(BatchTarget target) { return kBatchRows[static_cast<std::size_t>(target)]; }

host::Text ExistingTargetsQuestion(int existing) {
  return "目标目录中已有" + host::ToText(existing) + "个同名文件。\r\n是：全部覆盖　否：跳过这些文件　取消：不转换";
}

host::Text FailureReason(int result) {
  switch (result) {
    case engine::ResultFileMissing: return "源文件不存在";
    case engine::ResultUnreadable: return "无法识别或解码";
    case engine::ResultWriteFailed: return "无法写入目标文件";
    case engine::ResultBadArguments: return "参数错误";
    default: return "转换失败";
  }
}

host::Text BatchEndMessage(const BatchOutcome& outcome) {
  host::Text message;
  if (outcome.stopped) {
    message = "已停止：成功" + host::ToText(outcome.succeeded) + "个，失败" + host::ToText(outcome.failed) +
              "个，未处理" + host::ToText(outcome.notProcessed) + "个。";
  } else {
    message = "图片处理完毕!";
  }
  if (outcome.skipped > 0) message += "\r\n已跳过" + host::ToText(outcome.skipped) + "个同名文件。";
  if (!outcome.failures.empty()) {
    message += "\r\n以下文件转换失败：";
    const std::size_t shown = std::min<std::size_t>(outcome.failures.size(), kNamedFailures);
    for (std::size_t i = 0; i < shown; ++i) {
      message += "\r\n" + outcome.failures[i].first + "：" + FailureReason(outcome.failures[i].second);
    }
    if (outcome.failures.size() > shown) {
      message += "\r\n……等共" + host::ToText(static_cast<int>(outcome.failures.size())) + "个";
    }
  }
  return message;
}

host::Text StatusLine(int index, int succeeded, int failed, int total) {
  return "【正在处理第" + host::ToText(index) + "个图片】【成功" + host::ToText(succeeded) + "个】【失败" +
         host::ToText(failed) + "个】【共有" + host::ToText(total) + "个图片】";
}

AppState::BatchLists EnumerateBatchSources(host::Host& host, const host::Text& folder,
                                           const std::vector<const char*>& patterns) {
  AppState::BatchLists lists;
  host::SearchSlot slot;
  for (const char* pattern : patterns) {
    for (host::Text name = host.FindFile(slot, host::JoinPath(folder, pattern)); !name.empty();
         name = host.FindFile(slot)) {
      lists.paths.push_back(host::JoinPath(folder, name));
      lists.names.push_back(std::move(name));
    }
  }
  host.CloseFindFile(slot);
  return lists;
}

void RunBatch(host::Host& host, BatchTarget target) {
  // Taken before the first step, so a double click neither starts a second
  // run nor shows the same prompt twice.
  if (!State().TryBeginBatch(target)) return;
  RunOwnedBatch(host, BatchTargetOf(target));
  State().EndBatch(target);
}

void OnBrowseBatchSource(host::Host& host) { BrowseInto(host, names::kSourceFolderBox); }
void OnBrowseBatchTarget(host::Host& host) { BrowseInto(host, names::kTargetFolderBox); }

void OnBatchClicked(host::Host& host, BatchTarget target) {
  host.StartThread([&host, target] { RunBatch(host, target); });
}

void OnStopClicked(host::Host& host) {
  State().RequestBatchStop();
  // Taken at once; the runs end when their files in progress are done.
  host.SetDisabled(names::kStop, true);
}

}  // namespace app
