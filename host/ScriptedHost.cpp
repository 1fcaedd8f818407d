#include "host/ScriptedHost.h"

#include <utility>

#include "platform/Platform.h"

namespace host {
namespace {

const char kDefaultCaption[] = "信息：";

std::vector<Text> SplitPageNames(const Text& caption) {
  std::vector<Text> names;
  for (Text& name : SplitText(caption, "|")) names.push_back(std::move(name));
  return names;
}

}  // namespace

ScriptedHost::ScriptedHost(Text programDirectory)
    : programDirectory_(std::move(programDirectory)), windowThread_(std::this_thread::get_id()) {}

ScriptedHost::~ScriptedHost() { WaitForWorkers(); }

void ScriptedHost::QueueMessageAnswer(int code) {
  std::lock_guard lock(mutex_);
  messageAnswers_.push_back(code);
}

void ScriptedHost::QueueFileDialogAnswer(std::optional<Text> path) {
  std::lock_guard lock(mutex_);
  fileDialogAnswers_.push_back(std::move(path));
}

void ScriptedHost::QueueReplaceAnswer(bool replace) {
  std::lock_guard lock(mutex_);
  replaceAnswers_.push_back(replace);
}

void ScriptedHost::QueueFolderAnswer(Text folder) {
  std::lock_guard lock(mutex_);
  folderAnswers_.push_back(std::move(folder));
}

void ScriptedHost::SetInlineThreads(bool inlineThreads) {
  std::lock_guard lock(mutex_);
  inlineThreads_ = inlineThreads;
}

bool ScriptedHost::WorkerAfterExit() const {
  return exiting_.load() && std::this_thread::get_id() != windowThread_;
}

Handler ScriptedHost::FindHandler(const Text& control, Event event) const { return handlers_.Find(control, event); }

bool ScriptedHost::Fire(const Text& control, Event event, const Text& argument) {
  const Handler handler = FindHandler(control, event);
  if (!handler) return false;
  handler(argument);
  return true;
}

void ScriptedHost::SetTextSilently(const Text& control, const Text& value) {
  std::lock_guard lock(mutex_);
  const auto found = controls_.find(control);
  if (found != controls_.end()) found->second.text = value;
}

bool ScriptedHost::WaitForWorkers(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return workersRunning_ == 0; });
}

std::vector<ScriptedHost::Message> ScriptedHost::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

bool ScriptedHost::WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
}

std::vector<ScriptedHost::DialogRecord> ScriptedHost::FileDialogs() const {
  std::lock_guard lock(mutex_);
  return fileDialogs_;
}

std::vector<Text> ScriptedHost::FolderBrowseTitles() const {
  std::lock_guard lock(mutex_);
  return folderTitles_;
}

std::vector<Text> ScriptedHost::DropRegistrations() const {
  std::lock_guard lock(mutex_);
  return dropRegistrations_;
}

NativeHandle ScriptedHost::DropWindowOf(const Text& dropObject) const {
  std::lock_guard lock(mutex_);
  const auto found = dropWindows_.find(dropObject);
  return found == dropWindows_.end() ? 0 : found->second;
}

int ScriptedHost::VisualStyle() const {
  std::lock_guard lock(mutex_);
  return visualStyle_;
}

Text ScriptedHost::FocusedWindow() const {
  std::lock_guard lock(mutex_);
  return focused_;
}

int ScriptedHost::ProcessEventsCalls() const {
  std::lock_guard lock(mutex_);
  return processEventsCalls_;
}

int ScriptedHost::WorkersStarted() const {
  std::lock_guard lock(mutex_);
  return workersStarted_;
}

bool ScriptedHost::HasControl(const Text& control) const {
  std::lock_guard lock(mutex_);
  return controls_.count(control) != 0;
}

bool ScriptedHost::Dismissed() const {
  std::lock_guard lock(mutex_);
  return dismissed_;
}

void ScriptedHost::RegisterExitRoutine(const std::string& key, std::function<void()> routine) {
  exitRoutines_.Register(key, std::move(routine));
}

