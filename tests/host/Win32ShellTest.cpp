// The Win32 host's dialogs, folder browser and drop target, on real windows:
// the dialogs are answered from a second thread that finds them and presses
// their buttons, never by waiting for time to pass. Needs a display (under
// Wine: xvfb-run); without one every case here skips.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>
#include <ole2.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/win32/Win32Shell.h"
// The platform's names, not the system's macros.
#undef CreateDirectory
#undef GetCurrentDirectory
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

namespace {

using host::Text;
using host::win32::DroppedFilesText;
using host::win32::FileDialogRequest;
using host::win32::FileDropTarget;

constexpr auto kDialogWait = std::chrono::seconds(20);

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  return text;
}

std::wstring Wide(const Text& text) {
  std::u16string utf16;
  EXPECT_TRUE(platform::CodePageToUtf16(text.c_str(), utf16));
  return std::wstring(utf16.begin(), utf16.end());
}

Text CodePage(const std::string& utf8) {
  Text text;
  EXPECT_TRUE(platform::Utf8ToCodePage(utf8.c_str(), text));
  return text;
}

struct OleScope {
  HRESULT result = OleInitialize(nullptr);
  OleScope() = default;
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;
  ~OleScope() {
    if (SUCCEEDED(result)) OleUninitialize();
  }
};

