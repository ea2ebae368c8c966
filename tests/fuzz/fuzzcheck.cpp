#include "tests/fuzz/fuzzcheck.h"

#include <cstdio>
#include <cstdlib>

namespace {

void AbortOnFailure(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

FuzzFailureHandler failureHandler = AbortOnFailure;

} // namespace

FuzzFailureHandler SetFuzzFailureHandler(FuzzFailureHandler handler)
{
    const FuzzFailureHandler previous = failureHandler;
    failureHandler = handler ? handler : AbortOnFailure;
    return previous;
}

void FuzzCheck(bool kept, const char* what)
{
    if (!kept)
        failureHandler(what);
}
