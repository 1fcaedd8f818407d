// Before the system headers, whose macros would rename its functions.
#include "platform/Platform.h"

#include "host/win32/Win32Host.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>

#include "host/HostTables.h"
#include "host/win32/Win32Shell.h"

// The platform's own functions of these names, not the system's macros.
#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetTempPath
#undef SetCurrentDirectory

namespace host {
namespace {

const char kDefaultCaption[] = "信息：";
// Frame colours of the three flat styles.
const COLORREF kStyleColours[3] = {RGB(123, 158, 189), RGB(164, 185, 127), RGB(198, 197, 215)};
const COLORREF kButtonFace = RGB(247, 247, 250);
const COLORREF kButtonPressed = RGB(220, 219, 230);
const COLORREF kButtonDisabled = RGB(240, 240, 240);
const COLORREF kDisabledText = RGB(160, 160, 168);
const COLORREF kFocusFrame = RGB(143, 141, 168);
const COLORREF kTabFace = RGB(226, 226, 234);  // unselected tabs, a shade under the page

// The window's default font: 9 pt at 96 dpi, as the description's "default".
constexpr int kDefaultPixelSize = 12;

constexpr UINT kCallMessage = WM_APP + 1;     // message window: run the std::function<void()> in lParam
constexpr UINT kDismissMessage = WM_APP + 2;  // start window: begin the exit
constexpr UINT kDropMessage = WM_APP + 3;     // start window: raise the queued drops
constexpr UINT_PTR kBoxTimer = 0x5049;
constexpr int kFirstControlId = 100;          // clear of IDOK and IDCANCEL

const wchar_t kWindowClass[] = L"PictomillStartWindow";
const wchar_t kCallClass[] = L"PictomillCalls";

struct WindowDeleter {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;
struct GdiDeleter {
  void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiDeleter>;
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiDeleter>;
struct IconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
struct HookDeleter {
  void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};
using UniqueHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookDeleter>;

// The message-box answers are the system's button ids, but for OK.
int AnswerOf(int id) { return id == IDOK ? kButtonOk : id; }
int IdOf(int answer) { return answer == kButtonOk ? IDOK : answer; }

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

bool FaceInstalled(const std::wstring& face) {
  if (face.empty() || face.size() >= LF_FACESIZE) return false;
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  std::copy(face.begin(), face.end(), wanted.lfFaceName);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(
      screen, &wanted,
      [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM result) -> int {
        *reinterpret_cast<bool*>(result) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

// Any face with Chinese glyphs, for a system that has none of the named ones.
std::wstring AnyChineseFace() {
  LOGFONTW wanted{};
  wanted.lfCharSet = GB2312_CHARSET;
  std::wstring face;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(
      screen, &wanted,
      [](const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM result) -> int {
        if (font->lfFaceName[0] == L'@') return 1;  // the vertical variant
        *reinterpret_cast<std::wstring*>(result) = font->lfFaceName;
        return 0;
      },
      reinterpret_cast<LPARAM>(&face), 0);
  ReleaseDC(nullptr, screen);
  return face;
}

// The named face where installed, else the system's Chinese UI faces. Asked
// once per name: enumerating the fonts is slow where there are many.
std::wstring ChooseFace(const std::wstring& named) {
  static std::mutex mutex;
  static std::map<std::wstring, std::wstring> chosen;
  std::lock_guard lock(mutex);
  const auto found = chosen.find(named);
  if (found != chosen.end()) return found->second;
  std::wstring face = AnyChineseFace();
  for (const std::wstring& candidate : {std::wstring(L"SimSun"), std::wstring(L"Microsoft YaHei UI"), named}) {
    if (FaceInstalled(candidate)) face = candidate;
  }
  chosen[named] = face;
  return face;
}

UniqueFont MakeFont(const std::wstring& face, int pixelHeight, int weight, UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(pixelHeight, static_cast<int>(dpi), 96);
  font.lfWeight = weight;
  font.lfCharSet = GB2312_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  const std::size_t length = std::min<std::size_t>(face.size(), LF_FACESIZE - 1);
  std::copy(face.begin(), face.begin() + static_cast<std::ptrdiff_t>(length), font.lfFaceName);
  return UniqueFont(CreateFontIndirectW(&font));
}

// 32-bit ARGB rows, top first, as an icon with its own alpha.
UniqueIcon MakeIcon(const std::vector<unsigned>& pixels, int size) {
  if (size <= 0 || pixels.size() != static_cast<std::size_t>(size) * static_cast<std::size_t>(size)) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  UniqueBitmap colour(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  ReleaseDC(nullptr, screen);
  if (!colour || bits == nullptr) return nullptr;
  // 0xAARRGGBB in memory order is B, G, R, A: the DIB's own layout.
  std::memcpy(bits, pixels.data(), pixels.size() * sizeof(unsigned));
  const std::vector<std::uint8_t> zeros(static_cast<std::size_t>((size + 15) / 16 * 2 * size), 0);
  UniqueBitmap mask(CreateBitmap(size, size, 1, 1, zeros.data()));
  if (!mask) return nullptr;
  ICONINFO icon{};
  icon.fIcon = TRUE;
  icon.hbmMask = mask.get();
  icon.hbmColor = colour.get();
  return UniqueIcon(CreateIconIndirect(&icon));
}

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
  SetBkColor(dc, colour);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void Frame(HDC dc, const RECT& rect, COLORREF colour) {
  const RECT edges[4] = {{rect.left, rect.top, rect.right, rect.top + 1},
                         {rect.left, rect.bottom - 1, rect.right, rect.bottom},
                         {rect.left, rect.top, rect.left + 1, rect.bottom},
                         {rect.right - 1, rect.top, rect.right, rect.bottom}};
  for (const RECT& edge : edges) FillSolid(dc, edge, colour);
}

}  // namespace

std::wstring Win32Host::ToWide(const Text& text) {
  std::u16string utf16;
  if (!platform::CodePageToUtf16(text.c_str(), utf16)) return std::wstring();
  return std::wstring(utf16.begin(), utf16.end());
}

Text Win32Host::FromWide(const std::wstring& text) {
  Text result;
  const std::u16string utf16(text.begin(), text.end());
  return platform::Utf16ToCodePage(utf16, result) ? result : Text();
}

struct ControlState {
  ControlDescription description;
  HWND window = nullptr;  // a child of the start window; null for invisible objects
  int id = 0;
  UniqueFont font;        // its own font, where the description names one
  Text filter;
  Text fileName;
  int maximum = 0;
  int position = 0;
  bool writing = false;   // a write of Content is raising its change itself
  std::unique_ptr<win32::FileDropTarget> drop;  // drop objects, once registered
};

struct OpenBox;

struct Win32Host::Impl {
  Win32Host& self;
  DWORD windowThread = 0;
  bool oleInitialised = false;
  UniqueWindow calls;  // message-only: requests from workers
  Text programDirectory;

  Text windowName;
  Text title;  // as set: the window's own text is not read back across a busy frame
  Text tabName;
  UniqueWindow window;
  HWND tab = nullptr;
  int pageCount = 0;
  std::map<Text, ControlState> controls;
  std::map<int, Text> ids;  // control id -> name
  int clientWidth = 0, clientHeight = 0;  // at 96 dpi
  UINT dpi = 96;
  std::wstring defaultFace;
  UniqueFont defaultFont;
  UniqueIcon icon;
  UniqueBrush pageBrush{CreateSolidBrush(GetSysColor(COLOR_BTNFACE))};
  int visualStyle = 0;
  bool loopDone = false;
  std::vector<std::pair<Text, Text>> pendingDrops;

  mutable std::mutex mutex;
  HandlerTable handlers;
  ExitRoutineList exitRoutines;
  std::atomic<bool> exiting{false};
  int workersRunning = 0;
  std::vector<std::pair<HWND, int>> workerBoxes;  // open boxes of workers, with their flags

  std::function<std::optional<int>(const MessageInfo&)> messageHook;
  std::function<std::optional<Text>(const FileDialogInfo&)> fileDialogHook;
  std::function<Text(const Text&)> folderHook;

  explicit Impl(Win32Host& host) : self(host) {}

  bool OnWindowThread() const { return GetCurrentThreadId() == windowThread; }
  bool Flat() const { return visualStyle >= 1 && visualStyle <= 3; }
  COLORREF FrameColour() const { return Flat() ? kStyleColours[visualStyle - 1] : GetSysColor(COLOR_BTNSHADOW); }
  int Scale(int value) const { return MulDiv(value, static_cast<int>(dpi), 96); }

  // Runs f on the window's thread and returns its result; from a worker after
  // exit began, returns the fallback at once. A sent message is served even
  // while the window's thread waits in a modal loop.
  template <class Result, class F>
  Result OnWindow(F&& f, Result fallback) {
    if (OnWindowThread()) return f();
    if (exiting.load() || !calls) return fallback;
    Result result = fallback;
    std::function<void()> call = [&] { result = f(); };
    SendMessageW(calls.get(), kCallMessage, 0, reinterpret_cast<LPARAM>(&call));
    return result;
  }
  template <class F>
  void OnWindowVoid(F&& f) {
    OnWindow<int>([&] { f(); return 0; }, 0);
  }

  Handler FindHandler(const Text& control, Event event) { return handlers.Find(control, event); }
  void Fire(const Text& control, Event event, const Text& argument = {}) {
    if (const Handler handler = FindHandler(control, event)) handler(argument);
  }
  ControlState* Find(const Text& name) {
    const auto found = controls.find(name);
    return found == controls.end() ? nullptr : &found->second;
  }

  // A control's rectangle in the start window's client area at 96 dpi.
  RECT Placement(const ControlDescription& d) const {
    int x = d.x, y = d.y;
    for (Text parent = d.parent; !parent.empty();) {
      const auto found = controls.find(parent);
      if (found == controls.end()) break;
      x += found->second.description.x;
      y += found->second.description.y;
      parent = found->second.description.parent;
    }
    return RECT{x, y, x + d.width, y + d.height};
  }
  HFONT FontOf(const ControlState& state) const { return state.font ? state.font.get() : defaultFont.get(); }

  void Build(const WindowDescription& description);
  void MakeFonts();
  void Layout();
  void ShowPage(int page);
  void ApplyProgress(ControlState& state);
  void ApplyStyle();
  void BeginExit();
  void WaitForWorkers();
  void QueueDrop(const Text& dropObject, const Text& paths);
  int ShowBox(const Text& text, int flags, const Text& caption);
  void BoxOpened(OpenBox& box);
  MessageInfo Describe(const OpenBox& box) const;

  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void DrawButton(const DRAWITEMSTRUCT& item);
};

// One message box of this thread while it is open (boxes nest when the
// window's thread serves a request from inside a box).
struct OpenBox {
  Win32Host::Impl* impl = nullptr;
  int flags = 0;
  bool fromWorker = false;
  HWND box = nullptr;
};

namespace {

thread_local std::vector<OpenBox*> tlsBoxes;
thread_local UniqueHook tlsBoxHook;

// Runs from the box's own modal loop once it is idle, so the box is drawn by
// the time a test hook looks at it.
void CALLBACK BoxTimerProc(HWND box, UINT, UINT_PTR timer, DWORD) {
  KillTimer(box, timer);
  for (OpenBox* open : tlsBoxes) {
    if (open->box != box || !open->impl->messageHook) continue;
    const Win32Host::MessageInfo info = open->impl->Describe(*open);
    if (const std::optional<int> answer = open->impl->messageHook(info)) {
      int id = IdOf(*answer);
      if (GetDlgItem(box, id) == nullptr && !info.buttons.empty()) id = IdOf(info.buttons.front());
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    }
    return;
  }
}

LRESULT CALLBACK BoxCbtProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    if (ClassOf(window) == L"#32770") {
      for (auto it = tlsBoxes.rbegin(); it != tlsBoxes.rend(); ++it) {
        if ((*it)->box != nullptr) continue;
        (*it)->box = window;
        (*it)->impl->BoxOpened(**it);
        break;
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The box's record and the thread's activation hook for as long as it is open.
class BoxScope {
 public:
  explicit BoxScope(OpenBox& box) {
    if (tlsBoxes.empty()) tlsBoxHook.reset(SetWindowsHookExW(WH_CBT, BoxCbtProc, nullptr, GetCurrentThreadId()));
    tlsBoxes.push_back(&box);
  }
  ~BoxScope() {
    tlsBoxes.pop_back();
    if (tlsBoxes.empty()) tlsBoxHook.reset();
  }
  BoxScope(const BoxScope&) = delete;
  BoxScope& operator=(const BoxScope&) = delete;
};

Win32Host::Impl* ImplOf(HWND window) {
  return reinterpret_cast<Win32Host::Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK StartWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  Win32Host::Impl* impl = ImplOf(window);
  if (impl == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return impl->WindowProc(window, message, wParam, lParam);
}

LRESULT CALLBACK CallWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCallMessage) {
    (*reinterpret_cast<std::function<void()>*>(lParam))();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The tab control drawn flat: the pane and each tab framed in the style's colour.
LRESULT CALLBACK TabProc(HWND tab, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* impl = reinterpret_cast<Win32Host::Impl*>(data);
  if (!impl->Flat()) return DefSubclassProc(tab, message, wParam, lParam);
  if (message == WM_ERASEBKGND) return 1;
  if (message != WM_PAINT && message != WM_PRINTCLIENT) return DefSubclassProc(tab, message, wParam, lParam);
  PAINTSTRUCT paint{};
  HDC dc = message == WM_PAINT ? BeginPaint(tab, &paint) : reinterpret_cast<HDC>(wParam);
  RECT client;
  GetClientRect(tab, &client);
  const COLORREF page = GetSysColor(COLOR_BTNFACE);
  FillSolid(dc, client, page);
  const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
  const int selected = static_cast<int>(SendMessageW(tab, TCM_GETCURSEL, 0, 0));
  RECT first{};
  SendMessageW(tab, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
  RECT pane = client;
  pane.top = first.bottom;
  Frame(dc, pane, impl->FrameColour());
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(tab, WM_GETFONT, 0, 0)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  for (int i = 0; i < count; ++i) {
    RECT item{};
    SendMessageW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    wchar_t text[64] = {};
    TCITEMW query{};
    query.mask = TCIF_TEXT;
    query.pszText = text;
    query.cchTextMax = 64;
    SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&query));
    if (i == selected) {
      item.top = std::max<LONG>(0, item.top - 2);
      item.bottom += 1;
    }
    FillSolid(dc, item, i == selected ? page : kTabFace);
    RECT outline = item;
    if (i == selected) outline.bottom += 1;
    Frame(dc, outline, impl->FrameColour());
    if (i == selected) FillSolid(dc, RECT{item.left + 1, item.bottom - 1, item.right - 1, item.bottom + 1}, page);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, -1, &item, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, oldFont);
  if (message == WM_PAINT) EndPaint(tab, &paint);
  return 0;
}

// Edit boxes: the text line centred in the box's height, as a label's is,
// and the border drawn by the host (flat: the style's colour).
LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* impl = reinterpret_cast<Win32Host::Impl*>(data);
  if (message == WM_NCCALCSIZE && wParam) {
    auto* sizes = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
    RECT& r = sizes->rgrc[0];
    const int border = 2;
    InflateRect(&r, -border, -border);
    HDC dc = GetDC(edit);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(edit, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(edit, dc);
    const int spare = (r.bottom - r.top) - metrics.tmHeight;
    if (spare > 1) {
      r.top += spare / 2;
      r.bottom = r.top + metrics.tmHeight;
    }
    r.left += 1;
    return 0;
  }
  if (message == WM_NCPAINT) {
    HDC dc = GetWindowDC(edit);
    RECT whole, client;
    GetWindowRect(edit, &whole);
    GetClientRect(edit, &client);
    MapWindowPoints(edit, nullptr, reinterpret_cast<POINT*>(&client), 2);
    OffsetRect(&client, -whole.left, -whole.top);
    OffsetRect(&whole, -whole.left, -whole.top);
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    FillSolid(dc, whole, GetSysColor(IsWindowEnabled(edit) ? COLOR_WINDOW : COLOR_BTNFACE));
    if (impl->Flat()) {
      Frame(dc, whole, GetFocus() == edit ? kFocusFrame : impl->FrameColour());
    } else {
      DrawEdge(dc, &whole, EDGE_SUNKEN, BF_RECT);
    }
    ReleaseDC(edit, dc);
    return 0;
  }
  if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
    const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
    RedrawWindow(edit, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
    return result;
  }
  return DefSubclassProc(edit, message, wParam, lParam);
}

// The group box fills its inside with the page's colour: the tab control
// beneath it leaves that area to its siblings.
LRESULT CALLBACK GroupProc(HWND group, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* impl = reinterpret_cast<Win32Host::Impl*>(data);
  if (message == WM_ERASEBKGND) return 1;
  if (message != WM_PAINT) return DefSubclassProc(group, message, wParam, lParam);
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(group, &paint);
  RECT client;
  GetClientRect(group, &client);
  FillSolid(dc, client, GetSysColor(COLOR_BTNFACE));
  if (impl->Flat()) {
    Frame(dc, client, impl->FrameColour());
  } else {
    DrawEdge(dc, &client, EDGE_ETCHED, BF_RECT);
  }
  const std::wstring caption = WindowText(group);
  if (!caption.empty()) {
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(group, WM_GETFONT, 0, 0)));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetBkMode(dc, OPAQUE);
    TextOutW(dc, 8, 0, caption.c_str(), static_cast<int>(caption.size()));
    SelectObject(dc, old);
  }
  EndPaint(group, &paint);
  return 0;
}

}  // namespace

void Win32Host::Impl::DrawButton(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  const RECT& r = item.rcItem;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  FillSolid(dc, r, disabled ? kButtonDisabled : pressed ? kButtonPressed : kButtonFace);
  Frame(dc, r, focused ? kFocusFrame : FrameColour());
  const std::wstring caption = WindowText(item.hwndItem);
  RECT text = r;
  if (pressed) OffsetRect(&text, 1, 1);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, disabled ? kDisabledText : GetSysColor(COLOR_BTNTEXT));
  DrawTextW(dc, caption.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

LRESULT Win32Host::Impl::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const auto found = ids.find(LOWORD(wParam));
      if (found == ids.end() || lParam == 0) break;
      ControlState* state = Find(found->second);
      if (state == nullptr) break;
      const Text name = found->second;
      if (state->description.kind == ControlKind::Button && HIWORD(wParam) == BN_CLICKED) {
        Fire(name, Event::Click);
      } else if (state->description.kind == ControlKind::EditBox && HIWORD(wParam) == EN_CHANGE && !state->writing) {
        Fire(name, Event::TextChanged);
      }
      return 0;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom == tab && header->code == TCN_SELCHANGE) {
        ShowPage(static_cast<int>(SendMessageW(tab, TCM_GETCURSEL, 0, 0)));
        Fire(tabName, Event::PageChanged);
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      const auto found = ids.find(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
      if (found != ids.end()) {
        const ControlState* state = Find(found->second);
        if (state != nullptr && state->description.kind == ControlKind::TransparentLabel) SetBkMode(dc, TRANSPARENT);
      }
      return reinterpret_cast<LRESULT>(pageBrush.get());
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_BUTTON) break;
      DrawButton(*item);
      return TRUE;
    }
    case WM_DPICHANGED: {
      dpi = HIWORD(wParam);
      MakeFonts();
      Layout();
      // The system's place; the size is the client area's at the new scale.
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
      return 0;
    }
    case WM_CLOSE:
      self.DismissWindow(windowName);
      return 0;
    case kDismissMessage:
      BeginExit();
      return 0;
    case kDropMessage: {
      std::vector<std::pair<Text, Text>> drops;
      drops.swap(pendingDrops);
      for (const auto& [target, paths] : drops) Fire(target, Event::FilesDropped, paths);
      return 0;
    }
    case WM_DESTROY:
      // However it goes, the loop ends with the window.
      exiting.store(true);
      loopDone = true;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32Host::Impl::MakeFonts() {
  // The old fonts go only once no control uses them any more.
  UniqueFont oldDefault = std::move(defaultFont);
  std::vector<UniqueFont> old;
  defaultFont = MakeFont(defaultFace, kDefaultPixelSize, FW_NORMAL, dpi);
  for (auto& [name, state] : controls) {
    const FontDescription& f = state.description.font;
    old.push_back(std::move(state.font));
    if (f.pixelHeight > 0) {
      const std::wstring face = f.face.empty() ? defaultFace : ChooseFace(ToWide(f.face));
      state.font = MakeFont(face, f.pixelHeight, f.weight, dpi);
    }
    if (state.window != nullptr) SendMessageW(state.window, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(state)), TRUE);
  }
}

void Win32Host::Impl::Layout() {
  if (!window) return;
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window.get(), GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window.get(), GWL_EXSTYLE));
  RECT outer{0, 0, Scale(clientWidth), Scale(clientHeight)};
  AdjustWindowRectExForDpi(&outer, style, FALSE, exStyle, dpi);
  SetWindowPos(window.get(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The tab strip fits above the batch page's group box at every scale.
  if (tab != nullptr) SendMessageW(tab, TCM_SETITEMSIZE, 0, MAKELPARAM(Scale(64), Scale(16)));
  for (auto& [name, state] : controls) {
    if (state.window == nullptr) continue;
    const RECT r = Placement(state.description);
    SetWindowPos(state.window, nullptr, Scale(r.left), Scale(r.top), Scale(r.right - r.left), Scale(r.bottom - r.top),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
}

void Win32Host::Impl::ShowPage(int page) {
  for (auto& [name, state] : controls) {
    if (state.window == nullptr || state.window == tab) continue;
    const ControlDescription& d = state.description;
    ShowWindow(state.window, d.visible && d.page == page + 1 ? SW_SHOWNA : SW_HIDE);
  }
}

void Win32Host::Impl::ApplyProgress(ControlState& state) {
  // An empty range would be an empty bar anyway; keep a range of one there.
  const int maximum = state.maximum > 0 ? state.maximum : 1;
  SendMessageW(state.window, PBM_SETRANGE32, 0, maximum);
  SendMessageW(state.window, PBM_SETPOS, static_cast<WPARAM>(state.maximum > 0 ? std::clamp(state.position, 0, maximum) : 0), 0);
}

void Win32Host::Impl::ApplyStyle() {
  if (!window) return;
  for (auto& [name, state] : controls) {
    if (state.window == nullptr) continue;
    if (state.description.kind == ControlKind::Button) {
      SendMessageW(state.window, BM_SETSTYLE, static_cast<WPARAM>(Flat() ? BS_OWNERDRAW : BS_PUSHBUTTON), TRUE);
    } else if (state.description.kind == ControlKind::EditBox) {
      SetWindowPos(state.window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
  }
  RedrawWindow(window.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void Win32Host::Impl::Build(const WindowDescription& description) {
  windowName = description.name;
  title = description.title;
  clientWidth = description.outerWidth - 6;
  clientHeight = description.outerHeight - 28;
  defaultFace = ChooseFace(std::wstring());
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  window.reset(CreateWindowExW(0, kWindowClass, ToWide(description.title).c_str(), style, description.x,
                               description.y, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), this));
  if (!window) return;
  const UINT own = GetDpiForWindow(window.get());
  dpi = own != 0 ? own : 96;

  // The .exe's own icon (resource 1) where it has one, else the description's drawing.
  const int big = GetSystemMetricsForDpi(SM_CXICON, dpi), small = GetSystemMetricsForDpi(SM_CXSMICON, dpi);
  HICON bigIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, big, big, LR_SHARED));
  HICON smallIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, small, small, LR_SHARED));
  if (bigIcon == nullptr) {
    icon = MakeIcon(description.icon, description.iconSize);
    bigIcon = smallIcon = icon.get();
  }
  if (bigIcon != nullptr) {
    SendMessageW(window.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessageW(window.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon != nullptr ? smallIcon : bigIcon));
  }

  int nextId = kFirstControlId;
  for (const ControlDescription& d : description.controls) {
    ControlState& state = controls[d.name];
    state.description = d;
    state.id = nextId++;
    ids[state.id] = d.name;
    const std::wstring caption = ToWide(d.caption);
    const wchar_t* className = nullptr;
    DWORD controlStyle = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    std::wstring text = caption;
    switch (d.kind) {
      case ControlKind::TabControl:
        className = WC_TABCONTROLW;
        controlStyle |= WS_VISIBLE | TCS_FIXEDWIDTH | TCS_FOCUSNEVER;
        text.clear();
        break;
      case ControlKind::Button:
        className = L"BUTTON";
        controlStyle |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case ControlKind::Label:
      case ControlKind::TransparentLabel:
        className = L"STATIC";
        controlStyle |= SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
        break;
      case ControlKind::EditBox:
        className = L"EDIT";
        controlStyle |= WS_TABSTOP | ES_AUTOHSCROLL;
        break;
      case ControlKind::GroupBox:
        className = L"BUTTON";
        controlStyle |= BS_GROUPBOX;
        break;
      case ControlKind::ProgressBar:
        className = PROGRESS_CLASSW;
        controlStyle |= PBS_SMOOTH;
        text.clear();
        break;
      case ControlKind::OpenFileDialog:
      case ControlKind::SaveFileDialog:
      case ControlKind::DropObject:
        break;
    }
    if (className == nullptr) continue;
    state.window = CreateWindowExW(exStyle, className, text.c_str(), controlStyle, 0, 0, 0, 0, window.get(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(state.id)), GetModuleHandleW(nullptr), nullptr);
    if (state.window == nullptr) continue;
    if (!d.enabled) EnableWindow(state.window, FALSE);
    switch (d.kind) {
      case ControlKind::TabControl: {
        tab = state.window;
        tabName = d.name;
        SetWindowSubclass(tab, TabProc, 1, reinterpret_cast<DWORD_PTR>(this));
        int index = 0;
        for (const Text& pageName : SplitText(d.caption, "|")) {
          std::wstring label = ToWide(pageName);
          TCITEMW item{};
          item.mask = TCIF_TEXT;
          item.pszText = label.data();
          SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
        }
        pageCount = index;
        break;
      }
      case ControlKind::EditBox:
        SetWindowSubclass(state.window, EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
        break;
      case ControlKind::GroupBox:
        SetWindowSubclass(state.window, GroupProc, 1, reinterpret_cast<DWORD_PTR>(this));
        break;
      case ControlKind::ProgressBar:
        ApplyProgress(state);
        break;
      default:
        break;
    }
  }
  // Siblings overlap: the tab control lies beneath everything, the group box
  // beneath its rows.
  for (auto& [name, state] : controls) {
    if (state.window != nullptr && state.description.kind == ControlKind::GroupBox) {
      SetWindowPos(state.window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  if (tab != nullptr) SetWindowPos(tab, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  MakeFonts();
  Layout();
  ShowPage(0);
  ApplyStyle();
}

void Win32Host::Impl::BeginExit() {
  std::vector<std::pair<HWND, int>> boxes;
  {
    std::lock_guard lock(mutex);
    exiting.store(true);
    boxes.swap(workerBoxes);
  }
  // Waiting worker boxes are answered as if closed without a choice, so
  // their workers can finish.
  for (const auto& [box, flags] : boxes) {
    const int id = IdOf(DismissAnswer(flags));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  }
  if (window) ShowWindow(window.get(), SW_HIDE);
  loopDone = true;
}

void Win32Host::Impl::WaitForWorkers() {
  // The window's thread keeps serving the requests of the workers that end.
  for (;;) {
    {
      std::lock_guard lock(mutex);
      if (workersRunning == 0) break;
    }
    MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

void Win32Host::Impl::QueueDrop(const Text& dropObject, const Text& paths) {
  // Raised after the drop returns, so the drag source is not kept waiting.
  pendingDrops.emplace_back(dropObject, paths);
  if (window) PostMessageW(window.get(), kDropMessage, 0, 0);
}

void Win32Host::Impl::BoxOpened(OpenBox& box) {
  if (box.fromWorker) {
    std::lock_guard lock(mutex);
    if (exiting.load()) {
      PostMessageW(box.box, WM_COMMAND, MAKEWPARAM(IdOf(DismissAnswer(box.flags)), BN_CLICKED), 0);
    } else {
      workerBoxes.emplace_back(box.box, box.flags);
    }
  }
  if (messageHook) SetTimer(box.box, kBoxTimer, USER_TIMER_MINIMUM, BoxTimerProc);
}

Win32Host::MessageInfo Win32Host::Impl::Describe(const OpenBox& open) const {
  MessageInfo info;
  info.box = open.box;
  info.flags = open.flags;
  info.fromWorker = open.fromWorker;
  info.caption = FromWide(WindowText(open.box));
  info.blocksWindow = window && !IsWindowEnabled(window.get());
  struct Button {
    LONG left;
    int answer;
    Text text;
    bool isDefault;
    HWND window;
  };
  struct Collected {
    std::vector<Button> buttons;
    std::wstring text;
  } collected;
  EnumChildWindows(
      open.box,
      [](HWND child, LPARAM data) -> BOOL {
        auto* c = reinterpret_cast<Collected*>(data);
        const std::wstring cls = ClassOf(child);
        if (_wcsicmp(cls.c_str(), L"Button") == 0) {
          RECT r;
          GetWindowRect(child, &r);
          const bool isDefault = (GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
          c->buttons.push_back({r.left, AnswerOf(GetDlgCtrlID(child)), FromWide(WindowText(child)), isDefault, child});
        } else if (_wcsicmp(cls.c_str(), L"Static") == 0 &&
                   (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
          const std::wstring text = WindowText(child);
          if (text.size() > c->text.size()) c->text = text;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&collected));
  std::sort(collected.buttons.begin(), collected.buttons.end(),
            [](const Button& a, const Button& b) { return a.left < b.left; });
  for (const Button& button : collected.buttons) {
    info.buttons.push_back(button.answer);
    info.buttonTexts.push_back(button.text);
  }
  info.text = FromWide(collected.text);
  // The default push button; else the button with the focus (this runs on
  // the box's own thread); else what the dialog names, if it is a button.
  const HWND focus = GetFocus();
  const LRESULT defaultId = SendMessageW(open.box, DM_GETDEFID, 0, 0);
  std::optional<int> byStyle, byFocus, byId;
  for (const Button& button : collected.buttons) {
    if (button.isDefault && !byStyle) byStyle = button.answer;
    if (focus != nullptr && button.window == focus) byFocus = button.answer;
    if (HIWORD(defaultId) == DC_HASDEFID && button.answer == AnswerOf(LOWORD(defaultId))) byId = button.answer;
  }
  if (!collected.buttons.empty()) info.defaultAnswer = collected.buttons.front().answer;
  if (byId) info.defaultAnswer = *byId;
  if (byFocus) info.defaultAnswer = *byFocus;
  if (byStyle) info.defaultAnswer = *byStyle;
  return info;
}

int Win32Host::Impl::ShowBox(const Text& text, int flags, const Text& caption) {
  OpenBox open;
  open.impl = this;
  open.flags = flags;
  open.fromWorker = !OnWindowThread();
  UINT style = static_cast<UINT>(flags);
  // Task-modal: a box of the window's thread keeps the window from input; a
  // worker's box disables only its own thread's windows, which it has none of.
  if ((style & MB_SYSTEMMODAL) == 0) style |= MB_TASKMODAL;
  int id = 0;
  {
    BoxScope scope(open);
    id = MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(caption).c_str(), style);
  }
  if (open.fromWorker && open.box != nullptr) {
    std::lock_guard lock(mutex);
    workerBoxes.erase(std::remove_if(workerBoxes.begin(), workerBoxes.end(),
                                     [&](const auto& entry) { return entry.first == open.box; }),
                      workerBoxes.end());
  }
  if (open.fromWorker && exiting.load()) return DismissAnswer(flags);
  return id == 0 ? DismissAnswer(flags) : AnswerOf(id);
}

// --- Win32Host --------------------------------------------------------------------

Win32Host::Win32Host(const Options& options) : impl_(std::make_unique<Impl>(*this)) {
  impl_->windowThread = GetCurrentThreadId();
  // The manifest asks for it as well; where it has, this call changes nothing.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const HRESULT ole = OleInitialize(nullptr);
  impl_->oleInitialised = SUCCEEDED(ole);
  INITCOMMONCONTROLSEX common{sizeof common, ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);

  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = StartWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);  // fails harmlessly for a second host
  WNDCLASSEXW callClass{};
  callClass.cbSize = sizeof callClass;
  callClass.lpfnWndProc = CallWindowProc;
  callClass.hInstance = instance;
  callClass.lpszClassName = kCallClass;
  RegisterClassExW(&callClass);
  impl_->calls.reset(CreateWindowExW(0, kCallClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));

  const Text program = options.programPath.empty() ? platform::GetProgramPath() : options.programPath;
  const std::size_t cut = platform::FindLastSeparator(program);
  Text directory = cut == Text::npos ? Text() : program.substr(0, cut);
  // Installed under Program Files, the folder is not the user's to write in:
  // the per-user data folder serves instead, and everything relative resolves there.
  if (directory.empty() || directory == options.installedDirectory ||
      !platform::IsWritableDirectory((directory.size() == 2 && directory[1] == ':' ? directory + "\\" : directory).c_str())) {
    Text base = platform::GetEnvironment("LOCALAPPDATA");
    if (base.empty()) base = platform::GetEnvironment("USERPROFILE") + "\\AppData\\Local";
    directory = base + "\\Pictomill";
    platform::CreateDirectories(directory.c_str());
  }
  impl_->programDirectory = directory;
  // "C:" alone would name the drive's current folder, not its root.
  platform::SetCurrentDirectory((directory.size() == 2 && directory[1] == ':' ? directory + "\\" : directory).c_str());
}

Win32Host::~Win32Host() {
  // Without a finished message loop, workers may still be running: they must
  // not outlive what they use.
  if (impl_->window && !impl_->exiting.load()) impl_->BeginExit();
  impl_->exiting.store(true);
  impl_->WaitForWorkers();
  for (auto& [name, state] : impl_->controls) state.drop.reset();
  impl_->window.reset();
  impl_->controls.clear();
  impl_->calls.reset();
  if (impl_->oleInitialised) OleUninitialize();
}

void Win32Host::SetMessageHook(std::function<std::optional<int>(const MessageInfo&)> hook) {
  impl_->messageHook = std::move(hook);
}
void Win32Host::SetFileDialogHook(std::function<std::optional<Text>(const FileDialogInfo&)> hook) {
  impl_->fileDialogHook = std::move(hook);
}
void Win32Host::SetFolderHook(std::function<Text(const Text&)> hook) { impl_->folderHook = std::move(hook); }

HWND Win32Host::ControlWindow(const Text& name) const {
  if (name.empty() || name == impl_->windowName) return impl_->window.get();
  const auto found = impl_->controls.find(name);
  return found == impl_->controls.end() ? nullptr : found->second.window;
}

int Win32Host::RunningWorkers() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->workersRunning;
}

bool Win32Host::DeliverDroppedFiles(const std::vector<Text>& paths) {
  return impl_->OnWindow<bool>(
      [&]() -> bool {
        for (auto& [name, state] : impl_->controls) {
          if (state.drop) {
            impl_->QueueDrop(name, win32::DroppedFilesText(paths));
            return true;
          }
        }
        return false;
      },
      false);
}

int Win32Host::WindowDpi() const { return static_cast<int>(impl_->dpi); }

void Win32Host::RegisterExitRoutine(const std::string& key, std::function<void()> routine) {
  impl_->exitRoutines.Register(key, std::move(routine));
}

bool Win32Host::CreateStartWindow(const WindowDescription& description) {
  if (!impl_->OnWindowThread() || impl_->window) return false;
  impl_->Build(description);
  if (!impl_->window) return false;
  ShowWindow(impl_->window.get(), SW_SHOW);
  UpdateWindow(impl_->window.get());
  impl_->Fire(impl_->windowName, Event::Created);
  return true;
}

int Win32Host::RunMessageLoop() {
  if (!impl_->window) return 0;
  MSG msg;
  while (!impl_->loopDone) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) break;
    // Tab moves between the controls, as in a dialog.
    if (impl_->window && IsDialogMessageW(impl_->window.get(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  impl_->exiting.store(true);
  impl_->WaitForWorkers();
  for (auto& [name, state] : impl_->controls) state.drop.reset();
  impl_->window.reset();
  impl_->controls.clear();
  impl_->ids.clear();
  impl_->tab = nullptr;
  impl_->exitRoutines.RunAll();
  return 0;
}

bool Win32Host::IsExiting() const { return impl_->exiting.load(); }

void Win32Host::Bind(const Text& control, Event event, Handler handler) {
  impl_->handlers.Bind(control, event, std::move(handler));
}

Text Win32Host::GetTextProperty(const Text& control, Property property) {
  return impl_->OnWindow<Text>(
      [&]() -> Text {
        if (control == impl_->windowName && impl_->window) return impl_->title;
        ControlState* state = impl_->Find(control);
        if (state == nullptr) return Text();
        if (property == Property::Filter) return state->filter;
        if (property == Property::FileName) return state->fileName;
        if (property != Property::Content || state->window == nullptr || state->window == impl_->tab ||
            state->description.kind == ControlKind::ProgressBar) {
          return Text();
        }
        return FromWide(WindowText(state->window));
      },
      Text());
}

void Win32Host::SetTextProperty(const Text& control, Property property, const Text& value) {
  impl_->OnWindowVoid([&] {
    ControlState* state = impl_->Find(control);
    if (state == nullptr) return;
    if (property == Property::Filter) {
      state->filter = value;
      return;
    }
    if (property == Property::FileName) {
      state->fileName = value;
      return;
    }
    if (property != Property::Content || state->window == nullptr || state->window == impl_->tab ||
        state->description.kind == ControlKind::ProgressBar) {
      return;
    }
    const HWND target = state->window;
    const bool edit = state->description.kind == ControlKind::EditBox;
    state->writing = true;
    SetWindowTextW(target, ToWide(value).c_str());
    state->writing = false;
    // Every write raises the change once, before the write returns.
    if (edit) impl_->Fire(control, Event::TextChanged);
  });
}

int Win32Host::GetIntProperty(const Text& control, Property property) {
  return impl_->OnWindow<int>(
      [&]() -> int {
        ControlState* state = impl_->Find(control);
        if (state == nullptr || state->window == nullptr) return 0;
        switch (property) {
          case Property::Disabled: return IsWindowEnabled(state->window) ? 0 : 1;
          case Property::Maximum: return state->maximum;
          case Property::Position: return state->position;
          case Property::CurrentPage:
            return state->window == impl_->tab ? static_cast<int>(SendMessageW(impl_->tab, TCM_GETCURSEL, 0, 0)) : 0;
          default: return 0;
        }
      },
      0);
}

void Win32Host::SetIntProperty(const Text& control, Property property, int value) {
  impl_->OnWindowVoid([&] {
    ControlState* state = impl_->Find(control);
    if (state == nullptr || state->window == nullptr) return;
    switch (property) {
      case Property::Disabled:
        EnableWindow(state->window, value == 0);
        break;
      case Property::Maximum:
      case Property::Position:
        if (state->description.kind != ControlKind::ProgressBar) return;
        (property == Property::Maximum ? state->maximum : state->position) = value;
        impl_->ApplyProgress(*state);
        break;
      case Property::CurrentPage: {
        if (state->window != impl_->tab || value < 0 || value >= impl_->pageCount) return;
        const int before = static_cast<int>(SendMessageW(impl_->tab, TCM_GETCURSEL, 0, 0));
        if (before == value) return;
        SendMessageW(impl_->tab, TCM_SETCURSEL, static_cast<WPARAM>(value), 0);
        impl_->ShowPage(value);
        // A change of page by the program is a change of page, as a click's is.
        impl_->Fire(impl_->tabName, Event::PageChanged);
        break;
      }
      default:
        break;
    }
  });
}

bool Win32Host::StartThread(ThreadRoutine routine) {
  if (!routine || impl_->exiting.load()) return false;
  {
    std::lock_guard lock(impl_->mutex);
    ++impl_->workersRunning;
  }
  Impl* impl = impl_.get();
  try {
    std::thread([impl, routine = std::move(routine)] {
      routine();
      std::lock_guard lock(impl->mutex);
      --impl->workersRunning;
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard lock(impl_->mutex);
    --impl_->workersRunning;
    return false;
  }
  return true;
}

int Win32Host::ShowMessage(const Text& message, int flags, const std::optional<Text>& caption) {
  const Text shownCaption = caption.has_value() ? *caption : Text(kDefaultCaption);
  // Nobody is left to answer it: as if closed without a choice.
  if (impl_->exiting.load()) return DismissAnswer(flags);
  return impl_->ShowBox(message, flags, shownCaption);
}

void Win32Host::ProcessEvents() {
  // The calling thread's own queue; a quit request stays for the main loop.
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (msg.message == WM_QUIT) return;
    PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
    if (impl_->OnWindowThread() && impl_->window && IsDialogMessageW(impl_->window.get(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

Text Win32Host::GetProgramDirectory() { return impl_->programDirectory; }

Text Win32Host::BrowseForFolder(const Text& title, bool includeFiles) {
  return impl_->OnWindow<Text>(
      [&]() -> Text {
        const Text chosen = impl_->folderHook ? impl_->folderHook(title)
                                              : win32::RunFolderBrowser(impl_->window.get(), title, includeFiles);
        platform::SetCurrentDirectory(impl_->programDirectory.c_str());
        return chosen;
      },
      Text());
}

bool Win32Host::ShowFileDialog(const Text& dialogName) {
  return impl_->OnWindow<bool>(
      [&]() -> bool {
        ControlState* state = impl_->Find(dialogName);
        if (state == nullptr) return false;
        const ControlKind kind = state->description.kind;
        if (kind != ControlKind::OpenFileDialog && kind != ControlKind::SaveFileDialog) return false;
        win32::FileDialogRequest request;
        request.save = kind == ControlKind::SaveFileDialog;
        request.filter = state->filter;
        request.fileName = state->fileName;
        bool confirmed = false;
        if (impl_->fileDialogHook) {
          const std::optional<Text> answer =
              impl_->fileDialogHook(FileDialogInfo{dialogName, request.save, request.filter, request.fileName});
          confirmed = answer.has_value() && !answer->empty();
          if (confirmed) request.fileName = *answer;
        } else {
          confirmed = win32::RunFileDialog(impl_->window.get(), request);
        }
        // The flows' relative folders rely on the working directory.
        platform::SetCurrentDirectory(impl_->programDirectory.c_str());
        state = impl_->Find(dialogName);
        if (!confirmed || state == nullptr) return false;
        state->fileName = request.fileName;
        return true;
      },
      false);
}

bool Win32Host::RegisterFileDrop(const Text& dropObject, NativeHandle window) {
  return impl_->OnWindow<bool>(
      [&]() -> bool {
        ControlState* state = impl_->Find(dropObject);
        if (state == nullptr || state->description.kind != ControlKind::DropObject || state->drop) return false;
        const HWND target = reinterpret_cast<HWND>(window);
        bool ours = target != nullptr && target == impl_->window.get();
        for (const auto& [name, other] : impl_->controls) ours = ours || (target != nullptr && other.window == target);
        if (!ours) return false;
        Impl* impl = impl_.get();
        const Text name = dropObject;
        state->drop = win32::FileDropTarget::Register(target, [impl, name](const Text& paths) { impl->QueueDrop(name, paths); });
        return state->drop != nullptr;
      },
      false);
}

int Win32Host::SetVisualStyle(int style) {
  return impl_->OnWindow<int>(
      [&]() -> int {
        const bool wasOn = impl_->Flat();
        impl_->visualStyle = style;
        impl_->ApplyStyle();
        if (impl_->Flat()) return 1;
        return wasOn ? 1 : 0;
      },
      0);
}

NativeHandle Win32Host::GetWindowHandle(const Text& windowOrControl) {
  return impl_->OnWindow<NativeHandle>(
      [&]() -> NativeHandle {
        if (windowOrControl == impl_->windowName) return reinterpret_cast<NativeHandle>(impl_->window.get());
        const ControlState* state = impl_->Find(windowOrControl);
        return state == nullptr ? 0 : reinterpret_cast<NativeHandle>(state->window);
      },
      0);
}

void Win32Host::SetWindowFocus(const Text& windowOrControl) {
  impl_->OnWindowVoid([&] {
    const HWND target = ControlWindow(windowOrControl);
    if (target == nullptr) return;
    SetForegroundWindow(impl_->window.get());
    SetFocus(target);
  });
}

void Win32Host::DismissWindow(const Text& window) {
  if (window != impl_->windowName || !impl_->window) return;
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->exiting.exchange(true)) return;
  }
  // Like a posted close: the window goes once control is back in the loop.
  PostMessageW(impl_->window.get(), kDismissMessage, 0, 0);
}

Text Win32Host::GetTabPageName(const Text& tabControl, int page) {
  return impl_->OnWindow<Text>(
      [&]() -> Text {
        if (tabControl != impl_->tabName || impl_->tab == nullptr || page < 1 || page > impl_->pageCount) return Text();
        wchar_t text[128] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(impl_->tab, TCM_GETITEMW, static_cast<WPARAM>(page - 1), reinterpret_cast<LPARAM>(&item));
        return FromWide(text);
      },
      Text());
}

}  // namespace host
