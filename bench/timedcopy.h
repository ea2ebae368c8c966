#pragma once

#include <QString>

#include <functional>

class CCommStatusDialog;

// One copy of a copy benchmark: the status window, connected, copies `source` to
// `destination` and tells whether it succeeded.
using BenchCopy = std::function<bool(CCommStatusDialog& dialog, const QString& source,
                                     const QString& destination)>;

// The frame the copy benchmarks share. argv is "MODE ADDRESS USER PASSWORD SOURCE
// DESTINATION", already checked. Sets up the program's state for the server and shows the
// main window (on the offscreen platform unless told otherwise); message boxes go to the
// terminal. Then connects through the status window under an operation and runs `copy`.
// Prints the seconds from the start of the login to the end of the copy and returns the
// exit code: 0 when the copy reported success.
int RunTimedCopy(int argc, char** argv, const BenchCopy& copy);
