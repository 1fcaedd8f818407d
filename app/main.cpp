// Pictomill's window program. It reads no argument, file or setting.
#include "app/Startup.h"
#include "host/QtHost.h"

int main(int argc, char** argv) {
  return host::QtHost::RunApplication(argc, argv, [](host::Host& host) { return app::RunProgram(host); });
}
