// Pictomill's window program. Its one argument, if any, is a picture to open
// ("Open with" in a file manager); it reads no other argument, file or setting.
#include <optional>

#include "app/Startup.h"
#include "host/QtHost.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  // Taken before the host moves the working directory to the program directory.
  const host::Text startFolder = platform::GetCurrentDirectory();
  return host::QtHost::RunApplication(argc, argv, [&](host::Host& host) {
    // Qt has taken its own options (-platform and the like) out of argv by now.
    std::optional<host::Text> startFile;
    host::Text argument;
    if (argc >= 2 && platform::Utf8ToCodePage(argv[1], argument)) {
      startFile = app::StartFileFromArgument(argument, startFolder);
    }
    return app::RunProgram(host, startFile);
  });
}
