#pragma once

#include <cstddef>
#include <cstdint>

// The readers of outside input, each as one function that takes any bytes at all. libFuzzer
// drives them in a fuzz build (tests/fuzz/libfuzzer); test_fuzzreplay runs every stored
// input through the same functions in the normal suite. They return 0, as libFuzzer wants;
// a broken promise of the reader goes to FuzzCheck.

// A listing: the first byte picks a LIST or MLSD listing, one MLST line or one LIST line,
// and moves "now" for the years that LIST times leave out; the rest is the listing.
int FuzzListing(const uint8_t* data, size_t size);
// The control connection: the first byte sets the size of the pieces in which the rest
// arrives; every reply then goes through the parsers that read reply texts.
int FuzzFtpReply(const uint8_t* data, size_t size);
// The bytes of a profile file.
int FuzzProfileFile(const uint8_t* data, size_t size);
// The launcher's HTTP response: the first byte holds the reader's options, the next two the
// sizes of the blocks in which the rest arrives.
int FuzzHttpResponse(const uint8_t* data, size_t size);
// The permission reader: the first byte gives the length of the file name that follows,
// the rest is a LIST reply.
int FuzzPermissions(const uint8_t* data, size_t size);

struct FuzzTarget
{
    const char* name; // the folder of its inputs under tests/fuzz/corpus and regressions
    int (*run)(const uint8_t*, size_t);
};

inline constexpr FuzzTarget kFuzzTargets[] = {
    {"listing", FuzzListing},
    {"ftpreply", FuzzFtpReply},
    {"profilefile", FuzzProfileFile},
    {"httpresponse", FuzzHttpResponse},
    {"permissions", FuzzPermissions},
};
