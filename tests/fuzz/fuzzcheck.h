#pragma once

// A promise that a reader broke on some input. In a fuzz run the default handler prints
// `what` and aborts, so that libFuzzer keeps the input as a crash; test_fuzzreplay installs
// a handler that turns it into a test failure naming the input file.
using FuzzFailureHandler = void (*)(const char* what);

// Returns the handler it replaces.
FuzzFailureHandler SetFuzzFailureHandler(FuzzFailureHandler handler);

void FuzzCheck(bool kept, const char* what);
