#pragma once

// Shows the wait cursor for its lifetime. Nested waits keep the hourglass until the
// outermost one ends.
class CWaitCursor
{
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    // Shows the wait cursor and ends it again at once, so that the cursor reflects the
    // current wait state (an outer wait keeps the hourglass, otherwise the arrow returns).
    static void Restore();
};
