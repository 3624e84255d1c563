#ifndef TAVRIN_FUZZ_FUZZCHECK_H
#define TAVRIN_FUZZ_FUZZCHECK_H

#include <cstdio>
#include <cstdlib>

// A broken invariant ends the run the way a crash does, so libFuzzer keeps
// the input that broke it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

#endif
