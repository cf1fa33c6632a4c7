#pragma once

namespace quillmap {

// The whole run after the application object exists: the startup dialog, then, only when the
// user chose a dataset to browse, the browsing phase. Returns the process's exit code: the
// browsing phase's, or 0 when the startup dialog closed any other way.
int runProgram();

} // namespace quillmap
