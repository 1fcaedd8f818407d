// The start window as one declarative table, and its event wiring.
#pragma once

#include "host/Host.h"
#include "host/WindowDescription.h"

namespace app {

// The start window: title, outer geometry, icon, the tab control and every
// control of its two pages.
const host::WindowDescription& MainWindowDescription();

// Binds every event of the wiring table to its handler (app/Handlers.h), the
// window's own tab warning and the start-up/exit handlers (app/Startup.h).
void BindHandlers(host::Host& host);

// The page-changed handler of 选择夹1: the "警告" message on every switch to
// "批量转换".
void TabWarning(host::Host& host);

}  // namespace app
