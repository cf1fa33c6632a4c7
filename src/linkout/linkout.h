#pragma once

#include <QString>

namespace quillmap {

namespace linkout {

// Opens `term` in the chosen database through the desktop URL opener (see linkUrl); the
// opener's result is ignored. Used by the main window's search and the trait panel's link.
void openLink(const QString &term);

} // namespace linkout

} // namespace quillmap
