// The window system's services as the application sees them: threads, message
// boxes, dialogs, the folder browser, file drop, file search, whole-file read
// and write, the program directory, event processing, visual style, and the
// properties and events of the window's controls, addressed by name.
//
// Every text crossing this interface is a byte string in the program's code
// page (GB18030 on Linux); only the Qt implementation turns texts into Qt
// strings. Control names are those of the window description (app/), Chinese
// included, as code-page bytes.
//
// Two implementations: QtHost (host/QtHost.h) on Qt 6 Widgets for the program,
// ScriptedHost (host/ScriptedHost.h) without any window system for tests of
// the application's flows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/Text.h"

namespace host {

struct WindowDescription;

using Bytes = std::vector<std::uint8_t>;
using NativeHandle = std::uintptr_t;  // 0 = none

// The properties the handlers read and write. Text-valued: Content (the text of edit boxes,
// labels, transparent labels), Filter and FileName (file dialog objects).
// Integer-valued: Disabled (buttons, 0/1), Maximum and Position (progress
// bar), CurrentPage (tab control, 0-based).
enum class Property { Content, Filter, FileName, Disabled, Maximum, Position, CurrentPage };

// Events a handler can be bound to. Created belongs to the start window;
// TextChanged to edit boxes (raised by user edits and by every write of the
// Content property, before the write returns); PageChanged to the tab control;
// FilesDropped to a drop object (argument: the dropped path, or several paths
// each followed by CR LF); Click to buttons.
enum class Event { Created, Click, TextChanged, PageChanged, FilesDropped };

// The argument is the event's text (the dropped paths) or empty.
using Handler = std::function<void(const Text& argument)>;

// A worker routine. The host's subroutine takes one pointer-sized parameter;
// a lambda capture serves the same purpose here.
using ThreadRoutine = std::function<void()>;

// The caller's handle on one FindFile search. Move-only; the search is
// released when it runs out, is closed, or the slot is destroyed.
class SearchSlot {
 public:
  SearchSlot() = default;
  SearchSlot(const SearchSlot&) = delete;
  SearchSlot& operator=(const SearchSlot&) = delete;
  SearchSlot(SearchSlot&&) = default;
  SearchSlot& operator=(SearchSlot&&) = default;

  bool IsOpen() const { return open_; }

 private:
  friend class Host;
  std::vector<Text> names_;  // files only, sorted by their bytes
  std::size_t next_ = 0;
  bool open_ = false;
};

// ShowMessage flags, the message-box values of the original window system:
// the buttons in the low four bits, the default button in 0xF00.
inline constexpr int kButtonsOk = 0;
inline constexpr int kButtonsOkCancel = 1;
inline constexpr int kButtonsAbortRetryIgnore = 2;
inline constexpr int kButtonsYesNoCancel = 3;
inline constexpr int kButtonsYesNo = 4;
inline constexpr int kButtonsRetryCancel = 5;
inline constexpr int kDefaultFirst = 0;
inline constexpr int kDefaultSecond = 0x100;
inline constexpr int kDefaultThird = 0x200;

// What ShowMessage returns: OK answers 0, as a box of one OK button always
// has; every other button the code of the original window system.
inline constexpr int kButtonOk = 0;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerAbort = 3;
inline constexpr int kAnswerRetry = 4;
inline constexpr int kAnswerIgnore = 5;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// The answers of the box's buttons in the order the flags name them (an
// unknown button set is one OK button).
std::vector<int> MessageButtons(int flags);
// The button Enter presses: the one the flags name as default, else the first.
int DefaultAnswer(int flags);
// The answer of a box closed without a choice (Esc, or the program's exit):
// Cancel where the box has one, else No, else its first button.
int DismissAnswer(int flags);

// A name in a folder, with the system's separator; a separator that ends the
// folder already ("C:\" from the folder browser, say) is not doubled.
Text JoinPath(const Text& folder, const Text& name);
// The path as the folder sees it: an absolute path as it stands, a relative
// one joined to the folder. On Windows a path rooted on the current drive
// ("\x") takes the folder's drive or share, and one relative to a drive
// ("D:x") is joined to the folder when the folder is on that drive (else the
// system resolves it against that drive's own folder).
Text ResolveIn(const Text& folder, const Text& path);

class Host {
 public:
  virtual ~Host() = default;

  // --- Program lifecycle (used by start-up in app/Startup.cpp) ---------------

  // Adds a routine run once when the program ends (after every worker has
  // finished), unless it is already listed under the same key.
  virtual void RegisterExitRoutine(const std::string& key, std::function<void()> routine) = 0;
  // Builds the start window and its controls from the description, shows it
  // and raises its Created event. Handlers must be bound before this call.
  virtual bool CreateStartWindow(const WindowDescription& description) = 0;
  // Runs the message loop until the start window is destroyed, lets running
  // workers finish, runs the exit routines. Returns the exit code (0).
  virtual int RunMessageLoop() = 0;
  // True once the start window is being dismissed: no new work is accepted,
  // worker control operations and message boxes return at once. A batch loop
  // checks it after every file.
  virtual bool IsExiting() const = 0;

