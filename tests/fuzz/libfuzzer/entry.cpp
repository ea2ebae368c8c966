// The libFuzzer entry of one fuzz target; the build names the target's function in
// VANTOR_FUZZ_FUNCTION.
#include "tests/fuzz/fuzztargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return VANTOR_FUZZ_FUNCTION(data, size);
}
