#pragma once

namespace quillmap {

// Creates, shows and runs the main window on the current dataset folder; returns the exit code
// of the application's event loop. Needs a QApplication.
int runBrowsingPhase();

} // namespace quillmap
