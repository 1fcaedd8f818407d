#include "app/BatchFlow.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "app/ControlNames.h"
#include "engine/commands/ConversionCommands.h"
#include "platform/Platform.h"

namespace app {
namespace {

constexpr char kCaption[] = "提示";
constexpr char kBrowseTitle[] = "选择目标目录";

std::atomic<int> fixedWorkers{0};

const BatchTargetRow kBatchRows[kBatchTargetCount] = {
    {BatchTarget::Jpg, names::kBatchJpg, "设置默认文件夹为程序目录\\tmp\\批量jpg", "tmp/批量jpg", "/tmp/批量jpg",
     {"*.bmp", "*.png"}, ".jpg"},
    {BatchTarget::Bmp, names::kBatchBmp, "设置默认文件夹为程序目录\\tmp\\批量bmp", "tmp/批量bmp", "/tmp/批量bmp",
     {"*.jpg", "*.jpeg", "*.png"}, ".bmp"},
    {BatchTarget::Png, names::kBatchPng, "设置默认文件夹为程序目录\\tmp\\批量png", "tmp/批量png", "/tmp/批量png",
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
  const int total = static_cast<int>(lists.paths.size());
  host.SetIntProperty(names::kProgress, host::Property::Maximum, total);

  // Files are handed out in list order; the page counts finished files, and
  // its updates are made one at a time so the bar never steps back.
  std::atomic<int> next{0};
  std::mutex progressLock;
  int finished = 0;
  int succeeded = 0;
  int failed = 0;
  auto outputOf = [&](std::size_t at) {
    return targetFolder + platform::kPathSeparator + lists.names[at] + row.extension;
  };
  auto convertFiles = [&] {
    while (!host.IsExiting()) {
      const int at = next.fetch_add(1);
      if (at >= total) return;
      State().TakeNumber(SingleTarget::Jpg);  // every batch file counts as a JPG
      const host::Text output = outputOf(static_cast<std::size_t>(at));
      const int result = RunCommand(row.target, lists.paths[static_cast<std::size_t>(at)].c_str(), output.c_str());
      std::lock_guard lock(progressLock);
      ++finished;
      if (result == engine::ResultOk) {
        ++succeeded;
      } else {
        ++failed;
      }
      host.SetText(names::kSaveBox, output);
      host.SetIntProperty(names::kProgress, host::Property::Position, finished);
      host.SetText(names::kStatusLine, StatusLine(finished, succeeded, failed, total));
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
    // As after a one-by-one run, the save box names the list's last target.
    if (total > 0 && !host.IsExiting()) {
      const host::Text last = outputOf(static_cast<std::size_t>(total - 1));
      if (host.GetText(names::kSaveBox) != last) host.SetText(names::kSaveBox, last);
    }
  }
  if (host.IsExiting()) return;
  host.ShowMessage("图片处理完毕!");
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

host::Text StatusLine(int index, int succeeded, int failed, int total) {
  return "【正在处理第" + host::ToText(index) + "个图片】【成功" + host::ToText(succeeded) + "个】【失败" +
         host::ToText(failed) + "个】【共有" + host::ToText(total) + "个图片】";
}

AppState::BatchLists EnumerateBatchSources(host::Host& host, const host::Text& folder,
                                           const std::vector<const char*>& patterns) {
  AppState::BatchLists lists;
  host::SearchSlot slot;
  const host::Text prefix = folder + platform::kPathSeparator;
  for (const char* pattern : patterns) {
    for (host::Text name = host.FindFile(slot, prefix + pattern); !name.empty(); name = host.FindFile(slot)) {
      lists.paths.push_back(prefix + name);
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

}  // namespace app
