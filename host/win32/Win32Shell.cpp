#include "host/win32/Win32Shell.h"

#include <commdlg.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <string>
#include <utility>

#include "platform/Platform.h"

namespace host::win32 {

namespace {

// Room for a long path (\\?\ form included) and its terminator.
constexpr DWORD kPathChars = 32768;

// The system's UTF-16 and the code page meet here only.
std::wstring Wide(const Text& text) {
  std::u16string utf16;
  if (!platform::CodePageToUtf16(text.c_str(), utf16)) return std::wstring();
  return std::wstring(utf16.begin(), utf16.end());
}

bool Narrow(const wchar_t* wide, Text& text) {
  const std::u16string_view view(reinterpret_cast<const char16_t*>(wide), std::char_traits<wchar_t>::length(wide));
  return platform::Utf16ToCodePage(view, text);
}

// "label|pattern|label|pattern|" as the Qt host reads it: pairs, a lone last
// part standing for itself. The dialog's list ends at an empty string, so a
// pair without a pattern is left out and one without a label shows its pattern.
std::wstring DialogFilter(const Text& filter, bool& hasEntries) {
  const std::vector<Text> parts = SplitText(filter, "|");
  std::wstring list;
  hasEntries = false;
  auto add = [&](const Text& label, const Text& pattern) {
    const std::wstring widePattern = Wide(pattern);
    if (widePattern.empty()) return;
    const std::wstring wideLabel = Wide(label);
    list += wideLabel.empty() ? widePattern : wideLabel;
    list += L'\0';
    list += widePattern;
    list += L'\0';
    hasEntries = true;
  };
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) add(parts[i], parts[i + 1]);
  if (parts.size() % 2 == 1) add(parts.back(), parts.back());
  list += L'\0';
  return list;
}

// One reference to a COM object, released with its owner.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(T* object) : object_(object) {}
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() { Reset(); }
  void Reset(T* object = nullptr) {
    if (object_ != nullptr) object_->Release();
    object_ = object;
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

struct PidlOwner {
  PIDLIST_ABSOLUTE pidl = nullptr;
  PidlOwner() = default;
  PidlOwner(const PidlOwner&) = delete;
  PidlOwner& operator=(const PidlOwner&) = delete;
  ~PidlOwner() { CoTaskMemFree(pidl); }
};

// The program's top-level windows, on every thread (a worker's message box
// too), with the enabled state each had: disabled while a dialog is modal,
// then put back as they were. A worker owns a window only inside a message
// box, whose loop answers the enabling at once.
class DisabledWindows {
 public:
  DisabledWindows() : active_(GetActiveWindow()), foreground_(GetForegroundWindow()) {
    EnumWindows(&DisabledWindows::Record, reinterpret_cast<LPARAM>(this));
    for (const auto& [window, enabled] : windows_) {
      if (enabled) EnableWindow(window, FALSE);
    }
  }
  DisabledWindows(const DisabledWindows&) = delete;
  DisabledWindows& operator=(const DisabledWindows&) = delete;
  ~DisabledWindows() {
    for (const auto& [window, enabled] : windows_) {
      if (IsWindow(window)) EnableWindow(window, enabled ? TRUE : FALSE);
    }
    if (foreground_ != nullptr && IsWindow(foreground_)) SetForegroundWindow(foreground_);
    if (active_ != nullptr && IsWindow(active_)) SetActiveWindow(active_);
  }

  HWND active() const { return active_; }

 private:
  // The input method's own windows are left alone: the dialog's edit box
  // needs them for Chinese input.
  static BOOL CALLBACK Record(HWND window, LPARAM self) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wcscmp(name, L"IME") == 0 || std::wcscmp(name, L"MSCTFIME UI") == 0) return TRUE;
    reinterpret_cast<DisabledWindows*>(self)->windows_.emplace_back(window, IsWindowEnabled(window) != FALSE);
    return TRUE;
  }

  HWND active_;
  HWND foreground_;
  std::vector<std::pair<HWND, bool>> windows_;
};

DWORD Effect(bool accepted, DWORD keys, DWORD allowed) {
  if (!accepted) return DROPEFFECT_NONE;
  const bool control = (keys & MK_CONTROL) != 0;
  const bool shift = (keys & MK_SHIFT) != 0;
  if (control && shift) return DROPEFFECT_NONE;
  if (control) return (allowed & DROPEFFECT_COPY) != 0 ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  if (shift) return (allowed & DROPEFFECT_MOVE) != 0 ? DROPEFFECT_MOVE : DROPEFFECT_NONE;
  if ((allowed & DROPEFFECT_COPY) != 0) return DROPEFFECT_COPY;
  if ((allowed & DROPEFFECT_MOVE) != 0) return DROPEFFECT_MOVE;
  if ((allowed & DROPEFFECT_LINK) != 0) return DROPEFFECT_LINK;
  return DROPEFFECT_NONE;
}

FORMATETC FileListFormat() { return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

// Every path of a CF_HDROP, in the code page; one that has no spelling there
// (a lone surrogate) is left out.
std::vector<Text> DroppedPaths(IDataObject* data) {
  std::vector<Text> paths;
  FORMATETC format = FileListFormat();
  STGMEDIUM medium{};
  if (FAILED(data->GetData(&format, &medium))) return paths;
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) {
    if (auto* drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0) continue;
        std::wstring path(length + 1, L'\0');
        if (DragQueryFileW(drop, i, path.data(), length + 1) == 0) continue;
        Text text;
        if (Narrow(path.c_str(), text) && !text.empty()) paths.push_back(std::move(text));
      }
      GlobalUnlock(medium.hGlobal);
    }
  }
  ReleaseStgMedium(&medium);
  return paths;
}

