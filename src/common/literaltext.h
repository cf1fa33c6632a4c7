#pragma once

#include <QString>

namespace quillmap {

// `text` (names from the user's files, several lines) as a tool tip shows it literally. Qt takes
// a tip whose first line looks like a tag or an entity for HTML and loses its line breaks; such a
// tip is returned as HTML that keeps every character and line. Any other tip is returned as is.
QString literalToolTip(const QString &text);

} // namespace quillmap
