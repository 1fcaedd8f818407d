// Pictomill's window program on Windows. Its one argument, if any, is a
// picture to open ("Open with" in Explorer); it reads no other argument, file
// or setting.
#include "platform/Platform.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>

#include "app/Startup.h"
#include "host/win32/Win32Host.h"

#undef GetCurrentDirectory

namespace {

struct LocalDeleter {
  void operator()(LPWSTR* block) const { LocalFree(block); }
};

// The first argument after the program's own name, in the code page.
std::optional<host::Text> FirstArgument() {
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalDeleter> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!arguments || count < 2) return std::nullopt;
  const std::wstring wide = arguments.get()[1];
  host::Text text;
  if (!platform::Utf16ToCodePage(std::u16string(wide.begin(), wide.end()), text)) return std::nullopt;
  return text;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Taken before the host moves the working directory to the program directory.
  const host::Text startFolder = platform::GetCurrentDirectory();
  const std::optional<host::Text> argument = FirstArgument();
  int code = 0;
  {
    host::Win32Host host;
    std::optional<host::Text> startFile;
    if (argument) startFile = app::StartFileFromArgument(*argument, startFolder);
    code = app::RunProgram(host, startFile);
  }
  return code;
}