// The COM object OLE holds while the window is registered and during a drag;
// it outlives its owner when OLE still has a reference, and is then deaf.
class DropTargetObject final : public IDropTarget {
 public:
  DropTargetObject(HWND window, FileDropTarget::FilesDropped onFiles)
      : window_(window), onFiles_(std::move(onFiles)) {
    void* helper = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper,
                                   &helper))) {
      helper_.Reset(static_cast<IDropTargetHelper*>(helper));
    }
  }
  DropTargetObject(const DropTargetObject&) = delete;
  DropTargetObject& operator=(const DropTargetObject&) = delete;

  void Detach() {
    onFiles_ = nullptr;
    helper_.Reset();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
      *object = static_cast<IDropTarget*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override {
    if (effect == nullptr) return E_INVALIDARG;
    if (helper_ && data != nullptr) {
      POINT p{point.x, point.y};
      helper_->DragEnter(window_, data, &p, *effect);
    }
    FORMATETC format = FileListFormat();
    accepted_ = data != nullptr && data->QueryGetData(&format) == S_OK;
    *effect = Effect(accepted_, keys, *effect);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override {
    if (effect == nullptr) return E_INVALIDARG;
    *effect = Effect(accepted_, keys, *effect);
    if (helper_) {
      POINT p{point.x, point.y};
      helper_->DragOver(&p, *effect);
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE DragLeave() override {
    if (helper_) helper_->DragLeave();
    accepted_ = false;
    return S_OK;
  }

  // Nothing is taken from the source: the paths are only read. So the source
  // is told the drop failed, and a move never deletes what it moved.
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override {
    if (effect == nullptr) return E_INVALIDARG;
    const DWORD chosen = Effect(accepted_, keys, *effect);
    accepted_ = false;
    if (helper_ && data != nullptr) {
      POINT p{point.x, point.y};
      helper_->Drop(data, &p, chosen);
    }
    *effect = DROPEFFECT_NONE;
    if (chosen == DROPEFFECT_NONE || data == nullptr) return E_FAIL;
    const std::vector<Text> paths = DroppedPaths(data);
    if (!paths.empty() && onFiles_) {
      // A copy, and a reference: the handler may destroy the owner.
      const FileDropTarget::FilesDropped handler = onFiles_;
      AddRef();
      const ComRef<DropTargetObject> keep(this);
      handler(DroppedFilesText(paths));
    }
    return E_FAIL;
  }

 private:
  ~DropTargetObject() = default;

  LONG references_ = 1;
  HWND window_;
  FileDropTarget::FilesDropped onFiles_;
  ComRef<IDropTargetHelper> helper_;
  bool accepted_ = false;
};

class RegisteredDropTarget final : public FileDropTarget {
 public:
  RegisteredDropTarget(HWND window, DropTargetObject* object) : window_(window), object_(object) {}
  ~RegisteredDropTarget() override {
    RevokeDragDrop(window_);
    object_->Detach();
  }
  IDropTarget* Object() const override { return object_.get(); }

 private:
  HWND window_;
  ComRef<DropTargetObject> object_;
};

}  // namespace

bool RunFileDialog(HWND owner, FileDialogRequest& request) {
  bool hasFilter = false;
  const std::wstring filter = DialogFilter(request.filter, hasFilter);
  std::wstring file(kPathChars, L'\0');
  const std::wstring initial = Wide(request.fileName);
  if (initial.size() < kPathChars) initial.copy(file.data(), initial.size());

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = hasFilter ? filter.c_str() : nullptr;
  ofn.nFilterIndex = hasFilter ? 1 : 0;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = kPathChars;
  // No hook: a name with '*' or '?' the dialog itself takes as a list filter
  // and stays open (so does Wine's). The working directory stays the
  // program's: its relative folders rely on it.
  ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
              OFN_PATHMUSTEXIST | (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  const BOOL confirmed = request.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!confirmed) return false;
  file.back() = L'\0';
  Text chosen;
  if (!Narrow(file.c_str(), chosen) || chosen.empty()) return false;
  request.fileName = std::move(chosen);
  return true;
}

Text RunFolderBrowser(HWND owner, const Text& title, bool includeFiles) {
  const std::wstring wideTitle = Wide(title);
  wchar_t displayName[MAX_PATH] = {};
  PidlOwner chosen;
  {
    DisabledWindows disabled;
    if (owner == nullptr || !IsWindow(owner)) owner = IsWindow(disabled.active()) ? disabled.active() : nullptr;
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    info.lpszTitle = wideTitle.empty() ? nullptr : wideTitle.c_str();
    info.ulFlags = BIF_EDITBOX | (includeFiles ? BIF_BROWSEINCLUDEFILES : 0);
    chosen.pidl = SHBrowseForFolderW(&info);
  }
  if (chosen.pidl == nullptr) return Text();
  std::wstring path(kPathChars, L'\0');
  if (!SHGetPathFromIDListEx(chosen.pidl, path.data(), kPathChars, GPFIDL_DEFAULT)) return Text();
  Text text;
  return Narrow(path.c_str(), text) ? text : Text();
}

Text DroppedFilesText(const std::vector<Text>& paths) {
  if (paths.size() == 1) return paths.front();
  Text text;
  for (const Text& path : paths) text += path + "\r\n";
  return text;
}

std::unique_ptr<FileDropTarget> FileDropTarget::Register(HWND window, FilesDropped onFiles) {
  ComRef<DropTargetObject> object(new DropTargetObject(window, std::move(onFiles)));
  if (FAILED(RegisterDragDrop(window, object.get()))) {
    object->Detach();
    return nullptr;
  }
  // The registration holds its own reference; this one passes to the owner.
  object->AddRef();
  return std::make_unique<RegisteredDropTarget>(window, object.get());
}

}  // namespace host::win32
