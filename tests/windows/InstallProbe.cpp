// install_probe.exe [--timeout SECONDS] [--expect PHRASE] [--window-title TITLE] PROGRAM [ARGUMENT...]
//
// Starts an installed window program the way the Start menu does and checks
// what a user sees first: a message box captioned "说明" of that process with
// a non-empty text (written to stdout as UTF-8, containing PHRASE when given),
// over the process's main window (titled TITLE when given; the box has no
// owner, as the program shows all its boxes). Presses its OK button, closes
// the main window with WM_CLOSE and expects exit code 0. Every wait polls with a
// bound; on a failure the program is ended and the probe exits with 1.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kNoticeCaption[] = L"说明";
constexpr DWORD kPollMilliseconds = 100;

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

// Messages go to stderr in UTF-8 whatever the console's code page.
void Say(const std::wstring& text) {
  const std::string line = "install_probe: " + Utf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

// WM_GETTEXT is marshalled between processes; a window that does not answer
// within the bound counts as having no text.
std::wstring WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::vector<wchar_t> buffer(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, 5000, &copied))
    return {};
  return std::wstring(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  const int length = GetClassNameW(window, name, 64);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

struct Search {
  DWORD processId;
  HWND found;
};

// A top-level dialog of the process captioned "说明".
BOOL CALLBACK FindNotice(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || !IsWindowVisible(window)) return TRUE;
  if (ClassName(window) != L"#32770" || WindowText(window) != kNoticeCaption) return TRUE;
  search->found = window;
  return FALSE;
}

struct MainWindowSearch {
  DWORD processId;
  HWND notice;
  const std::wstring* title;  // empty: any title
  HWND found;
};

// A visible top-level window of the process other than the notice.
BOOL CALLBACK FindMainWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<MainWindowSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || window == search->notice || !IsWindowVisible(window)) return TRUE;
  if (ClassName(window) == L"#32770") return TRUE;
  if (!search->title->empty() && WindowText(window) != *search->title) return TRUE;
  search->found = window;
  return FALSE;
}

// A message box's text is its one static control without SS_ICON.
BOOL CALLBACK FindText(HWND window, LPARAM parameter) {
  auto* text = reinterpret_cast<std::wstring*>(parameter);
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  if (ClassName(window) == L"Static" && (style & SS_TYPEMASK) != SS_ICON) {
    *text = WindowText(window);
    return text->empty();
  }
  return TRUE;
}

class Probe {
 public:
  Probe(PROCESS_INFORMATION started, DWORD timeoutMilliseconds)
      : process_(started.hProcess), thread_(started.hThread), processId_(started.dwProcessId),
        deadline_(GetTickCount64() + timeoutMilliseconds) {}
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;
  // A failed probe leaves no program behind in the prefix.
  ~Probe() {
    if (!ended_) {
      TerminateProcess(process_.get(), 3);
      WaitForSingleObject(process_.get(), 5000);
    }
  }

  // Polls until the notice is up; false when the process ends or time is up.
  HWND WaitForNotice() {
    for (;;) {
      Search search{processId_, nullptr};
      EnumWindows(FindNotice, reinterpret_cast<LPARAM>(&search));
      if (search.found) return search.found;
      if (!Pause(L"a message box captioned \"说明\"")) return nullptr;
    }
  }

  bool WaitUntilGone(HWND window, const wchar_t* what) {
    while (IsWindow(window))
      if (!Pause(what)) return false;
    return true;
  }