bool ScriptedHost::CreateStartWindow(const WindowDescription& description) {
  {
    std::lock_guard lock(mutex_);
    windowThread_ = std::this_thread::get_id();
    window_ = description;
    controls_.clear();
    NativeHandle next = 1;
    Control window;
    window.handle = next++;
    window.text = description.title;
    controls_[description.name] = window;
    for (const ControlDescription& item : description.controls) {
      Control control;
      control.kind = item.kind;
      control.handle = next++;
      control.disabled = item.enabled ? 0 : 1;
      if (item.kind == ControlKind::TabControl) {
        control.pageNames = SplitPageNames(item.caption);
      } else {
        control.text = item.caption;
      }
      controls_[item.name] = control;
    }
  }
  Fire(description.name, Event::Created);
  return true;
}

int ScriptedHost::RunMessageLoop() {
  if (!Dismissed()) return 0;
  WaitForWorkers();
  exitRoutines_.RunAll();
  return 0;
}

bool ScriptedHost::IsExiting() const { return exiting_.load(); }

void ScriptedHost::Bind(const Text& control, Event event, Handler handler) {
  handlers_.Bind(control, event, std::move(handler));
}

Text ScriptedHost::GetTextProperty(const Text& control, Property property) {
  std::lock_guard lock(mutex_);
  if (WorkerAfterExit()) return Text();
  const auto found = controls_.find(control);
  if (found == controls_.end()) return Text();
  switch (property) {
    case Property::Content: return found->second.text;
    case Property::Filter: return found->second.filter;
    case Property::FileName: return found->second.fileName;
    default: return Text();
  }
}

void ScriptedHost::SetTextProperty(const Text& control, Property property, const Text& value) {
  bool raise = false;
  {
    std::lock_guard lock(mutex_);
    if (WorkerAfterExit()) return;
    const auto found = controls_.find(control);
    if (found == controls_.end()) return;
    switch (property) {
      case Property::Content:
        found->second.text = value;
        raise = found->second.kind == ControlKind::EditBox;
        break;
      case Property::Filter: found->second.filter = value; break;
      case Property::FileName: found->second.fileName = value; break;
      default: break;
    }
  }
  if (raise) Fire(control, Event::TextChanged);
}

int ScriptedHost::GetIntProperty(const Text& control, Property property) {
  std::lock_guard lock(mutex_);
  if (WorkerAfterExit()) return 0;
  const auto found = controls_.find(control);
  if (found == controls_.end()) return 0;
  switch (property) {
    case Property::Disabled: return found->second.disabled;
    case Property::Maximum: return found->second.maximum;
    case Property::Position: return found->second.position;
    case Property::CurrentPage: return found->second.currentPage;
    default: return 0;
  }
}

void ScriptedHost::SetIntProperty(const Text& control, Property property, int value) {
  bool pageChanged = false;
  {
    std::lock_guard lock(mutex_);
    if (WorkerAfterExit()) return;
    const auto found = controls_.find(control);
    if (found == controls_.end()) return;
    switch (property) {
      case Property::Disabled: found->second.disabled = value != 0 ? 1 : 0; break;
      case Property::Maximum: found->second.maximum = value; break;
      case Property::Position: found->second.position = value; break;
      case Property::CurrentPage:
        pageChanged = found->second.currentPage != value;
        found->second.currentPage = value;
        break;
      default: break;
    }
  }
  if (pageChanged) Fire(control, Event::PageChanged);
}

bool ScriptedHost::StartThread(ThreadRoutine routine) {
  if (!routine || exiting_.load()) return false;
  bool runInline = false;
  {
    std::lock_guard lock(mutex_);
    ++workersStarted_;
    runInline = inlineThreads_;
    if (!runInline) ++workersRunning_;
  }
  if (runInline) {
    routine();
    return true;
  }
  std::thread([this, routine = std::move(routine)] {
    routine();
    std::lock_guard lock(mutex_);
    --workersRunning_;
    changed_.notify_all();
  }).detach();
  return true;
}

