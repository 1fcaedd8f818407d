// Start-up and exit of the program.
#pragma once

#include <optional>

#include "host/Host.h"

namespace app {

// The notice shown under "说明" when the window has been created.
host::Text NoticeText();

// The start window's created handler: visual style 3, the notice, the file
// drop on the whole window, "tmp", counters 0, focus.
void OnWindowCreated(host::Host& host);
// 按钮_退出: dismisses the start window, which begins the exit.
void OnExitClicked(host::Host& host);

// "Open with": the file the program's first argument names, made absolute
// against the folder the program was started from, since the host moves the
// working directory to the program directory. An empty argument or an option
// ("-x") names no file.
std::optional<host::Text> StartFileFromArgument(const host::Text& argument, const host::Text& startFolder);

// The whole program on a host: state, exit routine, window (its created
// handler shows the notice first), then the start file as if that one file
// had been dropped on the window, then the message loop. Returns the exit code.
int RunProgram(host::Host& host, const std::optional<host::Text>& startFile = std::nullopt);

}  // namespace app
