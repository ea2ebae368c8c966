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

// The normal pointer for its lifetime while a wait cursor is up, for a message box or a
// dialog that waits for the user: the user is asked something, the program is not busy.
// Without a wait cursor it changes nothing, so the widgets keep their own cursors.
class CNormalCursor
{
public:
    CNormalCursor();
    ~CNormalCursor();
    CNormalCursor(const CNormalCursor&) = delete;
    CNormalCursor& operator=(const CNormalCursor&) = delete;

private:
    bool pushed = false;
};