  // --- Events ---------------------------------------------------------------

  // Binds the handler of one control's event (the start window's name for
  // Created). Handlers run on the window's thread. A later binding replaces
  // an earlier one.
  virtual void Bind(const Text& control, Event event, Handler handler) = 0;

  // --- Control properties: callable from any thread -------------------------
  // From a worker they are carried out on the window's thread and the caller
  // waits for them; never call them while holding a lock the window's thread
  // may want. Unknown controls read as empty text / 0 and ignore writes.

  virtual Text GetTextProperty(const Text& control, Property property) = 0;
  virtual void SetTextProperty(const Text& control, Property property, const Text& value) = 0;
  virtual int GetIntProperty(const Text& control, Property property) = 0;
  virtual void SetIntProperty(const Text& control, Property property, int value) = 0;

  Text GetText(const Text& control) { return GetTextProperty(control, Property::Content); }
  void SetText(const Text& control, const Text& value) { SetTextProperty(control, Property::Content, value); }
  bool IsDisabled(const Text& control) { return GetIntProperty(control, Property::Disabled) != 0; }
  void SetDisabled(const Text& control, bool disabled) {
    SetIntProperty(control, Property::Disabled, disabled ? 1 : 0);
  }

  // --- Threads and messages ---------------------------------------------------

  // Starts a detached worker running the routine. False when it could not be
  // started or the program is exiting.
  virtual bool StartThread(ThreadRoutine routine) = 0;

  // Shows a message box with the buttons the flags name (flags 0: one OK
  // button) under the caption, or "信息：" when none is given; returns the
  // answer of the button pressed. On the window's thread it is modal and
  // waits; from a worker the window stays usable while that worker waits for
  // the answer. After exit began it returns DismissAnswer(flags) at once.
  virtual int ShowMessage(const Text& message, int flags = 0,
                          const std::optional<Text>& caption = std::nullopt) = 0;

  // Handles the events waiting for the window's thread. From a worker it does
  // nothing (its own queue is empty).
  virtual void ProcessEvents() = 0;

  // --- Program directory and files ---------------------------------------------

  // The program's directory, without a trailing separator; the working
  // directory from start-up on. Where the program's own directory is not
  // writable, the per-user data folder ($XDG_DATA_HOME/pictomill, else
  // ~/.local/share/pictomill).
  virtual Text GetProgramDirectory() = 0;

  // Relative paths below resolve in the program directory.

  // Creates exactly one directory; false when it exists or its parent is missing.
  virtual bool MakeDirectory(const Text& path);
  // The whole file; empty for an empty path, a missing or unreadable file.
  virtual Bytes ReadFileBytes(const Text& path);
  // Writes the arrays in order into a temporary file beside the target and
  // renames it over the target only when everything was written. False for
  // an empty path or any file error (the target then is as it was).
  virtual bool WriteFileBytes(const Text& path, const std::vector<Bytes>& parts);
  bool WriteFileBytes(const Text& path, const Bytes& bytes) { return WriteFileBytes(path, std::vector<Bytes>{bytes}); }

  // With a pattern: closes any search in the slot and starts a new one
  // ("folder/ *.jpg", ASCII letters case-insensitive). Without: the next name
  // of the slot's search. Returns the next file name (no folder; directories
  // skipped; names sorted by their bytes), or empty text when none is left,
  // which also closes the search.
  Text FindFile(SearchSlot& slot, const std::optional<Text>& pattern = std::nullopt);
  void CloseFindFile(SearchSlot& slot);

  // --- Dialogs ---------------------------------------------------------------------

  // The folder browser (window's thread). The chosen folder, or empty text
  // when cancelled.
  virtual Text BrowseForFolder(const Text& title, bool includeFiles = false) = 0;
  // Shows the named file dialog object (open or save, as described) with its
  // Filter and FileName properties. True when confirmed: the FileName property
  // becomes the chosen full path. Cancel: false, nothing changed. A save
  // dialog asks before it accepts a file that exists; declined, it stays open.
  virtual bool ShowFileDialog(const Text& dialog) = 0;

  // --- Window operations -----------------------------------------------------------

  // Makes the window (by name) the drop target of the named drop object.
  // False when that object is already registered or the handle is unknown.
  virtual bool RegisterFileDrop(const Text& dropObject, NativeHandle window) = 0;
  // 1, 2, 3: the flat look with that style's frame colour; other values switch
  // it off. Returns 1 when switched on; when switching off, 1 if it was on.
  virtual int SetVisualStyle(int style) = 0;
  virtual NativeHandle GetWindowHandle(const Text& windowOrControl) = 0;
  virtual void SetWindowFocus(const Text& windowOrControl) = 0;
  // Closes the window once control returns to the message loop; dismissing
  // the start window begins the exit.
  virtual void DismissWindow(const Text& window) = 0;
  // Caption of the tab control's page with the 1-based number, or empty.
  virtual Text GetTabPageName(const Text& tabControl, int page) = 0;

 protected:
  // Resolves a relative path in the program directory.
  Text ResolvePath(const Text& path);
};

}  // namespace host
