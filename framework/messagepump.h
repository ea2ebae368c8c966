#pragma once

// Lets the events that are waiting now run: paint, input, timers. Used between blocking
// steps so that the windows stay painted and the status window's buttons work.
void PumpPendingMessages();

// Lets waiting paint, layout and timer events run, but keeps user input (clicks, keys)
// queued until control is back in the event loop: a status text shows, and nothing the
// user did meanwhile runs in the middle of the step that asked for the paint.
void PaintPendingMessages();

// How many of the two pumps above are running now, one inside the other. Above 0, code
// that called a pump is still on the stack below whatever event is being handled, so
// nothing it uses may be destroyed.
int PumpDepth();
