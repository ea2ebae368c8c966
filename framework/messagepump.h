#pragma once

// Lets the events that are waiting now run: paint, input, timers. Used between blocking
// steps so that the windows stay painted and the status window's buttons work.
void PumpPendingMessages();