int ScriptedHost::ShowMessage(const Text& message, int flags, const std::optional<Text>& caption) {
  std::lock_guard lock(mutex_);
  Message record;
  record.text = message;
  record.flags = flags;
  record.captionGiven = caption.has_value();
  record.caption = caption.has_value() ? *caption : Text(kDefaultCaption);
  record.fromWorker = std::this_thread::get_id() != windowThread_;
  record.buttons = MessageButtons(flags);
  record.defaultAnswer = DefaultAnswer(flags);
  messages_.push_back(std::move(record));
  changed_.notify_all();
  if (exiting_.load()) return DismissAnswer(flags);
  if (messageAnswers_.empty()) return DefaultAnswer(flags);
  const int code = messageAnswers_.front();
  messageAnswers_.pop_front();
  return code;
}

void ScriptedHost::ProcessEvents() {
  std::lock_guard lock(mutex_);
  ++processEventsCalls_;
}

Text ScriptedHost::GetProgramDirectory() { return programDirectory_; }

Text ScriptedHost::BrowseForFolder(const Text& title, bool) {
  std::lock_guard lock(mutex_);
  folderTitles_.push_back(title);
  if (folderAnswers_.empty()) return Text();
  Text folder = std::move(folderAnswers_.front());
  folderAnswers_.pop_front();
  return folder;
}

bool ScriptedHost::ShowFileDialog(const Text& dialog) {
  std::lock_guard lock(mutex_);
  const auto found = controls_.find(dialog);
  if (found == controls_.end()) return false;
  Control& control = found->second;
  if (control.kind != ControlKind::OpenFileDialog && control.kind != ControlKind::SaveFileDialog) return false;
  fileDialogs_.push_back({dialog, control.filter, control.fileName, {}});
  DialogRecord& record = fileDialogs_.back();
  for (;;) {
    if (fileDialogAnswers_.empty()) return false;
    std::optional<Text> answer = std::move(fileDialogAnswers_.front());
    fileDialogAnswers_.pop_front();
    if (!answer.has_value()) return false;
    bool isDirectory = false;
    bool isRegularFile = false;
    const bool exists = platform::GetPathKind(ResolvePath(*answer).c_str(), isDirectory, isRegularFile);
    if (control.kind == ControlKind::SaveFileDialog && exists && !isDirectory) {
      record.replaceQuestions.push_back(*answer);
      const bool replace = !replaceAnswers_.empty() && replaceAnswers_.front();
      if (!replaceAnswers_.empty()) replaceAnswers_.pop_front();
      if (!replace) continue;  // back in the dialog
    }
    control.fileName = *answer;
    return true;
  }
}

bool ScriptedHost::RegisterFileDrop(const Text& dropObject, NativeHandle window) {
  std::lock_guard lock(mutex_);
  const auto found = controls_.find(dropObject);
  if (found == controls_.end() || found->second.kind != ControlKind::DropObject || window == 0) return false;
  if (dropWindows_.count(dropObject) != 0) return false;
  dropWindows_[dropObject] = window;
  dropRegistrations_.push_back(dropObject);
  return true;
}

int ScriptedHost::SetVisualStyle(int style) {
  std::lock_guard lock(mutex_);
  const bool wasOn = visualStyle_ >= 1 && visualStyle_ <= 3;
  visualStyle_ = style;
  if (style >= 1 && style <= 3) return 1;
  return wasOn ? 1 : 0;
}

NativeHandle ScriptedHost::GetWindowHandle(const Text& windowOrControl) {
  std::lock_guard lock(mutex_);
  const auto found = controls_.find(windowOrControl);
  return found == controls_.end() ? 0 : found->second.handle;
}

void ScriptedHost::SetWindowFocus(const Text& windowOrControl) {
  std::lock_guard lock(mutex_);
  focused_ = windowOrControl;
}

void ScriptedHost::DismissWindow(const Text& window) {
  std::lock_guard lock(mutex_);
  if (window != window_.name) return;
  dismissed_ = true;
  exiting_.store(true);
}

Text ScriptedHost::GetTabPageName(const Text& tabControl, int page) {
  std::lock_guard lock(mutex_);
  const auto found = controls_.find(tabControl);
  if (found == controls_.end() || page < 1) return Text();
  const std::vector<Text>& names = found->second.pageNames;
  return static_cast<std::size_t>(page) <= names.size() ? names[static_cast<std::size_t>(page) - 1] : Text();
}

}  // namespace host
