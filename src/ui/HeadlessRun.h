#pragma once
// What the application does when there is no display to draw on.

#include "platform/Paths.h"

namespace vx::ui {

// Main thread: says that no display is available, lists the built-in tracks and returns the
// process exit code.
int runHeadless(const Paths& paths);

} // namespace vx::ui
