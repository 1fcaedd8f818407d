// The host on Qt 6 Widgets. Widgets live on the thread that made the
// QApplication (the window's thread); every operation a worker asks for is
// carried out there and the worker waits for it.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "host/Host.h"
#include "host/WindowDescription.h"

class QWidget;
class QObject;
class QMessageBox;
class QString;

namespace host {

class QtHost : public Host {
 public:
  struct Options {
    // Test hook: the program file's full path (code page) instead of the
    // running executable's; its folder becomes the program directory.
    Text programPath;
    // The folder a package installs the program into (code page). A copy
    // there never writes beside itself, even where it could (run as root).
    Text installedDirectory = InstalledDirectory();
  };
  static Text InstalledDirectory();

  // What a test hook sees of a message box that is open now.
  struct MessageInfo {
    Text text;
    Text caption;
    int flags = 0;
    bool fromWorker = false;
    // True when the box blocks input to every other window (a box of the
    // window's thread); a worker's box leaves the window usable.
    bool blocksWindow = false;
    std::vector<int> buttons;       // the answers of its buttons
    std::vector<Text> buttonTexts;  // their captions, in the same order
    int defaultAnswer = kButtonOk;  // what Enter presses
    int escapeAnswer = kButtonOk;   // what Esc presses
  };
  struct FileDialogInfo {
    Text dialog;              // the dialog object's name
    bool save = false;
    std::vector<Text> qtFilters;  // the filter entries as handed to Qt
    Text fileName;            // the file name the dialog opened with
    bool promptsOverwrite = false;  // Qt asks before a save replaces a file
    bool requiresExisting = false;
  };

  // Needs a QApplication on the calling thread. Determines the program
  // directory and makes it the working directory.
  explicit QtHost(const Options& options);
  QtHost() : QtHost(Options{}) {}
  ~QtHost() override;

  // --- Test hooks (window's thread) ---------------------------------------------
  // Called once a message box is open; returns the button code to press, or
  // nullopt to leave the box open (a worker's box may wait for the exit).
  void SetMessageHook(std::function<std::optional<int>(const MessageInfo&)> hook);
  // Called once a file dialog is open: a path confirms it, nullopt cancels.
  void SetFileDialogHook(std::function<std::optional<Text>(const FileDialogInfo&)> hook);
  // Instead of the hook: called once a file dialog is open with the dialog
  // itself, which then runs as for a user until the driver ends it.
  void SetFileDialogDriver(std::function<void(QWidget* dialog)> driver);
  // Called once the folder browser is open: the chosen folder, or empty to cancel.
  void SetFolderHook(std::function<Text(const Text& title)> hook);
  // The window (empty name) or a control's widget; null for invisible objects.
  QWidget* Widget(const Text& name) const;
  QWidget* TabPage(int page) const;  // 1-based
  int RunningWorkers() const;

  // --- Host -----------------------------------------------------------------------
  void RegisterExitRoutine(const std::string& key, std::function<void()> routine) override;
  bool CreateStartWindow(const WindowDescription& description) override;
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

  // Makes the QApplication and the host, runs the program on them.
  static int RunApplication(int& argc, char** argv, const std::function<int(Host&)>& program);

  // Code page <-> Qt, the only crossing.
  static QString ToQt(const Text& text);
  static Text FromQt(const QString& text);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace host
