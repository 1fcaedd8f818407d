// What the Win32 window tests share: code-page texts from UTF-8, serving the
// window's thread until a condition holds, clicks as the user makes them.
#pragma once

#include "platform/Platform.h"

#include <windows.h>
#include <commctrl.h>

#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetTempPath
#undef SetCurrentDirectory

#include <chrono>
#include <string>

#include "host/win32/Win32Host.h"

namespace win32test {

// u8 literals and the test support's paths are UTF-8; the host's texts are
// code-page bytes (this file's narrow literals are, like the host's).
inline host::Text CodePage(const std::string& utf8) {
  host::Text text;
  return platform::Utf8ToCodePage(utf8.c_str(), text) ? text : host::Text();
}
inline host::Text CodePage(const char8_t* utf8) { return CodePage(std::string(reinterpret_cast<const char*>(utf8))); }
inline std::string Utf8(const host::Text& text) {
  std::string utf8;
  return platform::CodePageToUtf8(text.c_str(), utf8) ? utf8 : std::string();
}
// The flows join some paths with '/', which Windows takes as well.
inline std::string Backslashed(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// Serves the calling (window) thread's messages until the condition holds
// or the time is up; waits on the queue, never sleeps blind.
template <class Condition>
bool ServeUntil(host::Win32Host& host, Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    host.ProcessEvents();
  }
  return true;
}

inline std::wstring WindowTextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

// A click as the button takes it from the mouse: nothing when disabled.
inline void Click(host::Win32Host& host, const char* control) {
  SendMessageW(host.ControlWindow(control), BM_CLICK, 0, 0);
}

// A click on the tab of the page (0-based), through the tab control itself.
inline void ClickTab(host::Win32Host& host, const char* tab, int page) {
  const HWND window = host.ControlWindow(tab);
  RECT item{};
  SendMessageW(window, TCM_GETITEMRECT, static_cast<WPARAM>(page), reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(window, WM_LBUTTONUP, 0, at);
}

}  // namespace win32test
