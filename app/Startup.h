// Start-up and exit of the program.
#pragma once

#include "host/Host.h"

namespace app {

// The notice shown under "说明" when the window has been created.
host::Text NoticeText();

// The start window's created handler: visual style 3, the notice, the file
// drop on the whole window, "tmp", counters 0, focus.
void OnWindowCreated(host::Host& host);
// 按钮_退出: dismisses the start window, which begins the exit.
void OnExitClicked(host::Host& host);

// The whole program on a host: state, exit routine, window, message loop.
// Returns the exit code.
int RunProgram(host::Host& host);

}  // namespace app
