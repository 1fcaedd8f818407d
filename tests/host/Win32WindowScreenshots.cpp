// Not a test: screenshots of the Win32 window for looking at: both pages,
// the notice over the window and a batch in progress. Run under Wine on a
// virtual screen (scripts/test-windows-window.sh does):
//   windows_screenshots OUTPUT_DIR [SUFFIX]   (SUFFIX "-150": page 1 only)
#include "platform/Platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/ControlNames.h"
#include "app/MainWindow.h"
#include "engine/commands/ConversionCommands.h"
#include "host/win32/Win32Host.h"

namespace {

namespace names = app::names;

void Settle(host::Win32Host& host) {
  for (int i = 0; i < 10; ++i) {
    host.ProcessEvents();
    RedrawWindow(host.ControlWindow(""), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(20);
  }
}

// The screen's pixels in the rectangle, as a 24-bit BMP and then, through
// the engine's own writer, a PNG.
bool Capture(const RECT& area, const std::wstring& folder, const std::wstring& name) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, old);
  const int stride = (width * 3 + 3) & ~3;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (rows != height) return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  const std::wstring bmp = folder + L"\\" + name + L".bmp";
  const std::wstring png = folder + L"\\" + name + L".png";
  FILE* out = _wfopen(bmp.c_str(), L"wb");
  if (out == nullptr) return false;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
  std::fwrite(pixels.data(), 1, pixels.size(), out);
  std::fclose(out);
  const host::Text source = host::Win32Host::FromWide(bmp), target = host::Win32Host::FromWide(png);
  const bool ok = engine::ConvertToPng(source.c_str(), target.c_str(), 24) == 1;
  DeleteFileW(bmp.c_str());
  std::printf("%s %ls\n", ok ? "wrote" : "FAILED", png.c_str());
  return ok;
}

RECT Union(HWND a, HWND b) {
  RECT ra{}, rb{}, both{};
  GetWindowRect(a, &ra);
  if (b == nullptr) return ra;
  GetWindowRect(b, &rb);
  UnionRect(&both, &ra, &rb);
  return both;
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2) {
    std::fprintf(stderr, "usage: windows_screenshots OUTPUT_DIR [SUFFIX]\n");
    return 2;
  }
  wchar_t full[MAX_PATH] = {};
  GetFullPathNameW(arguments[1], MAX_PATH, full, nullptr);
  const std::wstring out = full;
  const std::wstring suffix = count >= 3 ? arguments[2] : L"";
  LocalFree(arguments);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring program = std::wstring(temp) + L"pictomill-shots";
  CreateDirectoryW(program.c_str(), nullptr);

  bool ok = true;
  {
    host::Win32Host host(host::Win32Host::Options{host::Win32Host::FromWide(program + L"\\pictomill.exe"), {}});
    host.SetMessageHook([&](const host::Win32Host::MessageInfo& info) -> std::optional<int> {
      if (info.caption == "说明" && suffix.empty()) {
        // The system centres an ownerless box on the screen; for the picture
        // it sits over the window's lower right.
        RECT window{}, box{};
        GetWindowRect(host.ControlWindow(""), &window);
        GetWindowRect(info.box, &box);
        SetWindowPos(info.box, HWND_TOP, window.right - (box.right - box.left) / 2,
                     window.bottom - (box.bottom - box.top) / 2, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        RedrawWindow(info.box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        RedrawWindow(host.ControlWindow(""), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        ok = Capture(Union(host.ControlWindow(""), info.box), out, L"windows-notice") && ok;
      }
      return host::kButtonOk;
    });
    app::BindHandlers(host);
    host.CreateStartWindow(app::MainWindowDescription());
    Settle(host);
    const HWND window = host.ControlWindow("");
    ok = Capture(Union(window, nullptr), out, L"windows-page1" + suffix) && ok;
    if (suffix.empty()) {
      host.SetIntProperty(names::kTab, host::Property::CurrentPage, 1);
      Settle(host);
      ok = Capture(Union(window, nullptr), out, L"windows-page2") && ok;
      host.SetText(names::kSourceFolderBox, "C:\\Users\\用户\\图片");
      host.SetText(names::kTargetFolderBox, "C:\\Users\\用户\\图片\\批量png");
      host.SetIntProperty(names::kProgress, host::Property::Maximum, 10);
      host.SetIntProperty(names::kProgress, host::Property::Position, 3);
      host.SetText(names::kStatusLine, "【正在处理第3个图片】【成功2个】【失败1个】【共有10个图片】");
      for (const char* button : names::kBatchButtons) host.SetDisabled(button, true);  // as during a run
      host.SetDisabled(names::kStop, false);
      Settle(host);
      ok = Capture(Union(window, nullptr), out, L"windows-batch") && ok;
    }
    host.DismissWindow(names::kStartWindow);
    host.RunMessageLoop();
  }
  return ok ? 0 : 1;
}