class Window {
 public:
  explicit Window(DWORD exStyle = 0, const wchar_t* title = L"Pictomill") {
    static const ATOM kClass = [] {
      WNDCLASSW windowClass{};
      windowClass.lpfnWndProc = DefWindowProcW;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.lpszClassName = L"PictomillShellTest";
      return RegisterClassW(&windowClass);
    }();
    if (kClass == 0) return;
    handle_ = CreateWindowExW(exStyle, L"PictomillShellTest", title, WS_OVERLAPPEDWINDOW, 50, 50, 400, 300, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() {
    if (handle_ != nullptr) DestroyWindow(handle_);
  }
  HWND get() const { return handle_; }

 private:
  HWND handle_ = nullptr;
};

#define SKIP_WITHOUT_WINDOWS(window) \
  if ((window).get() == nullptr) GTEST_SKIP() << "no window can be made here (no display: run under xvfb-run)"

// A data object offering one format in global memory, as a drag source does.
class DataObject final : public IDataObject {
 public:
  DataObject(CLIPFORMAT format, std::vector<std::uint8_t> bytes) : format_(format), bytes_(std::move(bytes)) {}

  // CF_HDROP: a DROPFILES header and the wide paths, each ended, then one more end.
  static DataObject* Files(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths) list += path + L'\0';
    list += L'\0';
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::vector<std::uint8_t> bytes(sizeof header + list.size() * sizeof(wchar_t));
    std::memcpy(bytes.data(), &header, sizeof header);
    std::memcpy(bytes.data() + sizeof header, list.data(), list.size() * sizeof(wchar_t));
    return new DataObject(CF_HDROP, std::move(bytes));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
      *object = static_cast<IDataObject*>(this);
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
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    ++reads;
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(GlobalLock(copy), bytes_.data(), bytes_.size());
    GlobalUnlock(copy);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = copy;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    if (format == nullptr) return E_INVALIDARG;
    return format->cfFormat == format_ && (format->tymed & TYMED_HGLOBAL) != 0 ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    FORMATETC format{format_, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return SHCreateStdEnumFmtEtc(1, &format, formats);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  int reads = 0;

 private:
  ~DataObject() = default;
  LONG references_ = 1;
  CLIPFORMAT format_;
  std::vector<std::uint8_t> bytes_;
};

// Releases a COM reference at the end of the scope.
template <typename T>
struct Ref {
  T* object;
  explicit Ref(T* o) : object(o) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { object->Release(); }
  T* operator->() const { return object; }
};

// The visible dialogs (class #32770) of a thread owned by the given window.
HWND FindDialog(DWORD thread, HWND owner) {
  struct Search {
    HWND owner;
    HWND found;
  } search{owner, nullptr};
  EnumThreadWindows(
      thread,
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (std::wcscmp(name, L"#32770") == 0 && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == s->owner) {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForDialog(DWORD thread, HWND owner) {
  const auto end = std::chrono::steady_clock::now() + kDialogWait;
  while (std::chrono::steady_clock::now() < end) {
    if (HWND dialog = FindDialog(thread, owner)) return dialog;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

bool WaitUntilGone(HWND window) {
  const auto end = std::chrono::steady_clock::now() + kDialogWait;
  while (IsWindow(window)) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Presses a dialog button and waits until the dialog has handled it (the
// dialog may end meanwhile). False when it did not answer in time.
bool Press(HWND dialog, int button) {
  DWORD_PTR ignored = 0;
  const LRESULT answered =
      SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                          reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)), SMTO_NORMAL, 10000, &ignored);
  return answered != 0 || !IsWindow(dialog);
}

// For a press that opens a box of its own: returns at once.
void PressLater(HWND dialog, int button) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// The file dialog's name box: the edit inside its name combo box, or its name edit.
HWND NameBox(HWND dialog) {
  HWND edit = nullptr;
  if (HWND combo = GetDlgItem(dialog, cmb13)) {
    EnumChildWindows(
        combo,
        [](HWND window, LPARAM data) -> BOOL {
          wchar_t name[16] = {};
          GetClassNameW(window, name, 16);
          if (std::wcscmp(name, L"Edit") != 0) return TRUE;
          *reinterpret_cast<HWND*>(data) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&edit));
  }
  return edit != nullptr ? edit : GetDlgItem(dialog, edt1);
}

void Type(HWND dialog, const std::wstring& name) {
  SendMessageW(NameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

// Runs a driver on its own thread against the dialogs the calling thread
// shows; whatever is still open when the driver ends (having failed) is
// cancelled, so a failed case never hangs.
class Driver {
 public:
  explicit Driver(std::function<void(DWORD thread)> script)
      : thread_([script, id = GetCurrentThreadId()] {
          script(id);
          for (int i = 0; i < 8; ++i) {
            HWND left = nullptr;
            EnumThreadWindows(
                id,
                [](HWND window, LPARAM data) -> BOOL {
                  wchar_t name[16] = {};
                  GetClassNameW(window, name, 16);
                  if (std::wcscmp(name, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
                  *reinterpret_cast<HWND*>(data) = window;
                  return FALSE;
                },
                reinterpret_cast<LPARAM>(&left));
            if (left == nullptr) break;
            PostMessageW(left, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            WaitUntilGone(left);
          }
        }) {}
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;
  ~Driver() { thread_.join(); }

 private:
  std::thread thread_;
};

// --- The files-dropped text and the drop target -------------------------------------

TEST(DroppedFilesTextTest, OnePathAloneSeveralEachEndedByCrLf) {
  EXPECT_EQ(DroppedFilesText({"C:\\图片\\猫.jpg"}), "C:\\图片\\猫.jpg");
  EXPECT_EQ(DroppedFilesText({"C:\\a.png", "D:\\照片 1.bmp", "E:\\x"}), "C:\\a.png\r\nD:\\照片 1.bmp\r\nE:\\x\r\n");
  EXPECT_EQ(DroppedFilesText({}), "");
}

class DropTargetTest : public ::testing::Test {
 protected:
  OleScope ole;
  Window window;
  std::vector<Text> events;
};

TEST_F(DropTargetTest, EffectsFollowTheKeysAndWhatTheSourceAllows) {
  SKIP_WITHOUT_WINDOWS(window);
  auto target = FileDropTarget::Register(window.get(), [&](const Text& paths) { events.push_back(paths); });
  ASSERT_NE(target, nullptr);
  IDropTarget* drop = target->Object();
  Ref<DataObject> files{DataObject::Files({L"C:\\图片\\猫.jpg"})};
  constexpr DWORD kAll = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  struct Case {
    DWORD keys;
    DWORD allowed;
    DWORD expected;
  };
  const Case cases[] = {
      {0, kAll, DROPEFFECT_COPY},
      {MK_LBUTTON, DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_MOVE},
      {0, DROPEFFECT_LINK, DROPEFFECT_LINK},
      {0, DROPEFFECT_NONE, DROPEFFECT_NONE},
      {MK_CONTROL, kAll, DROPEFFECT_COPY},
      {MK_CONTROL, DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_NONE},
      {MK_SHIFT | MK_LBUTTON, kAll, DROPEFFECT_MOVE},
      {MK_SHIFT, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_NONE},
      {MK_CONTROL | MK_SHIFT, kAll, DROPEFFECT_NONE},
  };
  const POINTL point{60, 60};
  for (const Case& c : cases) {
    DWORD effect = c.allowed;
    EXPECT_EQ(drop->DragEnter(files.object, c.keys, point, &effect), S_OK);
    EXPECT_EQ(effect, c.expected) << "enter, keys " << c.keys << ", allowed " << c.allowed;
    effect = c.allowed;
    EXPECT_EQ(drop->DragOver(c.keys, point, &effect), S_OK);
    EXPECT_EQ(effect, c.expected) << "over, keys " << c.keys << ", allowed " << c.allowed;
    EXPECT_EQ(drop->DragLeave(), S_OK);
  }
  // A drag that holds no file list is refused whatever the keys.
  Ref<DataObject> text{new DataObject(CF_UNICODETEXT, {'a', 0, 0, 0})};
  DWORD effect = kAll;
  drop->DragEnter(text.object, 0, point, &effect);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  effect = kAll;
  drop->DragOver(MK_CONTROL, point, &effect);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  effect = kAll;
  drop->Drop(text.object, 0, point, &effect);
  EXPECT_EQ(text->reads, 0);
  EXPECT_TRUE(events.empty());
}

TEST_F(DropTargetTest, DropRaisesOneEventWithEveryPathAndTellsTheSourceNothingWasTaken) {
  SKIP_WITHOUT_WINDOWS(window);
  auto target = FileDropTarget::Register(window.get(), [&](const Text& paths) { events.push_back(paths); });
  ASSERT_NE(target, nullptr);
  IDropTarget* drop = target->Object();
  const POINTL point{60, 60};

  Ref<DataObject> one{DataObject::Files({L"C:\\图片\\猫 咪.jpg"})};
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  drop->DragEnter(one.object, MK_LBUTTON, point, &effect);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  // A failure and no effect: a source that moved the file keeps it.
  EXPECT_TRUE(FAILED(drop->Drop(one.object, 0, point, &effect)));
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], "C:\\图片\\猫 咪.jpg");

  Ref<DataObject> three{DataObject::Files({L"C:\\一.png", L"D:\\二\\三.bmp", L"\\\\server\\share\\四.tif"})};
  effect = DROPEFFECT_MOVE;
  drop->DragEnter(three.object, MK_SHIFT, point, &effect);
  effect = DROPEFFECT_MOVE;
  EXPECT_TRUE(FAILED(drop->Drop(three.object, MK_SHIFT, point, &effect)));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1], "C:\\一.png\r\nD:\\二\\三.bmp\r\n\\\\server\\share\\四.tif\r\n");

  // Refused drops read nothing: Ctrl and Shift together, a drop after the
  // drag left, a source that allows nothing the keys ask for.
  effect = DROPEFFECT_COPY;
  drop->DragEnter(three.object, 0, point, &effect);
  effect = DROPEFFECT_COPY;
  drop->Drop(three.object, MK_CONTROL | MK_SHIFT, point, &effect);
  effect = DROPEFFECT_COPY;
  drop->DragEnter(three.object, 0, point, &effect);
  drop->DragLeave();
  effect = DROPEFFECT_COPY;
  drop->Drop(three.object, 0, point, &effect);
  effect = DROPEFFECT_COPY;
  drop->DragEnter(three.object, 0, point, &effect);
  effect = DROPEFFECT_COPY;
  drop->Drop(three.object, MK_SHIFT, point, &effect);
  EXPECT_EQ(events.size(), 2u);
  EXPECT_EQ(three->reads, 1);
}

TEST_F(DropTargetTest, RegistersOnceAndRevokesWhenDestroyed) {
  SKIP_WITHOUT_WINDOWS(window);
  auto target = FileDropTarget::Register(window.get(), [](const Text&) {});
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(FileDropTarget::Register(window.get(), [](const Text&) {}), nullptr);
  EXPECT_EQ(RegisterDragDrop(window.get(), target->Object()), DRAGDROP_E_ALREADYREGISTERED);
  target.reset();
  auto again = FileDropTarget::Register(window.get(), [](const Text&) {});
  EXPECT_NE(again, nullptr);

  // A thread without OLE cannot register.
  std::unique_ptr<FileDropTarget> withoutOle;
  bool madeWindow = false;
  std::thread([&] {
    Window other;
    madeWindow = other.get() != nullptr;
    withoutOle = FileDropTarget::Register(other.get(), [](const Text&) {});
  }).join();
  EXPECT_TRUE(madeWindow);
  EXPECT_EQ(withoutOle, nullptr);
}

// A whole drag through OLE's own loop, from a source that allows only a move
// and drops at once over the window.
class DropAtOnce final : public IDropSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource)) {
      *object = static_cast<IDropSource*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL, DWORD) override {
    return ++asked < 3 ? S_OK : DRAGDROP_S_DROP;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
  int asked = 0;
};

TEST_F(DropTargetTest, AMoveThroughOleReachesTheWindowAndTheSourceSeesNoDrop) {
  SKIP_WITHOUT_WINDOWS(window);
  Window onTop(WS_EX_TOPMOST);
  ShowWindow(onTop.get(), SW_SHOWNORMAL);
  UpdateWindow(onTop.get());
  RECT rect{};
  GetWindowRect(onTop.get(), &rect);
  const POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  SetCursorPos(centre.x, centre.y);
  POINT cursor{};
  GetCursorPos(&cursor);
  if (cursor.x != centre.x || cursor.y != centre.y || WindowFromPoint(centre) != onTop.get()) {
    GTEST_SKIP() << "the pointer cannot be put over the window here";
  }
  auto target = FileDropTarget::Register(onTop.get(), [&](const Text& paths) { events.push_back(paths); });
  ASSERT_NE(target, nullptr);
  Ref<DataObject> files{DataObject::Files({L"C:\\移动\\猫.jpg"})};
  DropAtOnce source;
  DWORD effect = DROPEFFECT_COPY;
  const HRESULT result = DoDragDrop(files.object, &source, DROPEFFECT_MOVE, &effect);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], "C:\\移动\\猫.jpg");
  EXPECT_NE(result, DRAGDROP_S_DROP);
  EXPECT_NE(effect & DROPEFFECT_MOVE, static_cast<DWORD>(DROPEFFECT_MOVE));
}

// --- The file dialogs ----------------------------------------------------------------

class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (window.get() == nullptr) GTEST_SKIP() << "no window can be made here (no display: run under xvfb-run)";
    // Test support's names are UTF-8; the Chinese folder is made in the code page.
    folder = CodePage(testsupport::MakeTempSubdir("dialogs")) + "\\对话框";
    ASSERT_TRUE(platform::CreateDirectory(folder.c_str()));
  }
  OleScope ole;
  Window window;
  Text folder;
};

TEST_F(FileDialogTest, OpenReturnsTheChosenFileAndCancelChangesNothing) {
  const Text existing = folder + "\\图片 一.bmp";
  std::FILE* file = platform::OpenFile(existing.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  const std::string workingDirectory = platform::GetCurrentDirectory();

  FileDialogRequest request{false, "BMP图片文件（*.bmp）|*.bmp|所有文件（*.*）|*.*", "旧名.bmp"};
  std::atomic<bool> shown{false};
  std::wstring offered;
  std::vector<std::wstring> typeList;
  LRESULT chosenType = -1;
  {
    Driver driver([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, window.get());
      if (dialog == nullptr) return;
      shown = true;
      offered = TextOf(NameBox(dialog));
      HWND types = GetDlgItem(dialog, cmb1);
      const LRESULT count = SendMessageW(types, CB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < count && i < 8; ++i) {
        wchar_t entry[128] = {};
        SendMessageW(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
        typeList.push_back(entry);
      }
      chosenType = SendMessageW(types, CB_GETCURSEL, 0, 0);
      Press(dialog, IDCANCEL);
    });
    EXPECT_FALSE(host::win32::RunFileDialog(window.get(), request));
  }
  EXPECT_TRUE(shown);
  EXPECT_TRUE(offered == L"旧名.bmp");
  EXPECT_TRUE(typeList == (std::vector<std::wstring>{L"BMP图片文件（*.bmp）", L"所有文件（*.*）"}));
  EXPECT_EQ(chosenType, 0);
  EXPECT_EQ(request.fileName, "旧名.bmp");
  EXPECT_EQ(request.filter, "BMP图片文件（*.bmp）|*.bmp|所有文件（*.*）|*.*");

  bool confirmed = false;
  {
    Driver driver([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, window.get());
      if (dialog == nullptr) return;
      Type(dialog, Wide(existing));
      Press(dialog, IDOK);
    });
    confirmed = host::win32::RunFileDialog(window.get(), request);
  }
  EXPECT_TRUE(confirmed);
  EXPECT_TRUE(platform::IsSameFile(request.fileName.c_str(), existing.c_str())) << request.fileName;
  EXPECT_EQ(request.fileName.size(), existing.size());
  EXPECT_EQ(platform::GetCurrentDirectory(), workingDirectory);
}

TEST_F(FileDialogTest, SaveTakesANameWithWildcardsAsAFilterAndStaysOpen) {
  FileDialogRequest request{true, "BMP图片文件（*.bmp）|*.bmp", "改-cat-1*.bmp"};
  const Text target = folder + "\\新 图.bmp";
  std::atomic<int> openAfterWildcards{0};
  bool confirmed = false;
  {
    Driver driver([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, window.get());
      if (dialog == nullptr) return;
      // The offered name as it stands, then one typed with '?'.
      if (!Press(dialog, IDOK) || !IsWindow(dialog) || FindDialog(thread, dialog) != nullptr) return;
      ++openAfterWildcards;
      Type(dialog, L"猫?.bmp");
      if (!Press(dialog, IDOK) || !IsWindow(dialog) || FindDialog(thread, dialog) != nullptr) return;
      ++openAfterWildcards;
      Type(dialog, Wide(target));
      Press(dialog, IDOK);
    });
    confirmed = host::win32::RunFileDialog(window.get(), request);
  }
  EXPECT_EQ(openAfterWildcards, 2);
  EXPECT_TRUE(confirmed);
  EXPECT_EQ(request.fileName, target);
}

TEST_F(FileDialogTest, SaveOverAnExistingFileAsksAndStaysOpenOnNo) {
  const Text existing = folder + "\\已有.png";
  std::FILE* file = platform::OpenFile(existing.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  FileDialogRequest request{true, "PNG图片文件（*.png）|*.png", "改-cat-1*.png"};
  std::atomic<bool> askedTwice{false};
  std::atomic<bool> openAfterNo{false};
  bool confirmed = false;
  {
    Driver driver([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, window.get());
      if (dialog == nullptr) return;
      Type(dialog, Wide(existing));
      PressLater(dialog, IDOK);
      HWND question = WaitForDialog(thread, dialog);
      if (question == nullptr) return;
      PressLater(question, IDNO);
      if (!WaitUntilGone(question)) return;
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
      if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return;
      openAfterNo = true;
      PressLater(dialog, IDOK);
      question = WaitForDialog(thread, dialog);
      if (question == nullptr) return;
      askedTwice = true;
      PressLater(question, IDYES);
    });
    confirmed = host::win32::RunFileDialog(window.get(), request);
  }
  EXPECT_TRUE(openAfterNo);
  EXPECT_TRUE(askedTwice);
  EXPECT_TRUE(confirmed);
  EXPECT_EQ(request.fileName, existing);
}

// --- The folder browser --------------------------------------------------------------

using FolderBrowserTest = FileDialogTest;

TEST_F(FolderBrowserTest, DisablesTheWindowsWhileOpenAndRestoresThem) {
  Window second;
  Window disabled;
  EnableWindow(disabled.get(), FALSE);
  // A window of another thread, as a worker's message box is.
  std::atomic<HWND> workers{nullptr};
  std::atomic<DWORD> workerThread{0};
  std::thread worker([&] {
    Window own;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    workers = own.get();
    workerThread = GetCurrentThreadId();
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  });
  while (workerThread == 0) std::this_thread::yield();
  ShowWindow(window.get(), SW_SHOWNORMAL);
  SetActiveWindow(window.get());
  std::atomic<bool> allDisabledWhileOpen{false};
  Text chosen = "not yet";
  {
    Driver driver([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, window.get());
      if (dialog == nullptr) return;
      allDisabledWhileOpen = !IsWindowEnabled(window.get()) && !IsWindowEnabled(second.get()) &&
                             !IsWindowEnabled(disabled.get()) && !IsWindowEnabled(workers.load());
      Press(dialog, IDCANCEL);
    });
    chosen = host::win32::RunFolderBrowser(window.get(), "选择目标目录", false);
  }
  EXPECT_EQ(chosen, "");
  EXPECT_TRUE(allDisabledWhileOpen);
  EXPECT_TRUE(IsWindowEnabled(window.get()));
  EXPECT_TRUE(IsWindowEnabled(second.get()));
  EXPECT_FALSE(IsWindowEnabled(disabled.get()));
  EXPECT_TRUE(IsWindowEnabled(workers.load()));
  EXPECT_EQ(GetActiveWindow(), window.get());
  PostThreadMessageW(workerThread, WM_QUIT, 0, 0);
  worker.join();
}

TEST_F(FolderBrowserTest, ReturnsTheChosenFolder) {
  const Text wanted = folder + "\\目标 文件夹";
  ASSERT_TRUE(platform::CreateDirectory(wanted.c_str()));
  Text chosen;
  {
    Driver driver([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, window.get());
      if (dialog == nullptr) return;
      const std::wstring path = Wide(wanted);
      SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
      Press(dialog, IDOK);
    });
    chosen = host::win32::RunFolderBrowser(window.get(), "选择目标目录", true);
  }
  EXPECT_EQ(chosen, wanted);
}

}  // namespace
