// The common dialogs, the folder browser and the OLE drop target of the Win32
// host. Every text here is code-page bytes; UTF-16 only inside.
#pragma once

#include <windows.h>
#include <oleidl.h>

#include <functional>
#include <memory>
#include <vector>

#include "host/Text.h"

namespace host::win32 {

// One run of the open or save dialog (GetOpenFileNameW / GetSaveFileNameW),
// owned by the given window.
struct FileDialogRequest {
  bool save = false;
  Text filter;    // "label|pattern|label|pattern|..." as the flows set it
  Text fileName;  // shown at the start; the chosen full path once confirmed
};
// True when confirmed (request.fileName is then the chosen path); false when
// cancelled (request unchanged). A save dialog asks before it accepts a file
// that exists and stays open on "no"; an open dialog takes only an existing
// file; a name holding '*' or '?' is taken as a filter and the dialog stays
// open. The first filter entry is chosen; the dialog opens in the folder the
// system picks (its last one, else the working directory) and leaves the
// working directory as it was. Call it on the owner's thread.
bool RunFileDialog(HWND owner, FileDialogRequest& request);

// SHBrowseForFolderW with BIF_EDITBOX (and BIF_BROWSEINCLUDEFILES): the chosen
// folder, or empty text when cancelled or the item has no file-system path.
// The program's top-level windows (on every thread) are disabled while it is
// open and restored afterwards as they were, the foreground and active
// windows too. Owned by owner, or when that is no window by the active one.
Text RunFolderBrowser(HWND owner, const Text& title, bool includeFiles);

// The files-dropped event's text: one path alone; several each followed by
// CR LF.
Text DroppedFilesText(const std::vector<Text>& paths);

// A window's OLE drop target for files (CF_HDROP). Needs OleInitialize on the
// window's thread. Revoked when destroyed.
class FileDropTarget {
 public:
  using FilesDropped = std::function<void(const Text& paths)>;
  // Null when RegisterDragDrop fails. onFiles runs on the window's thread
  // inside the drop, while the drag source waits: it should do little.
  static std::unique_ptr<FileDropTarget> Register(HWND window, FilesDropped onFiles);
  virtual ~FileDropTarget() = default;

  // The registered COM object (the reference stays the owner's), for feeding
  // it drags by hand.
  virtual IDropTarget* Object() const = 0;

 protected:
  FileDropTarget() = default;
};

}  // namespace host::win32
