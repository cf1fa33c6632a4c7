#pragma once

#include <QtGlobal>

// The application's wait cursor for the lifetime of a piece of long work: set on construction,
// removed once, by restore() or at the end of the scope, whichever comes first (a message box
// shown before the work's end must not run under it).
namespace quillmap {

class WaitCursor final
{
    Q_DISABLE_COPY_MOVE(WaitCursor)

public:
    WaitCursor();
    ~WaitCursor();
    void restore();

private:
    bool m_on = true;
};

} // namespace quillmap