  bool WaitForExitCode(DWORD expected) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline_ ? static_cast<DWORD>(deadline_ - now) : 0;
    if (WaitForSingleObject(process_.get(), left) != WAIT_OBJECT_0) {
      Say(L"the program did not end after WM_CLOSE to its main window");
      return false;
    }
    ended_ = true;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    if (code != expected) {
      Say(L"the program ended with exit code " + std::to_wstring(code) + L", not " + std::to_wstring(expected));
      return false;
    }
    return true;
  }

 private:
  // One poll step: false, with the reason said, once the process has ended or
  // the deadline has passed.
  bool Pause(const wchar_t* waitingFor) {
    if (WaitForSingleObject(process_.get(), kPollMilliseconds) == WAIT_OBJECT_0) {
      ended_ = true;
      DWORD code = 0;
      GetExitCodeProcess(process_.get(), &code);
      Say(std::wstring(L"the program ended (exit code ") + std::to_wstring(code) + L") while waiting for " +
          waitingFor);
      return false;
    }
    if (GetTickCount64() >= deadline_) {
      Say(std::wstring(L"timed out waiting for ") + waitingFor);
      return false;
    }
    return true;
  }

  Handle process_;
  Handle thread_;
  DWORD processId_;
  ULONGLONG deadline_;
  bool ended_ = false;
};

std::wstring Quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

int Usage() {
  Say(L"usage: install_probe.exe [--timeout SECONDS] [--expect PHRASE] [--window-title TITLE] PROGRAM [ARGUMENT...]");
  return 2;
}

int Run(int argc, wchar_t** argv) {
  DWORD timeoutSeconds = 60;
  std::wstring expect;
  std::wstring windowTitle;
  int first = 1;
  for (; first + 1 < argc && argv[first][0] == L'-' && argv[first][1] == L'-'; first += 2) {
    const std::wstring option = argv[first];
    if (option == L"--timeout")
      timeoutSeconds = static_cast<DWORD>(std::wcstoul(argv[first + 1], nullptr, 10));
    else if (option == L"--expect")
      expect = argv[first + 1];
    else if (option == L"--window-title")
      windowTitle = argv[first + 1];
    else
      return Usage();
  }
  if (first >= argc || timeoutSeconds == 0) return Usage();

  std::wstring commandLine = Quoted(argv[first]);
  for (int i = first + 1; i < argc; ++i) commandLine += L" " + Quoted(argv[i]);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  // In the program's folder, as its Start-menu shortcut starts it.
  std::wstring folder = argv[first];
  const size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
  if (!CreateProcessW(argv[first], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    Say(std::wstring(L"cannot start ") + argv[first] + L" (error " + std::to_wstring(GetLastError()) + L")");
    return 1;
  }
  Probe probe(started, timeoutSeconds * 1000);

  const HWND notice = probe.WaitForNotice();
  if (!notice) return 1;
  std::wstring text;
  EnumChildWindows(notice, FindText, reinterpret_cast<LPARAM>(&text));
  if (text.empty()) {
    Say(L"the notice has no text");
    return 1;
  }
  // Byte for byte, its CR LF included, for a caller to compare.
  const std::string utf8 = Utf8(text);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
  if (!expect.empty() && text.find(expect) == std::wstring::npos) {
    Say(L"the notice does not contain \"" + expect + L"\"");
    return 1;
  }
  MainWindowSearch search{started.dwProcessId, notice, &windowTitle, nullptr};
  EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
  const HWND mainWindow = search.found;
  if (!mainWindow) {
    Say(windowTitle.empty() ? std::wstring(L"the program shows no main window beside the notice")
                            : L"the program shows no main window titled \"" + windowTitle + L"\"");
    return 1;
  }

  const HWND ok = GetDlgItem(notice, IDOK);
  if (!ok) {
    Say(L"the notice has no OK button");
    return 1;
  }
  PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
  if (!probe.WaitUntilGone(notice, L"the notice to close after OK")) return 1;
  if (!IsWindow(mainWindow)) {
    Say(L"the main window went away with the notice");
    return 1;
  }
  PostMessageW(mainWindow, WM_CLOSE, 0, 0);
  if (!probe.WaitForExitCode(0)) return 1;
  Say(L"the notice was shown, OK pressed, the main window closed, exit code 0");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
