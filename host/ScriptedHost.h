// A host without a window system, for tests of the application's flows. It
// keeps every control's properties from the window description, runs bound
// handlers when a test raises an event, answers message boxes, dialogs and
// the folder browser from scripts, and records what the application asked
// for. Files, folders and FindFile are real (Host's own implementation).
//
// Threads: StartThread runs real detached workers (WaitForWorkers waits for
// them), or runs the routine inline with SetInlineThreads(true). Handlers run
// on the thread that raised the event; writing an edit box's Text runs its
// TextChanged handler on the writing thread before the write returns.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "host/Host.h"
#include "host/HostTables.h"
#include "host/WindowDescription.h"

namespace host {

class ScriptedHost : public Host {
 public:
  struct Message {
    Text text;
    int flags = 0;
    Text caption;        // the caption shown ("信息：" when none was given)
    bool captionGiven = false;
    bool fromWorker = false;  // shown from a thread other than the one that built the window
    std::vector<int> buttons;  // the answers of the buttons shown, in order
    int defaultAnswer = kButtonOk;  // the button Enter presses
  };
  struct DialogRecord {
    Text dialog;
    Text filter;         // the Filter property when shown
    Text fileName;       // the FileName property when shown
    // Save dialogs: the existing files it asked about replacing, in order.
    std::vector<Text> replaceQuestions;
  };

  // programDirectory: what GetProgramDirectory returns (no trailing separator).
  explicit ScriptedHost(Text programDirectory);
  ~ScriptedHost() override;

  // --- Scripts --------------------------------------------------------------
  // Message boxes return the queued codes in order; with none queued, the
  // box's default button (0 for a box of one OK button).
  void QueueMessageAnswer(int code);
  // Each ShowFileDialog takes the next answer: a path confirms, nullopt cancels.
  // With no answer queued the dialog is cancelled. A save dialog given a file
  // that exists asks whether to replace it and takes the next replace answer
  // (none queued: no, the default); declined, it takes its next answer.
  void QueueFileDialogAnswer(std::optional<Text> path);
  void QueueReplaceAnswer(bool replace);
  // Each BrowseForFolder takes the next answer (empty text = cancelled).
  void QueueFolderAnswer(Text folder);
  void SetInlineThreads(bool inlineThreads);

  // --- Driving it -------------------------------------------------------------
  // Raises an event as the window system would (the user clicked, typed,
  // dropped, switched pages). For TextChanged by the user, set the text first
  // with SetTextSilently. Returns false when no handler is bound.
  bool Fire(const Text& control, Event event, const Text& argument = {});
  // Changes a property as the user would, without raising an event.
  void SetTextSilently(const Text& control, const Text& value);
  // Waits until every worker started so far has returned.
  bool WaitForWorkers(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  // --- What happened ----------------------------------------------------------
  std::vector<Message> Messages() const;
  // Waits until at least count messages were shown.
  bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30));
  std::vector<DialogRecord> FileDialogs() const;
  std::vector<Text> FolderBrowseTitles() const;
  std::vector<Text> DropRegistrations() const;  // drop object names, in order
  NativeHandle DropWindowOf(const Text& dropObject) const;
  int VisualStyle() const;
  Text FocusedWindow() const;
  int ProcessEventsCalls() const;
  int WorkersStarted() const;
  bool HasControl(const Text& control) const;
  bool Dismissed() const;

  // --- Host -----------------------------------------------------------------------
  void RegisterExitRoutine(const std::string& key, std::function<void()> routine) override;
  bool CreateStartWindow(const WindowDescription& description) override;
  // Returns at once when the start window was dismissed (after the workers and
  // the exit routines), else 0 without doing anything.
  int RunMessageLoop() override;
  bool IsExiting() const override;
  void Bind(const Text& control, Event event, Handler handler) override;
  Text GetTextProperty(const Text& control, Property property) override;
  void SetTextProperty(const Text& control, Property property, const Text& value) override;
  int GetIntProperty(const Text& control, Property property) override;
  void SetIntProperty(const Text& control, Property property, int value) override;
  bool StartThread(ThreadRoutine routine) override;
  int ShowMessage(const Text& message, int flags = 0,
                  const std::optional<Text>& caption = std::nullopt) override;
  void ProcessEvents() override;
  Text GetProgramDirectory() override;
  Text BrowseForFolder(const Text& title, bool includeFiles = false) override;
  bool ShowFileDialog(const Text& dialog) override;
  bool RegisterFileDrop(const Text& dropObject, NativeHandle window) override;
  int SetVisualStyle(int style) override;
  NativeHandle GetWindowHandle(const Text& windowOrControl) override;
  void SetWindowFocus(const Text& windowOrControl) override;
  void DismissWindow(const Text& window) override;
  Text GetTabPageName(const Text& tabControl, int page) override;

 private:
  struct Control {
    ControlKind kind = ControlKind::Button;
    NativeHandle handle = 0;
    Text text;
    Text filter;
    Text fileName;
    int disabled = 0;
    int maximum = 0;
    int position = 0;
    int currentPage = 0;
    std::vector<Text> pageNames;
  };

  Handler FindHandler(const Text& control, Event event) const;
  // Like the real host: once exit began, workers' control operations return
  // at once (reads give empty text / 0, writes are dropped).
  bool WorkerAfterExit() const;

  const Text programDirectory_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread::id windowThread_;
  WindowDescription window_;
  std::map<Text, Control> controls_;
  HandlerTable handlers_;
  ExitRoutineList exitRoutines_;
  std::deque<int> messageAnswers_;
  std::deque<std::optional<Text>> fileDialogAnswers_;
  std::deque<bool> replaceAnswers_;
  std::deque<Text> folderAnswers_;
  std::vector<Message> messages_;
  std::vector<DialogRecord> fileDialogs_;
  std::vector<Text> folderTitles_;
  std::vector<Text> dropRegistrations_;
  std::map<Text, NativeHandle> dropWindows_;
  int visualStyle_ = 0;
  Text focused_;
  int processEventsCalls_ = 0;
  int workersStarted_ = 0;
  int workersRunning_ = 0;
  bool inlineThreads_ = false;
  bool dismissed_ = false;
  std::atomic<bool> exiting_{false};
};

}  // namespace host
