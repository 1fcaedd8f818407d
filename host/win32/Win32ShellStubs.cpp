// TEMPORARY, removed when the dialogs, the folder browser and the drop target
// of host/win32/Win32Shell.cpp and Win32DropTarget.cpp are merged: just
// enough for the host to link. Nothing here shows a dialog or takes a drop;
// the host's tests answer dialogs through its hooks and deliver drops
// through Win32Host::DeliverDroppedFiles.
#include "host/win32/Win32Shell.h"

namespace host::win32 {

bool RunFileDialog(HWND, FileDialogRequest&) { return false; }

Text RunFolderBrowser(HWND, const Text&, bool) { return Text(); }

Text DroppedFilesText(const std::vector<Text>& paths) {
  if (paths.size() == 1) return paths.front();
  Text text;
  for (const Text& path : paths) text += path + "\r\n";
  return text;
}

namespace {
class StubDropTarget : public FileDropTarget {};
}  // namespace

std::unique_ptr<FileDropTarget> FileDropTarget::Register(HWND window, FilesDropped) {
  if (window == nullptr) return nullptr;
  return std::make_unique<StubDropTarget>();
}

}  // namespace host::win32
