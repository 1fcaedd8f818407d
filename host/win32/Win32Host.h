// The host on the Win32 API. The window and its controls live on the thread
// that made the host (the window's thread); every control operation a worker
// asks for is sent to a message-only window of that thread and the worker
// waits for it. Message boxes are the system's own, each shown on the thread
// that asks for it.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "host/Host.h"
#include "host/WindowDescription.h"

namespace host {

class Win32Host : public Host {
 public:
  struct Options {
    // Test hook: the program file's full path (code page) instead of the
    // running executable's; its folder becomes the program directory.
    Text programPath;
    // A folder the program never writes beside itself in, even where it
    // could (empty: none); the per-user data folder serves instead.
    Text installedDirectory;
  };

  // What a test hook sees of a message box that is open now, read from the
  // box itself.
  struct MessageInfo {
    HWND box = nullptr;
    Text text;     // the box's message
    Text caption;  // its title
    int flags = 0;
    bool fromWorker = false;
    // True when the start window takes no input while the box is open.
    bool blocksWindow = false;
    std::vector<int> buttons;       // the answers of its buttons, left to right
    std::vector<Text> buttonTexts;  // their captions, in the same order
    int defaultAnswer = kButtonOk;  // what Enter presses
  };
  struct FileDialogInfo {
    Text dialog;  // the dialog object's name
    bool save = false;
    Text filter;    // as the flows set it
    Text fileName;  // the file name the dialog opens with
  };

  // Initialises OLE and the common controls for the calling thread, which
  // becomes the window's thread; determines the program directory and makes
  // it the working directory.
  explicit Win32Host(const Options& options);
  Win32Host() : Win32Host(Options{}) {}
  ~Win32Host() override;

  // --- Test hooks -------------------------------------------------------------------
  // Called on the box's own thread once a message box is open; returns the
  // button to press, or nullopt to leave the box open.
  void SetMessageHook(std::function<std::optional<int>(const MessageInfo&)> hook);
  // Instead of the common dialog: a path confirms it, nullopt cancels.
  void SetFileDialogHook(std::function<std::optional<Text>(const FileDialogInfo&)> hook);
  // Instead of the folder browser: the chosen folder, or empty to cancel.
  void SetFolderHook(std::function<Text(const Text& title)> hook);
  // The start window (empty name or its own) or a control's window; null for
  // invisible objects and unknown names.
  HWND ControlWindow(const Text& name) const;
  int RunningWorkers() const;
  // The files-dropped path as the window's drop target takes it: the event of
  // the registered drop object, raised once control is back in the loop.
  // False when no drop object is registered.
  bool DeliverDroppedFiles(const std::vector<Text>& paths);
  // The dots per inch the window is laid out for now.
  int WindowDpi() const;

  // --- Host -------------------------------------------------------------------------
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

  // Code page <-> the window's UTF-16, the only crossing.
  static std::wstring ToWide(const Text& text);
  static Text FromWide(const std::wstring& text);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace host
